// Turns the file name that a sender put into block 0 into one that is safe to
// create in the output folder.
#pragma once

#include <string>
#include <string_view>

namespace boxsim {

// The last path component (both '/' and '\' separate), with control bytes,
// bytes above 0x7E and characters that shells or other systems choke on
// replaced by '_'. A name that is empty, "." or ".." after that, or that
// starts with '.', '-' or a blank, gets a safe prefix or the name "received.bin".
std::string safe_name(std::string_view raw);

} // namespace boxsim
