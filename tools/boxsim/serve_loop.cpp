#include "serve_loop.h"

#include "adapter.h"
#include "file_io.h"
#include "hex_text.h"
#include "pacer.h"
#include "uart_sampling.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <optional>
#include <poll.h>
#include <vector>

namespace boxsim {
namespace {

bool is_line_rate(int baud) {
    return baud == 38400 || baud == 115200 || baud == 230400;
}

using Clock = std::chrono::steady_clock;

// A poll wake-up at least this often: roles count time in ticks.
constexpr Millis tick_period{5};
// While paced bytes wait, the loop lets them through about this often: less
// than the 1-ms silence after which the PC ends a read, so a block comes as
// one stream, as on a real line. The last byte queued goes exactly when its
// line time is over, so the end of a block is not late by a wake-up.
constexpr Nanos pace_period{500'000};
// Once the PC has read the last answer of a --once run, the line stays up
// this long, so the PC can finish its own end steps before it goes away.
constexpr Millis linger{1500};
// How long the PC's read queue must stay empty before the box's last bytes
// count as read.
constexpr Millis settle{50};
// Longest wait for the PC to read the last answer before exiting anyway.
constexpr Millis drain_limit{3000};
// Box output the PC leaves unread beyond this is thrown away, as a real line
// loses what nobody listens to.
constexpr std::size_t stale_limit = 2048;

std::string rate_text(int baud) {
    return baud == 0 ? "an unknown rate" : std::to_string(baud);
}

// poll with a time-out finer than a millisecond where the system has it.
int poll_for(pollfd& pfd, Nanos wait) {
#ifdef __linux__
    const timespec limit{static_cast<time_t>(wait.count() / 1'000'000'000),
                         static_cast<long>(wait.count() % 1'000'000'000)};
    return ppoll(&pfd, 1, &limit, nullptr);
#else
    return poll(&pfd, 1, static_cast<int>(std::chrono::ceil<Millis>(wait).count()));
#endif
}

class Session {
  public:
    Session(Line& line, Role& role, const ServeSettings& settings)
        : line_(line), role_(role), settings_(settings), start_(Clock::now()),
          adapter_(settings.adapter_latency) {
        turnarounds_.reserve(4096); // more than the blocks of a transfer
    }

    int run(const sigset_t& stop_signals);

  private:
    // One turn-around of the PC, on the monotonic clock.
    struct Turnaround {
        Nanos gone; // the last byte of the box's reply has left the line
        Nanos in;   // the PC's next bytes have reached the box
    };
    struct Awaited {
        char lead;
        Nanos gone;
    };

    Nanos now() const { return Clock::now() - start_; }
    static Millis millis(Nanos t) { return std::chrono::duration_cast<Millis>(t); }
    void log(const std::string& text) const;
    void handle(Step step);
    void save(const ReceivedFile& file);
    void watch_rates(Nanos t);
    void take_input(const Line::Input& input, Nanos t);
    void feed_role(Nanos t);
    bool push_output(Nanos t);
    void wire_gone();
    void log_turnarounds();
    int serve_until_end(const sigset_t& stop_signals);
    bool output_idle() const { return outbox_.empty() && wire_.empty() && adapter_.held() == 0; }
    // Box bytes the PC has not read yet, those still in the adapter included.
    std::size_t unread_by_pc() const { return line_.unread_by_pc() + adapter_.held(); }
    void collect_from_adapter(Nanos t);
    Nanos poll_wait(Nanos t) const;
    bool quiet() const { return hang_up_ || (settings_.once && finished_); }
    std::optional<int> ending(Nanos t);

    Line& line_;
    Role& role_;
    const ServeSettings& settings_;
    Clock::time_point start_;
    std::optional<Line::Rates> rates_;
    // The rate the PC last sent at while its port was open. Its close puts
    // the line back to the idle rate, possibly before the simulator has read
    // the last bytes written at the real rate.
    std::optional<int> talk_rate_;
    std::string inbox_;               // bytes that reached the box, not yet taken
    std::deque<Transmission> outbox_; // box bytes not yet on the line
    std::string wire_;                // line bytes (already garbled) not yet written
    // Between the line and the PC: holds the box's bytes as a USB adapter does.
    Adapter adapter_;
    // A byte reaches the other end when its line time is over, never before,
    // as on a real line: a box that answered a block before its last byte
    // could have come would hide the PC's own delays behind the line time.
    Pacer in_pacer_{38400, Nanos{0}};
    Pacer out_pacer_{38400, Nanos{0}};
    bool finished_ = false;
    bool hang_up_ = false;
    bool failed_ = false;
    bool own_flush_ = false;
    std::optional<Nanos> ending_since_;
    std::optional<Nanos> drained_since_;
    // The PC's turn-around after a timed transmission (Transmission::
    // turnaround_until). Kept in memory and logged once per transfer, so the
    // loop does no more I/O per block than before.
    std::optional<char> timed_on_wire_;    // the wire_ bytes end a timed transmission
    std::optional<char> timed_in_adapter_; // the adapter's bytes end one
    std::optional<Awaited> awaited_;
    std::vector<Turnaround> turnarounds_;
    bool transfer_over_ = false;
    unsigned files_received_ = 0;
};

void Session::log(const std::string& text) const {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    std::fprintf(stderr, "boxsim %8.3f %s\n", seconds, text.c_str());
}

void Session::handle(Step step) {
    for (const auto& line : step.log) log(line);
    if (step.file) save(*step.file);
    for (const auto& result : step.results) {
        std::printf("%s\n", result.c_str());
        std::fflush(stdout);
    }
    if (outbox_.empty() && wire_.empty() && !step.out.empty()) out_pacer_.resume(now());
    for (auto& t : step.out) outbox_.push_back(std::move(t));
    finished_ = finished_ || step.finished;
    transfer_over_ = transfer_over_ || step.finished;
    hang_up_ = hang_up_ || step.hang_up;
}

void Session::save(const ReceivedFile& file) {
    ++files_received_;
    const std::string name =
        settings_.number_files ? std::to_string(files_received_) + "-" + file.name : file.name;
    const std::string path = settings_.out_dir + "/" + name;
    if (!write_whole_file(path, file.bytes)) {
        log("cannot write " + path);
        std::printf("failed %s: cannot write %s\n", name.c_str(), path.c_str());
    } else {
        log("saved " + path);
        std::printf("received %s %zu bytes crc-ok\n", name.c_str(), file.bytes.size());
    }
    std::fflush(stdout);
}

void Session::watch_rates(Nanos t) {
    const auto rates = line_.pc_rates();
    if (!rates || rates == rates_) return;
    const bool first = !rates_;
    rates_ = rates;
    if (is_line_rate(rates->pc_sends)) talk_rate_ = rates->pc_sends;
    log("PC's end: sends at " + rate_text(rates->pc_sends) + ", hears at " +
        rate_text(rates->pc_hears));
    if (!first && !quiet()) handle(role_.line_event(millis(t)));
}

void Session::take_input(const Line::Input& input, Nanos t) {
    if (input.failed) {
        log("reading the line failed");
        failed_ = true;
        return;
    }
    if (input.pc_touched && own_flush_) {
        own_flush_ = false; // the report of our own discard below
    } else if (input.pc_touched) {
        log("PC flushed its port");
        if (!quiet()) handle(role_.line_event(millis(t)));
    }
    if (input.bytes.empty() || quiet()) return;
    // The PC never writes with its port closed: bytes found while its end is
    // at the idle rate were sent at the rate it last talked at.
    int sent_at = rates_ ? rates_->pc_sends : 0;
    if (!is_line_rate(sent_at) && talk_rate_) sent_at = *talk_rate_;
    if (line_.simulated() && rates_ && sent_at != role_.baud()) {
        log("ignored " + std::to_string(input.bytes.size()) + " byte(s) the PC sent at " +
            rate_text(sent_at) + " (box at " + std::to_string(role_.baud()) +
            "): " + hex_text(input.bytes));
        return;
    }
    if (awaited_) {
        if (input.bytes[0] == awaited_->lead)
            turnarounds_.push_back({awaited_->gone, start_.time_since_epoch() + t});
        awaited_.reset();
    }
    if (inbox_.empty()) in_pacer_.resume(t);
    inbox_ += input.bytes;
}

void Session::feed_role(Nanos t) {
    if (inbox_.empty()) return;
    std::size_t count = inbox_.size();
    if (settings_.pace) {
        in_pacer_.set_baud(role_.baud());
        count = std::min(count, in_pacer_.allowance(t));
        in_pacer_.spend(count, t);
    }
    if (count == 0) return;
    const std::string bytes = inbox_.substr(0, count);
    inbox_.erase(0, count);
    handle(role_.receive(bytes, millis(t)));
}

// What the adapter hands the PC now goes to the line; a timed transmission
// whose end has left the adapter is timed from the moment the PC has it.
void Session::collect_from_adapter(Nanos t) {
    wire_ += adapter_.hand_on(t);
    if (timed_in_adapter_ && adapter_.held() == 0) {
        timed_on_wire_ = timed_in_adapter_;
        timed_in_adapter_.reset();
    }
}

// Moves box bytes onto the line; false when the line failed.
bool Session::push_output(Nanos t) {
    while (true) {
        collect_from_adapter(t);
        if (!wire_.empty()) {
            const auto written = line_.write_some(wire_);
            if (!written) return false;
            wire_.erase(0, *written);
            if (!wire_.empty()) return true; // the line is full for now
            if (timed_on_wire_) wire_gone();
        }
        if (outbox_.empty()) return true;
        Transmission& front = outbox_.front();
        if (front.optional && line_.simulated() && unread_by_pc() > 0) {
            log("left out " + hex_text(front.bytes) + ": the PC has not read the last one yet");
            outbox_.pop_front();
            continue;
        }
        if (!line_.simulated() && line_.device_baud() != front.baud) {
            line_.set_device_baud(front.baud);
        }
        std::size_t count = front.bytes.size();
        if (settings_.pace) {
            out_pacer_.set_baud(front.baud);
            count = std::min(count, out_pacer_.allowance(t));
            out_pacer_.spend(count, t);
        }
        if (count == 0) return true;
        const std::string bytes = front.bytes.substr(0, count);
        const int baud = front.baud;
        front.bytes.erase(0, count);
        if (front.bytes.empty()) {
            if (front.turnaround_until) timed_in_adapter_ = front.turnaround_until;
            outbox_.pop_front();
        }
        if (line_.simulated() && rates_ && rates_->pc_hears != baud) {
            const std::string heard = resample(bytes, baud, rates_->pc_hears);
            log("sent " + hex_text(bytes) + " at " + std::to_string(baud) + ", the PC hears " +
                rate_text(rates_->pc_hears) + ": " + hex_text(heard));
            adapter_.take(heard, t);
        } else {
            adapter_.take(bytes, t);
        }
    }
}

// The last byte of a timed transmission has just been written: paced, that
// is the moment its line time is over.
void Session::wire_gone() {
    awaited_ = Awaited{*timed_on_wire_, Clock::now().time_since_epoch()};
    timed_on_wire_.reset();
}

// One line for the whole transfer: "gone>in" pairs in microseconds.
void Session::log_turnarounds() {
    transfer_over_ = false;
    if (turnarounds_.empty()) return;
    const auto us = [](Nanos t) {
        return std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(t).count());
    };
    std::string text = "PC turn-around, " + std::to_string(turnarounds_.size()) +
                       " times (monotonic us, reply gone>next bytes in):";
    text.reserve(text.size() + turnarounds_.size() * 28);
    for (const auto& turn : turnarounds_) {
        text += ' ';
        text += us(turn.gone);
        text += '>';
        text += us(turn.in);
    }
    log(text);
    turnarounds_.clear();
}

Nanos Session::poll_wait(Nanos t) const {
    const auto until_due = [t](const Pacer& pacer, std::size_t queued) {
        const Nanos last = pacer.all_gone_at(queued, t) - t;
        if (last <= pace_period) return last;
        return std::max<Nanos>(pacer.next_byte_at(t) - t, pace_period);
    };
    Nanos wait = tick_period;
    if (settings_.pace && !inbox_.empty())
        wait = std::min(wait, until_due(in_pacer_, inbox_.size()));
    if (settings_.pace && wire_.empty() && !outbox_.empty())
        wait = std::min(wait, until_due(out_pacer_, outbox_.front().bytes.size()));
    if (const auto tick = adapter_.next_tick(t)) wait = std::min(wait, *tick - t);
    return std::max(wait, Nanos{0});
}

// The exit status once the run is over, or nothing while it goes on.
std::optional<int> Session::ending(Nanos t) {
    if (failed_) return exit_line_failed;
    if (t >= settings_.run_limit) {
        log("run time limit reached");
        return settings_.once && !finished_ ? exit_incomplete : exit_ok;
    }
    if (!quiet()) return std::nullopt;
    if (!ending_since_) ending_since_ = t;
    // Bytes just written reach the PC's read queue a moment later: the line
    // counts as drained once nothing has been waiting for a while.
    const bool drained = output_idle() && unread_by_pc() == 0;
    if (!drained) drained_since_.reset();
    if (drained && !drained_since_) drained_since_ = t;
    const bool settled = drained_since_ && t - *drained_since_ >= settle;
    const bool gave_up = t - *ending_since_ >= drain_limit;
    if (hang_up_ && (settled || gave_up)) {
        log("dropping the line");
        line_.hang_up();
        return exit_ok;
    }
    if (finished_ && ((drained_since_ && t - *drained_since_ >= linger) || gave_up)) {
        log("transfer complete, exiting");
        return exit_ok;
    }
    return std::nullopt;
}

int Session::run(const sigset_t& stop_signals) {
    const int status = serve_until_end(stop_signals);
    log_turnarounds(); // a transfer that did not finish
    return status;
}

int Session::serve_until_end(const sigset_t& stop_signals) {
    log("serving " + line_.path() + ", box at " + std::to_string(role_.baud()));
    if (settings_.adapter_latency.count() > 0)
        log("adapter: the box's bytes reach the PC in packets of " +
            std::to_string(Adapter::packet_bytes) + " or when the " +
            std::to_string(settings_.adapter_latency.count()) + "-ms timer ticks");
    watch_rates(now());
    while (true) {
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
            if (sigismember(&stop_signals, sig) == 1 && sigismember(&pending, sig) == 1) {
                log("stopped by signal " + std::to_string(sig));
                return exit_ok;
            }
        }
        if (const auto status = ending(now())) return *status;

        pollfd pfd{line_.fd(), POLLIN | POLLPRI, 0};
        if (!wire_.empty()) pfd.events |= POLLOUT;
        const int ready = poll_for(pfd, poll_wait(now()));
        const Nanos t = now();
        watch_rates(t);
        if (ready > 0 && (pfd.revents & (POLLIN | POLLPRI)) != 0) take_input(line_.read_some(), t);
        if (ready > 0 && (pfd.revents & (POLLERR | POLLNVAL)) != 0) failed_ = true;
        if (!quiet()) {
            feed_role(t);
            handle(role_.tick(millis(t)));
        }
        if (!push_output(t)) {
            log("writing to the line failed");
            failed_ = true;
        }
        if (transfer_over_ && output_idle()) log_turnarounds();
        if (line_.simulated() && line_.unread_by_pc() > stale_limit) {
            log("the PC left " + std::to_string(line_.unread_by_pc()) + " bytes unread: discarded");
            line_.discard_unread_by_pc();
            own_flush_ = true;
        }
        // A device listens at the box's new rate once the answer at the old
        // one has left (the monitor's speed command).
        if (!line_.simulated() && output_idle() && line_.device_baud() != role_.baud()) {
            log("device now at " + std::to_string(role_.baud()));
            line_.set_device_baud(role_.baud());
        }
    }
}

} // namespace

int serve(Line& line, Role& role, const ServeSettings& settings, const sigset_t& stop_signals) {
    Session session(line, role, settings);
    return session.run(stop_signals);
}

} // namespace boxsim
