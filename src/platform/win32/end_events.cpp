#include "platform/win32/end_events.h"

#include <atomic>
#include <csignal>

namespace velk2 {

namespace {

std::atomic<int> arrived_signal{0};
std::atomic<bool> program_finished{false};
DWORD window_thread = 0;
int users = 0;

// Long enough for a transfer to reach its end steps; Windows ends the process
// after about five seconds anyway.
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

BOOL CALLBACK close_dialog(HWND window, LPARAM) {
    wchar_t cls[16] = {};
    // "#32770" is the class of message boxes and file dialogs.
    if (GetClassNameW(window, cls, 16) && lstrcmpW(cls, L"#32770") == 0)
        PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

BOOL WINAPI note_end_event(DWORD event) {
    int none = 0;
    arrived_signal.compare_exchange_strong(none, signal_for(event));
    EnumThreadWindows(window_thread, close_dialog, 0);
    PostThreadMessageW(window_thread, WM_NULL, 0, 0);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        for (DWORD waited = 0; !program_finished && waited < close_grace_ms; waited += 20)
            Sleep(20);
    }
    return TRUE;
}

} // namespace

EndEvents::EndEvents() {
    if (users++ > 0) return;
    arrived_signal = 0;
    program_finished = false;
    window_thread = GetCurrentThreadId();
    SetConsoleCtrlHandler(note_end_event, TRUE);
}

EndEvents::~EndEvents() {
    finished();
    if (--users > 0) return;
    SetConsoleCtrlHandler(note_end_event, FALSE);
}

int EndEvents::arrived() {
    return arrived_signal.load();
}

void EndEvents::finished() {
    program_finished = true;
}

} // namespace velk2
