#include "linux/qt_window.h"

#include "linux/accessibility.h"
#include "linux/fonts.h"
#include "linux/frame_placement.h"
#include "linux/key_codes.h"
#include "linux/password_box.h"
#include "linux/picture.h"
#include "linux/title_bar.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cmath>

namespace quorvex::desktop {

using runtime::ControlClass;
using runtime::ControlDefinition;
using runtime::String;

namespace {

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

bool TakesFocus(const ControlDefinition& control) {
    return control.tab_index >= 0 && (control.control_class == ControlClass::OptionButton ||
                                      control.control_class == ControlClass::TextBox ||
                                      control.control_class == ControlClass::CommandButton);
}

Picture PictureOf(const ControlDefinition& control) {
    return Picture(QStringLiteral(":/") +
                   QString::fromLatin1(control.picture.data(),
                                       static_cast<qsizetype>(control.picture.size())));
}

}  // namespace

// One control's properties on its widget, through Qt's property system: each
// class names the property that holds what it shows. Buttons and frames read
// a single "&" as a shortcut marker, so there a caption's "&" is doubled to
// show as written.
class QtControl final : public runtime::NativeControl {
  public:
    QtControl(QWidget* widget, const char* text_property, bool shortcut_markers)
        : widget_(widget), text_property_(text_property), markers_(shortcut_markers) {}

    QWidget* widget() const { return widget_; }

    String Text() const override {
        const QString text = widget_->property(text_property_).toString();
        return (markers_ ? QString(text).replace(QStringLiteral("&&"), QStringLiteral("&")) : text)
            .toStdU16String();
    }
    void SetText(const String& text) override {
        const QString shown = QString::fromStdU16String(text);
        widget_->setProperty(text_property_,
                             markers_ ? QString(shown).replace(u'&', QStringLiteral("&&")) : shown);
    }
    bool Value() const override { return widget_->property("checked").toBool(); }
    void SetValue(bool value) override { widget_->setProperty("checked", value); }
    void SetMaxLength(int length) override { widget_->setProperty("maxLength", length); }
    void SetLocked(bool locked) override { widget_->setProperty("readOnly", locked); }
    String SelText() const override {
        const auto* box = qobject_cast<const QPlainTextEdit*>(widget_);
        return (box != nullptr ? box->textCursor().selectedText()
                               : widget_->property("selectedText").toString())
            .toStdU16String();
    }
    void SetVisible(bool visible) override { widget_->setVisible(visible); }

    void Move(double left, double top, double width, double height) override {
        // Far beyond any screen, a position only needs to stay off it.
        static constexpr double kFarthest = 1 << 20;
        auto pixels = [](double value) {
            return static_cast<int>(std::lround(std::clamp(value, -kFarthest, kFarthest)));
        };
        // In the window, positions count from the corner of its inner area,
        // below a title bar the program draws; in a frame, from the frame's
        // corner. A negative size places nothing.
        const QWidget* container = widget_->parentWidget();
        const QPoint origin =
            container->isWindow() ? container->contentsRect().topLeft() : QPoint();
        widget_->setGeometry(origin.x() + pixels(left), origin.y() + pixels(top),
                             std::max(0, pixels(width)), std::max(0, pixels(height)));
    }

  private:
    QWidget* widget_;
    const char* text_property_;
    bool markers_;
};

QtWindow::QtWindow(const runtime::FormDefinition& definition, runtime::FormEvents& events)
    : QWidget(nullptr, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      definition_(definition),
      events_(events) {
    setWindowTitle(ToQString(definition.caption));
    setWindowIcon(ProgramIcon());
    // The program's own title bar, where it draws one, comes first, so that
    // the controls are placed below it.
    AddOwnTitleBar(*this);
    // A fixed single border: the user cannot resize the window.
    const QSize client(
        static_cast<int>(std::lround(definition.client_width / runtime::kTwipsPerPixel)),
        static_cast<int>(std::lround(definition.client_height / runtime::kTwipsPerPixel)));
    setFixedSize(client.grownBy(contentsMargins()));

    for (const ControlDefinition& control : definition.controls) {
        controls_.push_back(
            NewControl(control, control.container.empty() ? this : Widget(control.container)));
        if (!control.caption.empty()) {
            controls_.back()->SetText(String(control.caption));
        }
    }
    UseMenuColour();
    SetUpAccessibility(*this);
}

QtWindow::~QtWindow() = default;

std::unique_ptr<QtControl> QtWindow::NewControl(const ControlDefinition& control,
                                                QWidget* container) {
    QWidget* widget = nullptr;
    const char* text_property = "text";
    switch (control.control_class) {
        case ControlClass::OptionButton:
            widget = new QRadioButton(container);
            break;
        case ControlClass::TextBox:
            widget = control.multi_line ? static_cast<QWidget*>(new PasswordBox(container))
                                        : new QLineEdit(container);
            text_property = control.multi_line ? "plainText" : "text";
            break;
        case ControlClass::CommandButton: {
            auto* button = new QPushButton(container);
            if (control.graphical) {
                ShowButtonPicture(button, PictureOf(control));
            }
            // Neither Enter nor Esc presses it.
            button->setAutoDefault(false);
            if ((control.events & runtime::kClick) != 0) {
                const std::size_t index = controls_.size();
                connect(button, &QPushButton::clicked, this,
                        [this, index] { events_.Click(index); });
            }
            widget = button;
            break;
        }
        case ControlClass::Frame:
            widget = new QGroupBox(container);
            text_property = "title";
            // It lies behind the controls it surrounds.
            widget->lower();
            break;
        case ControlClass::Image:
            widget = new PictureLabel(PictureOf(control), container);
            break;
        case ControlClass::Label:
            widget = new QLabel(container);
            break;
    }
    widget->setObjectName(
        QString::fromLatin1(control.name.data(), static_cast<qsizetype>(control.name.size())));
    if (control.font != nullptr) {
        widget->setFont(FontOf(*control.font));
    }
    if (!TakesFocus(control)) {
        widget->setFocusPolicy(Qt::NoFocus);
    }
    if ((control.events & runtime::kKeyDown) != 0) {
        widget->installEventFilter(this);
    }
    const bool shortcut_markers = qobject_cast<QAbstractButton*>(widget) != nullptr ||
                                  qobject_cast<QGroupBox*>(widget) != nullptr;
    return std::make_unique<QtControl>(widget, text_property, shortcut_markers);
}

runtime::NativeControl& QtWindow::Control(std::size_t index) {
    return *controls_.at(index);
}

QWidget* QtWindow::Widget(std::string_view name) const {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (definition_.controls[i].name == name) {
            return controls_[i]->widget();
        }
    }
    return nullptr;
}

runtime::Single QtWindow::ScaleWidth() const {
    return static_cast<runtime::Single>(contentsRect().width());
}

void QtWindow::Show() {
    const std::vector<QWidget*> order = FocusOrder();
    if (!order.empty()) {
        order.front()->setFocus(Qt::OtherFocusReason);
    }
    ShowPlaced(*this, PlaceFrameCentred(*this));
    activateWindow();
    raise();
}

int QtWindow::Run() {
    return QApplication::exec();
}

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        for (std::size_t i = 0; i < controls_.size(); ++i) {
            if (controls_[i]->widget() == watched) {
                const auto* key = static_cast<QKeyEvent*>(event);
                runtime::Integer key_code = KeyCodeOf(ShortcutKey(*key));
                runtime::Integer shift = ShiftOf(key->modifiers());
                events_.KeyDown(i, key_code, shift);
                // The key goes on to the control: the handler never consumes it.
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

std::vector<QWidget*> QtWindow::FocusOrder() const {
    std::vector<std::size_t> indices;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (TakesFocus(definition_.controls[i])) {
            indices.push_back(i);
        }
    }
    std::ranges::sort(indices, {},
                      [this](std::size_t i) { return definition_.controls[i].tab_index; });
    // Option buttons next to each other in the order form one stop: the
    // selected one, or the first where none is.
    std::vector<QWidget*> order;
    for (const std::size_t i : indices) {
        QWidget* widget = controls_[i]->widget();
        auto* option = qobject_cast<QRadioButton*>(widget);
        auto* previous = order.empty() ? nullptr : qobject_cast<QRadioButton*>(order.back());
        if (option != nullptr && previous != nullptr) {
            if (option->isChecked() && !previous->isChecked()) {
                order.back() = option;
            }
            continue;
        }
        order.push_back(widget);
    }
    return order;
}

bool QtWindow::focusNextPrevChild(bool next) {
    const std::vector<QWidget*> order = FocusOrder();
    const auto count = static_cast<std::ptrdiff_t>(order.size());
    const QWidget* current = focusWidget();
    // Any option button stands in the order where its group does.
    const auto stop = std::ranges::find_if(order, [current](const QWidget* widget) {
        return widget == current || (qobject_cast<const QRadioButton*>(widget) != nullptr &&
                                     qobject_cast<const QRadioButton*>(current) != nullptr);
    });
    const std::ptrdiff_t index = stop - order.begin();
    const std::ptrdiff_t target =
        index == count ? (next ? 0 : count - 1) : (index + (next ? 1 : -1) + count) % count;
    order[static_cast<std::size_t>(target)]->setFocus(next ? Qt::TabFocusReason
                                                           : Qt::BacktabFocusReason);
    return true;
}

void QtWindow::UseMenuColour() {
    // The output box stands out in the desktop's menu colour.
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (definition_.controls[i].back_color == runtime::kMenuColor) {
            QWidget* widget = controls_[i]->widget();
            QPalette palette = widget->palette();
            palette.setColor(QPalette::Base,
                             QApplication::palette("QMenu").color(QPalette::Window));
            widget->setPalette(palette);
        }
    }
}

void QtWindow::changeEvent(QEvent* event) {
    // A new colour scheme (qt6ct applies one while the program runs): the
    // output box takes the new menu colour, as at start-up. The pictures
    // follow their own palettes.
    if (event->type() == QEvent::PaletteChange) {
        UseMenuColour();
    }
    // The window keeps its size and place: a maximize from a window manager
    // that offers it anyway (icewm), or from Qt's own title bar where the
    // user asks for it on Wayland, is undone.
    if (event->type() == QEvent::WindowStateChange && isMaximized()) {
        QMetaObject::invokeMethod(
            this, [this] { setWindowState(windowState() & ~Qt::WindowMaximized); },
            Qt::QueuedConnection);
    }
    QWidget::changeEvent(event);
}

std::unique_ptr<runtime::NativeWindow> QtWindowSystem::Load(
    const runtime::FormDefinition& definition, runtime::FormEvents& events) {
    return std::make_unique<QtWindow>(definition, events);
}

}  // namespace quorvex::desktop
