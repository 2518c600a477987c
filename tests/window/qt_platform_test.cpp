// The runtime services of the Qt platform: wall clock and event waits, the
// mouse-button state, dialogs (scripted and real) and the picture check.
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>

#include "platform/dialog_script.h"
#include "platform/qt/mouse_state.h"
#include "platform/qt/qt_platform.h"
#include "platform/timers.h"
#include "qt_test_app.h"

// Qt's entry point for input as if it came from the window system; its own
// test library feeds windows through it.
void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                         Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                         Qt::KeyboardModifiers mods, int timestamp);

namespace velk2 {
namespace {

using test::ScopedEnv;

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

Control ticking_timer(const char* name) {
    Control t;
    t.name = name;
    t.kind = ControlKind::timer;
    return t;
}

TEST(QtPlatformClock, WindowTimersTickOnTheWallClock) {
    Window w;
    w.add(ticking_timer("tmrR2"));
    std::vector<std::int64_t> ticks;
    QtPlatform p;
    p.attach(w);
    w.get("tmrR2").on_tick = [&] { ticks.push_back(p.monotonic_ms()); };

    // wait_event sleeps until the tick is due, not forever, and not in a spin.
    QTimer rescue; // ends a wait that would otherwise never end
    rescue.start(5000);
    std::int64_t start = p.monotonic_ms();
    timer_set_interval(w, "tmrR2", 100, start);
    timer_switch(w, "tmrR2", true, start);
    int waits = 0;
    while (ticks.size() < 3 && p.monotonic_ms() - start < 5000) {
        p.wait_event();
        ++waits;
    }
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_GE(ticks.back() - start, 290);
    EXPECT_LT(ticks.back() - start, 3000);
    EXPECT_LT(waits, 60);

    // process_events runs due timers without waiting for them.
    ticks.clear();
    start = p.monotonic_ms();
    timer_set_interval(w, "tmrR2", 50, start);
    while (ticks.size() < 3 && p.monotonic_ms() - start < 5000) {
        p.process_events();
        p.pause(5);
    }
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_GE(ticks.back() - start, 140);

    // The seconds clock has a fraction and moves with a pause.
    const double before = p.seconds_since_midnight();
    p.pause(50);
    const double after = p.seconds_since_midnight();
    if (after > before) { // not across midnight
        EXPECT_GE(after - before, 0.04);
        EXPECT_LT(after - before, 1.0);
    }
}

struct MouseStep {
    QEvent::Type type;
    Qt::MouseButton button;
    int held; // mouse_buttons() after the step
};

TEST(QtPlatformMouse, ButtonsHeldMapToOneTwoFour) {
    if (QGuiApplication::platformName() != "offscreen")
        GTEST_SKIP() << "feeds input through Qt; on X11 the server's pointer state is read";
    Window w;
    QtPlatform p;
    p.attach(w);
    p.process_events();
    QWindow* handle = p.form()->windowHandle();
    ASSERT_NE(handle, nullptr);
    const MouseStep steps[] = {
        {QEvent::MouseButtonPress, Qt::LeftButton, 1},
        {QEvent::MouseButtonPress, Qt::RightButton, 3},
        {QEvent::MouseButtonRelease, Qt::LeftButton, 2},
        {QEvent::MouseButtonPress, Qt::MiddleButton, 6},
        {QEvent::MouseButtonRelease, Qt::RightButton, 4},
        {QEvent::MouseButtonRelease, Qt::MiddleButton, 0},
    };
    Qt::MouseButtons held;
    int time = 1000;
    for (const auto& s : steps) {
        held.setFlag(s.button, s.type == QEvent::MouseButtonPress);
        qt_handleMouseEvent(handle, QPointF(400, 150), handle->mapToGlobal(QPointF(400, 150)), held,
                            s.button, s.type, Qt::NoModifier, time += 10);
        EXPECT_EQ(p.mouse_buttons(), s.held) << "after step to " << s.held;
    }
}

TEST(QtPlatformMouse, X11UnlessTheUserChoseAndUnreadableButtonsAreReported) {
    const std::pair<const char*, const char*> choices[] = {
        {nullptr, "xcb;wayland"}, {"", "xcb;wayland"}, {"wayland", "wayland"}, {"vnc", "vnc"}};
    for (const auto& [set, chosen] : choices) {
        ScopedEnv env("QT_QPA_PLATFORM", set);
        prefer_x11_platform();
        EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), chosen) << (set ? set : "not set");
    }
    for (const char* platform : {"offscreen", "wayland", "eglfs"})
        EXPECT_EQ(mouse_state_problem(platform).find(platform) != std::string::npos,
                  platform != std::string("offscreen"))
            << platform;
}

// ---------------------------------------------------------------- dialogs

struct AnswerCase {
    const char* content;
    std::vector<std::string> lines;
};

TEST(DialogScript, AnswerFileLines) {
    const AnswerCase cases[] = {
        {"", {}},
        {"\n", {""}},
        {"a.dsp", {"a.dsp"}},
        {"a.dsp\n", {"a.dsp"}},
        {"a.dsp\n\n", {"a.dsp", ""}},
        {"a.dsp\r\n\r\n/x/b c.DSP", {"a.dsp", "", "/x/b c.DSP"}},
    };
    for (const auto& c : cases) {
        const auto lines = parse_dialog_answers(c.content);
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.end()), c.lines) << c.content;
    }
}

TEST(QtPlatformDialogs, ScriptedDialogsAnswerFromTheFileAndNeverBlock) {
    QTemporaryDir dir;
    const std::string answers = dir.filePath("answers").toStdString();
    write_file(answers, "pick.dsp\n\n/data/x.DSP\r\n");
    ScopedEnv a("VELK2_DIALOG_ANSWERS", answers.c_str());
    ScopedEnv n("VELK2_NO_DIALOGS", nullptr);
    QtPlatform p;

    ::testing::internal::CaptureStderr();
    p.message_box("mistake:\r\nblock 3", "Hmmmmm");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "message: Hmmmmm: mistake:\r\nblock 3\n");

    const FileDialogRequest request{"Open", "", "*.DSP", ""};
    const auto cwd = std::filesystem::current_path();
    EXPECT_EQ(p.file_dialog(request, false), (cwd / "pick.dsp").string());
    EXPECT_EQ(p.file_dialog(request, true), ""); // empty line: cancel
    EXPECT_EQ(p.file_dialog(request, false), "/data/x.DSP");
    EXPECT_EQ(p.file_dialog(request, false), ""); // no lines left
}

TEST(QtPlatformDialogs, NoDialogsPrintsMessagesAndCancelsFileDialogs) {
    ScopedEnv a("VELK2_DIALOG_ANSWERS", nullptr);
    ScopedEnv n("VELK2_NO_DIALOGS", "1");
    QtPlatform p;
    ::testing::internal::CaptureStderr();
    p.message_box("wait 30-secundum the STB download", "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "message: : wait 30-secundum the STB download\n");
    EXPECT_EQ(p.file_dialog({"Save", "", "*.DSP", "down"}, true), "");
}

TEST(QtPlatformDialogs, UnreadableAnswerFileIsReportedAndCancels) {
    ScopedEnv a("VELK2_DIALOG_ANSWERS", "/nonexistent/velk2-answers");
    ::testing::internal::CaptureStderr();
    QtPlatform p;
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("/nonexistent/velk2-answers"),
              std::string::npos);
    EXPECT_EQ(p.file_dialog({"Open", "", "*.DSP", ""}, false), "");
}

// Plays the user at the real dialog: acts on the first file dialog that
// comes up, notes any question box (none may appear) and closes it, and
// closes whatever dialog is still open after five seconds.
struct DialogUser {
    std::function<void(QFileDialog*)> act;
    bool acted = false;
    bool questioned = false;
    QTimer poll, watch, rescue;

    DialogUser() {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog && !acted) {
                acted = true;
                act(dialog); // a question would open inside this call
            }
        });
        QObject::connect(&watch, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                questioned = true;
                box->reject();
            }
        });
        QObject::connect(&rescue, &QTimer::timeout, [] {
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
        });
        poll.start(20);
        watch.start(20);
        rescue.start(5000);
    }
};

struct RealDialogCase {
    const char* what;
    bool save;
    const char* default_name;
    std::function<void(QFileDialog*)> act;
    const char* chosen; // file in the folder, "" when cancelled
};

TEST(QtPlatformDialogs, RealFileDialogReturnsAbsoluteNames) {
    ScopedEnv a("VELK2_DIALOG_ANSWERS", nullptr);
    ScopedEnv n("VELK2_NO_DIALOGS", nullptr);
    QTemporaryDir dir;
    write_file(dir.filePath("fw.dsp").toStdString(), "x");
    const RealDialogCase cases[] = {
        {"open the proposed file", false, "fw.dsp",
         [](QFileDialog* d) { static_cast<QDialog*>(d)->accept(); }, "fw.dsp"},
        {"save under a new name", true, "new.DSP",
         [](QFileDialog* d) { static_cast<QDialog*>(d)->accept(); }, "new.DSP"},
        {"save over a file without asking", true, "fw.dsp",
         [](QFileDialog* d) { static_cast<QDialog*>(d)->accept(); }, "fw.dsp"},
        {"cancel", false, "fw.dsp", [](QFileDialog* d) { d->reject(); }, ""},
    };
    QtPlatform p;
    for (const auto& c : cases) {
        DialogUser user;
        user.act = c.act;
        const FileDialogRequest request{"Select", dir.path().toStdString(), "*.DSP",
                                        c.default_name};
        const std::string got = p.file_dialog(request, c.save);
        EXPECT_TRUE(user.acted) << c.what;
        EXPECT_FALSE(user.questioned) << c.what;
        const std::string want = *c.chosen ? dir.filePath(c.chosen).toStdString() : "";
        EXPECT_EQ(got, want) << c.what;
    }
}

// SIGTERM while a dialog is open: the dialog returns at once and the platform
// throws instead of handing on its answer.
TEST(QtPlatformDialogs, EndSignalClosesTheOpenDialog) {
    ScopedEnv a("VELK2_DIALOG_ANSWERS", nullptr);
    ScopedEnv n("VELK2_NO_DIALOGS", nullptr);
    const std::function<void(QtPlatform&)> dialogs[] = {
        [](QtPlatform& p) { p.message_box("wait 30-secundum the STB download", ""); },
        [](QtPlatform& p) {
            p.file_dialog({"Select DSP filename", "", "*.DSP", "x"}, true);
        },
    };
    for (const auto& open_dialog : dialogs) {
        QtPlatform p;
        bool rescued = false;
        QTimer rescue; // ends a dialog that the signal left open
        QObject::connect(&rescue, &QTimer::timeout, [&rescued] {
            rescued = true;
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
        });
        rescue.start(5000);
        QTimer::singleShot(50, [] { std::raise(SIGTERM); });
        int signal = 0;
        try {
            open_dialog(p);
        } catch (const Interrupted& i) {
            signal = i.signal;
        }
        EXPECT_EQ(signal, SIGTERM);
        EXPECT_FALSE(rescued);
    }
}

// ---------------------------------------------------------------- pictures

TEST(QtPlatformPictures, OnlyReadablePicturesLoad) {
    QTemporaryDir dir;
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(dir.filePath("logo.jpg"), "JPG"));
    ASSERT_TRUE(image.save(dir.filePath("logo.png"), "PNG"));
    write_file(dir.filePath("fake.jpg").toStdString(), "not a picture at all");
    std::string jpg;
    {
        std::ifstream in(dir.filePath("logo.jpg").toStdString(), std::ios::binary);
        jpg.assign(std::istreambuf_iterator<char>(in), {});
    }
    write_file(dir.filePath("cut.jpg").toStdString(), jpg.substr(0, 20));

    struct {
        const char* file;
        bool loads;
    } const cases[] = {
        {"logo.jpg", true}, {"logo.png", true},  {"fake.jpg", false},
        {"cut.jpg", false}, {"none.jpg", false},
    };
    QtPlatform p;
    for (const auto& c : cases)
        EXPECT_EQ(p.load_picture(dir.filePath(c.file).toStdString()), c.loads) << c.file;
}

} // namespace
} // namespace velk2
