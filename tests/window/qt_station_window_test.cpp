// The station window on screen: a tool window in the system's palette whose
// labels, buttons and progress bars follow the station's model, built anew
// when the number of rows changes.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <functional>
#include <gtest/gtest.h>

#include "platform/qt/qt_window.h"
#include "qt_test_app.h"
#include "station/station_layout.h"
#include "station/station_window.h"
#include "support/station_sample.h"

namespace velk2 {
namespace {

// The widgets of the form other than the panel.
QList<QWidget*> control_widgets(QWidget* form) {
    QList<QWidget*> found;
    for (QWidget* w : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->objectName() != "panel") found.push_back(w);
    return found;
}

// The widget of a control is of its kind, lies at its rectangle and shows
// its text, value and state.
void expect_drawn(QWidget* form, const Control& c) {
    SCOPED_TRACE(c.name);
    QWidget* w = form->findChild<QWidget*>(QString::fromStdString(c.name));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), QRect(c.left, c.top, c.width, c.height));
    EXPECT_EQ(w->isEnabled(), c.enabled);
    EXPECT_EQ(w->toolTip().toStdString(), c.tool_tip);
    switch (c.kind) {
    case ControlKind::button:
        ASSERT_NE(qobject_cast<QPushButton*>(w), nullptr);
        EXPECT_EQ(qobject_cast<QPushButton*>(w)->text().toStdString(), c.caption);
        break;
    case ControlKind::label:
        ASSERT_NE(qobject_cast<QLabel*>(w), nullptr);
        EXPECT_EQ(qobject_cast<QLabel*>(w)->text().toStdString(), c.text);
        break;
    case ControlKind::progress: {
        auto* bar = qobject_cast<QProgressBar*>(w);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 100);
        EXPECT_EQ(bar->value(), c.value);
        break;
    }
    default:
        ADD_FAILURE() << "no such control in the station window";
    }
}

// What a widget shows, "none" where there is no widget of that kind.
std::string shown_text(QWidget* form, const char* name) {
    QWidget* w = form->findChild<QWidget*>(name);
    if (auto* bar = qobject_cast<QProgressBar*>(w)) return std::to_string(bar->value());
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdString();
    if (auto* button = qobject_cast<QPushButton*>(w)) return button->text().toStdString();
    return "none";
}

struct Station {
    StationState state = test::four_port_station("/dev/ttyUSB", "/fw/");
    Window window;
    std::unique_ptr<QtWindow> shown;
    Station() {
        update_station_window(window, state);
        shown = std::make_unique<QtWindow>(window, [](const std::function<void()>& h) { h(); });
        shown->present();
    }
    QWidget* form() const { return shown->form(); }
    void update() {
        update_station_window(window, state);
        shown->sync();
    }
};

TEST(QtStationWindow, EachControlIsAWidgetOfItsKindAtItsPlace) {
    Station s;
    EXPECT_EQ(s.form()->size(), QSize(station_width_px, station_height_twips(4) / 15));
    EXPECT_EQ(s.form()->windowTitle(), "VELK2 Station");
    // A tool window: the system's palette, not the loader's black panel.
    EXPECT_EQ(s.form()->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Window));
    EXPECT_FALSE(s.form()->findChild<QWidget*>("panel")->isVisible());
    EXPECT_EQ(control_widgets(s.form()).size(), qsizetype(s.window.controls.size()));
    for (const Control& c : s.window.controls) expect_drawn(s.form(), c);

    // What the model says, so the comparisons above compare something.
    const struct {
        const char* control;
        const char* shown;
    } seen[] = {
        {"start", "Stop"},        {"row1_state", "flashing 45 %"},      {"row1_progress", "45"},
        {"row2_progress", "100"}, {"row3_state", "failed: box silent"}, {"row3_progress", "25"},
        {"row0_progress", "0"},
    };
    for (const auto& e : seen) EXPECT_EQ(shown_text(s.form(), e.control), e.shown) << e.control;
    EXPECT_FALSE(s.form()->findChild<QWidget*>("file_select")->isEnabled());
}

struct StationChange {
    const char* what;
    std::function<void(StationState&)> change;
    std::function<bool(QWidget*)> shown;
};

TEST(QtStationWindow, ModelUpdatesReachTheWidgets) {
    auto tip = [](QWidget* f, const char* name) {
        QWidget* w = f->findChild<QWidget*>(name);
        return w ? w->toolTip().toStdString() : "none";
    };
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
         [&](QWidget* f) {
             return shown_text(f, "row1_progress") == "100" &&
                    shown_text(f, "row1_state") == "done" &&
                    shown_text(f, "row1_counts") == "done 1, failed 0" &&
                    tip(f, "row1_state") == "done";
         }},
        {"a reason too long for its label ends in an ellipsis",
         [](StationState& s) {
             s.rows[3].reason = "port lost: the port's device went away (adapter unplugged?) "
                                "while block 512 of 2044 was on its way";
         },
         [](QWidget* f) {
             auto* state = f->findChild<QLabel*>("row3_state");
             const QString text = state ? state->text() : QString();
             return text.startsWith("failed: port lost") && text.endsWith(QChar(0x2026)) &&
                    state->fontMetrics().horizontalAdvance(text) <= state->width() &&
                    state->toolTip().endsWith("was on its way");
         }},
        {"a file name that looks like markup shown as it is",
         [](StationState& s) { s.file.path = "/fw/<b>new</b>.dsp"; },
         [](QWidget* f) {
             auto* file = f->findChild<QLabel*>("file");
             return file && file->text() == "/fw/<b>new</b>.dsp" &&
                    file->textFormat() == Qt::PlainText;
         }},
    };
    Station s;
    for (const auto& c : changes) {
        c.change(s.state);
        update_station_window(s.window, s.state);
        EXPECT_FALSE(c.shown(s.form())) << c.what << ": shown before the sync";
        s.shown->sync();
        EXPECT_TRUE(c.shown(s.form())) << c.what;
    }
}

// The station builds its window anew when the number of ports changes:
// every widget is one of the new model's controls, none of the old rows is
// left, and the form takes the new height.
TEST(QtStationWindow, ARebuildWithAnotherRowCountLeavesNoStaleWidgets) {
    Station s;
    for (int rows : {2, 7, 1, 4}) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        std::vector<StationPort> ports;
        for (int n = 1; n <= rows; ++n) ports.push_back({"COM" + std::to_string(n), ""});
        StationState next = make_station_state(ports);
        next.rows.back().state = RowState::waiting;
        s.state = next;
        s.update();
        QList<QWidget*> widgets = control_widgets(s.form());
        EXPECT_EQ(widgets.size(), qsizetype(s.window.controls.size()));
        for (QWidget* w : widgets)
            EXPECT_NE(s.window.find(w->objectName().toStdString()), nullptr)
                << w->objectName().toStdString();
        for (const Control& c : s.window.controls) expect_drawn(s.form(), c);
        EXPECT_EQ(s.form()->height(), station_height_twips(rows) / 15);
        const std::string last_state = station_row_control(rows - 1, station_column::state);
        EXPECT_EQ(shown_text(s.form(), last_state.c_str()), "waiting for a box");
    }
}

// A click whose handler builds the window anew, its own button included:
// the handler runs once and, after the next sync, only the new widgets are
// left.
TEST(QtStationWindow, AClickThatBuildsTheWindowAnewLeavesOnlyTheNewWidgets) {
    Window w;
    w.has_panel = false;
    w.add(placed_control("old", ControlKind::button, 8, 8, 120, 25, "Rebuild"));
    w.add(placed_control("old_label", ControlKind::label, 136, 8, 200, 25, ""));
    QtWindow shown(w, [](const std::function<void()>& h) { h(); });
    int runs = 0;
    w.get("old").on_click = [&] {
        ++runs;
        w.controls.clear();
        w.add(placed_control("new_bar", ControlKind::progress, 8, 8, 120, 21, ""));
        ++w.revision;
        shown.sync(); // a pump inside the handler
    };
    shown.present();
    auto* old = shown.form()->findChild<QPushButton*>("old");
    ASSERT_NE(old, nullptr);
    test::post_click(old);
    QApplication::processEvents();
    EXPECT_EQ(runs, 1);
    shown.sync();
    const QList<QWidget*> widgets = control_widgets(shown.form());
    ASSERT_EQ(widgets.size(), 1);
    EXPECT_EQ(widgets[0]->objectName(), "new_bar");
    EXPECT_NE(qobject_cast<QProgressBar*>(widgets[0]), nullptr);
}

} // namespace
} // namespace velk2
