// The window's fonts. The window is laid out in pixels at 96 dots per inch,
// so the fonts are sized in pixels too: the captions fit their controls
// whatever the screen's own resolution.
#pragma once

#include "runtime/window_system.h"

#include <QFont>

namespace quorvex::desktop {

// A font of the window definition. Where its face is missing, a free one of
// the same kind stands in: a monospaced font for "Fixedsys", a script for
// "Lucida Handwriting".
QFont FontOf(const runtime::FontDefinition& definition);

}  // namespace quorvex::desktop
