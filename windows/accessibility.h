// What screen readers are told of the window's controls beyond what Windows
// tells of them itself: the names and descriptions of the definition, for
// controls whose text says nothing (a group box without caption, a picture
// button, the pictures), given through Active Accessibility's dynamic
// annotation. Where the system offers no annotation, the controls keep what
// Windows tells of them.
#pragma once

#include "runtime/window_system.h"

#include <windows.h>

#include <functional>
#include <vector>

struct IAccPropServices;

namespace quorvex::windows {

class Accessibility {
  public:
    Accessibility() = default;
    ~Accessibility();
    Accessibility(const Accessibility&) = delete;
    Accessibility& operator=(const Accessibility&) = delete;

    // Annotates the controls of the definition; `control` gives the window
    // of a control by its index in the definition.
    void Describe(const runtime::FormDefinition& definition,
                  const std::function<HWND(std::size_t)>& control);
    // Takes the annotations back, before the controls go.
    void Clear();

  private:
    IAccPropServices* services_ = nullptr;
    std::vector<HWND> annotated_;
};

}  // namespace quorvex::windows
