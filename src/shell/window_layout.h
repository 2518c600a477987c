// Where everything lies in the window frm1: its controls with their names,
// pixel positions and captions, and the fields and labels of the information
// panel. The one place in the program that knows them; everything else asks
// through these names or through the window report.
#pragma once

#include <string>

#include "session/context.h"

namespace velk2 {

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

// Control names.
const char* button_name(Button button);
const char* timer_name(Timer timer);
inline constexpr const char* picture_control = "im1";
inline constexpr const char* port_flag_control = "ch1";
inline constexpr const char* upload_size_control = "lbl2";
inline constexpr const char* countdown_timer = "tmrY3";
inline constexpr const char* one_shot_timer = "tmrY";
inline constexpr const char* one_shot_timer2 = "tmrY2";

// Creates the controls, timers and panel state of a fresh window and the
// report through which the exchanges show in it. Click and tick handlers are
// bound by wire_handlers.
void create_window(Context& ctx);

// Binds the click, tick and close handlers to the window's controls.
void wire_handlers(Context& ctx);

} // namespace velk2
