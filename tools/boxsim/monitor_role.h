// The box monitor: a small command interpreter over the serial line that
// pings, pokes, peeks, writes and reads memory and switches its own rate.
#pragma once

#include "memory_model.h"
#include "role.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace boxsim {

struct MonitorFaults {
    std::optional<unsigned> silent_after{}; // no effect and no answer after command K
    bool bad_status = false;                // status 0x01; memory left unchanged
    bool first_ping_ff = false;             // first ping answered 0xFF, box goes to 230400
};

namespace monitor {
inline constexpr std::uint8_t ping = 0x07;
inline constexpr std::uint8_t poke = 0x00;
inline constexpr std::uint8_t peek = 0x04;
inline constexpr std::uint8_t write = 0x08;
inline constexpr std::uint8_t read = 0x0C;
inline constexpr std::uint8_t speed = 0x43;
inline constexpr std::uint8_t code_230400 = 0x23;
inline constexpr std::uint8_t code_38400 = 0xD4;
inline constexpr char ok = 0x00;
inline constexpr char failed = 0x01;
inline constexpr char speed_ok = static_cast<char>(0xFF);

// The length of the command at the start of `bytes`: 0 when its first byte
// starts no command; for a write whose count byte has not come yet, the
// length up to that byte.
std::size_t command_length(std::string_view bytes);
} // namespace monitor

class MonitorRole final : public Role {
  public:
    MonitorRole(int baud, MemoryModel memory, MonitorFaults faults);

    int baud() const override { return baud_; }
    Step receive(std::string_view bytes, Millis now) override;
    Step tick(Millis now) override;

    const MemoryModel& memory() const { return memory_; }

    // A command still incomplete this long after its last byte is dropped.
    static constexpr Millis command_timeout{100};

  private:
    void execute(Step& step, std::string_view command);
    char status() const { return faults_.bad_status ? monitor::failed : monitor::ok; }

    int baud_;
    MemoryModel memory_;
    MonitorFaults faults_;
    std::string pending_;
    Millis last_input_{0};
    unsigned commands_ = 0;
    bool pinged_ = false;
};

} // namespace boxsim
