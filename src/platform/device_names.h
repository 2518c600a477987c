// The serial device a port name stands for on POSIX systems. "COMn" is the
// device named by the environment variable VELK2_COMn when that is set and not
// empty (a pseudo-terminal of the box simulator, a USB adapter), else the
// setting COMn of group [PORTS] (map_port_name), else /dev/ttyS<n-1>; a name
// that starts with "/" is a device path as it stands; any other name is taken
// under /dev/.
//
// On Windows "COMn" is the device \\.\COMn, and so is any other name put
// into the device namespace; a name that starts with "\\" stays as it is.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace velk2 {

// Looks up an environment variable; nullopt when it is not set.
using EnvLookup = std::function<std::optional<std::string>(const std::string& name)>;

std::string device_for_port(const std::string& port_name, const EnvLookup& env);

// The lookup over the process environment.
std::optional<std::string> process_env(const std::string& name);

// Where a port name leads: the device, which rule chose it ("VELK2_COMn",
// "[PORTS]", or "" for the fixed rules), and why it leads nowhere ("" when
// the device may be opened).
struct PortMapping {
    std::string device;
    std::string source;
    std::string problem;
};

// Reads key "COMn" of the settings group [PORTS]; "" when it is not set.
using PortSettingLookup = std::function<std::string(const std::string& key)>;

// The mapping with the settings: a machine's adapter is mapped once in the
// settings file (an absolute path, such as a /dev/serial/by-id/ name that
// survives replugging) where a desktop launcher cannot set the environment.
PortMapping map_port_name(const std::string& port_name, const EnvLookup& env,
                          const PortSettingLookup& setting);

} // namespace velk2
