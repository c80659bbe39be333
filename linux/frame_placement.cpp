#include "linux/frame_placement.h"

#include <xcb/xcb.h>
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMargins>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace quorvex::desktop {

namespace {

// A manager answers within a few milliseconds; one that does not answer at
// all delays the window by no more than this.
constexpr int kAnswerTimeoutMs = 100;

// WM_NORMAL_HINTS (ICCCM 4.1.2.3): the flag that says the gravity is given,
// and where it stands among the 18 values.
constexpr std::uint32_t kGravityGiven = 1U << 9;
constexpr std::size_t kGravityValue = 17;

template <typename Reply>
std::unique_ptr<Reply, decltype(&std::free)> Owned(Reply* reply) {
    return {reply, &std::free};
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const auto reply = Owned(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The 32-bit values of a window's property; none when it is not set.
std::vector<std::uint32_t> Values(xcb_connection_t* connection, xcb_window_t window,
                                  xcb_atom_t property, xcb_atom_t type) {
    const auto reply = Owned(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, type, 0, 4096), nullptr));
    if (!reply || reply->type != type || reply->format != 32) {
        return {};
    }
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

// The check window of the EWMH window manager that runs, or none: the window
// names itself, so a property left behind by one that has ended does not count.
xcb_window_t ManagerCheckWindow(xcb_connection_t* connection, xcb_window_t root) {
    const xcb_atom_t check = Atom(connection, "_NET_SUPPORTING_WM_CHECK");
    const std::vector<std::uint32_t> manager = Values(connection, root, check, XCB_ATOM_WINDOW);
    return manager.size() == 1 && Values(connection, manager[0], check, XCB_ATOM_WINDOW) == manager
               ? xcb_window_t{manager[0]}
               : xcb_window_t{XCB_WINDOW_NONE};
}

// The name the manager gives its check window.
QByteArray ManagerName(xcb_connection_t* connection, xcb_window_t check_window) {
    const xcb_atom_t utf8 = Atom(connection, "UTF8_STRING");
    const auto reply = Owned(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, check_window,
                                                Atom(connection, "_NET_WM_NAME"), utf8, 0, 64),
                               nullptr));
    if (!reply || reply->type != utf8 || reply->format != 8) {
        return {};
    }
    return {static_cast<const char*>(xcb_get_property_value(reply.get())),
            xcb_get_property_value_length(reply.get())};
}

// Whether the running manager lists a property or request as supported.
bool Supports(xcb_connection_t* connection, xcb_window_t root, xcb_atom_t atom) {
    const std::vector<std::uint32_t> supported =
        Values(connection, root, Atom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM);
    return std::find(supported.begin(), supported.end(), atom) != supported.end();
}

// Ends a local event loop when a property of one window changes.
class PropertyWatch : public QAbstractNativeEventFilter {
  public:
    PropertyWatch(xcb_window_t window, xcb_atom_t property, QEventLoop& loop)
        : window_(window), property_(property), loop_(loop) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~PropertyWatch() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    PropertyWatch(const PropertyWatch&) = delete;
    PropertyWatch& operator=(const PropertyWatch&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        // Every xcb event starts with its type; the rest is read only once
        // that says it is a property change.
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
        if (type == "xcb_generic_event_t" &&
            (notify->response_type & 0x7f) == XCB_PROPERTY_NOTIFY && notify->window == window_ &&
            notify->atom == property_) {
            loop_.quit();
        }
        return false;
    }

  private:
    xcb_window_t window_;
    xcb_atom_t property_;
    QEventLoop& loop_;
};

// Does what makes the manager set a window's frame extents, and waits for
// them up to a time limit; returns them, or nothing.
template <typename Ask>
std::vector<std::uint32_t> WaitForExtents(xcb_connection_t* connection, xcb_window_t window,
                                          xcb_atom_t extents, int timeout_ms, Ask ask) {
    QEventLoop loop;
    const PropertyWatch watch(window, extents, loop);
    ask();
    xcb_flush(connection);
    // The answer may be there already when the manager was quick.
    if (Values(connection, window, extents, XCB_ATOM_CARDINAL).size() != 4) {
        QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return Values(connection, window, extents, XCB_ATOM_CARDINAL);
}

// What the window manager says about an unmapped window, in the screen's
// pixels: the frame it will add, where it says so in time, and the work area
// of the current desktop. Nothing is said where no EWMH manager runs, or
// where there is no X11.
struct ManagerPlan {
    bool managed = false;
    std::optional<QMargins> frame;
    QRect work_area;
};

ManagerPlan AskManager(const QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return {};
    }
    // The window itself must not exist yet (see PlaceFrameCentred), so the
    // manager is asked about a stand-in that it would frame alike: the same
    // kind of window, with the same title-bar buttons and the same fixed
    // size. It is never mapped, so no manager ever lists it as a client.
    QWindow asked;
    asked.setFlags(window.windowFlags());
    asked.setMinimumSize(window.minimumSize());
    asked.setMaximumSize(window.maximumSize());
    asked.resize(window.size());
    const auto id = static_cast<xcb_window_t>(asked.winId());
    const auto tree =
        Owned(xcb_query_tree_reply(connection, xcb_query_tree(connection, id), nullptr));
    const xcb_window_t check_window =
        tree ? ManagerCheckWindow(connection, tree->root) : xcb_window_t{XCB_WINDOW_NONE};
    if (check_window == XCB_WINDOW_NONE) {
        return {};
    }
    ManagerPlan plan;
    plan.managed = true;
    // Not every manager lists the work area among what it supports (fluxbox
    // sets it all the same), so it is read wherever it is set.
    const std::vector<std::uint32_t> areas =
        Values(connection, tree->root, Atom(connection, "_NET_WORKAREA"), XCB_ATOM_CARDINAL);
    const std::vector<std::uint32_t> desktop =
        Values(connection, tree->root, Atom(connection, "_NET_CURRENT_DESKTOP"), XCB_ATOM_CARDINAL);
    const std::size_t first = desktop.size() == 1 ? std::size_t{desktop[0]} * 4 : 0;
    if (areas.size() >= first + 4) {
        plan.work_area =
            QRect(static_cast<int>(areas[first]), static_cast<int>(areas[first + 1]),
                  static_cast<int>(areas[first + 2]), static_cast<int>(areas[first + 3]));
    }

    // Asked only of managers that answer before a window is mapped: those
    // that list the request, and i3, which answers it without listing it.
    // kwin never answers it; fluxbox answers it from its theme alone, with a
    // resize handle under every window, where it gives a window that cannot
    // be resized none. Both centre the frame by gravity without being asked.
    const QByteArray name = ManagerName(connection, check_window);
    const xcb_atom_t request = Atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    if (name == "KWin" || name == "Fluxbox" ||
        (name != "i3" && !Supports(connection, tree->root, request))) {
        return plan;
    }
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = request;
    const std::vector<std::uint32_t> sides = WaitForExtents(
        connection, id, Atom(connection, "_NET_FRAME_EXTENTS"), kAnswerTimeoutMs, [&] {
            xcb_send_event(
                connection, 0, tree->root,
                XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                reinterpret_cast<const char*>(&message));
        });
    // No frame at all around a window with a title bar is taken as no
    // answer: mutter, since a helper process of its own draws its frames,
    // answers so for every window it has not framed yet.
    if (sides.size() == 4 &&
        std::any_of(sides.begin(), sides.end(), [](std::uint32_t side) { return side != 0; })) {
        // _NET_FRAME_EXTENTS: left, right, top, bottom.
        plan.frame = QMargins(static_cast<int>(sides[0]), static_cast<int>(sides[2]),
                              static_cast<int>(sides[1]), static_cast<int>(sides[3]));
    }
    return plan;
}

}  // namespace

FrameCentring PlaceFrameCentred(QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        return FrameCentring::AtPosition;
    }
    const ManagerPlan plan = AskManager(window);
    // In Qt's logical pixels, as the screen's geometry is, kept exact until
    // the position is rounded, so that at 200 % the frame is centred to the
    // screen's pixel and not to a logical one.
    const qreal ratio = window.devicePixelRatioF();
    QRectF area =
        QRectF(QPointF(plan.work_area.topLeft()) / ratio, QSizeF(plan.work_area.size()) / ratio) &
        QRectF(screen->geometry());
    if (area.isEmpty()) {
        area = screen->availableGeometry();
    }
    const auto centred = [&area](QSizeF size) {
        return (area.topLeft() +
                QPointF(area.width() - size.width(), area.height() - size.height()) / 2)
            .toPoint();
    };
    if (plan.managed && !plan.frame) {
        // The inner area centred, given before the native window exists: Qt
        // hands it on as the window's own position, and ShowPlaced has the
        // manager centre the frame on the same point.
        window.setGeometry(QRect(centred(window.size()), window.size()));
        return FrameCentring::ByGravity;
    }
    // Moved before its native window exists, a window's position is its
    // frame's: Qt gives it to the manager with north-west gravity, which puts
    // the frame's corner there.
    window.move(
        centred(QSizeF(window.size()).grownBy(QMarginsF(plan.frame.value_or(QMargins())) / ratio)));
    return FrameCentring::AtPosition;
}

void ShowPlaced(QWidget& window, FrameCentring centring) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (centring != FrameCentring::ByGravity || connection == nullptr) {
        window.show();
        return;
    }
    // Qt writes the window's size hints as it maps it, with a gravity of its
    // own. The server serves this program alone from before that until the
    // hints say centre, so the manager reads them only as they end up.
    xcb_grab_server(connection);
    const auto ungrab = qScopeGuard([connection] {
        xcb_ungrab_server(connection);
        xcb_flush(connection);
    });
    window.show();
    const auto id = static_cast<xcb_window_t>(window.winId());
    std::vector<std::uint32_t> hints =
        Values(connection, id, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS);
    if (hints.size() > kGravityValue) {
        hints[0] |= kGravityGiven;
        hints[kGravityValue] = XCB_GRAVITY_CENTER;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NORMAL_HINTS,
                            XCB_ATOM_WM_SIZE_HINTS, 32, static_cast<std::uint32_t>(hints.size()),
                            hints.data());
    }
}

}  // namespace quorvex::desktop
