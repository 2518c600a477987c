// The window on screen follows its model, and user input flows back into it.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <gtest/gtest.h>

#include "platform/qt/qt_platform.h"
#include "qt_test_app.h"
#include "session/context.h"
#include "shell/main_window.h"
#include "shell/panel.h"
#include "shell/window_layout.h"
#include "shell/window_setup.h"

namespace velk2 {
namespace {

using test::post_click;

// The delivered window: holders first, then the placed controls with the
// check box over the left end of the upload button.
Window delivered_window() {
    Window w;
    w.title = "VELK2 test";
    Control timer;
    timer.name = "tmrR3";
    timer.kind = ControlKind::timer;
    w.add(timer);
    w.add(holder_control("ch1", ControlKind::check_box));
    w.add(holder_control("lbl2", ControlKind::label));
    w.add(placed_control("cm1", ControlKind::button, 0, 50, 600, 25, "Upload to Box", false));
    w.add(placed_control("cg1", ControlKind::button, 600, 50, 200, 25, "Download from Box"));
    Control& speed =
        w.add(placed_control("speed", ControlKind::check_box, 5, 52, 120, 21, "230400-baudrate"));
    speed.value = 1;
    speed.tool_tip = "The turbomode (230400) use only if run(R3e558zu<) firmware";
    w.add(placed_control("cm2", ControlKind::button, 0, 0, 800, 25, "*.DSP File select"));
    w.add(placed_control("im1", ControlKind::image, 0, 182, 430, 350, ""));
    return w;
}

class QtWindowTest : public ::testing::Test {
  public:
    void SetUp() override {
        window = delivered_window();
        platform.attach(window);
        platform.process_events();
        form = platform.form();
        ASSERT_NE(form, nullptr);
    }
    template <class W> W* widget(const char* name) { return form->findChild<W*>(name); }

    Window window;
    QtPlatform platform;
    QWidget* form = nullptr;
};

TEST_F(QtWindowTest, BuildsOneWidgetPerPlacedControl) {
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->size(), QSize(800, 215));
    EXPECT_EQ(form->windowTitle(), "VELK2 test");
    for (const char* holder : {"tmrR3", "ch1", "lbl2"})
        EXPECT_EQ(form->findChild<QWidget*>(holder), nullptr) << holder;

    auto* cm1 = widget<QPushButton>("cm1");
    ASSERT_NE(cm1, nullptr);
    EXPECT_EQ(cm1->geometry(), QRect(0, 50, 600, 25));
    EXPECT_EQ(cm1->text(), "Upload to Box");
    EXPECT_FALSE(cm1->isEnabled());
    auto* speed = widget<QCheckBox>("speed");
    ASSERT_NE(speed, nullptr);
    EXPECT_TRUE(speed->isChecked());
    EXPECT_EQ(speed->toolTip(), "The turbomode (230400) use only if run(R3e558zu<) firmware");
    ASSERT_NE(widget<QLabel>("im1"), nullptr);

    // Later controls lie over earlier ones, the panel under all of them.
    EXPECT_EQ(form->childAt(10, 60), speed);
    EXPECT_EQ(form->childAt(300, 60), cm1);
    EXPECT_EQ(form->childAt(700, 60), widget<QPushButton>("cg1"));
    EXPECT_EQ(form->childAt(400, 150)->objectName(), "panel");
}

TEST(QtWindowFont, EveryCaptionFitsItsControlInBothBuilds) {
    for (bool service : {false, true}) {
        QtPlatform p;
        Context ctx(p);
        ctx.service_mode = service;
        create_window(ctx);
        p.attach(ctx.window);
        p.process_events();
        for (const Control& c : ctx.window.controls) {
            if (!c.placed || c.caption.empty()) continue;
            auto* b = p.form()->findChild<QAbstractButton*>(QString::fromStdString(c.name));
            ASSERT_NE(b, nullptr) << c.name;
            QStyleOptionButton o;
            o.initFrom(b);
            // Where the style draws the caption: inside the frame, right of a check box.
            const QRect area = b->style()->subElementRect(qobject_cast<QCheckBox*>(b)
                                                              ? QStyle::SE_CheckBoxContents
                                                              : QStyle::SE_PushButtonContents,
                                                          &o, b);
            EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(b->text()), area.width())
                << c.caption << (service ? ", service build" : "");
        }
    }
}

// Where the button row overlaps, the control that takes the click: in the
// service build every service button over the check box, whose caption
// "230400-baudrate" otherwise hides "Service to Box" and half of "Getfuji".
TEST(QtWindowStacking, EachButtonOfTheRowTakesTheClickAtItsCentre) {
    const struct {
        bool service;
        std::vector<std::pair<QPoint, const char*>> at;
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
        QtPlatform p;
        Context ctx(p);
        ctx.service_mode = b.service;
        create_window(ctx);
        p.attach(ctx.window);
        p.process_events();
        for (const auto& [point, name] : b.at) {
            const QWidget* hit = p.form()->childAt(point);
            ASSERT_NE(hit, nullptr) << name;
            EXPECT_EQ(hit->objectName().toStdString(), name)
                << point.x() << "," << point.y() << (b.service ? ", service build" : "");
        }
    }
}

struct ModelChange {
    const char* what;
    std::function<void(Window&)> change;
    std::function<bool(QWidget*)> shown;
};

TEST_F(QtWindowTest, WidgetsFollowModelChanges) {
    const ModelChange changes[] = {
        {"caption", [](Window& w) { set_caption(w, "cg1", "Download ... (wait)"); },
         [](QWidget* f) {
             return f->findChild<QPushButton*>("cg1")->text() == "Download ... (wait)";
         }},
        {"enabled", [](Window& w) { set_enabled(w, "cm1", true); },
         [](QWidget* f) { return f->findChild<QPushButton*>("cm1")->isEnabled(); }},
        {"disabled", [](Window& w) { set_enabled(w, "cg1", false); },
         [](QWidget* f) { return !f->findChild<QPushButton*>("cg1")->isEnabled(); }},
        {"check value",
         [](Window& w) {
             w.get("speed").value = 0;
             ++w.revision;
         },
         [](QWidget* f) { return !f->findChild<QCheckBox*>("speed")->isChecked(); }},
        {"tall window",
         [](Window& w) {
             w.height_twips = 15225;
             ++w.revision;
         },
         [](QWidget* f) {
             return f->size() == QSize(800, 1015) &&
                    f->findChild<QWidget*>("panel")->size() == QSize(800, 1015);
         }},
        {"title",
         [](Window& w) {
             w.title = "VELK2 ver(2.21) \xC3\xA4";
             ++w.revision;
         },
         [](QWidget* f) { return f->windowTitle() == QString::fromUtf8("VELK2 ver(2.21) ä"); }},
        {"tool tip",
         [](Window& w) {
             w.get("cm2").tool_tip = "pick a file";
             ++w.revision;
         },
         [](QWidget* f) { return f->findChild<QPushButton*>("cm2")->toolTip() == "pick a file"; }},
        {"control added later",
         [](Window& w) {
             w.add(
                 placed_control("cm4", ControlKind::button, 0, 75, 800, 25, "STOP upload", false));
         },
         [](QWidget* f) {
             auto* cm4 = f->findChild<QPushButton*>("cm4");
             return cm4 && cm4->isVisible() && cm4->geometry() == QRect(0, 75, 800, 25) &&
                    f->childAt(400, 80) == cm4;
         }},
    };
    for (const auto& c : changes) {
        c.change(window);
        EXPECT_FALSE(c.shown(form)) << c.what << ": shown before the next event round";
        platform.process_events();
        EXPECT_TRUE(c.shown(form)) << c.what;
    }
}

// A click runs its handler in the next round of events, never inside a
// pause, and not at all on a disabled button.
TEST_F(QtWindowTest, ClickRunsItsHandlerInTheNextEventRound) {
    int cm2_clicks = 0, cm1_clicks = 0;
    window.get("cm2").on_click = [&] { ++cm2_clicks; };
    window.get("cm1").on_click = [&] { ++cm1_clicks; }; // disabled
    post_click(widget<QPushButton>("cm2"));
    post_click(widget<QPushButton>("cm1"));
    platform.pause(20);
    EXPECT_EQ(cm2_clicks, 0);
    platform.process_events();
    EXPECT_EQ(cm2_clicks, 1);
    EXPECT_EQ(cm1_clicks, 0);
}

TEST_F(QtWindowTest, UserTickIsWrittenIntoTheModel) {
    auto* speed = widget<QCheckBox>("speed");
    for (const int value : {0, 1}) {
        const auto before = window.revision;
        post_click(speed);
        platform.process_events();
        EXPECT_EQ(window.get("speed").value, value);
        EXPECT_GT(window.revision, before);
        EXPECT_EQ(speed->isChecked(), value == 1); // the next sync keeps the user's state
    }
}

// The window ends either way, the close handler runs only for the user, and
// the timers go on (a download still running after the close box needs them).
TEST_F(QtWindowTest, ClosingEndsTheWindowAndRunsTheHandlerOnlyForTheUser) {
    for (const bool by_user : {true, false}) {
        Window w = delivered_window();
        QtPlatform p;
        p.attach(w);
        int runs = 0, ticks = 0;
        w.on_close = [&] { ++runs; };
        p.process_events();
        ASSERT_TRUE(p.form()->isVisible()) << by_user;
        if (by_user)
            p.form()->close(); // what the close box does
        else
            p.close_window();
        EXPECT_EQ(runs, by_user ? 1 : 0) << by_user;
        EXPECT_FALSE(w.exists) << by_user;
        EXPECT_FALSE(p.form()->isVisible()) << by_user;
        EXPECT_FALSE(p.wait_event()) << by_user; // returns at once
        Control& t = w.get("tmrR3");
        t.on_tick = [&] { ++ticks; };
        t.interval_ms = 1;
        t.on = true;
        t.due_ms = p.monotonic_ms() + 1;
        p.pause(5);
        p.process_events();
        EXPECT_FALSE(p.form()->isVisible()) << by_user << ": shown again";
        EXPECT_EQ(runs, by_user ? 1 : 0) << by_user;
        EXPECT_EQ(ticks, 1) << by_user;
    }
}

struct ThrowCase {
    const char* what;
    std::function<void(QtWindowTest&)> provoke;
    bool through_wait_event;
};

TEST_F(QtWindowTest, HandlerErrorsComeOutOfTheEventPump) {
    const ThrowCase cases[] = {
        {"click, process_events", [](QtWindowTest& t) { post_click(t.widget<QPushButton>("cm2")); },
         false},
        {"click, wait_event", [](QtWindowTest& t) { post_click(t.widget<QPushButton>("cm2")); },
         true},
        {"tick of a check box", [](QtWindowTest& t) { post_click(t.widget<QCheckBox>("speed")); },
         false},
        {"close box", [](QtWindowTest& t) { t.form->close(); }, false},
        {"activation",
         [](QtWindowTest& t) {
             QApplication::postEvent(t.form, new QEvent(QEvent::WindowActivate));
         },
         false},
    };
    for (const auto& c : cases) {
        Window w = delivered_window();
        QtPlatform p;
        p.attach(w);
        p.process_events();
        form = p.form();
        auto fail = [what = c.what] { throw std::runtime_error(what); };
        w.get("cm2").on_click = fail;
        w.get("speed").on_click = fail;
        w.on_close = fail;
        w.on_activate = fail;
        c.provoke(*this);
        try {
            if (c.through_wait_event)
                p.wait_event();
            else
                p.process_events();
            ADD_FAILURE() << c.what << ": nothing thrown";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.what);
        }
        // Thrown once only; a close box that failed still closed the window.
        EXPECT_NO_THROW(p.process_events()) << c.what;
        EXPECT_EQ(w.exists, std::string(c.what) != "close box") << c.what;
    }
    form = platform.form();
}

} // namespace
} // namespace velk2
