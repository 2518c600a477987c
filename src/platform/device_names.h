// The serial device a port name stands for on POSIX systems. "COMn" is the
// device named by the environment variable VELK2_COMn when that is set and not
// empty (a pseudo-terminal of the box simulator, a USB adapter), else
// /dev/ttyS<n-1>; a name that starts with "/" is a device path as it stands;
// any other name is taken under /dev/.
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

} // namespace velk2
