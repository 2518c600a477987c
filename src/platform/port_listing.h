// The serial devices of this machine that can be a port (`velk2 --ports`).
// Listing never writes to a device and never changes its line settings: the
// file system and the kernel's sysfs tell almost everything; only a legacy
// UART that sysfs says nothing about is asked for its type (opened without
// waiting for carrier, nothing read, closed).
#pragma once

#include <string>
#include <vector>

namespace velk2 {

struct SerialDevice {
    std::string path;         // as listed, e.g. /dev/serial/by-id/usb-FTDI_...
    std::string target;       // the device a /dev/serial/by-id/ name leads to
    std::string denied_group; // not "": this user may not open it, members of the group may
};

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
