#include "monitor_role.h"

#include "hex_text.h"

#include <cstdio>

namespace boxsim {

namespace monitor {

std::size_t command_length(std::string_view bytes) {
    if (bytes.empty()) return 0;
    switch (static_cast<std::uint8_t>(bytes[0])) {
    case ping:
        return 1;
    case poke:
        return 9;
    case peek:
        return 5;
    case read:
        return 6;
    case speed:
        return 2;
    case write:
        if (bytes.size() < 6) return 6;
        return 6 + (static_cast<std::size_t>(static_cast<std::uint8_t>(bytes[5])) + 1) * 4;
    default:
        return 0;
    }
}

} // namespace monitor

namespace {

std::uint32_t address_at(std::string_view command) {
    std::uint32_t address = 0;
    for (int i = 4; i >= 1; --i) {
        address = address << 8 | static_cast<std::uint8_t>(command[static_cast<std::size_t>(i)]);
    }
    return address;
}

std::string address_text(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(address));
    return text;
}

std::size_t counted_bytes(std::string_view command) {
    return (static_cast<std::size_t>(static_cast<std::uint8_t>(command[5])) + 1) * 4;
}

int speed_of_code(std::uint8_t code) {
    if (code == monitor::code_230400) return 230400;
    if (code == monitor::code_38400) return 38400;
    return 0;
}

} // namespace

MonitorRole::MonitorRole(int baud, MemoryModel memory, MonitorFaults faults)
    : baud_(baud), memory_(std::move(memory)), faults_(faults) {}

Step MonitorRole::receive(std::string_view bytes, Millis now) {
    Step step;
    last_input_ = now;
    pending_ += bytes;
    std::string stray;
    while (!pending_.empty()) {
        const std::size_t length = monitor::command_length(pending_);
        if (length == 0) {
            stray += pending_[0];
            pending_.erase(0, 1);
            continue;
        }
        if (pending_.size() < length) break;
        const std::string command = pending_.substr(0, length);
        pending_.erase(0, length);
        execute(step, command);
    }
    if (!stray.empty()) step.note("no command starts with " + hex_text(stray) + ": dropped");
    return step;
}

Step MonitorRole::tick(Millis now) {
    Step step;
    if (!pending_.empty() && now - last_input_ > command_timeout) {
        step.note("incomplete command dropped: " + hex_text(pending_));
        pending_.clear();
    }
    return step;
}

void MonitorRole::execute(Step& step, std::string_view command) {
    ++commands_;
    const std::string number = "command " + std::to_string(commands_);
    if (faults_.silent_after && commands_ > *faults_.silent_after) {
        step.note("fault: silent, " + number + " ignored: " + hex_text(command));
        return;
    }
    const auto code = static_cast<std::uint8_t>(command[0]);
    const bool store = !faults_.bad_status;
    switch (code) {
    case monitor::ping: {
        if (faults_.first_ping_ff && !pinged_) {
            pinged_ = true;
            step.send(std::string(1, monitor::speed_ok), baud_);
            step.note(number + ": ping at " + std::to_string(baud_) +
                      ", fault: answered FF and now at 230400");
            baud_ = 230400;
            return;
        }
        pinged_ = true;
        const char first =
            static_cast<char>(baud_ == 230400 ? monitor::code_230400 : monitor::code_38400);
        step.send(std::string{first, monitor::ok}, baud_);
        step.note(number + ": ping at " + std::to_string(baud_));
        return;
    }
    case monitor::poke: {
        const std::uint32_t address = address_at(command);
        if (store) memory_.write(address, command.substr(5, 4));
        step.send(std::string(1, status()), baud_);
        step.note(number + ": poke " + address_text(address) + " " +
                  hex_text(command.substr(5, 4)));
        return;
    }
    case monitor::peek: {
        const std::uint32_t address = address_at(command);
        step.send(memory_.read(address, 4) + status(), baud_);
        step.note(number + ": peek " + address_text(address));
        return;
    }
    case monitor::write: {
        const std::uint32_t address = address_at(command);
        const std::size_t count = counted_bytes(command);
        if (store) memory_.write(address, command.substr(6, count));
        step.send(std::string(1, status()), baud_);
        step.note(number + ": write " + std::to_string(count) + " bytes to " +
                  address_text(address));
        return;
    }
    case monitor::read: {
        const std::uint32_t address = address_at(command);
        const std::size_t count = counted_bytes(command);
        step.send(memory_.read(address, count) + status(), baud_);
        step.note(number + ": read " + std::to_string(count) + " bytes from " +
                  address_text(address));
        return;
    }
    case monitor::speed: {
        const int next = speed_of_code(static_cast<std::uint8_t>(command[1]));
        if (next == 0) {
            step.send(std::string(1, monitor::failed), baud_);
            step.note(number + ": unknown speed code " + hex_text(command.substr(1)) +
                      ": answered 01");
            return;
        }
        // The answer still goes at the old rate; the switch follows it.
        step.send(std::string(1, monitor::speed_ok), baud_);
        step.note(number + ": speed " + std::to_string(baud_) + " -> " + std::to_string(next));
        baud_ = next;
        return;
    }
    default:
        return;
    }
}

} // namespace boxsim
