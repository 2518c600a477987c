// What `--ports` says of each device: the driver, an FTDI adapter's latency
// timer with the way to set it on that system, and why a device cannot be
// opened now. The Windows listing is made from the records SetupAPI fills.
#include <gtest/gtest.h>

#include "platform/com_ports.h"
#include "shell/command_line_help.h"

namespace velk2 {
namespace {

TEST(PortsText, DeviceFactsSayDriverLatencyAndWhyItCannotBeOpened) {
    const auto device = [](std::string driver, bool ftdi, std::optional<int> ms,
                           std::string group = "", std::string busy = "") {
        SerialDevice d;
        d.path = "/dev/ttyUSB3";
        d.driver = std::move(driver);
        d.ftdi = ftdi;
        d.latency_ms = ms;
        d.denied_group = std::move(group);
        d.busy = std::move(busy);
        return d;
    };
    const struct {
        SerialDevice d;
        const char* facts;
        bool hint;
    } cases[] = {
        {device("ftdi_sio", true, 16), "ftdi_sio, latency timer 16 ms", true},
        {device("ftdi_sio", true, 3), "ftdi_sio, latency timer 3 ms", true},
        {device("ftdi_sio", true, 2), "ftdi_sio, latency timer 2 ms", false},
        {device("ftdi_sio", true, 1), "ftdi_sio, latency timer 1 ms", false},
        {device("ftdi_sio", true, std::nullopt), "ftdi_sio, latency timer unknown", false},
        {device("cp210x", false, std::nullopt), "cp210x", false},
        {device("", false, std::nullopt), "driver unknown", false},
        {device("ch341", false, std::nullopt, "dialout"), "ch341, no access: join group dialout",
         false},
        {device("cdc_acm", false, std::nullopt, "", "minicom (pid 7)"),
         "cdc_acm, busy: held by minicom (pid 7)", false},
        {device("pl2303", false, std::nullopt, "uucp", "screen (pid 9)"),
         "pl2303, no access: join group uucp, busy: held by screen (pid 9)", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.facts);
        EXPECT_EQ(device_facts(c.d), c.facts);
        const std::string hints = device_hints(c.d);
        EXPECT_EQ(hints.empty(), !c.hint) << hints;
        if (c.hint) {
            EXPECT_NE(hints.find("up to " + std::to_string(*c.d.latency_ms) + " ms"),
                      std::string::npos)
                << hints;
            EXPECT_NE(hints.find("/sys/bus/usb-serial/devices/ttyUSB3/latency_timer"),
                      std::string::npos)
                << hints;
        }
    }
}

// The records as SetupAPI and the registry give them, in any order: the
// listing in COM number order, FTDI ports known by their driver or vendor
// number, a timer that is missing or absurd unknown, no port name no line.
TEST(PortsText, ComPortsFromTheDeviceManagersRecords) {
    const std::vector<ComPortRecord> records = {
        {"COM10", "USB-SERIAL CH340 (COM10)", "CH341SER_A64", "USB\\VID_1A86&PID_7523", 16},
        {"COM3", "USB Serial Port (COM3)", "FTDIBUS", "FTDIBUS\\COMPORT&VID_0403&PID_6001", 16},
        {"", "ECP Printer Port (LPT1)", "Parport", "ACPI\\PNP0401", std::nullopt},
        {"COM1", "Communications Port (COM1)", "Serial", "ACPI\\PNP0501", std::nullopt},
        {"COM4", "USB Serial Port (COM4)", "", "USB\\VID_0403&PID_6015", 1},
        {"COM5", "USB Serial Port (COM5)", "FTDIBUS", "FTDIBUS\\COMPORT&VID_0403&PID_6001",
         std::nullopt},
        {"COM6", "USB Serial Port (COM6)", "FTDIBUS", "FTDIBUS\\COMPORT&VID_0403&PID_6001", 4096},
    };
    const std::string hint_com3 =
        "      the latency timer holds every reply up to 16 ms and costs speed; set 1 ms: Device "
        "Manager, Ports (COM & LPT), USB Serial Port (COM3), Properties, Port Settings, "
        "Advanced, Latency Timer (msec) 1\n";
    EXPECT_EQ(com_ports_text(com_port_devices(records)),
              "COM ports:\n"
              "  COM1  Communications Port (COM1)  (Serial)\n"
              "  COM3  USB Serial Port (COM3)  (FTDIBUS, latency timer 16 ms)\n" +
                  hint_com3 +
                  "  COM4  USB Serial Port (COM4)  (driver unknown, latency timer 1 ms)\n"
                  "  COM5  USB Serial Port (COM5)  (FTDIBUS, latency timer unknown)\n"
                  "  COM6  USB Serial Port (COM6)  (FTDIBUS, latency timer unknown)\n"
                  "  COM10  USB-SERIAL CH340 (COM10)  (CH341SER_A64)\n");
    EXPECT_EQ(com_ports_text({}), "COM ports:\n  none found\n");
}

} // namespace
} // namespace velk2
