#include "imaging/GradientGallery.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

// Stops spread evenly from 0 to 1, from colours written 0xrrggbb.
Gradient Even(std::initializer_list<unsigned> colors)
{
    std::vector<GradientStop> stops;
    const size_t n = colors.size();
    size_t i = 0;
    for (unsigned c : colors) {
        const double t = n > 1 ? double(i) / double(n - 1) : 0.0;
        stops.push_back({t, {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)}});
        ++i;
    }
    return Gradient(std::move(stops));
}

// Stops at the positions given.
Gradient At(std::initializer_list<std::pair<double, unsigned>> points)
{
    std::vector<GradientStop> stops;
    for (const auto& [t, c] : points)
        stops.push_back({t, {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)}});
    return Gradient(std::move(stops));
}

std::vector<GalleryGradient> MakeGallery()
{
    return {
        // Deep blue through white to gold and almost black, and back.
        {"Ultra", true,
         At({{0.0, 0x000764},
             {0.16, 0x206bcb},
             {0.42, 0xedffff},
             {0.6425, 0xffaa00},
             {0.8575, 0x000200},
             {1.0, 0x000764}})},
        {"Fire", true,
         Even({0x000000, 0x3c0000, 0x9b1400, 0xe65a00, 0xffb020, 0xfff0b0, 0xffb020, 0x9b1400, 0x000000})},
        {"Ice", true, Even({0x00081c, 0x0b3d6b, 0x3a8fc4, 0xb4e4f7, 0xffffff, 0x8ccbe8, 0x1c5f94, 0x00081c})},
        // The hue circle at full saturation and a gentle value.
        {"Spectrum", true,
         Even({0xff3030, 0xffa030, 0xf0f030, 0x50e050, 0x30d0d0, 0x3070ff, 0x9040ff, 0xff30c0, 0xff3030})},
        {"Grey", true, Even({0x000000, 0xffffff, 0x000000})},
        {"Seaside", true, Even({0x002a3a, 0x00667a, 0x2fa5a5, 0xe9e3c4, 0xf6d49a, 0x3c8c8c, 0x002a3a})},
        {"Sunset", true,
         Even({0x1a0a33, 0x5a1560, 0xb02a5c, 0xf0603a, 0xffb347, 0xffe08a, 0xf0603a, 0x5a1560, 0x1a0a33})},
        {"Copper", true, Even({0x120805, 0x6b3018, 0xc87a3c, 0xf6c89a, 0xc87a3c, 0x6b3018, 0x120805})},
        {"Electric", true, Even({0x000000, 0x0030ff, 0x00e0ff, 0xffffff, 0xff40ff, 0x6000a0, 0x000000})},
        {"Forest", true, Even({0x0b1a0b, 0x1f4d1f, 0x5c8a2e, 0xc8d27a, 0x8a6a3a, 0x3a2a12, 0x0b1a0b})},
        {"Lava", true, Even({0x000000, 0x4a0000, 0xff3000, 0xffd000, 0xff3000, 0x4a0000, 0x000000})},
        {"Candy", true, Even({0xff6fa8, 0xffd36f, 0x8cf0b0, 0x6fc3ff, 0xc08cff, 0xff6fa8})},
        {"Black to white", false, Even({0x000000, 0xffffff})},
        // The perceptually uniform maps, sampled at their published points.
        {"Viridis", false,
         Even({0x440154, 0x481a6c, 0x472f7d, 0x414487, 0x39568c, 0x31688e, 0x2a788e, 0x23888e, 0x1f988b, 0x22a884,
               0x35b779, 0x54c568, 0x7ad151, 0xa5db36, 0xd2e21b, 0xfde725})},
        {"Magma", false,
         Even({0x000004, 0x140e36, 0x3b0f70, 0x641a80, 0x8c2981, 0xb73779, 0xde4968, 0xf7705c, 0xfe9f6d, 0xfecf92,
               0xfcfdbf})},
        {"Inferno", false,
         Even({0x000004, 0x160b39, 0x420a68, 0x6a176e, 0x932667, 0xbc3754, 0xdd513a, 0xf37819, 0xfca50a, 0xf6d746,
               0xfcffa4})},
        {"Plasma", false,
         Even({0x0d0887, 0x41049d, 0x6a00a8, 0x8f0da4, 0xb12a90, 0xcc4778, 0xe16462, 0xf2844b, 0xfca636, 0xfcce25,
               0xf0f921})},
        {"Cividis", false,
         Even({0x00224e, 0x123570, 0x3b496c, 0x575d6d, 0x707173, 0x8a8779, 0xa69d75, 0xc4b56c, 0xe4cf5b, 0xf1dc4a,
               0xfee838})},
    };
}

bool SameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

std::span<const GalleryGradient> GradientGallery()
{
    static const std::vector<GalleryGradient> gallery = MakeGallery();
    return gallery;
}

const GalleryGradient* FindGalleryGradient(std::string_view name)
{
    for (const GalleryGradient& g : GradientGallery())
        if (SameName(g.name, name))
            return &g;
    return nullptr;
}
