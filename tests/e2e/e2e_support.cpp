#include "e2e_support.h"

#include <QApplication>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
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

void drain_into(int fd, std::string& into) {
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) into.append(buf, std::size_t(n));
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

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (auto& t : texts) out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

// A new empty file from a mkstemp pattern, by name.
std::string temp_file(std::string pattern) {
    const int fd = mkstemp(pattern.data());
    if (fd >= 0) close(fd);
    return pattern;
}

std::vector<std::string> boxsim_argv(const std::vector<std::string>& args) {
    std::vector<std::string> argv{VELK2_BOXSIM_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
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
                       const std::string& stderr_file) {
    // Close-on-exec: the program gets its ends as 1 and 2 and no other pipe.
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    std::vector<std::string> env_texts = merged_environment(env), arg_texts = argv;
    const std::vector<char*> envp = pointers(env_texts), args = pointers(arg_texts);
    pid_ = fork();
    if (pid_ == 0) {
        const int log = stderr_file.empty() ? err[1]
                                            : open(stderr_file.c_str(),
                                                   O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (log < 0 || dup2(out[1], 1) < 0 || dup2(log, 2) < 0) _exit(126);
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

void Background::drain() {
    drain_into(out_, out_buf_);
    drain_into(err_, result_.err);
}

std::string Background::read_line(std::chrono::milliseconds limit) {
    for (const auto end = clock::now() + limit;;) {
        if (const auto nl = out_buf_.find('\n'); nl != std::string::npos) {
            std::string line = out_buf_.substr(0, nl);
            out_buf_.erase(0, nl + 1);
            result_.out += line + "\n";
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now());
        if (left.count() <= 0) return {};
        pollfd p{out_, POLLIN, 0};
        poll(&p, 1, int(left.count()));
        drain();
    }
}

Result Background::wait(std::chrono::milliseconds limit) {
    if (done_ || pid_ <= 0) return result_;
    const auto end = clock::now() + limit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) != pid_) {
        if (clock::now() >= end) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            status = -1;
            break;
        }
        pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        poll(p, 2, 20);
        drain();
    }
    drain();
    done_ = true;
    result_.status = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    result_.out += out_buf_;
    return result_;
}

void Background::terminate() {
    if (!done_ && pid_ > 0) kill(pid_, SIGTERM);
    wait(std::chrono::milliseconds(5000));
}

Result run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
           const std::string& cwd, std::chrono::milliseconds limit) {
    return Background(argv, env, cwd).wait(limit);
}

Box::Box(const std::vector<std::string>& args, const std::string& cwd)
    : log_path(temp_file("/tmp/velk2-e2e-boxsim-XXXXXX")),
      process(boxsim_argv(args), {}, cwd, log_path) {
    slave = process.read_line(std::chrono::milliseconds(10000));
}

Box::~Box() {
    process.terminate();
    unlink(log_path.c_str());
}

std::string Box::log() const {
    return read_file(log_path);
}

std::vector<std::string> with_link(std::vector<std::string> box_args, Link link) {
    if (link == Link::adapter16) box_args.insert(box_args.end(), {"--adapter-latency", "16"});
    return box_args;
}

std::string link_name(const ::testing::TestParamInfo<Link>& info) {
    return info.param == Link::bare ? "Bare" : "Adapter16";
}

std::map<std::string, std::string> velk2_env(const std::string& config_home) {
    return {{"QT_QPA_PLATFORM", "offscreen"},
            {"VELK2_NO_DIALOGS", "1"},
            {"XDG_CONFIG_HOME", config_home}};
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
    return text.size() <= chars ? text : "..." + text.substr(text.size() - chars);
}

::testing::AssertionResult same_bytes(const std::string& expected, const std::string& actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    const auto at = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    return ::testing::AssertionFailure()
           << "expected " << expected.size() << " bytes, got " << actual.size()
           << "; first difference at offset " << (at.first - expected.begin());
}

StderrCapture::StderrCapture() : path_(temp_file("/tmp/velk2-e2e-stderr-XXXXXX")) {
    const int fd = open(path_.c_str(), O_WRONLY);
    if (fd < 0) return;
    std::fflush(stderr);
    saved_ = dup(2);
    dup2(fd, 2);
    close(fd);
}

StderrCapture::~StderrCapture() {
    if (saved_ >= 0) {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
    }
    unlink(path_.c_str());
}

std::string StderrCapture::text() const {
    std::fflush(stderr);
    return read_file(path_);
}

InProcessLoader::InProcessLoader(const std::string& dir, const std::string& port_device,
                                 const std::vector<std::string>& dialog_answers) {
    qt_app->ensure();
    setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
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
}

} // namespace velk2::e2e
