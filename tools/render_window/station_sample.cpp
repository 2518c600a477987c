#include "station_sample.h"

#include <string>

#include "serial/primitives.h"
#include "station/sha256.h"

namespace velk2 {

namespace {

constexpr std::int64_t firmware_size = 2093056;
constexpr std::int64_t speed = 22410; // bytes/s of an upload at 230400 baud

void last_attempt(StationRow& row, FlashOutcome outcome, std::int64_t bytes, std::int64_t ms,
                  const std::string& reason = "") {
    row.bytes = bytes;
    row.total = firmware_size;
    row.bytes_per_s = ms > 0 ? bytes * 1000 / ms : 0;
    row.last_result = WorkerResult{outcome, ms, row.bytes_per_s, reason};
}

} // namespace

StationState sample_station(bool windows) {
    std::vector<StationPort> ports;
    for (int n = 1; n <= 5; ++n) {
        const std::string name = "COM" + std::to_string(n);
        ports.push_back({name, windows ? "\\\\.\\" + name : "/dev/ttyUSB" + std::to_string(n - 1)});
    }
    StationState s = make_station_state(ports);
    s.file.path = windows ? "C:\\firmware\\R3e558zu.dsp" : "/home/tech/firmware/R3e558zu.dsp";
    s.file.size = firmware_size;
    s.file.sha256 = sha256_hex(std::string(std::size_t(firmware_size), '\xA5'));
    s.log_path = windows ? "C:\\Users\\tech\\AppData\\Local\\VELK2\\flash-log.csv"
                         : "/home/tech/.local/share/VELK2/flash-log.csv";
    s.phase = StationPhase::running;

    // A port whose first box has not come yet.
    s.rows[0].state = RowState::waiting;

    StationRow& flashing = s.rows[1];
    flashing.state = RowState::flashing;
    flashing.in_attempt = true;
    flashing.bytes = (firmware_size * 45 + 99) / 100;
    flashing.total = firmware_size;
    flashing.bytes_per_s = speed;
    flashing.done = 2;

    StationRow& done = s.rows[2];
    done.state = RowState::done;
    last_attempt(done, FlashOutcome::done, firmware_size, 93500);
    done.done = 3;
    done.failed = 1;

    StationRow& failed = s.rows[3];
    failed.state = RowState::failed;
    failed.reason = std::string("port lost: ") + device_gone;
    last_attempt(failed, FlashOutcome::failed, 1213440, 54200, failed.reason);
    failed.failed = 1;

    StationRow& remove = s.rows[4];
    remove.state = RowState::remove_box;
    last_attempt(remove, FlashOutcome::done, firmware_size, 93300);
    remove.done = 3;
    return s;
}

} // namespace velk2
