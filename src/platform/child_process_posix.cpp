// Child processes on POSIX systems: posix_spawn with three pipes, the
// parent's ends non-blocking, the end collected with waitpid(WNOHANG).
#include "platform/child_process.h"

#ifndef _WIN32

#include "platform/child_output.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace velk2 {

namespace {

// What one poll reads from a pipe at most, so that a child that floods its
// output cannot hold its owner up.
constexpr std::size_t read_per_poll = 256 * 1024;
// The child's input pipe holds this much where the system allows, so that
// the prepared data of an upload goes out in a few polls.
constexpr int input_pipe_bytes = 1024 * 1024;

std::string reason(int error) {
    return std::generic_category().message(error);
}

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// A pipe whose ends are closed on exec and lie above the standard
// descriptors (a process started with one of those closed gets them back
// from pipe2, and the child's dup2 would then clash with them).
int make_pipe(int ends[2]) {
    if (pipe2(ends, O_CLOEXEC) != 0) return errno;
    for (int i = 0; i < 2; ++i) {
        if (ends[i] > 2) continue;
        const int moved = fcntl(ends[i], F_DUPFD_CLOEXEC, 3);
        const int error = errno;
        ::close(ends[i]);
        ends[i] = moved;
        if (moved < 0) {
            close_fd(ends[1 - i]);
            return error;
        }
    }
    return 0;
}

// A write to a pipe whose reader has gone raises SIGPIPE, which would end
// this program. It is blocked for the call; one the call raised is taken
// back before the old mask returns, one that was pending before is left.
ssize_t write_without_sigpipe(int fd, const char* data, std::size_t n) {
    sigset_t pipe_signal, old, pending;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    sigemptyset(&pending);
    sigpending(&pending);
    const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &old);
    const ssize_t written = ::write(fd, data, n);
    const int error = errno;
    if (written < 0 && error == EPIPE && !was_pending) {
        const timespec none{0, 0};
        sigtimedwait(&pipe_signal, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = error;
    return written;
}

class PosixChild final : public ChildProcess {
  public:
    PosixChild(pid_t pid, int input, int output, int errors)
        : pid_(pid), in_(input), out_(output), err_(errors) {}
    ~PosixChild() override;
    PosixChild(const PosixChild&) = delete;
    PosixChild& operator=(const PosixChild&) = delete;

    void write_input(std::string_view bytes) override;
    std::size_t input_pending() const override { return queue_.size() - sent_; }
    void close_input() override;
    void poll() override;
    std::vector<std::string> take_lines() override { return output_.take_lines(); }
    std::string stderr_tail() const override { return output_.stderr_tail(); }
    std::optional<ChildExit> exit_status() const override { return exit_; }
    void kill() override;

  private:
    void feed();
    void drain(int& fd, bool is_stdout, std::size_t limit);
    bool reap(int options);

    pid_t pid_;
    int in_, out_, err_;
    std::string queue_;
    std::size_t sent_ = 0; // bytes of queue_ the child has taken
    ChildOutput output_{max_line_bytes, stderr_tail_lines};
    std::optional<ChildExit> exit_;
};

PosixChild::~PosixChild() {
    if (!exit_) {
        ::kill(pid_, SIGKILL);
        reap(0);
    }
    close_fd(in_);
    close_fd(out_);
    close_fd(err_);
}

void PosixChild::write_input(std::string_view bytes) {
    if (in_ < 0) return;
    if (sent_ == queue_.size()) {
        queue_.clear();
        sent_ = 0;
    }
    queue_ += bytes;
    feed();
}

void PosixChild::close_input() {
    queue_.clear();
    sent_ = 0;
    close_fd(in_);
}

void PosixChild::feed() {
    while (in_ >= 0 && sent_ < queue_.size()) {
        const ssize_t n = write_without_sigpipe(in_, queue_.data() + sent_, queue_.size() - sent_);
        if (n > 0) {
            sent_ += std::size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return; // the pipe is full: the rest at the next poll
        } else {
            close_input(); // the child no longer reads its input
        }
    }
    if (sent_ == queue_.size()) {
        queue_.clear();
        sent_ = 0;
    }
}

void PosixChild::drain(int& fd, bool is_stdout, std::size_t limit) {
    char buffer[16 * 1024];
    for (std::size_t taken = 0; fd >= 0 && taken < limit;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            const std::string_view bytes(buffer, std::size_t(n));
            is_stdout ? output_.add_stdout(bytes) : output_.add_stderr(bytes);
            taken += std::size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return;
        } else {
            close_fd(fd); // the end of the output, or a pipe that failed
        }
    }
}

bool PosixChild::reap(int options) {
    int status = 0;
    pid_t got;
    do {
        got = waitpid(pid_, &status, options);
    } while (got < 0 && errno == EINTR);
    if (got != pid_) return false;
    exit_ = WIFSIGNALED(status) ? ChildExit{true, WTERMSIG(status)}
                                : ChildExit{false, WIFEXITED(status) ? WEXITSTATUS(status) : 0};
    return true;
}

void PosixChild::poll() {
    if (exit_) return;
    feed();
    pollfd fds[2];
    nfds_t count = 0;
    if (out_ >= 0) fds[count++] = {out_, POLLIN, 0};
    if (err_ >= 0) fds[count++] = {err_, POLLIN, 0};
    if (count > 0 && ::poll(fds, count, 0) > 0) {
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == out_)
                drain(out_, true, read_per_poll);
            else
                drain(err_, false, read_per_poll);
        }
    }
    if (!reap(WNOHANG)) return;
    // All it wrote is in the pipes now: take it before its end is told.
    // (A grandchild that kept the pipes open could write on: bounded.)
    drain(out_, true, 4 * read_per_poll);
    drain(err_, false, 4 * read_per_poll);
    close_input();
}

void PosixChild::kill() {
    if (!exit_) ::kill(pid_, SIGKILL);
}

} // namespace

ChildStart start_child(const std::string& program, const std::vector<std::string>& arguments) {
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    const auto close_all = [&] {
        for (int* ends : {in, out, err})
            for (int i = 0; i < 2; ++i) close_fd(ends[i]);
    };
    for (int* ends : {in, out, err}) {
        if (const int error = make_pipe(ends); error != 0) {
            close_all();
            return {nullptr, "cannot make a pipe: " + reason(error)};
        }
    }
#ifdef F_SETPIPE_SZ
    fcntl(in[1], F_SETPIPE_SZ, input_pipe_bytes); // a smaller pipe only costs polls
#endif

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors opened without close-on-exec (by a library) stay here too.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group; no signal blocked, every one at its default
    // (this program may ignore SIGPIPE or block the end signals).
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);

    std::vector<std::string> texts{program};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close_fd(in[0]);
    close_fd(out[1]);
    close_fd(err[1]);
    if (error != 0) {
        close_all();
        return {nullptr, program + ": " + reason(error)};
    }
    for (const int fd : {in[1], out[0], err[0]})
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return {std::make_unique<PosixChild>(pid, in[1], out[0], err[0]), {}};
}

} // namespace velk2

#endif // _WIN32
