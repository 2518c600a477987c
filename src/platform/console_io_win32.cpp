#include "platform/console_io.h"

#ifdef _WIN32

#include <algorithm>
#include <atomic>
#include <csignal>
#include <mutex>
#include <vector>

#include "platform/win32/win32_api.h"

namespace velk2 {

namespace {

std::atomic<int> arrived_signal{0};
std::atomic<bool> end_steps_done{false};
// Set by a console event, and by the end of standard input once the data
// were taken: the waits end early on it. Made once, for the process.
HANDLE stop_event = nullptr;

// Long enough to close the port; Windows ends the process after about five
// seconds anyway.
constexpr DWORD close_grace_ms = 4000;

int signal_for(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
        return SIGINT;
    case CTRL_BREAK_EVENT:
        return SIGBREAK;
    default: // close, log-off, shutdown
        return SIGTERM;
    }
}

// Runs on a thread of the system's: only notes the event. Windows ends the
// process when the handler of a close event returns, so that one waits for
// the end steps.
BOOL WINAPI note_console_event(DWORD event) {
    int none = 0;
    arrived_signal.compare_exchange_strong(none, signal_for(event));
    SetEvent(stop_event);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        for (DWORD waited = 0; !end_steps_done && waited < close_grace_ms; waited += 20) Sleep(20);
    }
    return TRUE;
}

bool usable(HANDLE h) {
    return h != nullptr && h != INVALID_HANDLE_VALUE;
}

// The bytes as they are: a pipe or a file takes no translation of line ends.
void write_line(DWORD which, const std::string& line) {
    const HANDLE h = GetStdHandle(which);
    if (!usable(h)) return;
    const std::string text = line + "\r\n";
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!WriteFile(h, text.data() + done, DWORD(text.size() - done), &written, nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

} // namespace

// Shared with the reader thread, which may still wait in ReadFile when the
// program ends.
struct ConsoleIo::State {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE wanted = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // a read is asked for
    HANDLE answered = CreateEventW(nullptr, TRUE, FALSE, nullptr); // its bytes are there
    std::mutex lock;
    bool started = false;       // the reader thread runs
    bool busy = false;          // a read is asked for and not yet answered
    std::size_t want = 0;       // its size
    bool dropping = false;      // the data were taken: read to the end, keep nothing
    std::string got;            // the answer
    bool ended = false;         // standard input has ended
    bool ended_in_read = false; // ... before all the data arrived: no stop request

    ~State() {
        CloseHandle(wanted);
        CloseHandle(answered);
    }
};

namespace {

using SharedState = std::shared_ptr<ConsoleIo::State>;

DWORD WINAPI read_input(void* parameter) {
    const std::unique_ptr<SharedState> hold(static_cast<SharedState*>(parameter));
    ConsoleIo::State& s = **hold;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        WaitForSingleObject(s.wanted, INFINITE);
        for (;;) {
            DWORD n = DWORD(buffer.size());
            {
                const std::lock_guard<std::mutex> guard(s.lock);
                if (!s.dropping) n = DWORD(std::min(s.want, buffer.size()));
            }
            DWORD got = 0;
            const bool ok = ReadFile(s.input, buffer.data(), n, &got, nullptr) && got > 0;
            bool dropping = false;
            {
                const std::lock_guard<std::mutex> guard(s.lock);
                if (!ok)
                    s.ended = true;
                else if (!s.dropping)
                    s.got.append(buffer.data(), got);
                dropping = s.dropping;
                s.busy = dropping && !s.ended;
            }
            SetEvent(s.answered);
            if (!ok) {
                if (dropping) SetEvent(stop_event);
                return 0;
            }
            if (!dropping) break;
        }
    }
}

} // namespace

ConsoleIo::ConsoleIo() : state_(std::make_shared<State>()) {
    arrived_signal = 0;
    end_steps_done = false;
    if (!stop_event) stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(stop_event);
    SetConsoleCtrlHandler(note_console_event, TRUE);
}

ConsoleIo::~ConsoleIo() {
    end_steps_done = true;
    SetConsoleCtrlHandler(note_console_event, FALSE);
}

std::string ConsoleIo::read(std::size_t n) {
    State& s = *state_;
    {
        const std::lock_guard<std::mutex> guard(s.lock);
        if (!s.started) {
            auto* hold = new SharedState(state_);
            const HANDLE thread = CreateThread(nullptr, 0, read_input, hold, 0, nullptr);
            if (!thread) {
                delete hold;
                s.ended = s.ended_in_read = true;
                return {};
            }
            CloseHandle(thread);
            s.started = true;
        }
        if (s.ended) {
            s.ended_in_read = true;
            return {};
        }
        if (!s.busy) {
            s.busy = true;
            s.want = n;
            s.got.clear();
            ResetEvent(s.answered);
            SetEvent(s.wanted);
        }
    }
    const HANDLE events[] = {s.answered, stop_event};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) return {};
    const std::lock_guard<std::mutex> guard(s.lock);
    s.busy = false;
    if (s.ended && s.got.empty()) s.ended_in_read = true;
    return std::move(s.got);
}

int ConsoleIo::stop_request() {
    if (const int signal = arrived_signal.load()) return signal;
    State& s = *state_;
    const std::lock_guard<std::mutex> guard(s.lock);
    // The input is looked at only once the data were taken.
    if (!s.started || s.ended_in_read) return 0;
    if (!s.dropping) {
        s.dropping = true;
        if (!s.busy && !s.ended) {
            s.busy = true;
            SetEvent(s.wanted);
        }
    }
    return s.ended ? SIGTERM : 0;
}

void ConsoleIo::wait(int ms) {
    if (stop_request() != 0) return;
    WaitForSingleObject(stop_event, DWORD(std::max(ms, 0)));
}

void ConsoleIo::write_output(const std::string& line) {
    write_line(STD_OUTPUT_HANDLE, line);
}

void ConsoleIo::write_error(const std::string& line) {
    write_line(STD_ERROR_HANDLE, line);
}

} // namespace velk2

#endif
