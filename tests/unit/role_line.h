// The simulator's box monitor on a headless line, in a service-mode window.
// Bytes written at another rate than the box's own are noise it never hears;
// its answers come back at its line rate in bursts of 16 bytes, as a UART's
// receive FIFO passes them on. Every write is noted in the window's record,
// so one list tells what went out between what the window was told.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "boxsim/monitor_role.h"
#include "hex_text.h"
#include "support/harness.h"
#include "support/recording_report.h"

namespace velk2::test {

// "07", "00 80 DE 30 00 00 80 00 00"; a longer command by its first six bytes
// and the count of the rest: "08 00 A8 CC 00 0F +64".
inline std::string head_text(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    const std::size_t shown = bytes.size() > 9 ? 6 : bytes.size();
    std::string text;
    for (std::size_t i = 0; i < shown; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        text += std::string(i ? " " : "") + digits[b >> 4] + digits[b & 15];
    }
    return shown < bytes.size() ? text + " +" + std::to_string(bytes.size() - shown) : text;
}

// The monitor's faults by name, so that a table row stays one braced list.
inline const boxsim::MonitorFaults no_fault{}, refusing{.bad_status = true},
    first_ping_ff{.first_ping_ff = true};
inline boxsim::MonitorFaults silent_after(unsigned commands) {
    return {.silent_after = commands};
}

struct MonitorBench {
    Harness h{"COM1", true};
    boxsim::MonitorRole box;
    RecordingReport& rec = RecordingReport::install(h.ctx);
    // Commands answered with these bytes instead of the box's own answer.
    std::map<std::string, std::string> answers;
    std::int64_t delay_us = 1000; // before the first byte of an answer

    explicit MonitorBench(boxsim::MonitorFaults faults = {}, boxsim::MemoryModel memory = {})
        : box(38400, std::move(memory), faults) {
        // The right button held from 10 s on ends a fuji Live loop that
        // nothing else stops.
        h.platform.right_button_from_us = 10'000'000;
        h.line.on_write = [this](HeadlessLine& line, const std::string& bytes) {
            const bool heard = line.baud == std::to_string(box.baud());
            rec.calls.push_back((heard ? "write " : "noise ") + head_text(bytes));
            if (!heard) return;
            const boxsim::Millis now{line.now_us() / 1000};
            box.tick(now);
            boxsim::Step step = box.receive(bytes, now);
            if (answers.count(bytes)) step.out = {{answers[bytes], box.baud()}};
            for (const boxsim::Transmission& t : step.out) answer(line, t, delay_us);
        };
    }

    std::string memory(std::uint32_t address, std::size_t n) const {
        return box.memory().read(address, n);
    }
    std::string file(const std::string& name) const { return read_file(h.dir / name); }

    // What the box heard at its own rate (bare), the noise and the byte
    // counter, in order.
    std::string story() const {
        std::string out;
        for (const auto& c : rec.calls) {
            const bool counter = c.starts_with("counter "), noise = c.starts_with("noise ");
            if (!counter && !noise && !c.starts_with("write ")) continue;
            out += (out.empty() ? "" : ", ") + (counter || noise ? c : c.substr(6));
        }
        return out;
    }

    // Diagnostic lines, the status fields' echo left out.
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const auto& l : h.platform.diag_lines)
            if (!l.starts_with("\t\t") && !l.starts_with("tmr")) out.push_back(l);
        return out;
    }

  private:
    static void answer(HeadlessLine& line, const boxsim::Transmission& t, std::int64_t delay_us) {
        const std::int64_t byte_us = 10'000'000 / t.baud;
        for (std::size_t at = 0; at < t.bytes.size(); at += 16) {
            const std::string part = t.bytes.substr(at, 16);
            line.send(part, delay_us + std::int64_t(at + part.size()) * byte_us);
        }
    }
};

} // namespace velk2::test
