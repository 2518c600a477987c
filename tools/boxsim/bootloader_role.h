// The box's bootloader: the YMODEM receiver of an upload.
#pragma once

#include "role.h"

#include <cstdint>
#include <optional>
#include <string>

namespace boxsim {

struct BootloaderFaults {
    std::optional<unsigned> nak_block{};        // NAK the first arrival of data block K
    bool silent = false;                        // never send anything
    bool ack_first_eot = false;                 // ACK the first EOT instead of NAK
    std::optional<unsigned> drop_after_block{}; // hang up after data block K (0: the header)
};

class BootloaderRole final : public Role {
  public:
    BootloaderRole(int baud, BootloaderFaults faults);

    int baud() const override { return baud_; }
    Step receive(std::string_view bytes, Millis now) override;
    Step tick(Millis now) override;
    Step line_event(Millis now) override;

    // No transfer under way: the box asks for block 0.
    bool waiting_for_file() const { return phase_ == Phase::header; }

    // Between two "C"s while the box waits for block 0.
    static constexpr Millis c_period{1000};
    // From the PC opening or reconfiguring its port to the next "C": late
    // enough that the flush of a fresh open does not swallow it.
    static constexpr Millis prompt_c_delay{30};
    // A packet that stays incomplete this long is dropped.
    static constexpr Millis packet_timeout{1000};
    // A transfer with no input for this long is given up (the PC waits at
    // most 20 s in its end exchange).
    static constexpr Millis abandon_after{30000};

  private:
    enum class Phase { header, data, first_eot_seen, file_done };

    void take_packet(Step& step, const std::string& packet, Millis now);
    void take_header(Step& step, std::string_view field, Millis now);
    void take_data(Step& step, const std::string& packet);
    void take_eot(Step& step);
    void finish_file(Step& step);
    void reply(Step& step, char byte) { step.send(std::string(1, byte), baud_); }

    int baud_;
    BootloaderFaults faults_;
    Phase phase_ = Phase::header;
    std::string pending_;
    Millis last_input_{0};
    Millis next_c_at_{0};
    std::optional<Millis> prompt_c_at_;
    std::string name_;
    std::optional<std::uint64_t> size_;
    std::string data_;
    unsigned blocks_ = 0; // data blocks taken into this file
    bool nak_fault_used_ = false;
};

} // namespace boxsim
