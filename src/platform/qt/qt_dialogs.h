// The two modal dialogs of the program, shown with Qt's own widgets (not the
// desktop's native dialogs) so that they behave the same everywhere.
#pragma once

#include <string>

#include "platform/platform.h"

class QWidget;

namespace velk2 {

// OK only; returns when the user has closed it.
void show_message_box(QWidget* parent, const std::string& text, const std::string& title);

// The chosen absolute file name, or "" when cancelled. The pattern ("*.DSP")
// matches in any case, as file names do on the system the program came from.
// With `save` a name that does not exist is accepted, and an existing one is
// returned without asking, the caller decides what to do with it.
std::string choose_file(QWidget* parent, const FileDialogRequest& request, bool save);

} // namespace velk2
