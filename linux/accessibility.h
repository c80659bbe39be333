// What a screen reader finds in the window: names, descriptions and label
// links on the controls, and an accessible tree that groups the option
// buttons and leaves out what is never on screen. The widget tree itself is
// untouched; only the view through assistive technology is arranged.
#pragma once

namespace quorvex::desktop {

class QtWindow;

// Gives the controls of a fully built window their accessible names,
// descriptions and label links, and has assistive technology see the window
// through the arranged tree from now on.
void SetUpAccessibility(QtWindow& form);

}  // namespace quorvex::desktop
