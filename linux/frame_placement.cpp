#include "linux/frame_placement.h"

#include <xcb/xcb.h>
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace quorvex::desktop {

namespace {

// A manager answers within a few milliseconds; one that does not answer at
// all delays the window by no more than this.
constexpr int kAnswerTimeoutMs = 100;
// Managing a window takes longer than answering about one.
constexpr int kManagedAnswerTimeoutMs = 1000;

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
// pixels: the frame it will add, and the work area of the current desktop.
// Both are empty where it does not say, or where there is no X11.
struct ManagerPlan {
    QMargins frame;
    QRect work_area;
};

ManagerPlan AskManager(const QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return {};
    }
    // The window itself must not exist yet (see PlaceFrameCentred), so the
    // manager is asked about stand-ins that it would frame alike: the same
    // kind of window, with the same title-bar buttons and the same fixed size.
    // One is asked by request; the one managed, where that is needed, is
    // another, so that a late answer to the request never passes for its own.
    QWindow asked;
    QWindow managed;
    for (QWindow* stand_in : {&asked, &managed}) {
        stand_in->setFlags(window.windowFlags());
        stand_in->setMinimumSize(window.minimumSize());
        stand_in->setMaximumSize(window.maximumSize());
        stand_in->resize(window.size());
    }
    const auto id = static_cast<xcb_window_t>(asked.winId());
    const auto tree =
        Owned(xcb_query_tree_reply(connection, xcb_query_tree(connection, id), nullptr));
    const xcb_window_t check_window =
        tree ? ManagerCheckWindow(connection, tree->root) : xcb_window_t{XCB_WINDOW_NONE};
    if (check_window == XCB_WINDOW_NONE) {
        return {};
    }
    ManagerPlan plan;
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

    // The request is asked of any manager but fluxbox: i3 answers it without
    // listing it among what it supports. fluxbox answers it from its theme
    // alone, with a resize handle under every window, where it gives a window
    // that cannot be resized none; older versions do not answer it at all.
    const xcb_atom_t extents = Atom(connection, "_NET_FRAME_EXTENTS");
    std::vector<std::uint32_t> sides;
    if (ManagerName(connection, check_window) != "Fluxbox") {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = id;
        message.type = Atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
        sides = WaitForExtents(connection, id, extents, kAnswerTimeoutMs, [&] {
            xcb_send_event(
                connection, 0, tree->root,
                XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                reinterpret_cast<const char*>(&message));
        });
    }
    // No frame at all around a window with a title bar is taken as no
    // answer: mutter, since a helper process of its own draws its frames,
    // answers so for every window it has not framed yet.
    if (sides.size() != 4 ||
        std::all_of(sides.begin(), sides.end(), [](std::uint32_t side) { return side == 0; })) {
        sides.clear();
    }
    // A manager that keeps the extents of the windows it manages gives the
    // ones it has decided on for the stand-in mapped minimized, which shows
    // nothing.
    if (sides.empty() && Supports(connection, tree->root, extents)) {
        sides = WaitForExtents(connection, static_cast<xcb_window_t>(managed.winId()), extents,
                               kManagedAnswerTimeoutMs, [&] { managed.showMinimized(); });
    }
    if (sides.size() == 4) {
        // _NET_FRAME_EXTENTS: left, right, top, bottom.
        plan.frame = QMargins(static_cast<int>(sides[0]), static_cast<int>(sides[2]),
                              static_cast<int>(sides[1]), static_cast<int>(sides[3]));
    }
    return plan;
}

}  // namespace

void PlaceFrameCentred(QWidget& window) {
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        return;
    }
    const ManagerPlan plan = AskManager(window);
    // In Qt's logical pixels, as the screen's geometry is.
    const qreal ratio = window.devicePixelRatioF();
    const QMargins frame = plan.frame / ratio;
    QRect area =
        QRect(plan.work_area.topLeft() / ratio, plan.work_area.size() / ratio) & screen->geometry();
    if (area.isEmpty()) {
        area = screen->availableGeometry();
    }
    const QSize outer = window.size().grownBy(frame);
    // Moved before its native window exists, a window's position is its
    // frame's: Qt gives it to the manager with north-west gravity, which puts
    // the frame's corner there.
    window.move(area.center() - QPoint(outer.width() / 2, outer.height() / 2));
}

}  // namespace quorvex::desktop
