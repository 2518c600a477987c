// What watching idle children costs: N children that wait for input (the
// station's workers while their ports wait for boxes) polled at several
// rates, and this process's CPU time over each span. Prints figures; the
// target is the station's: under 2 % of one core for 16 waiting ports.
//
//   velk2-child-poll-bench [--children N] [--seconds S] [--program PATH]
//
// The children are PATH (default /bin/cat) with no arguments: they block
// reading the input pipe and write nothing, as a waiting worker does.
#include "platform/child_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv) {
    int children = 16;
    double seconds = 5;
    std::string program = "/bin/cat";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--children")
            children = std::atoi(argv[i + 1]);
        else if (option == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (option == "--program")
            program = argv[i + 1];
        else {
            std::fprintf(stderr, "usage: %s [--children N] [--seconds S] [--program PATH]\n",
                         argv[0]);
            return 2;
        }
    }

    const auto start = Clock::now();
    std::vector<std::unique_ptr<velk2::ChildProcess>> running;
    for (int i = 0; i < children; ++i) {
        velk2::ChildStart started = velk2::start_child(program, {});
        if (!started.child) {
            std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), started.error.c_str());
            return 1;
        }
        running.push_back(std::move(started.child));
    }
    const double start_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("%d children of %s started in %.1f ms\n\n", children, program.c_str(), start_ms);
    std::printf("%10s %8s %10s %14s %18s\n", "polls/s", "rounds", "cpu ms", "% of a core",
                "us per round");

    double at_ten = -1;
    for (const int rate : {5, 10, 50, 1000}) {
        const auto period = std::chrono::nanoseconds(1'000'000'000 / rate);
        const double cpu_before = cpu_seconds();
        const auto begin = Clock::now();
        const auto end = begin + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(seconds));
        long rounds = 0;
        for (auto next = begin; next < end; next += period) {
            std::this_thread::sleep_until(next);
            for (auto& child : running) {
                child->poll();
                child->take_lines();
            }
            ++rounds;
        }
        const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
        const double cpu = cpu_seconds() - cpu_before;
        const double share = 100.0 * cpu / wall;
        std::printf("%10d %8ld %10.2f %14.3f %18.1f\n", rate, rounds, cpu * 1e3, share,
                    cpu * 1e6 / double(rounds));
        if (rate == 10) at_ten = share;
    }

    int ended = 0;
    for (auto& child : running) child->close_input();
    for (const auto limit = Clock::now() + std::chrono::seconds(5);
         ended < children && Clock::now() < limit;) {
        ended = 0;
        for (auto& child : running) {
            child->poll();
            ended += child->exit_status().has_value();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::printf("\n%d of %d children ended at the end of their input\n", ended, children);
    std::printf("%d idle children polled 10 times a second: %.3f %% of a core (target < 2 %%): "
                "%s\n",
                children, at_ten, at_ten < 2.0 ? "ok" : "MISSED");
    return at_ten < 2.0 && ended == children ? 0 : 3;
}
