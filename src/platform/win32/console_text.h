// Text for whoever started the program, although velk2.exe is a window
// program without a console of its own: the standard output it was given
// (a pipe, a file), else the console of the program that started it. A
// start from Explorer has neither; the text is shown in a message box then.
#pragma once

#include <string>

namespace velk2 {

// UTF-8 text with "\n" line ends; false when it could not be written.
bool write_to_caller(const std::string& text, const std::string& title);

} // namespace velk2
