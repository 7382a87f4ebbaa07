#pragma once
// Gradients in the two file forms painting and fractal programs share: the
// GIMP gradient (".ggr": segments with blend and colouring functions) and
// the plain palette (".map": one "R G B" line per colour, 256 lines).
// Reading samples every segment into stops close enough that the gradient
// lies within one level of the segment's own function everywhere; writing
// gives files that read back to the same stops.

#include <string>
#include <string_view>

#include "imaging/Gradient.h"

// The largest file either reader takes, and the most segments a ".ggr".
inline constexpr size_t kMaxGradientFileBytes = 1 << 20;
inline constexpr int kMaxGgrSegments = 4096;

struct GradientFileResult {
    bool ok = false;
    Gradient gradient;
    std::string name; // a ".ggr"'s "Name:", empty for a ".map"
    std::string why;  // when not ok: what is wrong, with its line number
};

GradientFileResult ReadGgr(std::string_view text);
// Linear RGB segments, one between each two neighbouring stops.
std::string WriteGgr(const Gradient& gradient, std::string_view name);

GradientFileResult ReadMap(std::string_view text);
// 256 lines sampled evenly over 0 .. 1.
std::string WriteMap(const Gradient& gradient);

// Reads a file by its extension (".map", else as a ".ggr" when it starts
// so, else as a ".map"); files larger than the limit are refused unread.
GradientFileResult ReadGradientFile(const std::string& path);
