// The records of com_ports.h from SetupAPI: every device of the ports class
// that is present, its friendly name, driver service and hardware id, and
// from its device parameters key the port name and FTDI's latency timer.
#include "platform/com_ports.h"

#ifdef _WIN32

#include "platform/os_path.h"
#include "platform/win32/win32_api.h"

#include <devguid.h>
#include <setupapi.h>

namespace velk2 {

namespace {

struct DeviceListCloser {
    void operator()(HDEVINFO list) const {
        if (list != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(list);
    }
};

// A text or multi-text property; its first text; "" when missing.
std::string property(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD which) {
    wchar_t buffer[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(list, &device, which, &type,
                                           reinterpret_cast<BYTE*>(buffer), sizeof buffer - 4,
                                           nullptr))
        return {};
    if (type != REG_SZ && type != REG_MULTI_SZ) return {};
    return narrow(std::wstring(buffer));
}

// The device parameters: "PortName" and, where an FTDI driver keeps it,
// "LatencyTimer" (a DWORD of milliseconds). A value of another type or size
// counts as missing.
void read_parameters(HDEVINFO list, SP_DEVINFO_DATA& device, ComPortRecord& record) {
    const HKEY key = SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return;
    wchar_t name[64] = {};
    DWORD type = 0, size = sizeof name - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
        record.port_name = narrow(std::wstring(name));
    DWORD ms = 0;
    size = sizeof ms;
    if (RegQueryValueExW(key, L"LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&ms),
                         &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof ms)
        record.latency_timer = ms;
    RegCloseKey(key);
}

} // namespace

std::vector<ComPortRecord> read_com_port_records() {
    std::vector<ComPortRecord> records;
    const std::unique_ptr<void, DeviceListCloser> list(
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
    if (list.get() == INVALID_HANDLE_VALUE) return records;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(list.get(), i, &device); ++i) {
        ComPortRecord record;
        record.friendly_name = property(list.get(), device, SPDRP_FRIENDLYNAME);
        record.service = property(list.get(), device, SPDRP_SERVICE);
        record.hardware_id = property(list.get(), device, SPDRP_HARDWAREID);
        read_parameters(list.get(), device, record);
        records.push_back(record);
    }
    return records;
}

} // namespace velk2

#else

namespace velk2 {
std::vector<ComPortRecord> read_com_port_records() {
    return {};
}
} // namespace velk2

#endif
