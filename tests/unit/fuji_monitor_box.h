// A scripted box monitor on a headless line: it parses the commands written
// to it, keeps a sparse memory and answers as the monitor does, at its own
// line speed only (bytes sent at another rate are noise it ignores). Faults
// can be switched on to play a monitor that goes wrong.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fuji/monitor_commands.h"
#include "platform/headless.h"
#include "support/harness.h"

namespace velk2::test {

struct MonitorBox {
    std::map<std::uint32_t, std::uint8_t> memory;
    std::uint8_t speed = speed_38400;
    std::vector<std::string> commands; // every command understood, in order

    // Faults.
    int silent_from = -1;       // commands from this index on get no answer
    bool first_ping_ff = false; // the first ping is answered 0xFF (already switching)
    int refuse_write = -1;      // the write (0-based among writes) answered 0x01, not stored
    std::string ping_answer;    // when set, pings at 38400 get this instead
    std::map<std::uint32_t, std::uint8_t> read_status; // status of reads at an address
    std::map<std::uint32_t, std::string> peek_answer;  // data of peeks at an address
    std::map<std::uint32_t, std::size_t> read_cut;     // reads at an address stop after k bytes

    // Runs after each command, once its answer is on the way.
    std::function<void(const std::string& command)> on_command;

    std::int64_t reply_delay_us = 1000;
    // Answers at the line rate of the box's speed (10 bit times a byte),
    // handed to the port in bursts of 16 bytes as a UART's receive FIFO
    // passes them on. Off: every answer arrives whole after the delay.
    bool paced = false;

    void attach(HeadlessLine& line) {
        line.on_write = [this](HeadlessLine& l, const std::string& bytes) { take(l, bytes); };
    }

    void store(std::uint32_t address, const std::string& bytes) {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            memory[address + std::uint32_t(i)] = static_cast<std::uint8_t>(bytes[i]);
    }

    std::string load(std::uint32_t address, std::size_t n) const {
        std::string bytes;
        for (std::size_t i = 0; i < n; ++i) {
            auto it = memory.find(address + std::uint32_t(i));
            bytes.push_back(static_cast<char>(it == memory.end() ? 0 : it->second));
        }
        return bytes;
    }

    int count(char code) const {
        int n = 0;
        for (const auto& c : commands) n += c[0] == code;
        return n;
    }

  private:
    std::string pending_;
    int pings_ = 0;
    int writes_ = 0;

    static std::string baud_of(std::uint8_t code) {
        return code == speed_230400 ? "230400" : "38400";
    }

    // Length of the command at the front of `pending_`; 0 while incomplete.
    std::size_t complete_length() const {
        const std::size_t have = pending_.size();
        switch (static_cast<std::uint8_t>(pending_[0])) {
        case 0x07:
            return 1;
        case 0x00:
            return have >= 9 ? 9 : 0;
        case 0x04:
            return have >= 5 ? 5 : 0;
        case 0x0C:
            return have >= 6 ? 6 : 0;
        case 0x43:
            return have >= 2 ? 2 : 0;
        case 0x08: {
            if (have < 6) return 0;
            const std::size_t n = 6 + (std::size_t(std::uint8_t(pending_[5])) + 1) * 4;
            return have >= n ? n : 0;
        }
        default:
            return std::size_t(-1); // noise: dropped
        }
    }

    void take(HeadlessLine& line, const std::string& bytes) {
        if (line.baud != baud_of(speed)) return;
        pending_ += bytes;
        while (!pending_.empty()) {
            const std::size_t n = complete_length();
            if (n == 0) return;
            if (n == std::size_t(-1)) {
                pending_.erase(0, 1);
                continue;
            }
            const std::string command = pending_.substr(0, n);
            pending_.erase(0, n);
            run(line, command);
        }
    }

    void send_answer(HeadlessLine& line, const std::string& answer) const {
        if (!paced) {
            line.send(answer, reply_delay_us);
            return;
        }
        constexpr std::size_t burst = 16;
        const std::int64_t byte_us = speed == speed_230400 ? 43 : 260;
        for (std::size_t at = 0; at < answer.size(); at += burst) {
            const std::string part = answer.substr(at, burst);
            line.send(part, reply_delay_us + std::int64_t(at + part.size()) * byte_us);
        }
    }

    void run(HeadlessLine& line, const std::string& c) {
        const bool silent = silent_from >= 0 && int(commands.size()) >= silent_from;
        commands.push_back(c);
        const std::uint32_t address = c.size() >= 5 ? read_le32(c, 1) : 0;
        std::string answer;
        std::uint8_t next_speed = speed;
        switch (static_cast<std::uint8_t>(c[0])) {
        case 0x07:
            if (pings_++ == 0 && first_ping_ff) {
                answer = "\xFF";
                next_speed = speed_230400;
            } else if (!ping_answer.empty() && speed == speed_38400) {
                answer = ping_answer;
            } else {
                answer = ping_reply(speed);
            }
            break;
        case 0x00:
            store(address, c.substr(5, 4));
            answer = std::string(1, '\0');
            break;
        case 0x04:
            answer = peek_answer.count(address) ? peek_answer[address] : load(address, 4);
            answer.push_back('\0');
            break;
        case 0x08:
            if (writes_++ == refuse_write) {
                answer = "\x01";
            } else {
                store(address, c.substr(6));
                answer = std::string(1, '\0');
            }
            break;
        case 0x0C:
            answer = load(address, (std::size_t(std::uint8_t(c[5])) + 1) * 4);
            answer.push_back(
                static_cast<char>(read_status.count(address) ? read_status[address] : 0));
            if (read_cut.count(address)) answer.resize(std::min(answer.size(), read_cut[address]));
            break;
        case 0x43:
            answer = "\xFF";
            next_speed = static_cast<std::uint8_t>(c[1]);
            break;
        }
        if (!silent) {
            send_answer(line, answer);
            speed = next_speed;
        }
        if (on_command) on_command(c);
    }
};

// A service-mode window on COM1 with the monitor box on its line.
struct FujiBench {
    Harness h{"COM1", true};
    MonitorBox box;

    FujiBench() { box.attach(h.line); }

    // The bytes written after the first ping, one entry per write.
    std::vector<std::string> after_ping() const {
        std::vector<std::string> all;
        for (std::size_t i = 1; i < h.line.writes.size(); ++i)
            all.push_back(h.line.writes[i].bytes);
        return all;
    }

    // Diagnostic lines other than the status fields' and the timers'.
    std::vector<std::string> stage_lines() const {
        std::vector<std::string> lines;
        for (const auto& l : h.platform.diag_lines)
            if (l.rfind("\t\t", 0) != 0 && l.rfind("tmr", 0) != 0) lines.push_back(l);
        return lines;
    }
};

} // namespace velk2::test
