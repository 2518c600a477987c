#include "platform/qt/end_signals.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include "platform/file_size_signal.h"

namespace velk2 {

namespace {

constexpr int end_signals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int end_signal_count = sizeof end_signals / sizeof end_signals[0];

// Read and written inside the handler, which may run on any of Qt's threads.
std::atomic<int> arrived_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> wake_write_fd{-1};

int wake_read_fd = -1;
int users = 0;
struct sigaction previous[end_signal_count];
std::unique_ptr<QSocketNotifier> notifier;

extern "C" void note_end_signal(int signal) {
    const int saved_errno = errno;
    int none = 0;
    arrived_signal.compare_exchange_strong(none, signal);
    const char byte = 1;
    const int fd = wake_write_fd.load();
    if (fd >= 0 && ::write(fd, &byte, 1) < 0) {
        // A full pipe already holds a wake-up.
    }
    errno = saved_errno;
}

// On the wake-up: the pipe emptied, every open dialog rejected so that its
// exec() returns and the platform can throw.
void on_wake() {
    char bytes[64];
    while (::read(wake_read_fd, bytes, sizeof bytes) > 0) {
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
}

bool make_pipe() {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    for (int fd : fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    wake_read_fd = fds[0];
    wake_write_fd = fds[1];
    return true;
}

} // namespace

EndSignals::EndSignals() {
    if (users++ > 0) return;
    arrived_signal = 0;
    if (make_pipe()) {
        notifier = std::make_unique<QSocketNotifier>(wake_read_fd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, on_wake);
    }
    // SA_RESTART: file and terminal writes in progress finish as if nothing
    // had happened; the waits that return early look at the flag themselves.
    struct sigaction action {};
    action.sa_handler = note_end_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < end_signal_count; ++i) sigaction(end_signals[i], &action, &previous[i]);
    ignore_file_size_signal();
}

EndSignals::~EndSignals() {
    if (--users > 0) return;
    for (int i = 0; i < end_signal_count; ++i) sigaction(end_signals[i], &previous[i], nullptr);
    notifier.reset();
    if (wake_read_fd >= 0) ::close(wake_read_fd);
    if (const int fd = wake_write_fd.exchange(-1); fd >= 0) ::close(fd);
    wake_read_fd = -1;
}

int EndSignals::arrived() {
    return arrived_signal.load();
}

} // namespace velk2
