#include "platform/windows_command_line.h"

namespace velk2 {

std::string windows_argument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count as escapes only right before a quote.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    // Before the closing quote, too.
    quoted.append(backslashes * 2, '\\');
    return quoted + '"';
}

std::string windows_command_line(const std::string& program,
                                 const std::vector<std::string>& arguments) {
    // The program's name is cut at the next quote, without escapes.
    std::string line = "\"" + program + "\"";
    for (const auto& argument : arguments) line += " " + windows_argument(argument);
    return line;
}

} // namespace velk2
