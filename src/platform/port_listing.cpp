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

// The same file, a character device compared by its device number.
bool same_file(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The first other process with `device` open, as "name (pid N)": what the
// kernel shows of each process under root/proc (all of them to root, the
// user's own to anyone else).
std::string holder_of(const std::string& root, const std::string& device) {
    struct stat wanted {};
    if (stat(device.c_str(), &wanted) != 0) return {};
    std::error_code ec;
    const std::string self = std::to_string(getpid());
    for (const auto& p : fs::directory_iterator(root + "/proc", ec)) {
        const std::string pid = p.path().filename().string();
        if (pid == self || number_after("p" + pid, "p") < 0) continue;
        std::error_code fd_ec;
        for (const auto& fd : fs::directory_iterator(p.path() / "fd", fd_ec)) {
            struct stat open_file {};
            if (stat(fd.path().c_str(), &open_file) != 0 || !same_file(open_file, wanted)) continue;
            std::ifstream comm(p.path() / "comm");
            std::string name;
            std::getline(comm, name);
            return (name.empty() ? "a program" : name) + " (pid " + pid + ")";
        }
    }
    return {};
}

SerialDevice described(const std::string& root, const std::string& path,
                       const std::string& target) {
    SerialDevice d;
    d.path = path;
    d.target = target;
    const std::string& device = target.empty() ? path : target;
    read_access_facts(root, device, d);
    read_driver_facts(root, fs::path(device).filename().string(), d);
    return d;
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
        found.push_back(described(root, link.string(), (by_id / to).lexically_normal().string()));
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
        found.push_back(described(root, path, ""));
    }
    return found;
}

void read_driver_facts(const std::string& root, const std::string& name, SerialDevice& device) {
    std::error_code ec;
    const fs::path driver =
        fs::read_symlink(fs::path(root + "/sys/class/tty") / name / "device" / "driver", ec);
    if (!ec) device.driver = driver.filename().string();
    device.ftdi = device.driver == "ftdi_sio";
    if (!device.ftdi) return;
    std::ifstream file(root + "/sys/bus/usb-serial/devices/" + name + "/latency_timer");
    int ms = -1;
    if (file >> ms && ms >= 0 && ms <= 255) device.latency_ms = ms;
}

void read_access_facts(const std::string& root, const std::string& device, SerialDevice& facts) {
    if (access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
        facts.denied_group = owner_group(device);
    facts.busy = holder_of(root, device);
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

#else // Windows lists its COM ports its own way (com_ports.h).

namespace velk2 {
std::vector<SerialDevice> serial_devices(const std::string&) {
    return {};
}
void read_driver_facts(const std::string&, const std::string&, SerialDevice&) {}
void read_access_facts(const std::string&, const std::string&, SerialDevice&) {}
std::string owner_group(const std::string&) {
    return {};
}
bool device_present(const std::string&) {
    return false;
}
} // namespace velk2

#endif

namespace velk2 {

// The one way each system gives to set the timer: a COM port's driver
// settings in the Device Manager, a tty's sysfs attribute or a udev rule.
std::string latency_hint(const SerialDevice& d) {
    if (!d.ftdi || !d.latency_ms || *d.latency_ms <= slow_latency_ms) return {};
    const std::string costs = "the latency timer holds every reply up to " +
                              std::to_string(*d.latency_ms) + " ms and costs speed; set 1 ms: ";
    if (d.path.rfind("COM", 0) == 0)
        return costs + "Device Manager, Ports (COM & LPT), " +
               (d.description.empty() ? d.path : d.description) +
               ", Properties, Port Settings, Advanced, Latency Timer (msec) 1";
    const std::string& device = d.target.empty() ? d.path : d.target;
    const std::string name = device.substr(device.find_last_of('/') + 1);
    return costs + "echo 1 | sudo tee /sys/bus/usb-serial/devices/" + name +
           "/latency_timer, or for good a udev rule: ACTION==\"add\", "
           "SUBSYSTEM==\"usb-serial\", DRIVER==\"ftdi_sio\", ATTR{latency_timer}=\"1\"";
}

} // namespace velk2
