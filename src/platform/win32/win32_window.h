// The window frm1 on screen, built from the window model with native
// controls: the information panel painted on the form itself, below every
// control, and one child window for every placed control, stacked as the
// model says (by level, then a later control over an earlier one). Controls without a position only
// hold state and get no window. The children follow the model at each sync;
// user input flows back into the model (clicks to the click handlers, the
// tick of a check box to its value, the close box to the window's close
// handler, the window's activation to its activation handler). A window
// without the panel is a tool window in the system's colours and dialog
// font; a model built anew with other controls gets its children anew from
// the first control that differs.
//
// The model's pixels are those of a 96-DPI display. The window lays itself
// out for the DPI of the monitor it is on (controls, caption fonts, the
// panel's cells and font, the picture) and again when Windows moves it to a
// monitor of another DPI; the model and its handlers never learn of it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/grid_paint.h"
#include "platform/win32/win32_api.h"
#include "platform/window_model.h"

namespace velk2 {

class Win32Window {
  public:
    // Runs one handler of the model for a window message. The platform
    // passes one that keeps exceptions out of the window procedure.
    using HandlerRunner = std::function<void(const std::function<void()>&)>;

    Win32Window(Window& model, HandlerRunner run_handler);
    ~Win32Window();
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // Brings the children in line with the model when its revision changed.
    void sync();
    // Puts the window on screen the first time, and takes it off once the
    // model says it is gone.
    void present();
    // The program closes the window: no close handler runs.
    void close();

    HWND form() const { return form_.get(); }
    // The DPI the window is laid out for now.
    int dpi() const { return dpi_; }
    const GridPainter& painter() const { return painter_; }
    // The child window of a placed control, null for any other name.
    HWND child(const std::string& name) const;

    // The whole window (panel and controls) drawn into a 32-bit bitmap of the
    // client size, without the window being on screen.
    OwnedBitmap render();

  private:
    struct Shown {
        HWND window = nullptr; // owned by the form
        // The control the child was made for, and in which look.
        std::string name;
        ControlKind kind = ControlKind::button;
        bool placed = false;
        bool has_panel = true;
        int value = -1; // the position a progress bar was given
        std::string caption, tool_tip, picture;
        std::filesystem::file_time_type picture_time{};
        OwnedBitmap bitmap;  // the picture of an image control
        int picture_dpi = 0; // the DPI the picture was scaled for
        int font_tenths = 0;
        bool made_for(const Control& c, bool panel) const {
            return name == c.name && kind == c.kind && placed == c.placed && has_panel == panel;
        }
    };

    friend struct FormMessages;
    // Takes the children from `first` on off the form; they are destroyed
    // once no click handler of theirs can still be running.
    void retire_children(std::size_t first);
    void destroy_retired();
    void add_child(std::size_t index);
    // Puts the children in the model's stacking order, the top one last.
    void restack();
    void apply(std::size_t index);
    void apply_caption(std::size_t index);
    void apply_label(std::size_t index);
    void apply_tool_tip(std::size_t index);
    void apply_picture(std::size_t index);
    HFONT caption_font(int tenths_of_points);
    void user_closed();
    void clicked(int id);
    void paint_panel(HDC dc, const RECT& area);
    // Lays the window out again for `dpi`, at `suggested` when Windows gave a
    // place for it (WM_DPICHANGED).
    void change_dpi(int dpi, const RECT* suggested);
    SIZE client_size() const;
    SIZE outer_size() const;
    // Sizes the window so that its client area is the layout's at dpi_.
    void fit_client();

    Window& model_;
    HandlerRunner run_handler_;
    OwnedWindow form_;
    HWND tips_ = nullptr; // owned by the form
    GridPainter painter_;
    std::vector<Cell> painted_;
    std::vector<Shown> shown_; // index-aligned with the model's controls
    std::vector<HWND> retired_;
    int clicks_running_ = 0;
    bool painted_has_panel_ = true;
    std::map<int, OwnedFont> fonts_; // caption fonts at dpi_, by tenths of a point
    int dpi_ = model_dpi;
    std::uint64_t synced_revision_ = 0;
    bool synced_once_ = false;
    bool presented_ = false;
};

} // namespace velk2
