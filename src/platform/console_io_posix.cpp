#include "platform/console_io.h"

#ifndef _WIN32

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

#include "platform/console_signals.h"

namespace velk2 {

namespace {

void write_line(std::FILE* stream, const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

} // namespace

struct ConsoleIo::State {
    ConsoleSignals signals;     // notes the end signals while the worker runs
    bool reading = false;       // the data are being taken
    bool ended = false;         // standard input has ended
    bool ended_in_read = false; // ... before all the data arrived: no stop request
};

ConsoleIo::ConsoleIo() : state_(std::make_shared<State>()) {}

ConsoleIo::~ConsoleIo() = default;

std::string ConsoleIo::read(std::size_t n) {
    State& s = *state_;
    s.reading = true;
    char buffer[65536];
    while (!s.ended && ConsoleSignals::arrived() == 0) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        const ssize_t got = ::read(STDIN_FILENO, buffer, std::min(n, sizeof buffer));
        if (got > 0) return std::string(buffer, std::size_t(got));
        if (got == 0 || (errno != EINTR && errno != EAGAIN)) s.ended = s.ended_in_read = true;
    }
    return {};
}

int ConsoleIo::stop_request() {
    if (const int signal = ConsoleSignals::arrived()) return signal;
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
