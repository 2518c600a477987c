#include "platform/port_listing.h"

#ifndef _WIN32

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace velk2 {

namespace {

namespace fs = std::filesystem;

// The n of prefix + decimal digits; -1 for any other name.
long number_after(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stol(digits);
}

// False only when the kernel says that no UART answers at this ttyS (the
// usual state of /dev/ttyS1 to ttyS31 on a PC) or the device has gone.
bool uart_behind(const std::string& root, const std::string& name, const std::string& path) {
    std::ifstream type(root + "/sys/class/tty/" + name + "/type");
    int t = 0;
    if (type >> t) return t != 0; // 0: PORT_UNKNOWN
#ifdef TIOCGSERIAL
    // O_NONBLOCK: no wait for carrier; nothing is read or set.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EACCES || errno == EPERM; // cannot tell: list it
    serial_struct s{};
    const bool unknown = ioctl(fd, TIOCGSERIAL, &s) == 0 && s.type == PORT_UNKNOWN;
    ::close(fd);
    return !unknown;
#else
    return device_present(path);
#endif
}

SerialDevice described(const std::string& path, const std::string& target) {
    const std::string& device = target.empty() ? path : target;
    const bool denied = access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
    return {path, target, denied ? owner_group(device) : ""};
}

} // namespace

std::vector<SerialDevice> serial_devices(const std::string& root) {
    std::vector<SerialDevice> found;
    std::error_code ec;
    const fs::path by_id = root + "/dev/serial/by-id";
    std::vector<fs::path> links;
    for (const auto& e : fs::directory_iterator(by_id, ec)) links.push_back(e.path());
    std::sort(links.begin(), links.end());
    for (const auto& link : links) {
        const fs::path to = fs::read_symlink(link, ec);
        if (ec || !device_present(link.string())) continue;
        found.push_back(described(link.string(), (by_id / to).lexically_normal().string()));
    }

    const std::string dev = root + "/dev";
    const std::string kinds[] = {"ttyUSB", "ttyACM", "ttyS"};
    std::vector<std::tuple<int, long, std::string>> ttys; // kind, number, name
    for (const auto& e : fs::directory_iterator(dev, ec)) {
        const std::string name = e.path().filename().string();
        for (int k = 0; k < 3; ++k)
            if (long n = number_after(name, kinds[k]); n >= 0) ttys.emplace_back(k, n, name);
    }
    std::sort(ttys.begin(), ttys.end());
    for (const auto& [kind, n, name] : ttys) {
        const std::string path = dev + "/" + name;
        if (!device_present(path)) continue;
        if (kinds[kind] == "ttyS" && !uart_behind(root, name, path)) continue;
        found.push_back(described(path, ""));
    }
    return found;
}

std::string owner_group(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return {};
    if (const group* g = getgrgid(st.st_gid)) return g->gr_name;
    return std::to_string(st.st_gid);
}

bool device_present(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

} // namespace velk2

#else // Windows lists its COM ports its own way.

namespace velk2 {
std::vector<SerialDevice> serial_devices(const std::string&) {
    return {};
}
std::string owner_group(const std::string&) {
    return {};
}
bool device_present(const std::string&) {
    return false;
}
} // namespace velk2

#endif
