#include "platform/device_names.h"

#include <charconv>
#include <cstdlib>

#include "platform/os_path.h"

namespace velk2 {

#ifndef _WIN32
namespace {

// The n of "COM" + decimal digits, n >= 1; nullopt for any other name. The
// prefix is read in any case, as device names are on Windows ("com5" is COM5).
std::optional<unsigned> com_number_of(const std::string& name) {
    if (name.size() < 4) return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if ((name[std::size_t(i)] & ~0x20) != "COM"[i]) return std::nullopt;
    const char* first = name.data() + 3;
    const char* last = name.data() + name.size();
    unsigned n = 0;
    // Digits only: from_chars takes no sign or blank, and reports overflow.
    auto [end, ec] = std::from_chars(first, last, n);
    if (ec != std::errc() || end != last || n == 0) return std::nullopt;
    return n;
}

} // namespace
#endif

#ifdef _WIN32

// A port is a device of the device namespace: COM10 and above can be opened
// only there, and the prefix does no harm to COM1 to COM9. A name already in
// that form (or a UNC path) stays as it is.
std::string device_for_port(const std::string& port_name, const EnvLookup&) {
    if (port_name.rfind("\\\\", 0) == 0) return port_name;
    return "\\\\.\\" + port_name;
}

std::optional<std::string> process_env(const std::string& name) {
    if (const wchar_t* v = _wgetenv(widen(name).c_str())) return narrow(v);
    return std::nullopt;
}

// Windows names its ports itself: nothing is mapped.
PortMapping map_port_name(const std::string& port_name, const EnvLookup& env,
                          const PortSettingLookup&) {
    return {device_for_port(port_name, env), "", ""};
}

#else

std::string device_for_port(const std::string& port_name, const EnvLookup& env) {
    if (auto n = com_number_of(port_name)) {
        const std::string var = "VELK2_COM" + std::to_string(*n);
        if (auto set = env(var); set && !set->empty()) return *set;
        return "/dev/ttyS" + std::to_string(*n - 1);
    }
    if (!port_name.empty() && port_name.front() == '/') return port_name;
    return "/dev/" + port_name;
}

std::optional<std::string> process_env(const std::string& name) {
    if (const char* v = std::getenv(name.c_str())) return std::string(v);
    return std::nullopt;
}

PortMapping map_port_name(const std::string& port_name, const EnvLookup& env,
                          const PortSettingLookup& setting) {
    const std::string device = device_for_port(port_name, env);
    const auto n = com_number_of(port_name);
    if (!n) return {device, "", ""};
    const std::string var = "VELK2_COM" + std::to_string(*n);
    if (auto set = env(var); set && !set->empty()) return {device, var, ""};
    const std::string value = setting("COM" + std::to_string(*n));
    if (value.empty()) return {device, "", ""};
    // A relative name would depend on the folder the program was started in.
    if (value.front() != '/') return {value, "[PORTS]", "[PORTS] value is not an absolute path"};
    return {value, "[PORTS]", ""};
}

#endif

} // namespace velk2
