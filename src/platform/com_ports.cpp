#include "platform/com_ports.h"

#include <algorithm>
#include <cctype>

namespace velk2 {

namespace {

std::string upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The n of COMn; 0 for any other name, which sorts first.
unsigned long com_number(const std::string& name) {
    const std::string n = upper(name).rfind("COM", 0) == 0 ? name.substr(3) : "";
    if (n.empty() || n.size() > 3 || n.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoul(n);
}

bool is_ftdi(const ComPortRecord& r) {
    const std::string id = upper(r.hardware_id);
    return upper(r.service) == "FTDIBUS" || id.rfind("FTDIBUS\\", 0) == 0 ||
           id.find("VID_0403") != std::string::npos;
}

} // namespace

std::vector<SerialDevice> com_port_devices(std::vector<ComPortRecord> records) {
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return com_number(a.port_name) < com_number(b.port_name);
    });
    std::vector<SerialDevice> devices;
    for (const auto& r : records) {
        if (r.port_name.empty()) continue;
        SerialDevice d;
        d.path = r.port_name;
        d.description = r.friendly_name;
        d.driver = r.service;
        d.ftdi = is_ftdi(r);
        // The driver's page offers 1 to 255 ms; anything else is not a timer we know.
        if (d.ftdi && r.latency_timer && *r.latency_timer <= 255)
            d.latency_ms = int(*r.latency_timer);
        devices.push_back(d);
    }
    return devices;
}

std::optional<SerialDevice> com_port_device(const std::string& device) {
    const std::string name = upper(device.substr(device.find_last_of('\\') + 1));
    for (const auto& d : com_port_devices(read_com_port_records()))
        if (upper(d.path) == name) return d;
    return std::nullopt;
}

} // namespace velk2
