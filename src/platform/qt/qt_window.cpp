#include "platform/qt/qt_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <algorithm>

#include "platform/qt/control_font.h"
#include "platform/qt/grid_panel.h"
#include "platform/qt/qt_text.h"

namespace velk2 {

namespace {

class FormWidget : public QWidget {
  public:
    std::function<void()> on_close_box;
    std::function<void()> on_activated;

  protected:
    void closeEvent(QCloseEvent* event) override {
        // The window always closes; the handler only learns of it.
        event->accept();
        if (on_close_box) on_close_box();
    }
    bool event(QEvent* event) override {
        if (event->type() == QEvent::WindowActivate && on_activated) on_activated();
        return QWidget::event(event);
    }
};

QSize form_size(const Window& w) {
    return QSize(w.width_twips / twips_per_pixel, w.height_twips / twips_per_pixel);
}

} // namespace

QtWindow::QtWindow(Window& model, HandlerRunner run_handler)
    : model_(model), run_handler_(std::move(run_handler)) {
    auto form = std::make_unique<FormWidget>();
    form->on_close_box = [this] { user_closed(); };
    form->on_activated = [this] {
        if (model_.on_activate) run_handler_(model_.on_activate);
    };
    form_ = std::move(form);
    form_->setObjectName(QStringLiteral("frm1"));
    // The event pump is ours: closing the window must not end a Qt loop
    // (a message box shown after the close would vanish at once).
    form_->setAttribute(Qt::WA_QuitOnClose, false);
    form_->setAutoFillBackground(true);

    panel_ = new GridPanel(form_.get());
    panel_->setObjectName(QStringLiteral("panel"));
    sync();
}

QtWindow::~QtWindow() = default;

void QtWindow::apply_look() {
    if (look_set_ && look_has_panel_ == model_.has_panel) return;
    look_set_ = true;
    look_has_panel_ = model_.has_panel;
    if (model_.has_panel) {
        QPalette palette = form_->palette();
        palette.setColor(QPalette::Window, Qt::black);
        form_->setPalette(palette);
    } else {
        form_->setPalette(QPalette()); // the system's palette again
    }
    if (panel_->isHidden() == model_.has_panel) panel_->setVisible(model_.has_panel);
}

void QtWindow::retire_widgets(std::size_t first) {
    for (std::size_t i = first; i < shown_.size(); ++i)
        if (QWidget* widget = shown_[i].widget) {
            widget->hide();
            widget->setObjectName(QString());
            retired_.push_back(widget);
        }
    if (first < shown_.size()) shown_.erase(shown_.begin() + std::ptrdiff_t(first), shown_.end());
    delete_retired();
}

void QtWindow::delete_retired() {
    // A button whose click is being handled (the handler built the window
    // anew) must outlive its signal: it goes at a later sync.
    if (widget_handlers_running_ > 0) return;
    for (QWidget* widget : retired_) delete widget;
    retired_.clear();
}

void QtWindow::run_widget_handler(const std::function<void()>& handler) {
    struct Running {
        int& count;
        explicit Running(int& c) : count(c) { ++count; }
        ~Running() { --count; }
    } running(widget_handlers_running_);
    run_handler_(handler);
}

QWidget* QtWindow::form() const {
    return form_.get();
}

void QtWindow::sync() {
    delete_retired();
    if (synced_once_ && model_.revision == synced_revision_) return;
    synced_once_ = true;
    synced_revision_ = model_.revision;

    const QSize size = form_size(model_);
    if (form_->size() != size || form_->minimumSize() != size) form_->setFixedSize(size);
    panel_->setGeometry(QRect(QPoint(0, 0), size));
    const QString title = to_qstring(model_.title);
    if (form_->windowTitle() != title) form_->setWindowTitle(title);

    apply_look();

    // Controls only added keep every widget; a window built anew keeps
    // those up to the first control that differs.
    std::size_t same = 0;
    while (same < shown_.size() && same < model_.controls.size() &&
           shown_[same].made_for(model_.controls[same]))
        ++same;
    const bool changed = same != shown_.size() || shown_.size() != model_.controls.size();
    retire_widgets(same);
    while (shown_.size() < model_.controls.size()) add_widget(shown_.size());
    if (changed) restack();
    for (std::size_t i = 0; i < shown_.size() && i < model_.controls.size(); ++i) apply(i);
    if (model_.has_panel) panel_->show_cells(model_.cells);
}

void QtWindow::present() {
    if (model_.exists && !presented_) {
        presented_ = true;
        form_->show();
    } else if (!model_.exists && form_->isVisible()) {
        form_->hide();
    }
}

void QtWindow::close() {
    model_.exists = false;
    ++model_.revision;
    form_->hide();
}

void QtWindow::user_closed() {
    if (!model_.exists) return; // already closed by the program
    if (model_.on_close) run_handler_(model_.on_close);
    model_.exists = false;
    ++model_.revision;
}

void QtWindow::add_widget(std::size_t index) {
    const Control& c = model_.controls[index];
    Shown shown;
    shown.name = c.name;
    shown.kind = c.kind;
    shown.placed = c.placed;
    if (c.placed) {
        switch (c.kind) {
        case ControlKind::button: {
            auto* button = new QPushButton(form_.get());
            QObject::connect(button, &QPushButton::clicked, [this, index] {
                if (index >= model_.controls.size()) return;
                if (auto handler = model_.controls[index].on_click) run_widget_handler(handler);
            });
            shown.widget = button;
            break;
        }
        case ControlKind::check_box: {
            auto* box = new QCheckBox(form_.get());
            // The user's tick is the control's value; the model is the truth.
            QObject::connect(box, &QCheckBox::clicked, [this, index](bool checked) {
                if (index >= model_.controls.size()) return;
                model_.controls[index].value = checked ? 1 : 0;
                ++model_.revision;
                if (auto handler = model_.controls[index].on_click) run_widget_handler(handler);
            });
            shown.widget = box;
            break;
        }
        case ControlKind::label:
        case ControlKind::image: {
            auto* label = new QLabel(form_.get());
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            // A file name is shown as it is, never read as markup.
            if (c.kind == ControlKind::label) label->setTextFormat(Qt::PlainText);
            shown.widget = label;
            break;
        }
        case ControlKind::progress: {
            auto* bar = new QProgressBar(form_.get());
            bar->setRange(0, 100);
            // The row's state says the percentage already.
            bar->setTextVisible(false);
            shown.widget = bar;
            break;
        }
        case ControlKind::timer:
            break;
        }
    }
    if (shown.widget) shown.widget->setObjectName(to_qstring(c.name));
    shown_.push_back(std::move(shown));
}

void QtWindow::restack() {
    for (std::size_t i : stacking_order(model_))
        if (i < shown_.size() && shown_[i].widget) shown_[i].widget->raise();
}

void QtWindow::apply(std::size_t index) {
    const Control& c = model_.controls[index];
    QWidget* widget = shown_[index].widget;
    if (!widget) return;
    const QRect geometry(c.left, c.top, c.width, c.height);
    if (widget->geometry() != geometry) widget->setGeometry(geometry);
    widget->setEnabled(c.enabled);
    const QString tip = to_qstring(c.tool_tip);
    if (widget->toolTip() != tip) widget->setToolTip(tip);

    switch (c.kind) {
    case ControlKind::button:
        static_cast<QPushButton*>(widget)->setText(to_qstring(c.caption));
        fit_caption_font(static_cast<QPushButton*>(widget));
        break;
    case ControlKind::check_box: {
        auto* box = static_cast<QCheckBox*>(widget);
        box->setText(to_qstring(c.caption));
        fit_caption_font(box);
        const Qt::CheckState state = c.value == 0   ? Qt::Unchecked
                                     : c.value == 2 ? Qt::PartiallyChecked
                                                    : Qt::Checked;
        if (box->checkState() != state) {
            box->setTristate(state == Qt::PartiallyChecked);
            box->setCheckState(state);
        }
        break;
    }
    case ControlKind::label: {
        auto* label = static_cast<QLabel*>(widget);
        QString text = to_qstring(c.text);
        if (!model_.has_panel) {
            // One line, centred on the height of the buttons beside it.
            text = label->fontMetrics().elidedText(text, Qt::ElideRight, c.width);
            if (label->alignment() != (Qt::AlignLeft | Qt::AlignVCenter))
                label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
        if (label->text() != text) label->setText(text);
        break;
    }
    case ControlKind::image:
        apply_picture(index);
        break;
    case ControlKind::progress: {
        auto* bar = static_cast<QProgressBar*>(widget);
        const int value = std::clamp(c.value, 0, 100);
        if (bar->value() != value) bar->setValue(value);
        break;
    }
    case ControlKind::timer:
        break;
    }
    widget->setVisible(c.visible);
}

void QtWindow::apply_picture(std::size_t index) {
    const Control& c = model_.controls[index];
    Shown& shown = shown_[index];
    std::error_code ec;
    // A file chosen again under the same name may hold a new picture.
    const auto time = c.picture.empty()
                          ? std::filesystem::file_time_type{}
                          : std::filesystem::last_write_time(std::filesystem::path(c.picture), ec);
    if (c.picture == shown.picture && time == shown.picture_time) return;
    shown.picture = c.picture;
    shown.picture_time = time;

    auto* label = static_cast<QLabel*>(shown.widget);
    QPixmap pixmap;
    if (!c.picture.empty()) pixmap.load(path_to_qstring(c.picture));
    if (pixmap.isNull()) {
        label->clear();
        return;
    }
    label->setPixmap(
        pixmap.scaled(QSize(c.width, c.height), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace velk2
