#include "e2e_support.h"

#include <QApplication>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "shell/handlers.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/window_layout.h"
#include "shell/window_setup.h"

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

// This process's environment with `env` laid over it, as "NAME=value" texts.
// Built before fork: the child of a process with threads (Qt's) must not
// allocate before exec.
std::vector<std::string> merged_environment(const std::map<std::string, std::string>& env) {
    std::vector<std::string> merged;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.count(entry.substr(0, entry.find('=')))) merged.push_back(entry);
    }
    for (const auto& [k, v] : env) merged.push_back(k + "=" + v);
    return merged;
}

// The one QApplication of the in-process runs: made at the first such run,
// gone when the tests end.
class QtApp : public ::testing::Environment {
  public:
    void TearDown() override { app_.reset(); }
    void ensure() {
        if (app_) return;
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }

  private:
    int argc_ = 1;
    char name_[16] = "velk2_e2e_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

QtApp* const qt_app = static_cast<QtApp*>(::testing::AddGlobalTestEnvironment(new QtApp));

} // namespace

Background::Background(const std::vector<std::string>& argv,
                       const std::map<std::string, std::string>& env, const std::string& cwd,
                       const std::string& stderr_file)
    : start_(clock::now()) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    const std::vector<std::string> env_texts = merged_environment(env);
    std::vector<char*> envp;
    for (const auto& e : env_texts) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], 1);
        if (stderr_file.empty()) {
            dup2(err[1], 2);
        } else {
            const int log = open(stderr_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (log < 0) _exit(126);
            dup2(log, 2);
            close(log);
        }
        close(out[0]);
        close(err[0]);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        execve(args[0], args.data(), envp.data());
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

namespace {

std::string new_log_path() {
    char pattern[] = "/tmp/velk2-e2e-boxsim-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    return pattern;
}

std::vector<std::string> boxsim_argv(const std::vector<std::string>& args) {
    std::vector<std::string> argv{VELK2_BOXSIM_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

} // namespace

Box::Box(const std::vector<std::string>& args, const std::string& cwd)
    : log_path(new_log_path()), process(boxsim_argv(args), {}, cwd, log_path) {
    slave = process.read_line(std::chrono::milliseconds(10000));
}

Box::~Box() {
    process.terminate();
    unlink(log_path.c_str());
}

std::string Box::log() const {
    return read_file(log_path);
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

ScopedDir::~ScopedDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
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

std::string tail_of(const std::string& text, std::size_t chars) {
    if (text.size() <= chars) return text;
    return "..." + text.substr(text.size() - chars);
}

::testing::AssertionResult same_bytes(const std::string& expected, const std::string& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
    return ::testing::AssertionFailure() << "expected " << expected.size() << " bytes, got "
                                         << actual.size() << "; first difference at offset " << at;
}

StderrCapture::StderrCapture() {
    char pattern[] = "/tmp/velk2-e2e-stderr-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) return;
    path_ = pattern;
    std::fflush(stderr);
    saved_ = dup(2);
    dup2(fd, 2);
    close(fd);
}

StderrCapture::~StderrCapture() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    unlink(path_.c_str());
}

std::string StderrCapture::text() const {
    std::fflush(stderr);
    return read_file(path_);
}

InProcessLoader::InProcessLoader(const std::string& dir, const std::string& port_device,
                                 const std::vector<std::string>& dialog_answers)
    : old_cwd_(std::filesystem::current_path()) {
    qt_app->ensure();
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    std::filesystem::current_path(dir);
    std::string answers;
    for (const auto& a : dialog_answers) answers += a + "\n";
    const std::string answers_file = dir + "/dialog-answers";
    write_file(answers_file, answers);
    // The platform reads both when it is made; the programs these tests start
    // later must not inherit them.
    setenv("VELK2_DIALOG_ANSWERS", answers_file.c_str(), 1);
    setenv("VELK2_NO_DIALOGS", "1", 1);
    platform_ = std::make_unique<QtPlatform>();
    unsetenv("VELK2_DIALOG_ANSWERS");
    unsetenv("VELK2_NO_DIALOGS");

    ctx_ = std::make_unique<Context>(*platform_);
    Context& ctx = *ctx_;
    ctx.process.program_path = dir + "/velk2";
    ctx.process.current_dir = dir;
    ctx.work_dir = dir + "/";
    ctx.com_port = port_device;
    create_window(ctx);
    wire_handlers(ctx);
    platform_->attach(ctx.window);
    Win_1_Activate(ctx);
}

InProcessLoader::~InProcessLoader() {
    ctx_.reset(); // before the platform, as in the program
    platform_.reset();
    std::error_code ec;
    std::filesystem::current_path(old_cwd_, ec);
}

} // namespace velk2::e2e
