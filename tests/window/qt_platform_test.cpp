// The runtime services of the Qt platform: wall clock and event waits, the
// mouse-button state, dialogs (scripted and real) and the picture check.
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

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
using test::write_file;

// wait_event sleeps until the next tick is due, neither forever nor in a
// spin; process_events runs the due timers without waiting for them.
TEST(QtPlatformClock, WindowTimersTickOnTheWallClock) {
    Window w;
    Control timer;
    timer.name = "tmrR2";
    timer.kind = ControlKind::timer;
    w.add(timer);
    std::vector<std::int64_t> ticks;
    QtPlatform p;
    p.attach(w);
    w.get("tmrR2").on_tick = [&] { ticks.push_back(p.monotonic_ms()); };
    QTimer rescue; // ends a wait that would otherwise never end
    rescue.start(5000);
    struct {
        int interval_ms;
        bool wait;
        int max_rounds;
    } const pumps[] = {{100, true, 60}, {50, false, 1000}};
    for (const auto& c : pumps) {
        ticks.clear();
        const std::int64_t start = p.monotonic_ms();
        timer_set_interval(w, "tmrR2", c.interval_ms, start);
        timer_switch(w, "tmrR2", true, start);
        int rounds = 0;
        for (; ticks.size() < 3 && p.monotonic_ms() - start < 5000; ++rounds) {
            if (c.wait) {
                p.wait_event();
            } else {
                p.process_events();
                p.pause(5);
            }
        }
        ASSERT_EQ(ticks.size(), 3u) << c.interval_ms;
        EXPECT_GE(ticks.back() - start, 3 * c.interval_ms - 10) << c.interval_ms;
        EXPECT_LT(ticks.back() - start, 3000) << c.interval_ms;
        EXPECT_LT(rounds, c.max_rounds) << c.interval_ms;
    }
    // The seconds clock has a fraction and moves with a pause.
    const double before = p.seconds_since_midnight();
    p.pause(50);
    const double after = p.seconds_since_midnight();
    if (after > before) { // not across midnight
        EXPECT_GE(after - before, 0.04);
        EXPECT_LT(after - before, 1.0);
    }
}

// The right button (2) is what ends fuji Live.
TEST(QtPlatformMouse, ButtonsHeldMapToOneTwoFour) {
    if (QGuiApplication::platformName() != "offscreen")
        GTEST_SKIP() << "feeds input through Qt; on X11 the server's pointer state is read";
    Window w;
    QtPlatform p;
    p.attach(w);
    p.process_events();
    QWindow* handle = p.form()->windowHandle();
    ASSERT_NE(handle, nullptr);
    const struct {
        QEvent::Type type;
        Qt::MouseButton button;
        int held; // mouse_buttons() after the step
    } steps[] = {
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

// Unattended runs: message boxes are printed, file dialogs take the answer
// file's lines in turn (relative names made absolute, an empty line cancels)
// and cancel once none is left or when there is no answer file at all.
TEST(QtPlatformDialogs, ScriptedDialogsNeverBlock) {
    QTemporaryDir dir;
    const std::string answers = dir.filePath("answers").toStdString();
    write_file(answers, "pick.dsp\n\n/data/x.DSP\r\n");
    const std::string cwd = std::filesystem::current_path().string();
    const struct {
        const char* answers;
        const char* no_dialogs;
        std::vector<std::string> picks; // then one more dialog, cancelled
        const char* told;               // also on standard error
    } cases[] = {
        {answers.c_str(), nullptr, {cwd + "/pick.dsp", "", "/data/x.DSP"}, ""},
        {nullptr, "1", {}, ""},
        {"/nonexistent/velk2-answers", nullptr, {}, "/nonexistent/velk2-answers"},
    };
    for (const auto& c : cases) {
        ScopedEnv a("VELK2_DIALOG_ANSWERS", c.answers);
        ScopedEnv n("VELK2_NO_DIALOGS", c.no_dialogs);
        ::testing::internal::CaptureStderr();
        QtPlatform p;
        p.message_box("mistake:\r\nblock 3\n\nnot acknowledged", "Hmmmmm");
        const std::string err = ::testing::internal::GetCapturedStderr();
        // One line, so that a log keeps each message whole.
        EXPECT_NE(err.find("message: Hmmmmm: mistake: block 3 not acknowledged\n"),
                  std::string::npos)
            << err;
        EXPECT_EQ(p.unattended(), c.no_dialogs != nullptr); // an answer file plays a technician
        EXPECT_NE(err.find(c.told), std::string::npos) << err;
        for (const auto& pick : c.picks)
            EXPECT_EQ(p.file_dialog({"Open", "", "*.DSP", ""}, false), pick);
        EXPECT_EQ(p.file_dialog({"Save", "", "*.DSP", "down"}, true), "");
    }
}

// Plays the user at the real dialog: accepts or cancels the first file
// dialog that comes up, notes any question box (none may appear) and closes
// it, and closes whatever dialog is still open after five seconds. A question
// opens inside accept(), where the timer that called it does not fire again.
struct DialogUser {
    bool accept;
    bool acted = false;
    bool questioned = false;
    QTimer poll, watch, rescue;

    explicit DialogUser(bool accept_it) : accept(accept_it) {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog && !acted) {
                acted = true;
                accept ? static_cast<QDialog*>(dialog)->accept() : dialog->reject();
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

TEST(QtPlatformDialogs, RealFileDialogReturnsAbsoluteNames) {
    ScopedEnv a("VELK2_DIALOG_ANSWERS", nullptr);
    ScopedEnv n("VELK2_NO_DIALOGS", nullptr);
    QTemporaryDir dir;
    write_file(dir.filePath("fw.dsp").toStdString(), "x");
    const struct {
        const char* what;
        bool save;
        const char* default_name;
        bool accept;
        const char* chosen; // file in the folder, "" when cancelled
    } cases[] = {
        {"open the proposed file", false, "fw.dsp", true, "fw.dsp"},
        {"save under a new name", true, "new.DSP", true, "new.DSP"},
        {"save over a file without asking", true, "fw.dsp", true, "fw.dsp"},
        {"cancel", false, "fw.dsp", false, ""},
    };
    QtPlatform p;
    EXPECT_FALSE(p.unattended());
    for (const auto& c : cases) {
        DialogUser user(c.accept);
        const std::string got =
            p.file_dialog({"Select", dir.path().toStdString(), "*.DSP", c.default_name}, c.save);
        EXPECT_TRUE(user.acted) << c.what;
        EXPECT_FALSE(user.questioned) << c.what;
        EXPECT_EQ(got, *c.chosen ? dir.filePath(c.chosen).toStdString() : "") << c.what;
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

// A write over the file-size limit (ulimit -f) fails as on a full disk while
// the program lives on to say so; SIGXFSZ would end it in the middle of a
// save.
TEST(QtPlatformSignals, AWriteOverTheFileSizeLimitFailsAndTheProgramLives) {
    QtPlatform p;
    QTemporaryDir dir;
    const std::string path = dir.filePath("big").toStdString();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string bytes(8192, 'x');
    const ssize_t first = ::write(fd, bytes.data(), bytes.size()); // up to the limit
    errno = 0;
    const ssize_t second = ::write(fd, bytes.data(), bytes.size());
    const int error = errno;
    setrlimit(RLIMIT_FSIZE, &old);
    ::close(fd);
    EXPECT_EQ(first, 4096);
    EXPECT_EQ(second, -1);
    EXPECT_EQ(error, EFBIG);
}

// ---------------------------------------------------------------- pictures

TEST(QtPlatformPictures, OnlyReadablePicturesLoad) {
    QTemporaryDir dir;
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(dir.filePath("logo.jpg"), "JPG"));
    ASSERT_TRUE(image.save(dir.filePath("logo.png"), "PNG"));
    write_file(dir.filePath("fake.jpg").toStdString(), "not a picture at all");
    const std::string jpg = test::read_file(dir.filePath("logo.jpg").toStdString());
    write_file(dir.filePath("cut.jpg").toStdString(), jpg.substr(0, 20));
    const std::pair<const char*, bool> cases[] = {
        {"logo.jpg", true}, {"logo.png", true},  {"fake.jpg", false},
        {"cut.jpg", false}, {"none.jpg", false},
    };
    QtPlatform p;
    for (const auto& [file, loads] : cases)
        EXPECT_EQ(p.load_picture(dir.filePath(file).toStdString()), loads) << file;
}

} // namespace
} // namespace velk2
