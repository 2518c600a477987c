#include "shell/command_line_help.h"

#include <algorithm>

#include "shell/windows_usage.h"

namespace velk2 {

std::optional<InfoRequest> info_request(const std::vector<std::string>& args) {
    if (args.size() != 1) return std::nullopt;
    if (args[0] == "--help" || args[0] == "-h") return InfoRequest::help;
    if (args[0] == "--version") return InfoRequest::version;
    if (args[0] == "--ports") return InfoRequest::ports;
    return std::nullopt;
}

std::optional<std::string> unknown_option_text(const std::vector<std::string>& args) {
    if (args.empty() || !args[0].starts_with("--")) return std::nullopt;
    if (args[0] == "--help" || args[0] == "--version" || args[0] == "--ports") return std::nullopt;
#ifdef _WIN32
    const std::string usage = windows_usage_text();
#else
    const std::string usage = usage_text();
#endif
    return "velk2: unknown option " + args[0] + "\n" + usage;
}

std::string usage_text() {
    return R"(Usage: velk2 [ARGUMENT]
       velk2 --station [PORT...] [--file FILE] [--count N]
       velk2 --station --no-window --file FILE [PORT...] [--count N]
       velk2 --ports | --help | -h | --version

Flashes a satellite set-top box over a serial line: upload a DSP firmware or a
JPG welcome picture, download a file from the box, in one small window.

The port is the argument's (COMn) when it has one. Otherwise a copy's port
comes from its own file name: a link or copy named VELK_(COM7) talks to COM7;
else the port of the last run (setting PORT), else COM1.

ARGUMENT (one, optional):
  /path/fw.dsp           upload this file at once, then exit (a path of more
                         than 10 characters; a shorter one is only selected)
  '(COM3){/path/fw.dsp}' port and file: upload at once, then exit
  '(COM3)'               use COM3; choose the file in the window
  (none)                 the window, with the port of the name or the settings
A copy named VELK_().EXE started without an argument writes a copy
VELK_(COMn).exe for every port of COM1 to COM8 that opens, then exits.

Switches, anywhere in the program's path (e.g. a link VELK_(COM3)(DBG2)):
  (DBG2)    trace every exchange into inp_1.dat and inp_2.dat (current folder)
  (DBGDSP)  upload debug files out.dsp, Pout.dsp, Pin.dsp and diagnostic lines

Port mapping: COMn opens the device named by
  1. the environment variable VELK2_COMn, else
  2. COMn=/dev/... in group [PORTS] of $XDG_CONFIG_HOME/VELK2.ini
     (default ~/.config/VELK2.ini), an absolute path, else
  3. /dev/ttyS<n-1>.
A port text that starts with / is a device path; any other is a name under
/dev/. Members of the device's group (dialout, as a rule) may open it.

  --ports    list the serial devices of this machine (driver, an adapter's
             latency timer, why one cannot be opened now) and the device each
             of COM1 to COM8 opens, then exit
  --help, -h this text
  --version  the version

The flashing station (--station, the first argument): one window for many
ports. The file (DSP or JPG) is prepared once; Start arms every port, and one
worker process per port flashes each box that appears on it. Every attempt
gets a line in $XDG_DATA_HOME/VELK2/flash-log.csv (default
~/.local/share/VELK2/), written before the row shows its result; a log that
cannot be written arms nothing.
  PORT...          the ports (COM3, or a device path), else PORTS= of group
                   [STATION] of the settings (commas or blanks), else COM1 to
                   COM8; each mapped as COMn below
  --file FILE      the file to flash
  --count N        stop arming after N attempts in all
  --no-window      without a window (needs --file): starts at once, prints a
                   line per event on standard output, messages on standard
                   error and a summary at the end; SIGINT or SIGTERM stops
                   (each worker ends with its port closed, killed after 5 s)
QUIET= of group [STATION]: the seconds a line must stay silent after a flash
before its port is armed again (default 5), so that a box that restarts into
its bootloader is not flashed twice.

Unattended mode: VELK2_NO_DIALOGS=1 prints every message box on standard
error as one line and waits for no click; an automatic start that cannot
upload then ends at once with status 1.

Exit status:
  0        an interactive run, an automatic upload that ended "done";
           --station --no-window: every attempt ended "done"
  1        an automatic start that did not flash: the upload did not end
           "done", the named file cannot be used, or the port did not open
           (unless another upload of the run ended "done")
           --station --no-window: an attempt that did not end "done" (also
           one stopped by a signal), a refused file, a flash log that cannot
           be written
  2        an unknown option, a bad --station argument
  128+n    ended by signal n (143 SIGTERM, 130 SIGINT, 129 SIGHUP)

Diagnostic lines go to standard error. See velk2(1).
)";
}

std::string version_text() {
    return std::string("velk2 ") + VELK2_VERSION + "\n";
}

namespace {

// Why the device cannot be opened now, or "".
std::string unusable(const SerialDevice& d) {
    std::string why;
    if (!d.denied_group.empty()) why = "no access: join group " + d.denied_group;
    if (!d.busy.empty()) why += (why.empty() ? "" : ", ") + ("busy: held by " + d.busy);
    return why;
}

} // namespace

std::string device_facts(const SerialDevice& d) {
    std::string facts = d.driver.empty() ? "driver unknown" : d.driver;
    if (d.ftdi)
        facts += ", latency timer " +
                 (d.latency_ms ? std::to_string(*d.latency_ms) + " ms" : std::string("unknown"));
    if (const std::string why = unusable(d); !why.empty()) facts += ", " + why;
    return facts;
}

std::string device_hints(const SerialDevice& d) {
    const std::string hint = latency_hint(d);
    return hint.empty() ? "" : "      " + hint + "\n";
}

std::string ports_text(const std::vector<SerialDevice>& devices, const std::vector<PortLine>& ports,
                       const std::string& settings_file) {
    std::string out = "Serial devices:\n";
    std::vector<std::string> hinted; // a by-id name and its device share one hint
    for (const auto& d : devices) {
        out += "  " + d.path;
        if (!d.target.empty()) out += " -> " + d.target;
        out += "  (" + device_facts(d) + ")\n";
        const std::string& device = d.target.empty() ? d.path : d.target;
        if (std::find(hinted.begin(), hinted.end(), device) != hinted.end()) continue;
        hinted.push_back(device);
        out += device_hints(d);
    }
    if (devices.empty()) out += "  none found\n";
    out += "Ports (VELK2_COMn, else [PORTS] in " + settings_file + ", else /dev/ttyS<n-1>):\n";
    for (const auto& p : ports) {
        const PortMapping& m = p.mapping;
        out += "  " + p.port + "  " + m.device;
        if (!m.problem.empty()) {
            out += ": " + m.problem + "\n";
            continue;
        }
        std::string notes = m.source;
        const auto add = [&](const std::string& note) {
            if (!note.empty()) notes += (notes.empty() ? "" : ", ") + note;
        };
        if (!p.present) add("absent");
        add(unusable(p.facts));
        out += (notes.empty() ? "" : "  (" + notes + ")") + "\n";
    }
    return out;
}

std::string com_ports_text(const std::vector<SerialDevice>& ports) {
    std::string out = "COM ports:\n";
    for (const auto& d : ports) {
        out += "  " + d.path;
        if (!d.description.empty()) out += "  " + d.description;
        out += "  (" + device_facts(d) + ")\n" + device_hints(d);
    }
    if (ports.empty()) out += "  none found\n";
    return out;
}

} // namespace velk2
