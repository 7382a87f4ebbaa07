#pragma once
// The gradients the program comes with, by name: classic ones for escape
// counts (most of them cyclic, first and last stops alike, since the
// colourings repeat a gradient) and perceptually uniform ones, whose
// lightness rises steadily from end to end.

#include <span>
#include <string_view>

#include "imaging/Gradient.h"

struct GalleryGradient {
    const char* name;
    // Ends in the colour it starts with, so repeating it shows no seam.
    bool cyclic;
    Gradient gradient;
};

// In the order a menu lists them.
std::span<const GalleryGradient> GradientGallery();
// The gallery's gradient named `name` (letter case ignored), or none.
const GalleryGradient* FindGalleryGradient(std::string_view name);
