// What the exchanges report to the window, recorded in order, and passed on to
// the shell's own report so that the panel shows as in the program. Tests
// compare the record instead of reading panel cells one by one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "session/context.h"

namespace velk2::test {

class RecordingReport final : public WindowReport {
  public:
    // Puts a recorder in front of ctx.report (the window must exist).
    static RecordingReport& install(Context& ctx) {
        auto recorder = std::make_unique<RecordingReport>(std::move(ctx.report));
        RecordingReport& r = *recorder;
        ctx.report = std::move(recorder);
        return r;
    }

    explicit RecordingReport(std::unique_ptr<WindowReport> inner) : inner_(std::move(inner)) {}

    // One line per call: "log TEXT", "length N", "counter N", "counter clear",
    // "size N", "port TEXT", "flag 0|1", "enable BUTTON 0|1",
    // "caption BUTTON TEXT", "title TEXT", "panel".
    std::vector<std::string> calls;

    // The calls that start with `prefix` (and a blank), without it.
    std::vector<std::string> only(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind(prefix + " ", 0) == 0) out.push_back(c.substr(prefix.size() + 1));
        return out;
    }

    void redraw_panel() override { keep("panel"), inner_->redraw_panel(); }
    void log(const std::string& text) override { keep("log " + text), inner_->log(text); }
    void file_length(std::int64_t n) override {
        keep("length " + std::to_string(n)), inner_->file_length(n);
    }
    void clear_byte_counter() override { keep("counter clear"), inner_->clear_byte_counter(); }
    void byte_counter(std::int64_t n) override {
        keep("counter " + std::to_string(n)), inner_->byte_counter(n);
    }
    void upload_size(std::int64_t n) override {
        keep("size " + std::to_string(n)), inner_->upload_size(n);
    }
    void port_state(const std::string& text) override {
        keep("port " + text), inner_->port_state(text);
    }
    void port_flag(bool open) override {
        keep(std::string("flag ") + (open ? "1" : "0")), inner_->port_flag(open);
    }
    void enable(Button b, bool on) override {
        keep("enable " + name(b) + (on ? " 1" : " 0")), inner_->enable(b, on);
    }
    void caption(Button b, const std::string& text) override {
        keep("caption " + name(b) + " " + text), inner_->caption(b, text);
    }
    void title(const std::string& text) override { keep("title " + text), inner_->title(text); }

  private:
    static std::string name(Button b) {
        static const char* const names[] = {"upload",  "download", "service", "stop",
                                            "getfuji", "live",     "def",     "put"};
        return names[static_cast<int>(b)];
    }
    void keep(std::string call) { calls.push_back(std::move(call)); }

    std::unique_ptr<WindowReport> inner_;
};

} // namespace velk2::test
