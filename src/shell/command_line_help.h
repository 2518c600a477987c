// The command line that explains itself: `velk2 --help` (or -h), `--version`
// and `--ports`, each only as the sole argument. They print and exit 0
// without a window, so they work where no display is; an option we do not
// have prints the usage on standard error and exits 2.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/device_names.h"
#include "platform/port_listing.h"

namespace velk2 {

enum class InfoRequest { help, version, ports };

// The request of an argument list, or nullopt when the arguments mean what
// they always meant (an upload file, a port in parentheses, ...).
std::optional<InfoRequest> info_request(const std::vector<std::string>& args);

// A first argument that looks like an option ("--" and whatever follows)
// but is none of the above: the usage for standard error, and exit status
// `unknown_option_status`. nullopt for any other argument list.
std::optional<std::string> unknown_option_text(const std::vector<std::string>& args);
constexpr int unknown_option_status = 2;

std::string usage_text();
std::string version_text();

// One port of COM1 to COM8 as the current settings map it; `present` when
// something is at its device.
struct PortLine {
    std::string port;
    PortMapping mapping;
    bool present;
    SerialDevice facts; // who may not open it or holds it (denied_group, busy)
};

// What `--ports` says of one device after its name: driver, latency timer,
// why it cannot be opened now; the hint line(s) that follow, each ending in
// a line feed.
std::string device_facts(const SerialDevice& d);
std::string device_hints(const SerialDevice& d);

// What `velk2.exe --ports` prints: the COM ports of the machine.
std::string com_ports_text(const std::vector<SerialDevice>& ports);

// What `--ports` prints: the machine's serial devices, then where each port
// leads. `settings_file` names the file that holds [PORTS].
std::string ports_text(const std::vector<SerialDevice>& devices, const std::vector<PortLine>& ports,
                       const std::string& settings_file);

} // namespace velk2
