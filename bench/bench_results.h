// What one benchmark hands on to another and to the closing summary.
#pragma once

namespace quorvex::bench {

inline constexpr int kLongestPassword = 32766;

// Random draws per 32766-character password, as measured by the draw-and-map
// benchmark; zero until it has run.
extern double g_measured_draws_per_password;

// Draws a 32766-character password needs on average: every draw from 0 to 99
// is equally likely and the widest table keeps 94 of the 100 values.
inline constexpr double kExpectedDrawsPerPassword = kLongestPassword * 100.0 / 94.0;

// Bytes of random source one draw uses.
inline constexpr int kBytesPerDraw = 8;

}  // namespace quorvex::bench
