#include "bootloader_role.h"

#include "hex_text.h"
#include "safe_name.h"
#include "ymodem_block.h"

#include <string>

namespace boxsim {

using namespace ymodem;

namespace {

std::size_t packet_length(char lead) {
    switch (lead) {
    case SOH:
        return short_packet;
    case STX:
        return long_packet;
    case EOT:
        return 1;
    default:
        return 0;
    }
}

} // namespace

BootloaderRole::BootloaderRole(int baud, BootloaderFaults faults) : baud_(baud), faults_(faults) {}

Step BootloaderRole::receive(std::string_view bytes, Millis now) {
    Step step;
    if (faults_.silent) {
        step.note("silent: ignored " + hex_text(bytes));
        return step;
    }
    last_input_ = now;
    pending_ += bytes;
    std::string stray;
    while (!pending_.empty() && !step.hang_up) {
        const std::size_t need = packet_length(pending_[0]);
        if (need == 0) {
            stray += pending_[0];
            pending_.erase(0, 1);
            continue;
        }
        if (pending_.size() < need) break;
        const std::string packet = pending_.substr(0, need);
        pending_.erase(0, need);
        take_packet(step, packet, now);
    }
    if (!stray.empty()) step.note("dropped stray bytes " + hex_text(stray));
    return step;
}

Step BootloaderRole::tick(Millis now) {
    Step step;
    if (faults_.silent) return step;
    if (!pending_.empty() && now - last_input_ > packet_timeout) {
        step.note("dropped an incomplete packet of " + std::to_string(pending_.size()) + " bytes");
        pending_.clear();
        if (phase_ != Phase::header) reply(step, NAK);
    }
    if (phase_ != Phase::header && now - last_input_ > abandon_after) {
        step.note("no input for " + std::to_string(abandon_after.count() / 1000) +
                  " s: transfer given up, waiting for block 0");
        phase_ = Phase::header;
        next_c_at_ = now;
        prompt_c_at_.reset();
    }
    if (phase_ != Phase::header) return step;
    if (prompt_c_at_ && now >= *prompt_c_at_) {
        // The PC has just opened its port: a "C" now spares it up to a
        // second of listening, unless the last one still waits for it.
        step.out.push_back({std::string(1, C), baud_, true});
        step.note("sent C at " + std::to_string(baud_) + " (PC opened its port)");
        prompt_c_at_.reset();
        next_c_at_ = now + c_period;
    } else if (now >= next_c_at_) {
        reply(step, C);
        step.note("sent C at " + std::to_string(baud_));
        next_c_at_ = now + c_period;
    }
    return step;
}

Step BootloaderRole::line_event(Millis now) {
    if (phase_ == Phase::header) prompt_c_at_ = now + prompt_c_delay;
    return {};
}

void BootloaderRole::take_packet(Step& step, const std::string& packet, Millis now) {
    if (packet[0] == EOT) {
        take_eot(step);
        return;
    }
    const std::string problem = packet_problem(packet);
    const unsigned number = packet_number(packet);
    const bool header = packet[0] == SOH && number == 0;
    switch (phase_) {
    case Phase::header:
        if (!problem.empty() || !header) {
            step.note("block 0 rejected (" + (problem.empty() ? "not block 0" : problem) +
                      "): NAK");
            reply(step, NAK);
            return;
        }
        take_header(step, packet_data(packet), now);
        return;
    case Phase::data: {
        const unsigned expected = (blocks_ + 1) & 0xFF;
        if (!problem.empty()) {
            step.note("block " + std::to_string(blocks_ + 1) + " bad (" + problem + "): NAK");
            reply(step, NAK);
        } else if (number == expected) {
            take_data(step, packet);
        } else if (header) {
            take_header(step, packet_data(packet), now);
        } else if (number == (blocks_ & 0xFF)) {
            step.note("block " + std::to_string(blocks_) + " again: ACK, not stored twice");
            reply(step, ACK);
        } else {
            step.note("block number " + std::to_string(number) + " where " +
                      std::to_string(expected) + " was due: NAK");
            reply(step, NAK);
        }
        return;
    }
    case Phase::first_eot_seen:
        step.note("a block after the first EOT: NAK");
        reply(step, NAK);
        return;
    case Phase::file_done:
        if (!problem.empty() || !header) {
            step.note("closing block rejected (" + (problem.empty() ? "not block 0" : problem) +
                      "): NAK");
            reply(step, NAK);
            return;
        }
        take_header(step, packet_data(packet), now);
        return;
    }
}

void BootloaderRole::take_header(Step& step, std::string_view field, Millis now) {
    const Header header = parse_header(field);
    prompt_c_at_.reset();
    if (header.name.empty()) {
        reply(step, ACK);
        if (phase_ == Phase::file_done) {
            step.note("closing block: ACK, end of batch");
            step.finished = true;
        } else {
            step.note("empty block 0 without a file: ACK");
        }
        phase_ = Phase::header;
        next_c_at_ = now + c_period;
        return;
    }
    if (phase_ == Phase::data) step.note("block 0 again: the file starts over");
    name_ = safe_name(header.name);
    size_ = header.size;
    data_.clear();
    blocks_ = 0;
    nak_fault_used_ = false;
    phase_ = Phase::data;
    std::string note = "block 0: name \"" + name_ + "\"";
    if (name_ != header.name) note += " (sent as " + hex_text(header.name, 64) + ")";
    note += size_ ? ", size " + std::to_string(*size_) : ", no size";
    step.note(note + ": ACK C");
    // A YMODEM receiver asks for the data with a fresh "C" after the ACK.
    step.send(std::string{ACK, C}, baud_);
    if (faults_.drop_after_block == 0u) {
        step.note("fault: dropping the line after block 0");
        step.hang_up = true;
    }
}

void BootloaderRole::take_data(Step& step, const std::string& packet) {
    const unsigned block = blocks_ + 1;
    if (faults_.nak_block == block && !nak_fault_used_) {
        nak_fault_used_ = true;
        step.note("fault: NAK to good block " + std::to_string(block));
        reply(step, NAK);
        return;
    }
    data_ += packet_data(packet);
    blocks_ = block;
    step.note("block " + std::to_string(block) + " ok: ACK (" + std::to_string(data_.size()) +
              " bytes)");
    step.out.push_back({std::string(1, ACK), baud_, false, STX});
    if (faults_.drop_after_block == block) {
        step.note("fault: dropping the line after block " + std::to_string(block));
        step.hang_up = true;
    }
}

void BootloaderRole::take_eot(Step& step) {
    switch (phase_) {
    case Phase::header:
        step.note("EOT without a file: NAK");
        reply(step, NAK);
        return;
    case Phase::data:
        if (faults_.ack_first_eot) {
            step.note("fault: ACK to the first EOT");
            reply(step, ACK);
            finish_file(step);
            return;
        }
        step.note("first EOT: NAK");
        reply(step, NAK);
        phase_ = Phase::first_eot_seen;
        return;
    case Phase::first_eot_seen:
        step.note("second EOT: ACK");
        reply(step, ACK);
        finish_file(step);
        return;
    case Phase::file_done:
        step.note("EOT again: ACK");
        reply(step, ACK);
        return;
    }
}

void BootloaderRole::finish_file(Step& step) {
    if (size_ && *size_ < data_.size()) {
        data_.resize(static_cast<std::size_t>(*size_));
    } else if (size_ && *size_ > data_.size()) {
        step.note("block 0 announced " + std::to_string(*size_) + " bytes, only " +
                  std::to_string(data_.size()) + " came: keeping those");
    }
    step.note("file complete: \"" + name_ + "\", " + std::to_string(data_.size()) + " bytes");
    step.file = ReceivedFile{name_, data_};
    data_.clear();
    phase_ = Phase::file_done;
}

} // namespace boxsim
