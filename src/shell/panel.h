// The information panel: its redraw (the window's activation handler), the
// status fields, and the window report through which the port connection and
// the transfers show in the window.
#pragma once

#include <memory>
#include <string>

#include "session/context.h"
#include "shell/window_layout.h"

namespace velk2 {

// Blanks `width` cells at (column, row) in black, then writes the text in
// white without cutting it; the text also goes to the diagnostic output.
void status_text(Context& ctx, int column, int row, int width, const std::string& text);
void status_text(Context& ctx, const Field& field, const std::string& text);

// Prints a text at a cell in the current colour and emphasis, as it is.
void print_at(Window& w, int column, int row, const std::string& text);

// Redraws the information panel and recomputes `com_number`.
void Win_1_Activate(Context& ctx);

// `com_port` from its 4th character on as a number ("COM7" gives 7).
int port_number(const std::string& com_port);

// The report the shell gives the exchanges: it draws on ctx.window.
std::unique_ptr<WindowReport> make_panel_report(Context& ctx);

} // namespace velk2
