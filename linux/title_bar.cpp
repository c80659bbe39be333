#include "linux/title_bar.h"

#include <wayland-client.h>
#include <QAbstractButton>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <algorithm>
#include <cstring>
#include <optional>

namespace quorvex::desktop {

namespace {

// Asks the compositor, on a connection of our own, whether it draws title
// bars: those that do offer xdg-decoration, and Qt asks them to. One round
// trip at start-up.
bool CompositorDrawsTitleBars() {
    // A socket the compositor handed over is Qt's to take; a second
    // connection through it would take it away from Qt.
    if (qEnvironmentVariableIsSet("WAYLAND_SOCKET")) {
        return true;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return true;
    }
    bool offered = false;
    static constexpr wl_registry_listener kListener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, "zxdg_decoration_manager_v1") == 0) {
                *static_cast<bool*>(data) = true;
            }
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kListener, &offered);
    // No answer: nothing is known, and Qt's own title bar stays.
    const bool answered = wl_display_roundtrip(display) >= 0;
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return offered || !answered;
}

bool WorkOutOwnTitleBars() {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
        qEnvironmentVariableIsSet("QT_WAYLAND_DECORATION") ||
        qEnvironmentVariableIntValue("QT_WAYLAND_DISABLE_WINDOWDECORATION") != 0) {
        return false;
    }
    return !CompositorDrawsTitleBars();
}

std::optional<bool>& OwnTitleBarsSetting() {
    static std::optional<bool> own;
    return own;
}

// Minimize or close, drawn in the title's colour so that it follows the
// colour scheme, light or dark.
class TitleBarButton : public QAbstractButton {
  public:
    enum class Glyph { Minimize, Close };

    TitleBarButton(Glyph glyph, const QString& name, QWidget* parent)
        : QAbstractButton(parent), glyph_(glyph) {
        setAccessibleName(name);
        setToolTip(name);
        // The keyboard stays with the window's controls.
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_Hover);
    }

    QSize sizeHint() const override {
        const int side = fontMetrics().height() + 6;
        return {side, side};
    }

  protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (isDown() || underMouse()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(palette().color(isDown() ? QPalette::Mid : QPalette::Midlight));
            painter.drawEllipse(rect());
        }
        // Faded with the title while the window is not active.
        QPen pen(palette().color(window()->isActiveWindow() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText),
                 1.5);
        pen.setCapStyle(Qt::RoundCap);
        painter.setPen(pen);
        const QRectF mark = QRectF(rect()).adjusted(0.32 * width(), 0.32 * height(),
                                                    -0.32 * width(), -0.32 * height());
        if (glyph_ == Glyph::Minimize) {
            painter.drawLine(mark.bottomLeft(), mark.bottomRight());
        } else {
            painter.drawLine(mark.topLeft(), mark.bottomRight());
            painter.drawLine(mark.bottomLeft(), mark.topRight());
        }
    }

    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::ActivationChange) {
            update();
        }
        QAbstractButton::changeEvent(event);
    }

  private:
    Glyph glyph_;
};

// The line round a window with the program's title bar, which sets it off
// from windows of the same colour behind it.
constexpr int kOutline = 1;

class TitleBar : public QWidget {
  public:
    explicit TitleBar(QWidget& window) : QWidget(&window), window_(window) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(4, 3, 4, 3);
        layout->addStretch();
        using Glyph = TitleBarButton::Glyph;
        auto* minimize = new TitleBarButton(Glyph::Minimize, QStringLiteral("Minimize"), this);
        auto* close = new TitleBarButton(Glyph::Close, QStringLiteral("Close"), this);
        layout->addWidget(minimize);
        layout->addWidget(close);
        connect(minimize, &QAbstractButton::clicked, &window, &QWidget::showMinimized);
        // As the desktop's close would: a message box counts it as its Esc.
        connect(close, &QAbstractButton::clicked, &window, &QWidget::close);
        setFixedHeight(layout->sizeHint().height());
        window.installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Resize:
                setFixedWidth(window_.width() - 2 * kOutline);
                break;
            case QEvent::Paint: {
                // The window's outline, which its contents rectangle leaves
                // free; the window paints nothing of its own there.
                QPainter painter(&window_);
                painter.setPen(palette().color(QPalette::Mid));
                painter.drawRect(window_.rect().adjusted(0, 0, -1, -1));
                break;
            }
            case QEvent::WindowTitleChange:
            case QEvent::WindowIconChange:
            case QEvent::ActivationChange:
                update();
                break;
            default:
                break;
        }
        return false;
    }

    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        const int side = height() - 8;
        QRect title = rect().adjusted(6, 0, -6, 0);
        const QIcon icon = window_.windowIcon();
        if (!icon.isNull()) {
            icon.paint(&painter, QRect(title.left(), (height() - side) / 2, side, side));
            title.setLeft(title.left() + side + 6);
        }
        title.setRight(std::min(title.right(), layout()->itemAt(1)->geometry().left() - 6));
        // Centred on the bar where it fits there, as desktops centre titles.
        const QString text =
            fontMetrics().elidedText(window_.windowTitle(), Qt::ElideRight, title.width());
        const int width = fontMetrics().horizontalAdvance(text);
        const int left = std::clamp((this->width() - width) / 2, title.left(),
                                    std::max(title.left(), title.right() - width));
        painter.setPen(
            palette().color(window_.isActiveWindow() ? QPalette::Active : QPalette::Disabled,
                            QPalette::WindowText));
        painter.drawText(QRect(left, 0, width, height()), Qt::AlignVCenter, text);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(0, height() - 1, this->width(), height() - 1);
    }

    // Dragging the bar moves the window; nothing here changes its size.
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && window_.windowHandle() != nullptr) {
            window_.windowHandle()->startSystemMove();
        }
    }

  private:
    QWidget& window_;
};

}  // namespace

bool OwnTitleBars() {
    std::optional<bool>& own = OwnTitleBarsSetting();
    if (!own) {
        own = WorkOutOwnTitleBars();
    }
    return *own;
}

void SetOwnTitleBars(bool own) {
    OwnTitleBarsSetting() = own;
}

QWidget* AddOwnTitleBar(QWidget& window) {
    if (!OwnTitleBars()) {
        return nullptr;
    }
    window.setWindowFlag(Qt::FramelessWindowHint);
    auto* bar = new TitleBar(window);
    bar->setGeometry(kOutline, kOutline, window.width() - 2 * kOutline, bar->height());
    window.setContentsMargins(window.contentsMargins() +
                              QMargins(kOutline, kOutline + bar->height(), kOutline, kOutline));
    return bar;
}

}  // namespace quorvex::desktop
