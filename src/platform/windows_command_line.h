// The command line of a Windows program started with a list of arguments.
// Windows hands a child one text; the child's C runtime (and
// CommandLineToArgvW) cut it into arguments again. This writes the text so
// that they get back exactly the arguments given: blanks, quotes, trailing
// backslashes and empty arguments included.
#pragma once

#include <string>
#include <vector>

namespace velk2 {

// The program's path in quotes (a path never holds a quote; its backslashes
// are taken as they stand), then each argument, quoted when it is empty or
// holds a blank, a tab, a line break or a quote. Inside quotes a quote is
// written \" and the backslashes right before a quote or the closing quote
// are doubled; other backslashes stay single.
std::string windows_command_line(const std::string& program,
                                 const std::vector<std::string>& arguments);

// One argument as windows_command_line writes it.
std::string windows_argument(const std::string& argument);

} // namespace velk2
