#include "platform/device_names.h"

#include <gtest/gtest.h>
#include <map>

namespace velk2 {
namespace {

struct DeviceCase {
    const char* port;
    std::map<std::string, std::string> env;
    const char* device;
    std::map<std::string, std::string> ports = {}; // group [PORTS] of the settings
    const char* problem = "";
};

#ifdef _WIN32
const DeviceCase device_cases[] = {
    {"COM1", {}, "\\\\.\\COM1"},
    {"COM12", {}, "\\\\.\\COM12"},
    // The environment maps nothing on Windows.
    {"COM7", {{"VELK2_COM7", "/dev/pts/5"}}, "\\\\.\\COM7"},
    {"\\\\.\\COM3", {}, "\\\\.\\COM3"},
};
#else
constexpr const char* not_absolute = "[PORTS] value is not an absolute path";

const DeviceCase device_cases[] = {
    {"COM1", {}, "/dev/ttyS0"},
    {"COM8", {}, "/dev/ttyS7"},
    {"COM12", {}, "/dev/ttyS11"},
    {"COM7", {{"VELK2_COM7", "/dev/pts/5"}}, "/dev/pts/5"},
    // Another port's variable does not apply.
    {"COM7", {{"VELK2_COM1", "/dev/pts/5"}}, "/dev/ttyS6"},
    // Leading zeros name the same port.
    {"COM07", {{"VELK2_COM7", "/dev/pts/3"}}, "/dev/pts/3"},
    {"COM7", {{"VELK2_COM7", ""}}, "/dev/ttyS6"},
    // Not "COM" + a port number: a name under /dev/.
    {"COM0", {}, "/dev/COM0"},
    {"COM", {}, "/dev/COM"},
    // Any case, as Windows reads device names.
    {"com5", {{"VELK2_COM5", "/dev/pts/9"}}, "/dev/pts/9"},
    {"Com2", {}, "/dev/ttyS1"},
    {"COM1x", {}, "/dev/COM1x"},
    {"COM 1", {}, "/dev/COM 1"},
    {"COM-1", {}, "/dev/COM-1"},
    {"COM+1", {}, "/dev/COM+1"},
    {"COM99999999999999999999", {}, "/dev/COM99999999999999999999"},
    {"ttyUSB0", {}, "/dev/ttyUSB0"},
    {"/dev/ttyUSB0", {}, "/dev/ttyUSB0"},
    {"/tmp/box", {{"VELK2_COM1", "/dev/pts/1"}}, "/tmp/box"},
    // The order: VELK2_COMn, then [PORTS], then /dev/ttyS<n-1>.
    {"COM2", {{"VELK2_COM2", "/dev/pts/4"}}, "/dev/pts/4", {{"COM2", "/dev/ttyUSB0"}}},
    {"COM2", {}, "/dev/serial/by-id/usb-FTDI-if00", {{"COM2", "/dev/serial/by-id/usb-FTDI-if00"}}},
    {"com02", {{"VELK2_COM2", ""}}, "/dev/ttyUSB0", {{"COM2", "/dev/ttyUSB0"}}},
    {"COM3", {}, "/dev/ttyS2", {{"COM2", "/dev/ttyUSB0"}, {"COM3", ""}}},
    {"/dev/ttyACM0", {}, "/dev/ttyACM0", {{"COM1", "/dev/ttyUSB0"}}},
    // A value that is not an absolute path opens nothing.
    {"COM2", {}, "ttyUSB0", {{"COM2", "ttyUSB0"}}, not_absolute},
    {"COM2", {}, " /dev/ttyUSB0", {{"COM2", " /dev/ttyUSB0"}}, not_absolute},
    {"COM2", {}, "~/tty", {{"COM2", "~/tty"}}, not_absolute},
};
#endif

TEST(DeviceNames, PortNamesMapToDevices) {
    for (const auto& c : device_cases) {
        EnvLookup env = [&c](const std::string& name) -> std::optional<std::string> {
            auto it = c.env.find(name);
            if (it == c.env.end()) return std::nullopt;
            return it->second;
        };
        PortSettingLookup ports = [&c](const std::string& key) {
            auto it = c.ports.find(key);
            return it == c.ports.end() ? std::string() : it->second;
        };
        const PortMapping m = map_port_name(c.port, env, ports);
        EXPECT_EQ(m.device, c.device) << c.port;
        EXPECT_EQ(m.problem, c.problem) << c.port;
    }
}

} // namespace
} // namespace velk2
