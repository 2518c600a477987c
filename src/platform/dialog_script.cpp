#include "platform/dialog_script.h"
#include "platform/os_path.h"

#include <fstream>
#include <sstream>

namespace velk2 {

std::deque<std::string> parse_dialog_answers(const std::string& content) {
    std::deque<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

DialogScript dialog_script_from(const std::optional<std::string>& answers_file,
                                const std::optional<std::string>& no_dialogs) {
    DialogScript script;
    if (no_dialogs && *no_dialogs == "1") {
        script.scripted_files = true;
        script.scripted_messages = true;
        script.unattended = true;
    }
    if (answers_file) {
        script.scripted_files = true;
        script.scripted_messages = true;
        std::ifstream in(os_path(*answers_file), std::ios::binary);
        if (!in) {
            script.error = "cannot read dialog answers " + *answers_file;
            return script;
        }
        std::ostringstream content;
        content << in.rdbuf();
        script.answers = parse_dialog_answers(content.str());
    }
    return script;
}

std::string take_file_answer(DialogScript& script) {
    if (script.answers.empty()) return {};
    std::string answer = std::move(script.answers.front());
    script.answers.pop_front();
    return answer;
}

std::string message_line(const std::string& title, const std::string& text) {
    std::string line = "message: " + title + ": ";
    bool breaking = false;
    for (char c : text) {
        const bool line_break = c == '\r' || c == '\n';
        if (line_break && !breaking) line += ' ';
        if (!line_break) line += c;
        breaking = line_break;
    }
    return line;
}

} // namespace velk2
