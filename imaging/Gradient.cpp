#include "imaging/Gradient.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

std::vector<GradientStop> BlackToWhite() { return {{0.0, {0, 0, 0}}, {1.0, {255, 255, 255}}}; }

// The two stops t lies between and how far along it is; one stop twice
// outside the stops' span.
struct Span {
    const GradientStop* a;
    const GradientStop* b;
    double f;
};

Span SpanAt(const std::vector<GradientStop>& stops, double t)
{
    // A hard edge at the first stop shows its later colour there too.
    if (!(t >= stops.front().position))
        return {&stops.front(), &stops.front(), 0};
    if (!(t < stops.back().position))
        return {&stops.back(), &stops.back(), 0};
    // The last stop at or before t, so a hard edge shows its later colour.
    auto after =
        std::upper_bound(stops.begin(), stops.end(), t, [](double v, const GradientStop& s) { return v < s.position; });
    const GradientStop& b = *after;
    const GradientStop& a = *(after - 1);
    const double width = b.position - a.position;
    return {&a, &b, width > 0 ? (t - a.position) / width : 0};
}

double Blend(uint8_t a, uint8_t b, double f) { return double(a) + (double(b) - double(a)) * f; }

bool ParseHexColor(std::string_view text, Rgb& color)
{
    if (text.size() != 7 || text[0] != '#')
        return false;
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data() + 1, text.data() + 7, value, 16);
    if (error != std::errc() || end != text.data() + 7)
        return false;
    color = {uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    return true;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

Gradient::Gradient() : m_stops(BlackToWhite()) {}

Gradient::Gradient(std::vector<GradientStop> stops)
{
    bool sound = !stops.empty() && stops.size() <= kMaxStops;
    for (GradientStop& s : stops) {
        if (!std::isfinite(s.position))
            sound = false;
        else
            s.position = std::clamp(s.position, 0.0, 1.0);
    }
    if (!sound) {
        m_stops = BlackToWhite();
        return;
    }
    std::stable_sort(stops.begin(), stops.end(),
                     [](const GradientStop& a, const GradientStop& b) { return a.position < b.position; });
    m_stops = std::move(stops);
}

Rgb Gradient::At(double t) const
{
    const Span s = SpanAt(m_stops, t);
    auto level = [&](uint8_t a, uint8_t b) { return uint8_t(std::lround(Blend(a, b, s.f))); };
    return {level(s.a->color.red, s.b->color.red), level(s.a->color.green, s.b->color.green),
            level(s.a->color.blue, s.b->color.blue)};
}

void Gradient::At16(double t, uint16_t out[3]) const
{
    const Span s = SpanAt(m_stops, t);
    // 257 takes 255 to 65535 exactly.
    auto level = [&](uint8_t a, uint8_t b) { return uint16_t(std::lround(Blend(a, b, s.f) * 257.0)); };
    out[0] = level(s.a->color.red, s.b->color.red);
    out[1] = level(s.a->color.green, s.b->color.green);
    out[2] = level(s.a->color.blue, s.b->color.blue);
}

std::string Gradient::Text() const
{
    std::string text;
    for (const GradientStop& s : m_stops) {
        if (!text.empty())
            text += ';';
        char number[32];
        *std::to_chars(number, number + sizeof number - 1, s.position).ptr = 0;
        char color[8];
        static const char kHex[] = "0123456789abcdef";
        const uint8_t channels[3] = {s.color.red, s.color.green, s.color.blue};
        color[0] = '#';
        for (int i = 0; i < 3; ++i) {
            color[1 + 2 * i] = kHex[channels[i] >> 4];
            color[2 + 2 * i] = kHex[channels[i] & 15];
        }
        color[7] = 0;
        text += number;
        text += ' ';
        text += color;
    }
    return text;
}

bool Gradient::SetText(std::string_view text, std::string* why)
{
    auto fail = [&](std::string reason) {
        if (why)
            *why = std::move(reason);
        return false;
    };
    std::vector<GradientStop> stops;
    while (!Trim(text).empty()) {
        const size_t semicolon = text.find(';');
        const std::string_view item = Trim(text.substr(0, semicolon));
        text = semicolon == std::string_view::npos ? std::string_view() : text.substr(semicolon + 1);
        const size_t space = item.find(' ');
        if (space == std::string_view::npos)
            return fail("a stop needs a position and a colour: \"" + std::string(item) + "\"");
        GradientStop stop;
        const std::string_view position = item.substr(0, space);
        const auto [end, error] = std::from_chars(position.data(), position.data() + position.size(), stop.position);
        if (error != std::errc() || end != position.data() + position.size() || !std::isfinite(stop.position) ||
            stop.position < 0 || stop.position > 1)
            return fail("a stop's position is a number from 0 to 1, not \"" + std::string(position) + "\"");
        const std::string_view color = Trim(item.substr(space + 1));
        if (!ParseHexColor(color, stop.color))
            return fail("a stop's colour is written #rrggbb, not \"" + std::string(color) + "\"");
        if (stops.size() == kMaxStops)
            return fail("a gradient holds at most " + std::to_string(kMaxStops) + " stops");
        stops.push_back(stop);
    }
    if (stops.empty())
        return fail("a gradient needs at least one stop");
    *this = Gradient(std::move(stops));
    return true;
}
