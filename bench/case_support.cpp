#include "case_support.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "line_watch.h"

namespace bench {

namespace fs = std::filesystem;

std::string payload_bytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ULL * (seed + 1);
    for (auto& b : bytes) {
        // xorshift64*: cheap, and every byte value occurs.
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        b = static_cast<char>((state * 0x2545F4914F6CDD1DULL) >> 56);
    }
    return bytes;
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

std::optional<std::string> read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string fresh_dir(const std::string& work, const std::string& name) {
    const fs::path dir = fs::absolute(fs::path(work) / name);
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    return ec ? std::string() : dir.string();
}

LogCollector::LogCollector(int fd) : fd_(fd) {
    thread_ = std::thread([this] {
        char buf[8192];
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            const int r = poll(&p, 1, 50);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) {
                if (stopping_) return;
                continue;
            }
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n > 0) {
                text_.append(buf, static_cast<std::size_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                return; // the writer has gone
            }
        }
    });
}

std::string LogCollector::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    return text_;
}

std::optional<Box> start_box(const Tools& tools, const std::vector<std::string>& args,
                             const std::string& log_file, std::string& error) {
    Launch launch;
    launch.argv = {tools.boxsim};
    launch.argv.insert(launch.argv.end(), args.begin(), args.end());
    launch.pipe_stdout = true;
    launch.pipe_stderr = true;
    auto child = Child::start(launch, error);
    if (!child) return std::nullopt;
    auto log = std::make_unique<LogCollector>(child->err_fd());
    // Generous: on a machine short of page cache a program can take seconds
    // to start.
    const auto slave = first_output_line(*child, std::chrono::seconds(30));
    if (!slave || slave->empty() || (*slave)[0] != '/') {
        child->stop(std::chrono::milliseconds(2000));
        write_file(log_file, log->stop());
        error = "velk2-boxsim printed no device path (see " + log_file + ")";
        return std::nullopt;
    }
    return Box{std::move(*child), *slave, log_file, std::move(log)};
}

std::string finish_box(Box& box, Clock::time_point until) {
    std::string out;
    while (!box.process.reap(false) && Clock::now() < until) {
        out += rest_of_output(box.process);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!box.process.ending()) box.process.stop(std::chrono::milliseconds(2000));
    out += rest_of_output(box.process);
    if (box.log) write_file(box.log_file, box.log->stop());
    return out;
}

std::map<std::string, std::string> loader_env(const std::string& config_home) {
    return {{"QT_QPA_PLATFORM", "offscreen"},
            {"VELK2_NO_DIALOGS", "1"},
            {"XDG_CONFIG_HOME", config_home}};
}

bool is_box_pty(const std::string& device) {
    struct stat st {};
    return device.starts_with("/dev/pts/") && ::stat(device.c_str(), &st) == 0 &&
           S_ISCHR(st.st_mode);
}

std::vector<std::string> adapter_args(int adapter_ms) {
    if (adapter_ms <= 0) return {};
    return {"--adapter-latency", std::to_string(adapter_ms)};
}

} // namespace bench
