#include "platform/device_names.h"

#include <gtest/gtest.h>
#include <map>

namespace velk2 {
namespace {

struct DeviceCase {
    const char* port;
    std::map<std::string, std::string> env;
    const char* device;
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
};
#endif

TEST(DeviceNames, PortNamesMapToDevices) {
    for (const auto& c : device_cases) {
        EnvLookup env = [&c](const std::string& name) -> std::optional<std::string> {
            auto it = c.env.find(name);
            if (it == c.env.end()) return std::nullopt;
            return it->second;
        };
        EXPECT_EQ(device_for_port(c.port, env), c.device) << c.port;
    }
}

} // namespace
} // namespace velk2
