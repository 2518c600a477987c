// The serial devices of this machine that can be a port (`velk2 --ports`).
// Listing never writes to a device and never changes its line settings: the
// file system and the kernel's sysfs tell almost everything; only a legacy
// UART that sysfs says nothing about is asked for its type (opened without
// waiting for carrier, nothing read, closed).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velk2 {

struct SerialDevice {
    std::string path;         // as listed, e.g. /dev/serial/by-id/usb-FTDI_..., or COM3
    std::string target;       // the device a /dev/serial/by-id/ name leads to
    std::string description;  // what the system calls it (Windows: the friendly name)
    std::string denied_group; // not "": this user may not open it, members of the group may
    std::string busy;         // not "": held open by this program, e.g. "minicom (pid 1234)"
    std::string driver;       // ftdi_sio, ch341, cp210x, pl2303, cdc_acm, FTDIBUS, ...; "" unknown
    bool ftdi = false;        // an FTDI adapter, which holds bytes for its latency timer
    std::optional<int> latency_ms; // an FTDI adapter's latency timer; nothing when unknown
};

// An FTDI latency timer above this holds replies long enough to cost speed.
inline constexpr int slow_latency_ms = 2;

// For an FTDI adapter whose latency timer is above slow_latency_ms: one line
// on what it costs and how to set 1 ms, the way this system does it; ""
// for any other device.
std::string latency_hint(const SerialDevice& device);

// The driver and, for FTDI, the latency timer of the tty `name` (ttyUSB0)
// from sysfs under `root` ("" for the machine itself); what cannot be read
// stays unknown.
void read_driver_facts(const std::string& root, const std::string& name, SerialDevice& device);

// Who may not open `device` or holds it open now: `denied_group` and `busy`.
void read_access_facts(const std::string& root, const std::string& device, SerialDevice& facts);

// `root` stands for "/": "" on the machine itself, a prepared folder in the
// tests. Lists root/dev/serial/by-id/*, root/dev/ttyUSB*, root/dev/ttyACM* and
// the root/dev/ttyS* with a UART behind them, in that order and by number. A
// device that is gone by the time it is looked at is left out.
std::vector<SerialDevice> serial_devices(const std::string& root);

// The group that owns the file at `path`: its name, else its number; "" when
// the file cannot be looked at.
std::string owner_group(const std::string& path);

// Something is at `path` (symbolic links followed).
bool device_present(const std::string& path);

} // namespace velk2
