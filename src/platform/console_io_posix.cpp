#include "platform/console_io.h"

#ifndef _WIN32

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

#include "platform/file_size_signal.h"

namespace velk2 {

namespace {

constexpr int end_signals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int end_signal_count = sizeof end_signals / sizeof end_signals[0];

std::atomic<int> arrived_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction previous[end_signal_count];
struct sigaction previous_pipe;

extern "C" void note_worker_end_signal(int signal) {
    int none = 0;
    arrived_signal.compare_exchange_strong(none, signal);
}

void write_line(std::FILE* stream, const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

} // namespace

struct ConsoleIo::State {
    bool reading = false;       // the data are being taken
    bool ended = false;         // standard input has ended
    bool ended_in_read = false; // ... before all the data arrived: no stop request
};

ConsoleIo::ConsoleIo() : state_(std::make_shared<State>()) {
    arrived_signal = 0;
    // SA_RESTART: a line being written finishes; the waits (poll) still
    // return early on a signal and look at the flag themselves.
    struct sigaction action {};
    action.sa_handler = note_worker_end_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < end_signal_count; ++i) sigaction(end_signals[i], &action, &previous[i]);
    // A station that died must not kill the worker with the line still set
    // up: a write to its pipe fails instead, and the end of input stops it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous_pipe);
    ignore_file_size_signal();
}

ConsoleIo::~ConsoleIo() {
    for (int i = 0; i < end_signal_count; ++i) sigaction(end_signals[i], &previous[i], nullptr);
    sigaction(SIGPIPE, &previous_pipe, nullptr);
}

std::string ConsoleIo::read(std::size_t n) {
    State& s = *state_;
    s.reading = true;
    char buffer[65536];
    while (!s.ended && arrived_signal.load() == 0) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        const ssize_t got = ::read(STDIN_FILENO, buffer, std::min(n, sizeof buffer));
        if (got > 0) return std::string(buffer, std::size_t(got));
        if (got == 0 || (errno != EINTR && errno != EAGAIN)) s.ended = s.ended_in_read = true;
    }
    return {};
}

int ConsoleIo::stop_request() {
    if (const int signal = arrived_signal.load()) return signal;
    State& s = *state_;
    // The input is looked at only once the data were taken.
    if (!s.reading || s.ended_in_read) return 0;
    if (!s.ended) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0) {
            // Whatever arrives after the data is of no use and is dropped.
            char buffer[4096];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if ((p.revents & POLLNVAL) || got == 0 ||
                (got < 0 && errno != EINTR && errno != EAGAIN))
                s.ended = true;
        }
    }
    return s.ended ? SIGTERM : 0;
}

void ConsoleIo::wait(int ms) {
    if (stop_request() != 0) return;
    const State& s = *state_;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    // A signal ends the poll early; the input wakes it once the data were taken.
    ::poll(&p, s.reading && !s.ended_in_read ? 1 : 0, ms);
}

void ConsoleIo::write_output(const std::string& line) {
    write_line(stdout, line);
}

void ConsoleIo::write_error(const std::string& line) {
    write_line(stderr, line);
}

} // namespace velk2

#endif
