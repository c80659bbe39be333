// Key codes and modifier bits as the program's key handlers receive them.
#pragma once

#include "runtime/window_system.h"

#include <Qt>
#include <QtGlobal>

class QKeyEvent;

namespace quorvex::desktop {

// The Qt key a key press stands for in shortcuts. Under a Latin layout it is
// the key's own letter (the key that types "c" is C on Dvorak too). Qt already
// gives the letter of the user's Latin layout for a Ctrl shortcut pressed
// under a non-Latin one when the desktop has both layouts; with a non-Latin
// layout alone (Russian, Greek, Hebrew, ...) the key still says "с", and the
// letter becomes the one the physical key has on a US keyboard. xkb_keycode
// is the key's X11/Wayland keycode, 0 when unknown.
int ShortcutKey(int qt_key, quint32 xkb_keycode);

// The same for a key event of this desktop.
int ShortcutKey(const QKeyEvent& event);

// The code of a key: letters are their capital's code whatever the case,
// digits their character's code. No handler of the program looks at any other
// key, so the rest come as 0.
runtime::Integer KeyCodeOf(int qt_key);

// The modifiers held, as bits: 1 Shift, 2 Ctrl, 4 Alt.
runtime::Integer ShiftOf(Qt::KeyboardModifiers modifiers);

}  // namespace quorvex::desktop
