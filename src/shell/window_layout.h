// Where everything lies in the window frm1: its controls with their names,
// pixel positions and captions, and the fields and labels of the information
// panel. The one place in the program that knows them; the rest of the shell
// names controls and fields through these constants, the exchanges through
// the window report.
#pragma once

#include "platform/window_model.h"
#include "session/window_report.h"
#include "session/window_timers.h"

namespace velk2 {

inline constexpr const char* window_text = "(Veveroduzir upload[to box] download[from box] )";

// Control names.
namespace control {
inline constexpr const char* upload = "cm1";
inline constexpr const char* download = "cg1";
inline constexpr const char* service = "cmbinup";
inline constexpr const char* getfuji = "cmgetfuji";
inline constexpr const char* live = "cmchgfuji";
inline constexpr const char* def = "cmdeffuji";
inline constexpr const char* put = "cmputfuji";
inline constexpr const char* speed = "speed";
inline constexpr const char* dsp_select = "cm2";
inline constexpr const char* bin_select = "cmbin";
inline constexpr const char* jpg_select = "cm3";
inline constexpr const char* stop = "cm4";
inline constexpr const char* picture = "im1";
inline constexpr const char* port_flag = "ch1";
inline constexpr const char* label4 = "lbl4";
inline constexpr const char* upload_size = "lbl2";
inline constexpr const char* tmrY = "tmrY";
inline constexpr const char* tmrY2 = "tmrY2";
inline constexpr const char* tmrY3 = "tmrY3";
inline constexpr const char* tmrY4 = "tmrY4";
inline constexpr const char* tmrR1 = "tmrR1";
inline constexpr const char* tmrR2 = "tmrR2";
inline constexpr const char* tmrR3 = "tmrR3";
inline constexpr const char* tmrR4 = "tmrR4";
} // namespace control

constexpr const char* button_name(Button button) {
    switch (button) {
    case Button::upload:
        return control::upload;
    case Button::download:
        return control::download;
    case Button::service:
        return control::service;
    case Button::stop:
        return control::stop;
    case Button::getfuji:
        return control::getfuji;
    case Button::live:
        return control::live;
    case Button::def:
        return control::def;
    case Button::put:
        return control::put;
    }
    return "";
}

constexpr const char* timer_name(Timer timer) {
    switch (timer) {
    case Timer::y4:
        return control::tmrY4;
    case Timer::r1:
        return control::tmrR1;
    case Timer::r2:
        return control::tmrR2;
    case Timer::r3:
        return control::tmrR3;
    case Timer::r4:
        return control::tmrR4;
    }
    return "";
}

// The timers in creation order, with the interval each starts with (0: none).
struct TimerSpec {
    const char* name;
    int interval_ms;
};
inline constexpr TimerSpec timers[] = {
    {control::tmrY, 0},  {control::tmrY2, 0}, {control::tmrY3, 0},    {control::tmrY4, 0},
    {control::tmrR1, 0}, {control::tmrR2, 0}, {control::tmrR3, 1000}, {control::tmrR4, 5000},
};

// The hidden controls that only hold state, in creation order.
struct HolderSpec {
    const char* name;
    ControlKind kind;
};
inline constexpr HolderSpec holders[] = {
    {control::port_flag, ControlKind::check_box},
    {control::label4, ControlKind::label},
    {control::upload_size, ControlKind::label},
};

// The placed controls in creation order: a later one lies over an earlier
// one, unless its level is lower. The service buttons lie over the check box
// "230400-baudrate", which is created after them and would cover the left end
// of their row ("Service to Box" all but a strip, and half of "Getfuji").
struct PlacedSpec {
    const char* name;
    ControlKind kind;
    int left, top, width, height; // pixels
    const char* caption;
    bool enabled;
    bool service_only; // created only in the service build
    int level = 0;     // see Control::level
};
inline constexpr int service_row_level = 1;
inline constexpr PlacedSpec placed[] = {
    {control::upload, ControlKind::button, 0, 50, 600, 25, "Upload to Box", false, false},
    {control::download, ControlKind::button, 600, 50, 200, 25, "Download from Box", true, false},
    {control::service, ControlKind::button, 0, 50, 100, 25, "Service to Box", false, true,
     service_row_level},
    {control::getfuji, ControlKind::button, 100, 50, 50, 25, "Getfuji", true, true,
     service_row_level},
    {control::live, ControlKind::button, 150, 50, 50, 25, "fuji Live", true, true,
     service_row_level},
    {control::def, ControlKind::button, 200, 50, 50, 25, "fuji Def", true, true, service_row_level},
    {control::put, ControlKind::button, 250, 50, 50, 25, "fuji Put", true, true, service_row_level},
    {control::speed, ControlKind::check_box, 5, 52, 120, 21, "230400-baudrate", true, false},
    {control::dsp_select, ControlKind::button, 0, 0, 800, 25, "*.DSP File select", true, false},
    {control::bin_select, ControlKind::button, 0, 0, 100, 25, "*.BIN File service", true, true},
    {control::jpg_select, ControlKind::button, 0, 25, 800, 25,
     "*.JPG File select   (Welcome screen)", true, false},
    {control::stop, ControlKind::button, 0, 75, 800, 25, "STOP upload", false, false},
    {control::picture, ControlKind::image, 0, 182, 430, 350, "", true, false},
};
inline constexpr const char* speed_tool_tip =
    "The turbomode (230400) use only if run(R3e558zu<) firmware";

// A value field of the panel: its first cell (1-based column and row) and the
// cells it is blanked over.
struct Field {
    int column, row, width;
};

inline constexpr Field exe_name_field{28, 8, 0};
inline constexpr Field cmd_arg_field{28, 9, 0};
inline constexpr Field upload_file_field{28, 10, 50};
inline constexpr Field comm_field{28, 11, 40};
inline constexpr Field log_field{28, 12, 20};
inline constexpr Field counter_field{62, 12, 7};
inline constexpr Field length_field{91, 12, 9};

struct PanelLabel {
    int column, row;
    const char* text;
};

// The labels, in the order they are printed.
inline constexpr PanelLabel panel_labels[] = {
    {2, 8, "Exe filename            :"},  {2, 9, "Commandline   (_DOSCMD$):"},
    {2, 10, "upload filename         :"}, {2, 11, "Communication parameters:"},
    {2, 12, "Upload information (LOG):"}, {49, 12, "Upload size:"},
    {70, 12, "         Filelenght:"},
};

} // namespace velk2
