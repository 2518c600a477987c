#include "platform/child_output.h"

namespace velk2 {

namespace {

void drop_carriage_return(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

} // namespace

void ChildOutput::add_stdout(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!overlong_) {
            if (partial_.size() + piece.size() > max_line_ + 1) { // +1: a "\r" before the "\n"
                overlong_ = true;
                partial_.clear();
            } else {
                partial_ += piece;
            }
        }
        if (end == std::string_view::npos) return;
        if (!overlong_) {
            drop_carriage_return(partial_);
            if (partial_.size() <= max_line_) lines_.push_back(std::move(partial_));
        }
        partial_.clear();
        overlong_ = false;
        bytes.remove_prefix(end + 1);
    }
}

void ChildOutput::add_stderr(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (tail_partial_.size() < max_line_)
            tail_partial_ += piece.substr(0, max_line_ - tail_partial_.size());
        if (end == std::string_view::npos) return;
        drop_carriage_return(tail_partial_);
        tail_.push_back(std::move(tail_partial_));
        tail_partial_.clear();
        while (tail_.size() > tail_lines_) tail_.pop_front();
        bytes.remove_prefix(end + 1);
    }
}

std::vector<std::string> ChildOutput::take_lines() {
    std::vector<std::string> lines;
    lines.swap(lines_);
    return lines;
}

std::string ChildOutput::stderr_tail() const {
    std::deque<std::string> lines = tail_;
    if (!tail_partial_.empty()) {
        lines.push_back(tail_partial_);
        if (lines.size() > tail_lines_) lines.pop_front();
    }
    std::string text;
    for (const auto& line : lines) {
        if (!text.empty()) text += '\n';
        text += line;
    }
    return text;
}

} // namespace velk2
