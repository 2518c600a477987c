#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {
namespace {

// The bench's environment with the launch's values put over it.
std::vector<std::string> environment_of(const Launch& launch) {
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::size_t eq = entry.find('=');
        if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : launch.env) merged[key] = value;
    std::vector<std::string> out;
    for (const auto& [key, value] : merged) out.push_back(key + "=" + value);
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (auto& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

// Where an unpiped stream goes, opened before the fork.
int open_sink(const std::string& file) {
    const char* path = file.empty() ? "/dev/null" : file.c_str();
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

double seconds_of(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

} // namespace

std::optional<Child> Child::start(const Launch& launch, std::string& error) {
    std::vector<std::string> args = launch.argv;
    std::vector<std::string> env = environment_of(launch);
    std::vector<char*> argp = pointers(args);
    std::vector<char*> envp = pointers(env);

    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (launch.pipe_stdout ? pipe2(out, O_CLOEXEC) != 0
                           : (out[1] = open_sink(launch.stdout_file)) < 0) {
        error = "cannot set up the output of " + args[0] + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (launch.pipe_stderr ? pipe2(err, O_CLOEXEC) != 0
                           : (err[1] = open_sink(launch.stderr_file)) < 0) {
        error = "cannot set up the error output of " + args[0] + ": " + std::strerror(errno);
        for (const int fd : out)
            if (fd >= 0) ::close(fd);
        return std::nullopt;
    }

    Child child;
    child.started_ = Clock::now();
    child.pid_ = fork();
    if (child.pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        if (!launch.cwd.empty() && chdir(launch.cwd.c_str()) != 0) _exit(126);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (child.pid_ < 0) {
        error = std::string("fork failed: ") + std::strerror(errno);
        if (out[0] >= 0) ::close(out[0]);
        if (err[0] >= 0) ::close(err[0]);
        return std::nullopt;
    }
    child.out_ = out[0];
    child.err_ = err[0];
    for (const int fd : {child.out_, child.err_})
        if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    return child;
}

Child::Child(Child&& other) noexcept
    : pid_(other.pid_), out_(other.out_), err_(other.err_), started_(other.started_),
      ending_(other.ending_) {
    other.pid_ = -1;
    other.out_ = -1;
    other.err_ = -1;
}

Child::~Child() {
    if (pid_ > 0 && !ending_) stop(std::chrono::milliseconds(2000));
    close_out();
    close_err();
}

void Child::close_out() {
    if (out_ >= 0) ::close(out_);
    out_ = -1;
}

void Child::close_err() {
    if (err_ >= 0) ::close(err_);
    err_ = -1;
}

std::optional<Ending> Child::reap(bool block) {
    if (ending_ || pid_ <= 0) return ending_;
    int status = 0;
    rusage usage{};
    pid_t r;
    do {
        r = wait4(pid_, &status, block ? 0 : WNOHANG, &usage);
    } while (r < 0 && errno == EINTR);
    if (r != pid_) return std::nullopt;
    Ending e;
    e.at = Clock::now();
    e.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    e.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    e.maxrss_kib = usage.ru_maxrss; // kilobytes on Linux
    ending_ = e;
    return ending_;
}

void Child::stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0 || ending_) return;
    kill(pid_, SIGTERM);
    const auto give_up = Clock::now() + grace;
    while (Clock::now() < give_up) {
        if (reap(false)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    reap(true);
}

} // namespace bench
