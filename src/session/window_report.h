// What the port connection and the transfers show in the window. The shell
// draws it: only the shell knows where a field lies in the panel and what a
// control is called, so the protocol code says what happened and nothing
// about how it shows. Nothing is read back from it.
#pragma once

#include <cstdint>
#include <string>

namespace velk2 {

// The buttons whose state or caption an exchange changes.
enum class Button { upload, download, service, stop, getfuji, live, def, put };

class WindowReport {
  public:
    virtual ~WindowReport() = default;

    // Redraws the information panel (the window's activation handler).
    virtual void redraw_panel() = 0;
    // The log field; also written to the diagnostic output.
    virtual void log(const std::string& text) = 0;
    // The file-length field, in the "#-###-###" shape.
    virtual void file_length(std::int64_t bytes) = 0;
    // The byte counter: blanked, or printed over the field without blanking
    // (a shorter number leaves the end of a longer one visible).
    virtual void clear_byte_counter() = 0;
    virtual void byte_counter(std::int64_t bytes) = 0;
    // The decimal length of the payload that an upload streams.
    virtual void upload_size(std::int64_t bytes) = 0;
    // The communication field: blanked, then `text` when it is not empty.
    virtual void port_state(const std::string& text) = 0;
    // The port-open flag as the window shows it (Context::port_flag).
    virtual void port_flag(bool open) = 0;
    virtual void enable(Button button, bool on) = 0;
    virtual void caption(Button button, const std::string& text) = 0;
    virtual void title(const std::string& text) = 0;
};

} // namespace velk2
