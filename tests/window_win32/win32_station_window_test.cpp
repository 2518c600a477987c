// The station window under wine: native buttons, labels and progress bars
// where the station's model puts them, scaled to the display's DPI
// (tests/wine/run.sh runs the Controls and Picture tests at 96 and at 144
// DPI), following the model's updates, built anew when the number of rows
// changes, and drawn as a tool window on the button face.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <set>

#include "platform/os_path.h"
#include "platform/win32/win32_window.h"
#include "station/station_layout.h"
#include "station/station_window.h"
#include "support/station_sample.h"

#include <commctrl.h>
#include <windowsx.h>

namespace velk2 {
namespace {

long at_dpi(int px, int dpi) {
    return std::lround(px * dpi / 96.0);
}

std::string class_of(HWND w) {
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    return narrow(name);
}

std::string text_of(HWND w) {
    wchar_t text[512] = {};
    GetWindowTextW(w, text, 512);
    return narrow(text);
}

void pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

std::vector<HWND> children_of(HWND form) {
    std::vector<HWND> found;
    EnumChildWindows(
        form,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// What a child shows: a progress bar its position, any other its text;
// "none" where the control has no child.
std::string shown_by(const Win32Window& w, const std::string& name) {
    const HWND child = w.child(name);
    if (!child) return "none";
    if (class_of(child) == "msctls_progress32")
        return std::to_string(SendMessageW(child, PBM_GETPOS, 0, 0));
    return text_of(child);
}

struct Station {
    StationState state = test::four_port_station("\\\\.\\COM", "C:\\fw\\");
    Window window;
    std::unique_ptr<Win32Window> shown;
    Station() {
        update_station_window(window, state);
        shown = std::make_unique<Win32Window>(window, [](const std::function<void()>& h) { h(); });
    }
    HWND form() const { return shown->form(); }
    void update() {
        update_station_window(window, state);
        shown->sync();
    }
};

// The child of a control is the native control of its kind, at the model's
// rectangle times the display's scale, with the model's text, position and
// state; labels in the dialog font of this display.
void expect_drawn(const Station& s, const Control& c, int dpi) {
    SCOPED_TRACE(c.name + " at " + std::to_string(dpi) + " DPI");
    const HWND child = s.shown->child(c.name);
    ASSERT_NE(child, nullptr);
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, s.form(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, at_dpi(c.left, dpi));
    EXPECT_EQ(r.top, at_dpi(c.top, dpi));
    EXPECT_EQ(r.right, at_dpi(c.left + c.width, dpi));
    EXPECT_EQ(r.bottom, at_dpi(c.top + c.height, dpi));
    EXPECT_EQ(bool(IsWindowEnabled(child)), c.enabled);
    EXPECT_TRUE(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE); // shown with the form
    switch (c.kind) {
    case ControlKind::button:
        EXPECT_EQ(class_of(child), "Button");
        EXPECT_EQ(text_of(child), c.caption);
        break;
    case ControlKind::label: {
        EXPECT_EQ(class_of(child), "Static");
        EXPECT_EQ(text_of(child), c.text);
        LOGFONTW font{};
        ASSERT_NE(GetWindowFont(child), nullptr);
        GetObjectW(GetWindowFont(child), sizeof font, &font);
        EXPECT_EQ(-font.lfHeight, MulDiv(80, dpi, 720));
        break;
    }
    case ControlKind::progress: {
        EXPECT_EQ(class_of(child), "msctls_progress32");
        PBRANGE range{};
        SendMessageW(child, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
        EXPECT_EQ(range.iLow, 0);
        EXPECT_EQ(range.iHigh, 100);
        EXPECT_EQ(SendMessageW(child, PBM_GETPOS, 0, 0), c.value);
        break;
    }
    default:
        ADD_FAILURE() << "no such control in the station window";
    }
}

TEST(Win32Window, ControlsOfTheStationWindowAreNativeControlsAtTheModelsPlaces) {
    Station s;
    const int dpi = s.shown->dpi();
    if (const char* expected = std::getenv("VELK2_EXPECT_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected));
    }
    RECT client;
    GetClientRect(s.form(), &client);
    EXPECT_EQ(client.right, at_dpi(station_width_px, dpi));
    EXPECT_EQ(client.bottom, at_dpi(station_height_twips(4) / twips_per_pixel, dpi));
    EXPECT_EQ(text_of(s.form()), "VELK2 Station");
    EXPECT_EQ(children_of(s.form()).size(), s.window.controls.size());
    for (const Control& c : s.window.controls) expect_drawn(s, c, dpi);

    // What the model says, so the comparisons above compare something.
    const struct {
        const char* control;
        const char* shown;
    } seen[] = {
        {"start", "Stop"},
        {"row1_state", "flashing 45 %"},
        {"row1_progress", "45"},
        {"row2_progress", "100"},
        {"row3_progress", "25"},
        {"row0_progress", "0"},
        {"row3_state", "failed: box silent"},
    };
    for (const auto& e : seen) EXPECT_EQ(shown_by(*s.shown, e.control), e.shown) << e.control;
    EXPECT_FALSE(IsWindowEnabled(s.shown->child("file_select")));
}

// The picture: the button face where nothing is drawn (not the loader's
// black panel), and a bar filled as far as its row has come.
TEST(Win32Window, PictureOfTheStationWindowIsAToolWindowWithItsBars) {
    Station s;
    const int dpi = s.shown->dpi();
    const OwnedBitmap picture = s.shown->render();
    ASSERT_NE(picture, nullptr);
    const OwnedDc dc(CreateCompatibleDC(nullptr));
    SelectObject(dc.get(), picture.get());
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(GetPixel(dc.get(), at_dpi(3, dpi), at_dpi(3, dpi)), face);
    EXPECT_EQ(GetPixel(dc.get(), at_dpi(station_width_px - 3, dpi), at_dpi(100, dpi)), face);
    const Control& message = s.window.get("message"); // an empty label
    EXPECT_EQ(GetPixel(dc.get(), at_dpi(message.left + message.width / 2, dpi),
                       at_dpi(message.top + message.height / 2, dpi)),
              face);
    // Inside the bars, a quarter and three quarters along their length.
    auto inside = [&](const char* name, int quarter) {
        const Control& c = s.window.get(name);
        return GetPixel(dc.get(), at_dpi(c.left + c.width * quarter / 4, dpi),
                        at_dpi(c.top + c.height / 2, dpi));
    };
    EXPECT_NE(inside("row1_progress", 1), inside("row1_progress", 3)); // 45 %
    EXPECT_EQ(inside("row2_progress", 1), inside("row2_progress", 3)); // 100 %
    EXPECT_EQ(inside("row1_progress", 1), inside("row2_progress", 3));
    EXPECT_EQ(inside("row0_progress", 1), inside("row1_progress", 3)); // 0 %
}

struct StationChange {
    const char* what;
    std::function<void(StationState&)> change;
    std::vector<std::pair<const char*, std::string>> shown;
    std::vector<std::pair<const char*, bool>> enabled;
};

TEST(Win32StationWindow, ModelUpdatesReachTheControls) {
    const StationChange changes[] = {
        {"a row from 45 % to done",
         [](StationState& s) {
             StationRow& r = s.rows[1];
             r.state = RowState::done;
             r.in_attempt = false;
             r.bytes = r.total;
             r.last_result = WorkerResult{FlashOutcome::done, 1000, 2000, ""};
             r.done = 1;
         },
         {{"row1_progress", "100"}, {"row1_state", "done"}, {"row1_counts", "done 1, failed 0"}},
         {}},
        {"Stop pressed: the button disabled",
         [](StationState& s) {
             s.phase = StationPhase::halting;
             s.stop_requested = true;
         },
         {{"start", "Stop"}},
         {{"start", false}}},
        {"the station idle again",
         [](StationState& s) {
             s.phase = StationPhase::idle;
             s.stop_requested = false;
         },
         {{"start", "Start"}},
         {{"start", true}, {"file_select", true}}},
        {"a file name with an ampersand",
         [](StationState& s) { s.file.path = "C:\\fw\\R&D \xC3\xA4.dsp"; },
         {{"file", "C:\\fw\\R&D \xC3\xA4.dsp"}},
         {}},
    };
    Station s;
    for (const auto& c : changes) {
        c.change(s.state);
        update_station_window(s.window, s.state);
        s.shown->sync();
        for (const auto& [name, text] : c.shown)
            EXPECT_EQ(shown_by(*s.shown, name), text) << c.what << ": " << name;
        for (const auto& [name, on] : c.enabled)
            EXPECT_EQ(bool(IsWindowEnabled(s.shown->child(name))), on) << c.what << ": " << name;
    }
    // Labels show an & as it is and cut a long text short at its end.
    const LONG style = GetWindowLongW(s.shown->child("file"), GWL_STYLE);
    EXPECT_TRUE(style & SS_NOPREFIX);
    EXPECT_EQ(style & SS_ELLIPSISMASK, SS_ENDELLIPSIS);
}

// The station builds its window anew when the number of ports changes:
// every child is one of the new model's controls, none of the old rows is
// left, and the client area takes the new height.
TEST(Win32StationWindow, ARebuildWithAnotherRowCountLeavesNoStaleChildren) {
    Station s;
    const int dpi = s.shown->dpi();
    for (int rows : {2, 7, 1, 4}) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        std::vector<StationPort> ports;
        for (int n = 1; n <= rows; ++n) ports.push_back({"COM" + std::to_string(n), ""});
        s.state = make_station_state(ports);
        s.state.rows.back().state = RowState::waiting;
        s.update();
        std::set<HWND> expected;
        for (const Control& c : s.window.controls) expected.insert(s.shown->child(c.name));
        const std::vector<HWND> children = children_of(s.form());
        EXPECT_EQ(std::set<HWND>(children.begin(), children.end()), expected);
        EXPECT_EQ(children.size(), s.window.controls.size());
        for (const Control& c : s.window.controls) expect_drawn(s, c, dpi);
        RECT client;
        GetClientRect(s.form(), &client);
        EXPECT_EQ(client.bottom, at_dpi(station_height_twips(rows) / twips_per_pixel, dpi));
        EXPECT_EQ(shown_by(*s.shown, station_row_control(rows - 1, station_column::state)),
                  "waiting for a box");
    }
}

// A click whose handler builds the window anew, its own button included:
// the handler runs once and, after the next sync, only the new child is left.
TEST(Win32StationWindow, AClickThatBuildsTheWindowAnewLeavesOnlyTheNewChildren) {
    Window w;
    w.has_panel = false;
    w.add(placed_control("old", ControlKind::button, 8, 8, 120, 25, "Rebuild"));
    w.add(placed_control("old_label", ControlKind::label, 136, 8, 200, 25, ""));
    Win32Window shown(w, [](const std::function<void()>& h) { h(); });
    int runs = 0;
    w.get("old").on_click = [&] {
        ++runs;
        w.controls.clear();
        w.add(placed_control("new_bar", ControlKind::progress, 8, 8, 120, 21, ""));
        ++w.revision;
        shown.sync(); // a pump inside the handler
    };
    const HWND old = shown.child("old");
    ASSERT_NE(old, nullptr);
    PostMessageW(old, BM_CLICK, 0, 0);
    pump();
    EXPECT_EQ(runs, 1);
    shown.sync();
    const std::vector<HWND> children = children_of(shown.form());
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0], shown.child("new_bar"));
    EXPECT_EQ(class_of(children[0]), "msctls_progress32");
    EXPECT_FALSE(IsWindow(old));
}

} // namespace
} // namespace velk2
