// The box as the YMODEM sender of a download.
#pragma once

#include "role.h"

#include <cstdint>
#include <optional>
#include <string>

namespace boxsim {

struct SenderFaults {
    std::optional<unsigned> corrupt_crc{};      // wrong check bytes on block K (0: the header)
    bool bad_header_start = false;              // block 0 starts 0x02 0x00 0xFF
    std::optional<unsigned> stop_after_block{}; // no answer after sending block K (0: the header)
    bool absurd_size = false;                   // block 0 claims 99999999999 bytes
    std::optional<std::string> header_name{};   // name in block 0 instead of the file's
    std::optional<unsigned> repeat_block{};     // data block K sent twice, as after a lost ACK
    std::optional<unsigned> swap_blocks{};      // data blocks K and K+1 sent in each other's place
};

class SenderRole final : public Role {
  public:
    // `name` is what block 0 carries unless a fault replaces it.
    SenderRole(int baud, std::string name, std::string data, SenderFaults faults);

    int baud() const override { return baud_; }
    Step receive(std::string_view bytes, Millis now) override;
    Step tick(Millis now) override;

    // Data blocks of the file: the last one padded with zero bytes.
    unsigned block_count() const;
    std::string header_packet() const;
    std::string data_packet(unsigned block) const;
    static std::string closing_packet();

    // A transfer with no input for this long is given up, so that the next
    // "C" starts a new download.
    static constexpr Millis abandon_after{10000};

  private:
    enum class Phase { wait_c, header_sent, header_acked, data, eot_sent, stopped };

    void take(Step& step, char byte);
    void send_header(Step& step);
    void send_block(Step& step, unsigned block);
    void send_eot(Step& step);

    int baud_;
    std::string name_;
    std::string data_;
    SenderFaults faults_;
    Phase phase_ = Phase::wait_c;
    // Which block goes out at this place of the file (swap-blocks).
    unsigned block_at(unsigned place) const;

    unsigned block_ = 0; // the place in the file of the last data block sent
    bool repeated_ = false;
    Millis last_input_{0};
};

} // namespace boxsim
