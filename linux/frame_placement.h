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
// to put the frame's corner, not the inner area's, there. Nothing moves the
// window afterwards, so one the user moves stays where it is put.
#pragma once

class QWidget;

namespace quorvex::desktop {

// Gives the window the position that centres its frame. Call once, before
// the window's native window is created (before it is first shown).
void PlaceFrameCentred(QWidget& window);

}  // namespace quorvex::desktop
