// Unattended dialogs for end-to-end tests and the demo.
//
//   VELK2_DIALOG_ANSWERS=<file>  file dialogs take their answers from <file>,
//                                one line per dialog in the order they open: a
//                                path, or an empty line to cancel; once the
//                                lines run out every further dialog cancels.
//                                Message boxes do not block and consume no line.
//   VELK2_NO_DIALOGS=1           the unattended mode: nobody is there to click.
//                                Message boxes do not block; file dialogs
//                                cancel unless an answer file is given; a run
//                                that cannot do what its command line asked
//                                ends at once.
//
// An answer file alone plays a technician at the window: its run goes on as
// an interactive one. A message box that does not block is printed on
// standard error as one line,
// "message: <title>: <text>", each line break of the text (CR, LF or both,
// and a run of them) as one blank.
#pragma once

#include <deque>
#include <optional>
#include <string>

namespace velk2 {

struct DialogScript {
    bool scripted_files = false;    // file dialogs never open
    bool scripted_messages = false; // message boxes are only printed
    bool unattended = false;        // VELK2_NO_DIALOGS=1
    std::deque<std::string> answers;
    std::string error; // why the answer file could not be read, "" when fine
};

// The answers of an answer file's content: lines split at LF, a CR before it
// dropped; a last line without line end counts.
std::deque<std::string> parse_dialog_answers(const std::string& content);

// The script for the two environment values (nullopt: variable not set).
DialogScript dialog_script_from(const std::optional<std::string>& answers_file,
                                const std::optional<std::string>& no_dialogs);

// The next answer of a scripted file dialog; "" (cancel) when none is left.
std::string take_file_answer(DialogScript& script);

// The one line of a message box in the unattended mode.
std::string message_line(const std::string& title, const std::string& text);

} // namespace velk2
