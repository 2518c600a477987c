#include "e2e_support.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace velk2::e2e {

namespace {

using clock = std::chrono::steady_clock;

void drain(int fd, std::string& into) {
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            into.append(buf, std::size_t(n));
        else
            break;
    }
}

} // namespace

Background::Background(const std::vector<std::string>& argv,
                       const std::map<std::string, std::string>& env, const std::string& cwd)
    : start_(clock::now()) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    fcntl(out_, F_SETFL, O_NONBLOCK);
    fcntl(err_, F_SETFL, O_NONBLOCK);
}

Background::~Background() {
    if (!done_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

std::string Background::read_line(std::chrono::milliseconds limit) {
    const auto end = clock::now() + limit;
    for (;;) {
        auto nl = out_buf_.find('\n');
        if (nl != std::string::npos) {
            std::string line = out_buf_.substr(0, nl);
            out_buf_.erase(0, nl + 1);
            result_.out += line + "\n";
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now());
        if (left.count() <= 0) return {};
        pollfd p{out_, POLLIN, 0};
        poll(&p, 1, int(left.count()));
        drain(out_, out_buf_);
        drain(err_, err_buf_);
    }
}

Result Background::wait(std::chrono::milliseconds limit) {
    if (done_) return result_;
    const auto end = clock::now() + limit;
    int status = 0;
    bool exited = false;
    while (!exited) {
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exited = true;
            break;
        }
        if (clock::now() >= end) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            status = -1;
            break;
        }
        pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        poll(p, 2, 20);
        drain(out_, out_buf_);
        drain(err_, err_buf_);
    }
    drain(out_, out_buf_);
    drain(err_, err_buf_);
    done_ = true;
    result_.status = (exited && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    result_.out += out_buf_;
    result_.err = err_buf_;
    result_.seconds = std::chrono::duration<double>(clock::now() - start_).count();
    return result_;
}

void Background::terminate() {
    if (!done_ && pid_ > 0) kill(pid_, SIGTERM);
    wait(std::chrono::milliseconds(5000));
}

Result run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
           const std::string& cwd, std::chrono::milliseconds limit) {
    Background b(argv, env, cwd);
    return b.wait(limit);
}

Box::Box(const std::vector<std::string>& args, const std::string& cwd)
    : process(
          [&] {
              std::vector<std::string> argv{VELK2_BOXSIM_EXE};
              argv.insert(argv.end(), args.begin(), args.end());
              return argv;
          }(),
          {}, cwd) {
    slave = process.read_line(std::chrono::milliseconds(10000));
}

std::map<std::string, std::string> velk2_env(const std::string& config_home) {
    return {{"QT_QPA_PLATFORM", "offscreen"},
            {"VELK2_NO_DIALOGS", "1"},
            {"XDG_CONFIG_HOME", config_home}};
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string make_temp_dir() {
    char pattern[] = "/tmp/velk2-e2e-XXXXXX";
    return mkdtemp(pattern);
}

std::string sample_bytes(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (auto& ch : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        ch = char(x & 0xFF);
    }
    return s;
}

} // namespace velk2::e2e
