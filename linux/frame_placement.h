// Where the window first appears: its frame, title bar included, in the
// middle of the work area of its screen, from the moment it is mapped.
//
// On X11 a window manager adds its frame only when the window is mapped, so a
// window centred by its inner size alone appears half a title bar too low.
// Moving it once the frame is known makes it jump, and a window manager that
// draws a taller frame than its neighbours shows the jump the most. Instead
// the manager is asked for the frame it will add (_NET_REQUEST_FRAME_EXTENTS)
// before the window exists, and the frame's corner is given as the window's
// position: Qt hands it on with north-west gravity, which tells the manager
// to put the frame's corner, not the inner area's, there.
//
// Managers that do not answer the request before a window is mapped (kwin,
// mutter since it draws frames in a helper, fluxbox, which answers wrongly)
// are not asked, or not waited for: the window is centred by its inner area
// and handed over with centre gravity, by which the manager centres the
// frame it adds on the same point (ICCCM 4.1.2.3). Nothing but the window
// itself is ever shown or managed for this, and nothing moves the window
// afterwards, so one the user moves stays where it is put.
#pragma once

class QWidget;

namespace quorvex::desktop {

// How the manager is to place the window's frame when it first maps it.
enum class FrameCentring { AtPosition, ByGravity };

// Gives the window the position that centres its frame. Call once, before
// the window's native window is created (before it is first shown).
FrameCentring PlaceFrameCentred(QWidget& window);

// Shows the window for the first time, as PlaceFrameCentred decided.
void ShowPlaced(QWidget& window, FrameCentring centring);

}  // namespace quorvex::desktop
