#include "model/deep/Coordinate.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

bool DigitsHold(std::string_view digits, double value)
{
    if (digits.empty())
        return false;
    double v = 0;
    const char* end = digits.data() + digits.size();
    const auto res = std::from_chars(digits.data(), end, v, std::chars_format::general);
    return res.ec == std::errc() && res.ptr == end && std::memcmp(&v, &value, sizeof v) == 0;
}

std::string CoordinateText(double value, const std::string& digits)
{
    if (DigitsHold(digits, value))
        return digits;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

bool NeedsDeepView(double centreX, double centreY, double pixelSize)
{
    const double size = std::max({std::fabs(centreX), std::fabs(centreY), 1.0});
    // A zero or negative size (a radius typed so) keeps the double build,
    // which draws such views as it always has.
    return pixelSize > 0 && pixelSize < 0x1p-45 * size;
}
