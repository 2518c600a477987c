#include "station_script.h"

#include "station/station_texts.h"

namespace velk2::test {

namespace {

// Splits CSV fields of one line (quotes as RFC 4180).
std::vector<std::string> csv_fields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"')
                fields.back() += line[++i];
            else if (c == '"')
                quoted = false;
            else
                fields.back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c != '\n') {
            fields.back() += c;
        }
    }
    return fields;
}

} // namespace

std::string record_gist(const std::string& line) {
    const auto f = csv_fields(line);
    if (f.size() != 10) return "bad record: " + line;
    std::string gist = f[0].substr(11, 8) + " " + f[1] + " " + f[2] + " " + f[6] + " " + f[8];
    if (!f[7].empty()) gist += ": " + f[7];
    return gist;
}

StationScript::StationScript(int ports) {
    std::vector<StationPort> list;
    for (int n = 1; n <= ports; ++n)
        list.push_back({"COM" + std::to_string(n), "/dev/pts/" + std::to_string(n)});
    state = make_station_state(list);
    state.file = {"/fw/main.dsp", 2048, test_digest, ""};
    state.log_path = "/logs/flash-log.csv";
    state.quiet_s = 5;
}

void StationScript::feed(const StationEvent& event) {
    StationNow now;
    now.ms = ms_;
    now.local = {2026, 12, 7, 16, 5, int(ms_ / 1000 % 60), 60};
    carry_out(station_step(state, event, now));
}

void StationScript::carry_out(std::vector<StationAction> actions) {
    const std::string at = "@" + std::to_string(ms_);
    for (const StationAction& a : actions) {
        if (auto* s = std::get_if<StartWorker>(&a)) {
            processes.push_back("start " + std::to_string(s->row) + at + " q" +
                                std::to_string(s->quiet_first_s));
        } else if (auto* c = std::get_if<CloseWorkerInput>(&a)) {
            processes.push_back("close " + std::to_string(c->row) + at);
        } else if (auto* k = std::get_if<KillWorker>(&a)) {
            processes.push_back("kill " + std::to_string(k->row) + at);
        } else if (auto* r = std::get_if<AppendRecord>(&a)) {
            if (r->path != state.log_path || r->header != flash_record_header())
                check_failures.push_back("append to " + r->path);
            if (hold_)
                held_.push_back(*r);
            else
                append(*r);
        } else if (auto* m = std::get_if<ShowMessage>(&a)) {
            messages.push_back(m->text);
        } else if (auto* p = std::get_if<PrintEvent>(&a)) {
            printed.push_back(p->text);
        } else if (auto* f = std::get_if<Finished>(&a)) {
            exit_status = f->exit_status;
            ++finished_count;
        }
    }
}

void StationScript::append(const AppendRecord& r) {
    if (!append_error_ && !r.line.empty()) records.push_back(r.line);
    feed(RecordWritten{r.row, append_error_});
}

void StationScript::check(char kind, const std::string& what) {
    const std::size_t blank = what.find(' ');
    const int row = std::stoi(what.substr(0, blank));
    const std::string want = blank == std::string::npos ? "" : what.substr(blank + 1);
    const StationRow& r = state.rows.at(std::size_t(row));
    const std::string got = kind == '?'   ? row_state_text(r)
                            : kind == '#' ? row_counts_text(r)
                                          : row_detail_text(r);
    if (got != want)
        check_failures.push_back("at " + std::to_string(ms_) + " row " + std::to_string(row) +
                                 ": \"" + got + "\", not \"" + want + "\"");
}

void StationScript::run(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        ms_ = step.ms;
        const std::string& w = step.what;
        if (w == "start")
            feed(StartPressed{});
        else if (w == "stop")
            feed(StopPressed{});
        else if (w == "tick")
            feed(ClockTick{});
        else if (w == "logfail")
            append_error_ = std::make_error_code(std::errc::permission_denied);
        else if (w == "logok")
            append_error_ = {};
        else if (w == "hold")
            hold_ = true;
        else if (w == "release") {
            hold_ = false;
            const std::vector<AppendRecord> held = std::move(held_);
            held_.clear();
            for (const AppendRecord& r : held) append(r);
        } else if (w[0] == '?' || w[0] == '#' || w[0] == '=') {
            check(w[0], w.substr(1));
        } else {
            const std::size_t blank = w.find(' ');
            const int row = std::stoi(w.substr(0, blank));
            std::string rest = w.substr(blank + 1);
            if (rest.rfind("!exit ", 0) == 0 || rest.rfind("!signal ", 0) == 0) {
                WorkerExit exit;
                exit.signalled = rest[1] == 's';
                rest = rest.substr(rest.find(' ') + 1);
                const std::size_t more = rest.find(' ');
                exit.code = std::stoi(rest.substr(0, more));
                if (more != std::string::npos) exit.stderr_tail = rest.substr(more + 1);
                feed(WorkerEnded{row, exit});
            } else {
                if (rest == "$READY") rest = "ready 2048 " + test_digest;
                feed(WorkerLineRead{row, rest});
            }
        }
    }
}

} // namespace velk2::test
