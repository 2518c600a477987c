// The message box and the open and save dialogs of the Win32 front end.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"

namespace velk2 {

void show_message_box(HWND owner, const std::string& text, const std::string& title);

// The chosen full path (UTF-8), or "" when cancelled.
std::string choose_file(HWND owner, const FileDialogRequest& request, bool save);

} // namespace velk2
