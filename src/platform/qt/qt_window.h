// The window frm1 on screen, built from the window model: the information
// panel at the bottom of the stacking order and, above it, one widget for
// every placed control, stacked as the model says (by level, then a later
// control over an earlier one). Controls without a position only hold state and get no
// widget. The widgets follow the model at each sync; user input flows back
// into the model (clicks to the click handlers, the tick of a check box to its
// value, the close box to the window's close handler, the window's activation
// to its activation handler). A window without the panel is a tool window
// in the system's palette; a model built anew with other controls gets its
// widgets anew from the first control that differs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window_model.h"

class QWidget;

namespace velk2 {

class GridPanel;

class QtWindow {
  public:
    // Runs one handler of the model for a widget event. The platform passes
    // one that keeps exceptions out of Qt's event loop.
    using HandlerRunner = std::function<void(const std::function<void()>&)>;

    QtWindow(Window& model, HandlerRunner run_handler);
    ~QtWindow();
    QtWindow(const QtWindow&) = delete;
    QtWindow& operator=(const QtWindow&) = delete;

    // Brings the widgets in line with the model when its revision changed.
    void sync();
    // Puts the window on screen the first time, and takes it off once the
    // model says it is gone.
    void present();
    // The program closes the window: no close handler runs.
    void close();

    QWidget* form() const;

  private:
    struct Shown {
        QWidget* widget = nullptr; // owned by the form
        // The control the widget was made for.
        std::string name;
        ControlKind kind = ControlKind::button;
        bool placed = false;
        std::string picture;
        bool made_for(const Control& c) const {
            return name == c.name && kind == c.kind && placed == c.placed;
        }
        std::filesystem::file_time_type picture_time{};
    };

    void apply_look();
    // Takes the widgets from `first` on off the form; they are deleted once
    // no click handler of theirs can still be running.
    void retire_widgets(std::size_t first);
    void delete_retired();
    void run_widget_handler(const std::function<void()>& handler);
    void add_widget(std::size_t index);
    // Raises the widgets in the model's stacking order, the top one last.
    void restack();
    void apply(std::size_t index);
    void apply_picture(std::size_t index);
    void user_closed();

    Window& model_;
    HandlerRunner run_handler_;
    std::unique_ptr<QWidget> form_;
    GridPanel* panel_ = nullptr; // owned by the form
    std::vector<Shown> shown_;   // index-aligned with the model's controls
    std::vector<QWidget*> retired_;
    int widget_handlers_running_ = 0;
    bool look_set_ = false, look_has_panel_ = true;
    std::uint64_t synced_revision_ = 0;
    bool synced_once_ = false;
    bool presented_ = false;
};

} // namespace velk2
