// The COM ports of a Windows machine as its Device Manager knows them
// (`velk2.exe --ports`, and the adapter behind a port at its open). SetupAPI
// and each device's registry key fill plain records; what the program makes
// of them is a pure function of those records.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/port_listing.h"

namespace velk2 {

struct ComPortRecord {
    std::string port_name;     // the device parameter "PortName": COM3
    std::string friendly_name; // "USB Serial Port (COM3)"
    std::string service;       // the driver's service: FTDIBUS, usbser, Serial, ...
    std::string hardware_id;   // the first one: FTDIBUS\COMPORT&VID_0403&PID_6001, USB\VID_...
    // "LatencyTimer" of the device parameters; nothing when missing or unreadable.
    std::optional<unsigned long> latency_timer;
};

// The ports in COM number order; an FTDI port (its driver, or an id of FTDI's
// vendor number 0403) carries its latency timer. Records without a port name
// (a modem, a printer port) are left out.
std::vector<SerialDevice> com_port_devices(std::vector<ComPortRecord> records);

// The records of this machine's ports class; none where SetupAPI is not.
std::vector<ComPortRecord> read_com_port_records();

// The port `device` names (COM3 or \\.\COM3) as this machine lists it.
std::optional<SerialDevice> com_port_device(const std::string& device);

} // namespace velk2
