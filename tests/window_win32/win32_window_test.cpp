// The Win32 window under wine: controls where the window model (and so the
// Linux window) puts them, scaled to the display's DPI (tests/wine/run.sh runs
// this at 96 and at 144 DPI and says which in VELK2_EXPECT_DPI), clicks
// through the window procedure to the handlers, the panel's font, what the
// program's resources do, the registry store, and the picture of the window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/os_path.h"
#include "platform/win32/grid_paint.h"
#include "platform/win32/registry_settings.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_window.h"
#include "session/context.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/window_layout.h"
#include "shell/window_setup.h"

#include <uxtheme.h>
#include <windowsx.h>

namespace velk2 {
namespace {

struct Shown {
    Win32Platform platform;
    Context ctx{platform};
    explicit Shown(bool service_mode = false) {
        ctx.service_mode = service_mode;
        ctx.process.program_path = "C:\\VELK2\\VELK_(COM1).exe";
        create_window(ctx);
        wire_handlers(ctx);
        platform.attach(ctx.window);
        Win_1_Activate(ctx);
        platform.process_events();
    }
    HWND form() const { return platform.window()->form(); }
};

std::string text_of(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return narrow(text);
}

// A model length at `dpi`, rounded to the nearest pixel.
long at_dpi(int px, int dpi) {
    return std::lround(px * dpi / 96.0);
}

RECT rect_in_form(HWND form, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Every placed control where the model puts it, times the display's scale,
// with its caption and state, and the client area likewise; the caption
// font grows with the scale.
void expect_laid_out_at(const Shown& s, int dpi) {
    ASSERT_EQ(s.platform.window()->dpi(), dpi);
    RECT client;
    GetClientRect(s.form(), &client);
    EXPECT_EQ(client.right, at_dpi(s.ctx.window.width_twips / twips_per_pixel, dpi));
    EXPECT_EQ(client.bottom, at_dpi(s.ctx.window.height_twips / twips_per_pixel, dpi));
    int placed = 0;
    for (const Control& c : s.ctx.window.controls) {
        if (!c.placed) continue;
        SCOPED_TRACE(c.name + " at " + std::to_string(dpi) + " DPI");
        const HWND child = s.platform.window()->child(c.name);
        ASSERT_NE(child, nullptr);
        const RECT r = rect_in_form(s.form(), child);
        EXPECT_EQ(r.left, at_dpi(c.left, dpi));
        EXPECT_EQ(r.top, at_dpi(c.top, dpi));
        EXPECT_EQ(r.right, at_dpi(c.left + c.width, dpi));
        EXPECT_EQ(r.bottom, at_dpi(c.top + c.height, dpi));
        if (c.kind != ControlKind::image) {
            EXPECT_EQ(text_of(child), c.caption);
            // The dialog font at 6 to 8 points, in pixels of this display.
            LOGFONTW font{};
            GetObjectW(GetWindowFont(child), sizeof font, &font);
            EXPECT_GE(-font.lfHeight, MulDiv(60, dpi, 720));
            EXPECT_LE(-font.lfHeight, MulDiv(80, dpi, 720));
        }
        EXPECT_EQ(bool(IsWindowEnabled(child)), c.enabled);
        ++placed;
    }
    EXPECT_GE(placed, 6);
}

TEST(Win32Window, ControlsLieWhereTheModelPutsThemAtTheDisplaysScale) {
    Shown s;
    const int dpi = s.platform.window()->dpi();
    if (const char* expected = std::getenv("VELK2_EXPECT_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected)) << "the display's DPI was not the one set";
    }
    std::cout << "window laid out at " << dpi << " DPI\n";
    expect_laid_out_at(s, dpi);
}

// Moved to a monitor of another DPI: laid out anew at the place Windows
// suggests, and nothing else happens: no handler runs and the model, which a
// transfer may be writing to at that moment, is left as it is.
TEST(Win32Window, ADpiChangeLaysTheWindowOutAgainAndLeavesTheModelAlone) {
    Shown s;
    int handlers_run = 0;
    s.ctx.window.on_activate = [&handlers_run] { ++handlers_run; };
    const int first = s.platform.window()->dpi();
    for (int dpi : {144, 120, 192, first}) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        const std::uint64_t revision = s.ctx.window.revision;
        const std::string panel = s.ctx.window.row_text(11);
        RECT suggested{40 + dpi / 8, 30, 40 + dpi / 8 + at_dpi(800, dpi), 30 + at_dpi(300, dpi)};
        SendMessageW(s.form(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        expect_laid_out_at(s, dpi);
        RECT frame;
        GetWindowRect(s.form(), &frame);
        EXPECT_EQ(frame.left, suggested.left);
        EXPECT_EQ(frame.top, suggested.top);
        EXPECT_EQ(s.ctx.window.revision, revision);
        EXPECT_EQ(s.ctx.window.row_text(11), panel);
        s.platform.process_events();
        EXPECT_EQ(s.platform.window()->dpi(), dpi);
    }
    EXPECT_EQ(handlers_run, 0);
}

// The panel's text: "Fixedsys" where a size of it fills the cell (8 x 15 at
// 96 DPI, 16 x 30 at 192), else "Courier New" (or what the system gives for
// it) sized to the cell; never wider than a cell, plain or bold.
TEST(Win32Window, PanelFontFitsTheCellsAtEveryScale) {
    const bool fixedsys = font_installed(L"Fixedsys");
    std::cout << "Fixedsys " << (fixedsys ? "installed" : "missing") << "\n";
    for (int dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        const GridPainter painter(dpi);
        const long cell_w = at_dpi(cell_width_px, dpi), cell_h = at_dpi(cell_height_px, dpi);
        std::cout << "panel font at " << dpi << " DPI: " << narrow(painter.face()) << ", "
                  << painter.plain_advance() << " x " << painter.text_height() << " in cells of "
                  << cell_w << " x " << cell_h << "\n";
        const bool filled = dpi == 96 || dpi == 192;
        if (fixedsys && filled) {
            EXPECT_EQ(narrow(painter.face()), "Fixedsys");
            EXPECT_EQ(painter.plain_advance(), cell_w);
        } else {
            EXPECT_NE(narrow(painter.face()), "Fixedsys");
            EXPECT_GE(painter.plain_advance(), cell_w - 2);
        }
        EXPECT_LE(painter.plain_advance(), cell_w);
        EXPECT_LE(painter.bold_advance(), cell_w);
        EXPECT_LE(painter.text_height(), cell_h);
    }
}

// The program's resources at work: the controls draw with visual styles
// (Common Controls 6, from the manifest) where a theme is active, and the
// window shows the program's icon. (Wine makes every process per-monitor
// DPI aware, manifest or not: that entry shows only on Windows.)
TEST(Win32Window, ResourcesGiveVisualStylesAndTheIcon) {
    Shown s;
    const HWND button = s.platform.window()->child("cm2");
    if (IsThemeActive()) {
        EXPECT_NE(GetWindowTheme(button), nullptr) << "drawn without visual styles";
    } else {
        std::cout << "no theme active: the classic look\n";
    }
    EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_GROUP_ICON), nullptr);
    EXPECT_NE(GetClassLongPtrW(s.form(), GCLP_HICON), 0);
    EXPECT_NE(GetClassLongPtrW(s.form(), GCLP_HICONSM), 0);
}

// Where the button row overlaps, the child that takes the click: in the
// service build every service button over the check box "230400-baudrate".
TEST(Win32Window, EachButtonOfTheRowTakesTheClickAtItsCentre) {
    const struct {
        bool service;
        std::vector<std::pair<POINT, const char*>> at;
    } builds[] = {
        {false, {{{10, 62}, "speed"}, {{120, 62}, "speed"}, {{300, 62}, "cm1"}}},
        {true,
         {{{50, 62}, "cmbinup"},
          {{125, 62}, "cmgetfuji"},
          {{101, 55}, "cmgetfuji"},
          {{175, 62}, "cmchgfuji"},
          {{225, 62}, "cmdeffuji"},
          {{275, 62}, "cmputfuji"},
          {{400, 62}, "cm1"}}},
    };
    for (const auto& b : builds) {
        Shown s(b.service);
        for (const auto& [point, name] : b.at) {
            const HWND hit = ChildWindowFromPointEx(s.form(), point, CWP_SKIPINVISIBLE);
            EXPECT_EQ(hit, s.platform.window()->child(name))
                << name << " at " << point.x << "," << point.y
                << (b.service ? ", service build" : "");
        }
    }
}

TEST(Win32Window, AClickReachesItsHandlerAndItsErrorTheEventPump) {
    Shown s;
    int clicks = 0;
    s.ctx.window.get("cg1").on_click = [&clicks] {
        ++clicks;
        throw std::runtime_error("from the handler");
    };
    PostMessageW(s.platform.window()->child("cg1"), BM_CLICK, 0, 0);
    EXPECT_THROW(s.platform.process_events(), std::runtime_error);
    EXPECT_EQ(clicks, 1);
    EXPECT_NO_THROW(s.platform.process_events());
}

TEST(Win32Window, PictureShowsTheControlsOverThePanel) {
    Shown s;
    const OwnedBitmap picture = s.platform.window()->render();
    ASSERT_NE(picture, nullptr);
    const OwnedDc dc(CreateCompatibleDC(nullptr));
    SelectObject(dc.get(), picture.get());
    const int dpi = s.platform.window()->dpi();
    const Control& cm2 = s.ctx.window.get("cm2");
    // The button face, and the panel below the buttons.
    EXPECT_NE(GetPixel(dc.get(), at_dpi(cm2.left + 3, dpi), at_dpi(cm2.top + 3, dpi)),
              RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc.get(), at_dpi(795, dpi), at_dpi(210, dpi)), RGB(0, 0, 0));
}

TEST(RegistrySettings, TextsAsTheyAreAndOtherTypesAsEmpty) {
    const std::string value = "C:\\Firmw\xC3\xA4re\\\xE2\x82\xAC.dsp";
    ASSERT_TRUE(store_registry_setting("TEST", "DSP", value));
    EXPECT_EQ(read_registry_setting("TEST", "DSP"), value);
    ASSERT_TRUE(store_registry_setting("TEST", "DSP", ""));
    EXPECT_EQ(read_registry_setting("TEST", "DSP"), "");
    EXPECT_EQ(read_registry_setting("TEST", "ABSENT"), "");
    const DWORD number = 7;
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\VELK2\\TEST", L"PORT", REG_DWORD, &number,
                    sizeof number);
    EXPECT_EQ(read_registry_setting("TEST", "PORT"), "");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VELK2\\TEST");
}

} // namespace
} // namespace velk2
