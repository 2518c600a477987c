#include "line_watch.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <poll.h>
#include <unistd.h>

namespace bench {
namespace {

// Moves the complete lines of `partial` into `lines`, stamped `at`.
void split_lines(Watched& run, Clock::time_point at) {
    std::size_t start = 0;
    for (std::size_t nl; (nl = run.partial.find('\n', start)) != std::string::npos; start = nl + 1)
        run.lines.push_back({at, run.partial.substr(start, nl - start)});
    run.partial.erase(0, start);
}

// Reads what the pipe holds now; false at end of file or error.
bool read_available(int fd, std::string& into) {
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            into.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

double seconds_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

bool watch_until_ended(std::vector<Watched>& runs, Clock::time_point limit) {
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<Watched*> owners;
        bool all_ended = true;
        for (auto& run : runs) {
            if (run.child->err_fd() >= 0) {
                fds.push_back({run.child->err_fd(), POLLIN, 0});
                owners.push_back(&run);
            }
            // A child whose stderr is closed has ended or is about to:
            // collect it without waiting for the next poll round.
            if (run.child->err_fd() < 0 && !run.child->reap(true)) all_ended = false;
            if (run.child->err_fd() >= 0 && !run.child->reap(false)) all_ended = false;
        }
        if (all_ended && fds.empty()) return true;
        if (Clock::now() >= limit) return false;
        const int r = poll(fds.data(), fds.size(), 50);
        if (r < 0 && errno != EINTR) return false;
        const Clock::time_point at = Clock::now();
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            Watched& run = *owners[i];
            const bool open = read_available(fds[i].fd, run.partial);
            split_lines(run, at);
            if (!open) {
                if (!run.partial.empty()) run.lines.push_back({at, run.partial});
                run.partial.clear();
                run.child->close_err();
            }
        }
        // A child that ended while a grandchild kept its stderr open still
        // counts as ended.
        for (auto& run : runs)
            if (run.child->err_fd() >= 0 && run.child->reap(false)) run.child->close_err();
    }
}

std::optional<std::string> first_output_line(Child& child, std::chrono::milliseconds wait) {
    const Clock::time_point limit = Clock::now() + wait;
    std::string got;
    while (Clock::now() < limit) {
        const std::size_t nl = got.find('\n');
        if (nl != std::string::npos) return got.substr(0, nl);
        pollfd p{child.out_fd(), POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(limit - Clock::now());
        if (poll(&p, 1, static_cast<int>(std::max<long long>(1, left.count()))) < 0 &&
            errno != EINTR)
            return std::nullopt;
        // Byte by byte, so that nothing after the first line is taken away.
        char c;
        while (got.find('\n') == std::string::npos && ::read(child.out_fd(), &c, 1) == 1) got += c;
        if (child.reap(false)) break;
    }
    const std::size_t nl = got.find('\n');
    if (nl != std::string::npos) return got.substr(0, nl);
    return std::nullopt;
}

std::string rest_of_output(Child& child) {
    std::string got;
    if (child.out_fd() >= 0) read_available(child.out_fd(), got);
    return got;
}

std::optional<double> first_seen(const std::vector<StampedLine>& lines, const std::string& text,
                                 Clock::time_point from) {
    const auto it =
        std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.text == text; });
    if (it == lines.end()) return std::nullopt;
    return seconds_between(from, it->at);
}

std::optional<double> last_seen(const std::vector<StampedLine>& lines, const std::string& text,
                                Clock::time_point from) {
    const auto it =
        std::find_if(lines.rbegin(), lines.rend(), [&](const auto& l) { return l.text == text; });
    if (it == lines.rend()) return std::nullopt;
    return seconds_between(from, it->at);
}

std::string stamped_text(const std::vector<StampedLine>& lines, Clock::time_point from) {
    std::string text;
    for (const auto& l : lines) {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%10.4f ", seconds_between(from, l.at));
        text += stamp + l.text + "\n";
    }
    return text;
}

std::size_t count_seen(const std::vector<StampedLine>& lines, const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const auto& l) { return l.text == text; }));
}

} // namespace bench
