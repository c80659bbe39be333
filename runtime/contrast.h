// How well one colour reads on another, as the pictures' ink is chosen by.
#pragma once

namespace quorvex::runtime {

// A colour by its red, green and blue channels, 0 to 255 each (sRGB).
struct Rgb {
    int red;
    int green;
    int blue;
};

// The WCAG contrast ratio of two colours: from 1 (the same luminance) to 21
// (black on white); 4.5 is what small text needs to be read.
double ContrastRatio(Rgb a, Rgb b);

}  // namespace quorvex::runtime
