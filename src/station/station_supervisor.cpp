#include "station/station_supervisor.h"

#include <deque>
#include <type_traits>
#include <utility>

#include "platform/local_time.h"
#include "station/worker_lines.h"

namespace velk2 {

StationSupervisor::StationSupervisor(StationState state, StationServices services)
    : state_(std::move(state)), services_(std::move(services)), children_(state_.rows.size()) {}

StationSupervisor::~StationSupervisor() = default;

bool StationSupervisor::set_file(StationFile file) {
    if (state_.running()) return false;
    state_.file = std::move(file.file);
    bytes_ = std::move(file.bytes);
    return true;
}

void StationSupervisor::start() {
    finished_.reset();
    feed(StartPressed{});
}

void StationSupervisor::stop() {
    feed(StopPressed{});
}

void StationSupervisor::tick() {
    for (std::size_t i = 0; i < children_.size(); ++i) {
        if (!children_[i]) continue;
        ChildProcess& child = *children_[i];
        child.poll();
        // Once its end is known, its lines are all there: they go first.
        const std::optional<ChildExit> exit = child.exit_status();
        for (std::string& line : child.take_lines()) feed(WorkerLineRead{int(i), std::move(line)});
        if (!exit) continue;
        const WorkerExit ended{exit->signalled, exit->code, child.stderr_tail()};
        children_[i].reset();
        feed(WorkerEnded{int(i), ended});
    }
    feed(ClockTick{});
}

// The events an action gives back (a record's write, a worker that could not
// be started) go in before any other: the step expects them next.
void StationSupervisor::feed(StationEvent first) {
    std::deque<StationEvent> events{std::move(first)};
    while (!events.empty()) {
        const StationEvent event = std::move(events.front());
        events.pop_front();
        const StationNow now{services_.now_ms(), services_.local_time()};
        for (const StationAction& action : station_step(state_, event, now)) {
            std::visit(
                [&](const auto& a) {
                    using A = std::decay_t<decltype(a)>;
                    if constexpr (std::is_same_v<A, StartWorker>) {
                        ChildStart started = services_.start_child(services_.program, a.arguments);
                        if (!started.child) {
                            // As a worker that could not start says it: tried again later.
                            events.push_back(WorkerLineRead{
                                a.row, format_worker_line(WorkerError{
                                           "the worker cannot be started: " + started.error})});
                            events.push_back(WorkerEnded{a.row, {}});
                            return;
                        }
                        started.child->write_input(bytes_);
                        children_[std::size_t(a.row)] = std::move(started.child);
                    } else if constexpr (std::is_same_v<A, CloseWorkerInput>) {
                        if (auto& child = children_[std::size_t(a.row)]) child->close_input();
                    } else if constexpr (std::is_same_v<A, KillWorker>) {
                        if (auto& child = children_[std::size_t(a.row)]) child->kill();
                    } else if constexpr (std::is_same_v<A, AppendRecord>) {
                        events.push_back(
                            RecordWritten{a.row, services_.append(a.path, a.header, a.line)});
                    } else if constexpr (std::is_same_v<A, ShowMessage>) {
                        if (services_.message) services_.message(a.text);
                    } else if constexpr (std::is_same_v<A, PrintEvent>) {
                        if (services_.print) services_.print(a.text);
                    } else if constexpr (std::is_same_v<A, Finished>) {
                        finished_ = a.exit_status;
                    }
                },
                action);
        }
    }
}

LocalTime station_local_time() {
    const LocalWallTime t = local_time_now();
    return {t.year, t.month, t.day, t.hour, t.minute, t.second, t.utc_offset_minutes};
}

} // namespace velk2
