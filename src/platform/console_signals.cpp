#include "platform/console_signals.h"

#ifndef _WIN32

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>

#include "platform/file_size_signal.h"
#include "platform/wall_clock.h"

namespace velk2 {

namespace {

constexpr int end_signals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int end_signal_count = sizeof end_signals / sizeof end_signals[0];

std::atomic<int> arrived_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction previous[end_signal_count];
struct sigaction previous_pipe;

extern "C" void note_console_signal(int signal) {
    int none = 0;
    arrived_signal.compare_exchange_strong(none, signal);
}

} // namespace

ConsoleSignals::ConsoleSignals() {
    arrived_signal = 0;
    // SA_RESTART: a line being written finishes; the sleeps and waits
    // (nanosleep, poll) still return early on a signal, whatever the flag.
    struct sigaction action {};
    action.sa_handler = note_console_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < end_signal_count; ++i) sigaction(end_signals[i], &action, &previous[i]);
    // A reader of our output that went away must not end the program with
    // its lines still set up: the write fails instead.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous_pipe);
    ignore_file_size_signal();
}

ConsoleSignals::~ConsoleSignals() {
    for (int i = 0; i < end_signal_count; ++i) sigaction(end_signals[i], &previous[i], nullptr);
    sigaction(SIGPIPE, &previous_pipe, nullptr);
}

int ConsoleSignals::arrived() {
    return arrived_signal.load();
}

int ConsoleSignals::sleep_until(std::int64_t until_ms) {
    for (;;) {
        if (const int signal = arrived()) return signal;
        const std::int64_t left = until_ms - steady_ms();
        if (left <= 0) return 0;
        const timespec span{time_t(left / 1000), long(left % 1000) * 1000000L};
        if (nanosleep(&span, nullptr) != 0 && errno != EINTR) return arrived();
    }
}

} // namespace velk2

#endif
