// The Device Manager's view of the COM ports read through SetupAPI, on a
// device made up for the test: a ports-class entry with the registry values
// an FTDI driver keeps (wine's device registry; no serial device behind it).
#ifdef _WIN32

#include <gtest/gtest.h>

#include "platform/com_ports.h"
#include "platform/win32/win32_api.h"

#include <devguid.h>
#include <setupapi.h>

namespace velk2 {
namespace {

// A made-up port, removed again when the object goes.
class FakePort {
  public:
    FakePort(const wchar_t* port, const wchar_t* friendly, const wchar_t* service,
             const wchar_t* hardware_id, const DWORD* latency, DWORD latency_type = REG_DWORD) {
        list_ = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
        device_.cbSize = sizeof device_;
        ok_ = list_ != INVALID_HANDLE_VALUE &&
              SetupDiCreateDeviceInfoW(list_, L"PORTS", &GUID_DEVCLASS_PORTS, nullptr, nullptr,
                                       DICD_GENERATE_ID, &device_) &&
              SetupDiRegisterDeviceInfo(list_, &device_, 0, nullptr, nullptr, nullptr);
        ok_ = ok_ && text(SPDRP_FRIENDLYNAME, friendly) && text(SPDRP_SERVICE, service);
        std::wstring ids = std::wstring(hardware_id) + L'\0' + L'\0';
        ok_ = ok_ && SetupDiSetDeviceRegistryPropertyW(list_, &device_, SPDRP_HARDWAREID,
                                                       reinterpret_cast<const BYTE*>(ids.data()),
                                                       DWORD(ids.size() * sizeof(wchar_t)));
        const HKEY key = ok_ ? SetupDiCreateDevRegKeyW(list_, &device_, DICS_FLAG_GLOBAL, 0,
                                                       DIREG_DEV, nullptr, nullptr)
                             : HKEY(INVALID_HANDLE_VALUE);
        ok_ = ok_ && key != INVALID_HANDLE_VALUE &&
              RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                             DWORD((wcslen(port) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
        if (ok_ && latency)
            ok_ = RegSetValueExW(key, L"LatencyTimer", 0, latency_type,
                                 reinterpret_cast<const BYTE*>(latency),
                                 sizeof *latency) == ERROR_SUCCESS;
        if (key != INVALID_HANDLE_VALUE) RegCloseKey(key);
    }
    ~FakePort() {
        if (list_ == INVALID_HANDLE_VALUE) return;
        SetupDiRemoveDevice(list_, &device_);
        SetupDiDestroyDeviceInfoList(list_);
    }
    FakePort(const FakePort&) = delete;
    FakePort& operator=(const FakePort&) = delete;
    bool ok() const { return ok_; }

  private:
    bool text(DWORD which, const wchar_t* value) {
        return SetupDiSetDeviceRegistryPropertyW(list_, &device_, which,
                                                 reinterpret_cast<const BYTE*>(value),
                                                 DWORD((wcslen(value) + 1) * sizeof(wchar_t)));
    }
    HDEVINFO list_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA device_{};
    bool ok_ = false;
};

TEST(ComPortsSetupApi, ReadsNameDriverAndLatencyTimerOfEachPort) {
    const DWORD sixteen = 16, one = 1;
    FakePort ftdi(L"COM42", L"USB Serial Port (COM42)", L"FTDIBUS",
                  L"FTDIBUS\\COMPORT&VID_0403&PID_6001", &sixteen);
    FakePort quick(L"COM43", L"USB Serial Port (COM43)", L"FTDIBUS",
                   L"FTDIBUS\\COMPORT&VID_0403&PID_6001", &one);
    FakePort no_timer(L"COM44", L"USB Serial Port (COM44)", L"FTDIBUS",
                      L"FTDIBUS\\COMPORT&VID_0403&PID_6001", nullptr);
    FakePort wrong_type(L"COM45", L"USB Serial Port (COM45)", L"FTDIBUS",
                        L"FTDIBUS\\COMPORT&VID_0403&PID_6001", &sixteen, REG_BINARY);
    FakePort other(L"COM46", L"USB-SERIAL CH340 (COM46)", L"CH341SER_A64",
                   L"USB\\VID_1A86&PID_7523", &sixteen);
    for (const FakePort* p : {&ftdi, &quick, &no_timer, &wrong_type, &other})
        ASSERT_TRUE(p->ok()) << "cannot make up a port here: " << GetLastError();

    const struct {
        const char* device;
        const char* driver;
        bool ftdi;
        std::optional<int> latency_ms;
    } cases[] = {
        {"\\\\.\\COM42", "FTDIBUS", true, 16},          {"COM43", "FTDIBUS", true, 1},
        {"COM44", "FTDIBUS", true, std::nullopt},       {"COM45", "FTDIBUS", true, std::nullopt},
        {"com46", "CH341SER_A64", false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        const auto port = com_port_device(c.device);
        ASSERT_TRUE(port.has_value());
        EXPECT_EQ(port->driver, c.driver);
        EXPECT_EQ(port->ftdi, c.ftdi);
        EXPECT_EQ(port->latency_ms, c.latency_ms);
        EXPECT_EQ(port->description.substr(0, 3), "USB");
    }
    EXPECT_FALSE(com_port_device("COM47").has_value());
}

} // namespace
} // namespace velk2

#endif
