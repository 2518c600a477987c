// The Win32 window under wine: controls where the window model (and so the
// Linux window) puts them, clicks through the window procedure to the
// handlers, the registry store, and the picture of the window.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/os_path.h"
#include "platform/win32/registry_settings.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_window.h"
#include "session/context.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/window_layout.h"
#include "shell/window_setup.h"

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

TEST(Win32Window, ControlsLieWhereTheModelPutsThem) {
    Shown s;
    RECT client;
    GetClientRect(s.form(), &client);
    EXPECT_EQ(client.right, s.ctx.window.width_twips / twips_per_pixel);
    EXPECT_EQ(client.bottom, s.ctx.window.height_twips / twips_per_pixel);
    int placed = 0;
    for (const Control& c : s.ctx.window.controls) {
        if (!c.placed) continue;
        SCOPED_TRACE(c.name);
        const HWND child = s.platform.window()->child(c.name);
        ASSERT_NE(child, nullptr);
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, s.form(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, c.left);
        EXPECT_EQ(r.top, c.top);
        EXPECT_EQ(r.right - r.left, c.width);
        EXPECT_EQ(r.bottom - r.top, c.height);
        if (c.kind != ControlKind::image) {
            EXPECT_EQ(text_of(child), c.caption);
        }
        EXPECT_EQ(bool(IsWindowEnabled(child)), c.enabled);
        ++placed;
    }
    EXPECT_GE(placed, 6);
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
    const Control& cm2 = s.ctx.window.get("cm2");
    EXPECT_NE(GetPixel(dc.get(), cm2.left + 3, cm2.top + 3), RGB(0, 0, 0)); // button face
    EXPECT_EQ(GetPixel(dc.get(), 795, 210), RGB(0, 0, 0));                  // the panel
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
