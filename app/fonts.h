// The window's two fonts. The window is laid out in pixels at 96 dots per
// inch, so the fonts are sized in pixels too: the captions fit their controls
// whatever the screen's own resolution.
#pragma once

#include <QFont>

namespace quorvex::app {

// "Fixedsys" 9.75 pt: the option buttons, the two edit fields and Frame1.
// Where that font is missing, a monospaced font of the desktop stands in.
QFont FixedsysFont();

// "Lucida Handwriting" 12 pt: the button and two labels, none of which shows
// text once the window is up. A free script font stands in where it is missing.
QFont LucidaHandwritingFont();

}  // namespace quorvex::app
