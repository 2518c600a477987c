#include "station/station_step.h"

#include <algorithm>

#include "station/station_texts.h"

namespace velk2 {

namespace {

class Step {
  public:
    Step(StationState& s, const StationNow& now) : s_(s), now_(now) {}

    std::vector<StationAction> run(const StationEvent& event) {
        std::visit([this](const auto& e) { on(e); }, event);
        settle();
        return std::move(actions_);
    }

  private:
    bool valid_row(int i) const { return i >= 0 && std::size_t(i) < s_.rows.size(); }
    StationRow& row(int i) { return s_.rows[std::size_t(i)]; }

    void show(const std::string& text) {
        s_.message = text;
        actions_.push_back(ShowMessage{text});
    }

    // Changes what a row shows, and prints the change; a result always prints.
    void set_state(int i, RowState state, const std::string& reason = "",
                   const WorkerResult* result = nullptr) {
        StationRow& r = row(i);
        if (r.state == state && r.reason == reason && !result) return;
        r.state = state;
        r.reason = reason;
        actions_.push_back(PrintEvent{row_event_line(r, result)});
    }

    void finish() {
        const RunCounts& run = s_.run;
        const bool all_done = run.failed == 0 && run.stopped == 0 && !run.record_lost;
        actions_.push_back(Finished{all_done ? 0 : 1});
    }

    void close_input(int i) {
        row(i).worker.input_closed = true;
        row(i).worker.closed_ms = now_.ms;
        actions_.push_back(CloseWorkerInput{i});
    }

    void halt() {
        if (s_.phase == StationPhase::running) s_.phase = StationPhase::halting;
    }

    // Events.

    void on(const StartPressed&) {
        if (s_.phase != StationPhase::idle) return;
        if (!s_.file.usable()) {
            show(s_.file.path.empty() ? "Nothing armed: choose a file first."
                                      : "Nothing armed: " + s_.file.refused);
            actions_.push_back(Finished{1});
            return;
        }
        if (s_.log_path.empty()) {
            show("Nothing armed: no place for the flash log: " + s_.log_problem);
            actions_.push_back(Finished{1});
            return;
        }
        s_.phase = StationPhase::opening_log;
        s_.stop_requested = false;
        s_.run = {};
        s_.message.clear();
        actions_.push_back(AppendRecord{-1, s_.log_path, flash_record_header(), ""});
    }

    void on(const StopPressed&) {
        if (s_.phase == StationPhase::idle) return;
        if (s_.phase == StationPhase::opening_log) {
            s_.phase = StationPhase::idle;
            finish();
            return;
        }
        s_.stop_requested = true;
        s_.phase = StationPhase::halting;
    }

    void on(const RecordWritten& e) {
        if (e.row == -1) return log_checked(e.error);
        if (valid_row(e.row)) recorded(e.row, e.error);
    }

    void on(const WorkerLineRead& e) {
        if (valid_row(e.row)) line(e.row, e.line);
    }

    void on(const WorkerEnded& e) {
        if (valid_row(e.row)) ended(e.row, e.exit);
    }

    void on(const ClockTick&) {
        for (std::size_t i = 0; i < s_.rows.size(); ++i) {
            WorkerSlot& w = s_.rows[i].worker;
            if (w.running && w.input_closed && !w.killed &&
                now_.ms - w.closed_ms >= s_.times.stop_grace_ms) {
                w.killed = true;
                actions_.push_back(KillWorker{int(i)});
            }
        }
    }

    // The log's check at Start: a log that cannot be written arms nothing.
    void log_checked(const std::error_code& error) {
        if (s_.phase != StationPhase::opening_log) return;
        if (error) {
            s_.log_problem = s_.log_path + ": " + error.message();
            s_.phase = StationPhase::idle;
            show("Nothing armed: the flash log cannot be written: " + s_.log_problem);
            actions_.push_back(Finished{1});
            return;
        }
        s_.log_problem.clear();
        s_.phase = StationPhase::running;
        for (StationRow& r : s_.rows) {
            r.next_start_ms = now_.ms;
            r.next_quiet_first_s = 0;
        }
    }

    void line(int i, const std::string& text) {
        StationRow& r = row(i);
        if (r.recording) {
            r.held_lines.push_back(text);
            return;
        }
        if (!r.worker.running) return;
        const auto event = parse_worker_line(text);
        if (!event) return; // not ours to act on
        std::visit([this, i](const auto& e) { said(i, e); }, *event);
    }

    void said(int i, const WorkerReady& e) {
        if (e.size == s_.file.size && e.sha256 == s_.file.sha256) return;
        row(i).worker.said_error = true;
        set_state(i, RowState::failed, "the worker received other data than prepared");
        close_input(i);
    }

    void said(int i, const WorkerQuiet&) {
        row(i).worker.armed = true;
        set_state(i, RowState::remove_box);
    }

    void said(int i, const WorkerWaiting& e) {
        row(i).worker.armed = true;
        row(i).device = e.device;
        set_state(i, RowState::waiting);
    }

    void said(int i, const WorkerFlashing& e) {
        StationRow& r = row(i);
        r.worker.armed = true;
        if (!r.in_attempt) begin_attempt(i);
        r.bytes = e.bytes;
        r.total = e.total;
        const std::int64_t elapsed = now_.ms - r.attempt_start_ms;
        r.bytes_per_s = elapsed > 0 ? e.bytes * 1000 / elapsed : 0;
        set_state(i, RowState::flashing);
    }

    void said(int i, const WorkerResult& e) {
        StationRow& r = row(i);
        if (!r.in_attempt) begin_attempt(i);
        r.worker.said_result = true;
        record(i, e);
    }

    void said(int i, const WorkerError& e) {
        row(i).worker.said_error = true;
        set_state(i, RowState::failed, e.reason.empty() ? "the worker could not start" : e.reason);
    }

    void begin_attempt(int i) {
        StationRow& r = row(i);
        r.in_attempt = true;
        r.attempt_start = iso8601(now_.local);
        r.attempt_start_ms = now_.ms;
        r.bytes = 0;
        r.total = s_.file.size;
        r.bytes_per_s = 0;
        ++s_.run.begun;
        if (s_.count && s_.run.begun >= *s_.count && s_.phase == StationPhase::running) {
            show(std::to_string(*s_.count) + " attempts begun: no port is armed again.");
            halt();
        }
    }

    void record(int i, const WorkerResult& result) {
        StationRow& r = row(i);
        r.recording = result;
        const FlashRecord rec{r.attempt_start,
                              r.port,
                              r.device,
                              s_.file.path,
                              s_.file.size,
                              s_.file.sha256,
                              outcome_name(result.outcome),
                              result.reason,
                              result.elapsed_ms,
                              result.bytes_per_s};
        actions_.push_back(
            AppendRecord{i, s_.log_path, flash_record_header(), flash_record_line(rec)});
    }

    // The record is stored (or could not be): now the row shows the result.
    void recorded(int i, const std::error_code& error) {
        StationRow& r = row(i);
        if (!r.recording) return;
        const WorkerResult result = *r.recording;
        r.recording.reset();
        r.in_attempt = false;
        r.last_result = result;
        r.bytes_per_s = result.bytes_per_s;
        switch (result.outcome) {
        case FlashOutcome::done:
            r.bytes = r.total;
            ++r.done;
            ++s_.run.done;
            set_state(i, RowState::done, "", &result);
            break;
        case FlashOutcome::failed:
            ++r.failed;
            ++s_.run.failed;
            set_state(i, RowState::failed,
                      result.reason.empty() ? "no reason given" : result.reason, &result);
            break;
        case FlashOutcome::stopped:
            ++r.stopped;
            ++s_.run.stopped;
            set_state(i, RowState::stopped, "", &result);
            break;
        }
        if (error) {
            s_.run.record_lost = true;
            s_.log_problem = s_.log_path + ": " + error.message();
            show("The flash log cannot be written: " + s_.log_problem +
                 ". No port is armed again.");
            halt();
        }
        // What the worker said while its record was written.
        const std::vector<std::string> held = std::move(r.held_lines);
        r.held_lines.clear();
        const std::optional<WorkerExit> exit = r.held_exit;
        r.held_exit.reset();
        for (const std::string& text : held) line(i, text);
        if (exit) ended(i, *exit);
    }

    void ended(int i, const WorkerExit& exit) {
        StationRow& r = row(i);
        if (r.recording) {
            r.held_exit = exit;
            return;
        }
        if (!r.worker.running) return;
        const WorkerSlot w = r.worker;
        r.worker = {};
        if (r.in_attempt) {
            // It ended in the middle of a flash: the attempt still gets its record.
            const std::int64_t elapsed = now_.ms - r.attempt_start_ms;
            WorkerResult result;
            result.outcome = w.input_closed ? FlashOutcome::stopped : FlashOutcome::failed;
            result.elapsed_ms = elapsed;
            result.bytes_per_s = elapsed > 0 ? r.bytes * 1000 / elapsed : 0;
            result.reason = w.killed ? "worker killed: it did not end within " +
                                           record_seconds(s_.times.stop_grace_ms) +
                                           " s of its stop request"
                                     : worker_exit_text(exit);
            record(i, result);
        } else if (w.input_closed) {
            if (!w.said_error) set_state(i, RowState::stopped);
        } else if (!(w.said_result && !exit.signalled) && !w.said_error) {
            set_state(i, RowState::failed, worker_exit_text(exit));
        }
        plan_restart(i, w, exit);
    }

    // The next worker of a port: at once after a result (it waited out the
    // quiet itself); after a death with the quiet first, as the box may still
    // be talking; after a worker that could not start, later.
    void plan_restart(int i, const WorkerSlot& w, const WorkerExit& exit) {
        if (s_.phase != StationPhase::running) return;
        StationRow& r = row(i);
        const std::int64_t soonest = std::max(now_.ms, w.started_ms + s_.times.min_restart_ms);
        if (w.said_error) {
            r.next_start_ms = now_.ms + s_.times.retry_ms;
            r.next_quiet_first_s = 0;
        } else if (w.said_result && !exit.signalled) {
            r.next_start_ms = soonest;
            r.next_quiet_first_s = 0;
        } else {
            r.next_start_ms = w.armed ? soonest : now_.ms + s_.times.retry_ms;
            r.next_quiet_first_s = s_.quiet_s;
        }
    }

    // After every event: a halting station closes what it no longer needs
    // and finishes when every worker has ended; a running one starts the
    // workers that are due.
    void settle() {
        if (s_.phase == StationPhase::halting) {
            bool busy = false;
            for (std::size_t n = 0; n < s_.rows.size(); ++n) {
                const int i = int(n);
                StationRow& r = row(i);
                r.next_start_ms.reset();
                if (r.worker.running) {
                    if (!r.worker.input_closed &&
                        (s_.stop_requested || (!r.in_attempt && !r.recording)))
                        close_input(i);
                } else if (!r.recording && r.state != RowState::not_started) {
                    set_state(i, RowState::stopped);
                }
                busy = busy || r.worker.running || r.recording;
            }
            if (!busy) {
                s_.phase = StationPhase::idle;
                finish();
            }
        }
        if (s_.phase != StationPhase::running) return;
        for (std::size_t n = 0; n < s_.rows.size(); ++n) {
            StationRow& r = s_.rows[n];
            if (r.worker.running || r.recording || !r.next_start_ms || *r.next_start_ms > now_.ms)
                continue;
            r.next_start_ms.reset();
            r.worker = {};
            r.worker.running = true;
            r.worker.started_ms = now_.ms;
            actions_.push_back(StartWorker{
                int(n), worker_arguments(r.port, s_.file, r.next_quiet_first_s, s_.quiet_s),
                r.next_quiet_first_s});
        }
    }

    StationState& s_;
    const StationNow& now_;
    std::vector<StationAction> actions_;
};

} // namespace

std::vector<StationAction> station_step(StationState& state, const StationEvent& event,
                                        const StationNow& now) {
    return Step(state, now).run(event);
}

std::vector<std::string> worker_arguments(const std::string& port, const PreparedFile& file,
                                          int quiet_first_s, int quiet_s) {
    return {"--worker",      port,
            "--name",        file.path,
            "--size",        std::to_string(file.size),
            "--sha256",      file.sha256,
            "--quiet-first", std::to_string(quiet_first_s),
            "--quiet",       std::to_string(quiet_s)};
}

} // namespace velk2
