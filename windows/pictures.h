// The handwritten pictures ("Generate", "Password length:", "Password:") as
// the screen needs them: the render made for the monitor's scale where there
// is one (name@1.5x.png and so on), else the next larger one scaled down;
// and ink that stays readable on the colour scheme's background.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace quorvex::windows {

// A picture compiled into the program, by its resource name ("generate").
class Picture {
  public:
    // Raises Device unavailable when the name is unknown or the picture
    // cannot be decoded.
    explicit Picture(std::string_view name);
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // Draws the picture centred in `area` (device pixels) at `scale` device
    // pixels a logical one, on a background of `background`; the ink takes
    // `text` where black would read at less than 4.5:1 on the background.
    void Draw(HDC dc, const RECT& area, double scale, COLORREF background, COLORREF text) const;

  private:
    struct Render;
    Render& RenderFor(double scale) const;

    // One per ratio, the smallest ratio first; decoded as screens need them.
    mutable std::vector<Render> renders_;
    SIZE size_{};
};

}  // namespace quorvex::windows
