// SIGTERM, SIGINT and SIGHUP while a Qt platform lives: the handler only
// notes the signal and wakes the event wait through a pipe; the platform
// throws Interrupted at its next safe point. An open modal dialog is rejected
// on the wake-up, so that no message box or file dialog keeps the program
// alive. The first object installs the handlers, the last one hands back the
// actions that were there before (tests make several platforms at once).
// SIGXFSZ is ignored from the first object on, for good: a write over the
// file-size limit then fails as on a full disk (file_size_signal.h).
#pragma once

namespace velk2 {

class EndSignals {
  public:
    EndSignals();
    ~EndSignals();
    EndSignals(const EndSignals&) = delete;
    EndSignals& operator=(const EndSignals&) = delete;

    // The first end signal that arrived while the handlers were in place, or 0.
    static int arrived();
};

} // namespace velk2
