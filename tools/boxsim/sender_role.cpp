#include "sender_role.h"

#include "hex_text.h"
#include "ymodem_block.h"

namespace boxsim {

using namespace ymodem;

SenderRole::SenderRole(int baud, std::string name, std::string data, SenderFaults faults)
    : baud_(baud), name_(std::move(name)), data_(std::move(data)), faults_(std::move(faults)) {}

unsigned SenderRole::block_count() const {
    return static_cast<unsigned>((data_.size() + long_data - 1) / long_data);
}

std::string SenderRole::header_packet() const {
    const std::string name = faults_.header_name.value_or(name_);
    const std::string size = faults_.absurd_size ? "99999999999" : std::to_string(data_.size());
    std::string packet = make_packet(SOH, 0, header_field(name, size));
    if (faults_.bad_header_start) packet[0] = STX;
    if (faults_.corrupt_crc == 0u) packet.back() = static_cast<char>(~packet.back());
    return packet;
}

std::string SenderRole::data_packet(unsigned block) const {
    std::string data = data_.substr(std::min(data_.size(), (block - 1) * long_data), long_data);
    data.resize(long_data, '\0');
    std::string packet = make_packet(STX, static_cast<std::uint8_t>(block & 0xFF), data);
    if (faults_.corrupt_crc == block) packet.back() = static_cast<char>(~packet.back());
    return packet;
}

std::string SenderRole::closing_packet() {
    return make_packet(SOH, 0, std::string(short_data, '\0'));
}

Step SenderRole::receive(std::string_view bytes, Millis now) {
    Step step;
    last_input_ = now;
    for (const char byte : bytes) take(step, byte);
    return step;
}

Step SenderRole::tick(Millis now) {
    Step step;
    const bool mid_transfer = phase_ != Phase::wait_c && phase_ != Phase::stopped;
    if (mid_transfer && now - last_input_ > abandon_after) {
        step.note("no input for " + std::to_string(abandon_after.count() / 1000) +
                  " s: transfer given up, waiting for C");
        phase_ = Phase::wait_c;
    }
    return step;
}

void SenderRole::take(Step& step, char byte) {
    const std::string seen = hex_text(std::string_view(&byte, 1));
    switch (phase_) {
    case Phase::stopped:
        step.note("fault: stopped, ignoring " + seen);
        return;
    case Phase::wait_c:
        if (byte == C) {
            send_header(step);
        } else {
            step.note("ignoring " + seen + " while waiting for C");
        }
        return;
    case Phase::header_sent:
        if (byte == C) {
            step.note("C again: block 0 again");
            send_header(step);
        } else if (byte == ACK && block_count() == 0) {
            step.note("ACK to block 0 of an empty file: EOT");
            send_eot(step);
        } else if (byte == ACK) {
            step.note("ACK to block 0");
            phase_ = Phase::header_acked;
        } else {
            step.note("ignoring " + seen + " after block 0");
        }
        return;
    case Phase::header_acked:
        if (byte == C) {
            send_block(step, 1);
        } else {
            step.note("ignoring " + seen + " while waiting for C to start the data");
        }
        return;
    case Phase::data:
        if (byte == ACK && faults_.repeat_block == block_ && !repeated_) {
            // As a box that took the ACK for lost and sends the block again.
            repeated_ = true;
            step.note("fault: block " + std::to_string(block_at(block_)) + " again");
            send_block(step, block_);
        } else if (byte == ACK && block_ < block_count()) {
            send_block(step, block_ + 1);
        } else if (byte == ACK) {
            step.note("ACK to the last block: EOT");
            send_eot(step);
        } else if (byte == C) {
            step.note("C in the middle of the data: the receiver starts over, block 0 again");
            send_header(step);
        } else {
            // The PC puts a NAK before the ACK of its requests and never asks
            // for a block again; the ACK that follows decides.
            step.note("ignoring " + seen + " after block " + std::to_string(block_));
        }
        return;
    case Phase::eot_sent:
        if (byte == NAK) {
            step.note("NAK to EOT: EOT again");
            step.send(std::string(1, EOT), baud_);
        } else if (byte == C) {
            step.send(closing_packet(), baud_);
            step.note("C: closing block sent, end of batch");
            step.results.push_back("sent " + printable(faults_.header_name.value_or(name_)) + " " +
                                   std::to_string(data_.size()) + " bytes in " +
                                   std::to_string(block_count()) + " blocks");
            step.finished = true;
            phase_ = Phase::wait_c;
        } else {
            step.note("ignoring " + seen + " after EOT");
        }
        return;
    }
}

unsigned SenderRole::block_at(unsigned place) const {
    if (!faults_.swap_blocks || *faults_.swap_blocks == 0 || *faults_.swap_blocks >= block_count())
        return place;
    const unsigned k = *faults_.swap_blocks;
    return place == k ? k + 1 : place == k + 1 ? k : place;
}

void SenderRole::send_header(Step& step) {
    block_ = 0;
    repeated_ = false;
    step.send(header_packet(), baud_);
    step.note("block 0 sent at " + std::to_string(baud_) + ": " + hex_text(header_packet(), 8));
    phase_ = Phase::header_sent;
    if (faults_.stop_after_block == 0u) {
        step.note("fault: no more answers after block 0");
        phase_ = Phase::stopped;
    }
}

void SenderRole::send_block(Step& step, unsigned block) {
    block_ = block;
    const unsigned sent = block_at(block);
    step.send(data_packet(sent), baud_);
    step.note("block " + std::to_string(sent) + " of " + std::to_string(block_count()) + " sent" +
              (sent != block ? " (fault: in place of block " + std::to_string(block) + ")" : ""));
    phase_ = Phase::data;
    if (faults_.stop_after_block == block) {
        step.note("fault: no more answers after block " + std::to_string(block));
        phase_ = Phase::stopped;
    }
}

void SenderRole::send_eot(Step& step) {
    step.send(std::string(1, EOT), baud_);
    phase_ = Phase::eot_sent;
}

} // namespace boxsim
