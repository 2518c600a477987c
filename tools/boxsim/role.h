// The seam between the box's behaviour and the line it sits on: a role takes
// the bytes that reached the box and the passing of time, and answers with
// what the box puts on the line and what it has to say about it. Roles do no
// I/O of their own, so tests drive them byte for byte.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boxsim {

using Millis = std::chrono::milliseconds;

// Bytes the box sends, at the rate it sends them. An optional transmission is
// left out while the PC still has unread bytes from the box: it only hurries
// things along, and a second copy would change what the PC reads.
struct Transmission {
    std::string bytes;
    int baud = 0;
    bool optional = false;
    // The PC's turn-around is timed from the moment this transmission's last
    // byte has left the line to the PC's next bytes, when they start with
    // this byte (a data block's ACK, and the next block's lead).
    std::optional<char> turnaround_until{};
};

// A file the box has received whole; `name` is already safe to save under.
struct ReceivedFile {
    std::string name;
    std::string bytes;
};

struct Step {
    std::vector<Transmission> out;
    std::vector<std::string> log;     // events, one line each
    std::vector<std::string> results; // result lines for whoever runs the box
    std::optional<ReceivedFile> file;
    bool finished = false; // one whole transfer is over
    bool hang_up = false;  // drop the line once `out` has left

    void send(std::string bytes, int baud) { out.push_back({std::move(bytes), baud}); }
    void note(std::string line) { log.push_back(std::move(line)); }

    // All bytes of `out`, for tests and for a line that has one rate.
    std::string sent() const {
        std::string all;
        for (const auto& t : out) all += t.bytes;
        return all;
    }
};

class Role {
  public:
    virtual ~Role() = default;
    // The rate the box listens and talks at now.
    virtual int baud() const = 0;
    // Bytes that reached the box at its own rate.
    virtual Step receive(std::string_view bytes, Millis now) = 0;
    // Called often (every few ms) whether or not bytes came.
    virtual Step tick(Millis now) = 0;
    // The PC has just opened, flushed or reconfigured its end of the line.
    virtual Step line_event(Millis now) {
        (void)now;
        return {};
    }
};

} // namespace boxsim
