#include "imaging/GradientFiles.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <vector>

namespace {

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The text's lines, without their ends.
std::vector<std::string_view> Lines(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

// The whitespace-separated words of a line.
std::vector<std::string_view> Words(std::string_view line)
{
    std::vector<std::string_view> words;
    line = Trim(line);
    while (!line.empty()) {
        size_t end = line.find_first_of(" \t\r");
        words.push_back(line.substr(0, end));
        line = end == std::string_view::npos ? std::string_view() : Trim(line.substr(end));
    }
    return words;
}

bool ReadNumber(std::string_view word, double& value)
{
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    return error == std::errc() && end == word.data() + word.size() && std::isfinite(value);
}

std::string Number(double value)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

GradientFileResult Fail(size_t line, const std::string& why)
{
    GradientFileResult r;
    r.why = line ? "line " + std::to_string(line) + ": " + why : why;
    return r;
}

struct Color {
    double c[3];
};

struct Segment {
    double left, middle, right;
    Color from, to;
    int blend, coloring;
};

enum { kLinear, kCurved, kSine, kSphereIncreasing, kSphereDecreasing, kStep };
enum { kRgb, kHsvCounterClockwise, kHsvClockwise };

double LinearFactor(double middle, double pos)
{
    constexpr double kTiny = 1e-10;
    if (pos <= middle)
        return middle < kTiny ? 0.0 : 0.5 * pos / middle;
    return 1 - middle < kTiny ? 1.0 : 0.5 + 0.5 * (pos - middle) / (1 - middle);
}

// How far from the left colour to the right one the segment is at `pos`
// (0 .. 1 across it), `middle` being where it is halfway.
double BlendFactor(int blend, double middle, double pos)
{
    switch (blend) {
    case kCurved: return std::pow(pos, std::log(0.5) / std::log(std::clamp(middle, 1e-10, 1 - 1e-10)));
    case kSine: return (std::sin(-std::numbers::pi / 2 + std::numbers::pi * LinearFactor(middle, pos)) + 1) / 2;
    case kSphereIncreasing: {
        const double f = LinearFactor(middle, pos) - 1;
        return std::sqrt(std::max(0.0, 1 - f * f));
    }
    case kSphereDecreasing: {
        const double f = LinearFactor(middle, pos);
        return 1 - std::sqrt(std::max(0.0, 1 - f * f));
    }
    case kStep: return pos >= middle ? 1.0 : 0.0;
    default: return LinearFactor(middle, pos);
    }
}

double Factor(int blend, double middle, double pos)
{
    const double f = BlendFactor(blend, middle, pos);
    return std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0.0;
}

// Hue, saturation and value, each 0 .. 1.
Color ToHsv(const Color& rgb)
{
    const double r = rgb.c[0], g = rgb.c[1], b = rgb.c[2];
    const double high = std::max({r, g, b}), low = std::min({r, g, b}), delta = high - low;
    double h = 0;
    if (delta > 0) {
        if (high == r)
            h = (g - b) / delta;
        else if (high == g)
            h = 2 + (b - r) / delta;
        else
            h = 4 + (r - g) / delta;
        h /= 6;
        if (h < 0)
            h += 1;
    }
    return {{h, high > 0 ? delta / high : 0, high}};
}

Color ToRgb(const Color& hsv)
{
    const double h = hsv.c[0] * 6, s = hsv.c[1], v = hsv.c[2];
    const int sector = int(std::floor(h)) % 6;
    const double f = h - std::floor(h);
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (sector) {
    case 0: return {{v, t, p}};
    case 1: return {{q, v, p}};
    case 2: return {{p, v, t}};
    case 3: return {{p, q, v}};
    case 4: return {{t, p, v}};
    default: return {{v, p, q}};
    }
}

// The segment's colour at `pos` (0 .. 1 across it), each channel 0 .. 1.
Color ColorAt(const Segment& s, double middle, double pos)
{
    const double f = Factor(s.blend, middle, pos);
    if (s.coloring == kRgb) {
        Color out;
        for (int k = 0; k < 3; ++k)
            out.c[k] = s.from.c[k] + (s.to.c[k] - s.from.c[k]) * f;
        return out;
    }
    const Color a = ToHsv(s.from), b = ToHsv(s.to);
    double h;
    if (s.coloring == kHsvCounterClockwise) {
        h = a.c[0] < b.c[0] ? a.c[0] + (b.c[0] - a.c[0]) * f : a.c[0] + (1 - (a.c[0] - b.c[0])) * f;
        if (h > 1)
            h -= 1;
    } else {
        h = b.c[0] < a.c[0] ? a.c[0] - (a.c[0] - b.c[0]) * f : a.c[0] - (1 - (b.c[0] - a.c[0])) * f;
        if (h < 0)
            h += 1;
    }
    return ToRgb({{h, a.c[1] + (b.c[1] - a.c[1]) * f, a.c[2] + (b.c[2] - a.c[2]) * f}});
}

uint8_t Level(double v) { return uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)); }
Rgb Levels(const Color& c) { return {Level(c.c[0]), Level(c.c[1]), Level(c.c[2])}; }

class StopSink {
public:
    explicit StopSink(std::vector<GradientStop>& stops) : m_stops(stops) {}
    // False once there are more than a gradient holds.
    bool Add(double position, Rgb color)
    {
        const GradientStop s{position, color};
        if (m_stops.empty() || !(m_stops.back() == s))
            m_stops.push_back(s);
        return m_stops.size() <= Gradient::kMaxStops;
    }

private:
    std::vector<GradientStop>& m_stops;
};

// Stops for the segment's function from `a` to `b` (positions across it)
// such that blending neighbouring stops stays within half a level of it:
// the blend's rounding then leaves every colour within one level. The
// first stop, at `a`, is the caller's.
bool Fit(const Segment& s, double middle, double a, double b, int depth, StopSink& sink)
{
    const Rgb qa = Levels(ColorAt(s, middle, a)), qb = Levels(ColorAt(s, middle, b));
    bool close = depth >= 40;
    if (!close) {
        close = true;
        constexpr int kChecks = 16;
        for (int k = 1; k < kChecks && close; ++k) {
            const double f = double(k) / kChecks;
            const Color exact = ColorAt(s, middle, a + (b - a) * f);
            const uint8_t from[3] = {qa.red, qa.green, qa.blue}, to[3] = {qb.red, qb.green, qb.blue};
            for (int c = 0; c < 3; ++c) {
                const double blended = from[c] + (double(to[c]) - from[c]) * f;
                if (std::abs(blended - std::clamp(exact.c[c], 0.0, 1.0) * 255) > 0.5)
                    close = false;
            }
        }
    }
    const double width = s.right - s.left;
    if (close)
        return sink.Add(b >= 1 ? s.right : b == middle ? s.middle : s.left + width * b, qb);
    const double half = a + (b - a) / 2;
    return Fit(s, middle, a, half, depth + 1, sink) && Fit(s, middle, half, b, depth + 1, sink);
}

bool Sample(const Segment& s, StopSink& sink)
{
    const double width = s.right - s.left;
    if (!sink.Add(s.left, Levels(s.from)))
        return false;
    if (!(width > 0))
        return sink.Add(s.right, Levels(s.to));
    const double middle = (s.middle - s.left) / width;
    if (s.blend == kStep)
        return sink.Add(s.middle, Levels(s.from)) && sink.Add(s.middle, Levels(s.to)) &&
               sink.Add(s.right, Levels(s.to));
    if (s.blend == kLinear && s.coloring == kRgb) {
        // A straight line either side of the middle: the stop there is
        // needed only when it is off centre.
        if (s.middle != s.left + width / 2 && !sink.Add(s.middle, Levels(ColorAt(s, middle, middle))))
            return false;
        return sink.Add(s.right, Levels(s.to));
    }
    // Every blend bends at its middle.
    if (middle > 0 && middle < 1 && !(Fit(s, middle, 0, middle, 0, sink)))
        return false;
    return Fit(s, middle, middle > 0 && middle < 1 ? middle : 0, 1, 0, sink);
}

// A stop at an end that shows what its neighbour shows anyway: the file
// covers 0 .. 1 where the stops may not, and what is read is written and
// read again to the same stops.
void DropIdleEnds(std::vector<GradientStop>& stops)
{
    // One colour throughout is one stop.
    if (std::all_of(stops.begin(), stops.end(), [&](const GradientStop& s) { return s.color == stops[0].color; })) {
        stops = {{0.0, stops[0].color}};
        return;
    }
    if (stops.size() > 1 && stops[0].position == 0 && stops[0].color == stops[1].color)
        stops.erase(stops.begin());
    const size_t n = stops.size();
    if (n > 1 && stops[n - 1].position == 1 && stops[n - 1].color == stops[n - 2].color)
        stops.pop_back();
}

} // namespace

GradientFileResult ReadGgr(std::string_view text)
{
    const std::vector<std::string_view> lines = Lines(text);
    if (lines.empty() || Trim(lines[0]) != "GIMP Gradient")
        return Fail(1, "a GIMP gradient starts with \"GIMP Gradient\"");
    GradientFileResult result;
    size_t at = 1;
    if (at < lines.size() && Trim(lines[at]).starts_with("Name:")) {
        result.name = std::string(Trim(Trim(lines[at]).substr(5)));
        ++at;
    }
    if (at >= lines.size())
        return Fail(at + 1, "the file ends before its number of segments");
    double count = 0;
    const std::vector<std::string_view> countWords = Words(lines[at]);
    if (countWords.size() != 1 || !ReadNumber(countWords[0], count) || count != std::floor(count) || count < 1 ||
        count > kMaxGgrSegments)
        return Fail(at + 1, "the number of segments is a whole number from 1 to " + std::to_string(kMaxGgrSegments) +
                                ", not \"" + std::string(Trim(lines[at])) + "\"");
    ++at;
    std::vector<GradientStop> stops;
    StopSink sink(stops);
    double previousRight = 0;
    for (int k = 0; k < int(count); ++k, ++at) {
        if (at >= lines.size())
            return Fail(at + 1,
                        "the file ends after " + std::to_string(k) + " of " + std::to_string(int(count)) + " segments");
        const std::vector<std::string_view> words = Words(lines[at]);
        if (words.size() < 13 || words.size() > 15)
            return Fail(at + 1, "a segment is 13 to 15 numbers, not " + std::to_string(words.size()));
        double v[15] = {};
        for (size_t i = 0; i < words.size(); ++i)
            if (!ReadNumber(words[i], v[i]))
                return Fail(at + 1, "\"" + std::string(words[i]) + "\" is not a number");
        for (size_t i = 11; i < words.size(); ++i)
            if (v[i] != std::floor(v[i]))
                return Fail(at + 1, "\"" + std::string(words[i]) + "\" is not a whole number");
        if (v[11] < 0 || v[11] > double(kStep))
            return Fail(at + 1, "the blending type is 0 to 5, not " + std::string(words[11]));
        if (v[12] < 0 || v[12] > double(kHsvClockwise))
            return Fail(at + 1, "the colouring type is 0 to 2, not " + std::string(words[12]));
        for (size_t i = 13; i < words.size(); ++i)
            if (v[i] < 0 || v[i] > 4)
                return Fail(at + 1, "an endpoint's colour type is 0 to 4, not " + std::string(words[i]));
        // The types are known small whole numbers by now.
        for (int i = 3; i <= 10; ++i)
            v[i] = std::clamp(v[i], 0.0, 1.0);
        Segment s{v[0], v[1], v[2], {{v[3], v[4], v[5]}}, {{v[7], v[8], v[9]}}, int(v[11]), int(v[12])};
        if (!(0 <= s.left && s.left <= s.middle && s.middle <= s.right && s.right <= 1))
            return Fail(at + 1, "a segment's left, middle and right lie in order from 0 to 1");
        if (s.left < previousRight - 1e-6)
            return Fail(at + 1, "the segment starts before the previous one ends");
        // Where the previous one ends, when it is written a little later.
        s.left = std::max(s.left, previousRight);
        s.middle = std::max(s.middle, s.left);
        s.right = std::max(s.right, s.middle);
        previousRight = s.right;
        if (!Sample(s, sink))
            return Fail(at + 1, "the gradient needs more than " + std::to_string(Gradient::kMaxStops) + " stops");
    }
    DropIdleEnds(stops);
    result.ok = true;
    result.gradient = Gradient(std::move(stops));
    return result;
}

std::string WriteGgr(const Gradient& gradient, std::string_view name)
{
    std::vector<GradientStop> stops = gradient.Stops();
    // The file's segments cover 0 .. 1.
    if (stops.front().position > 0)
        stops.insert(stops.begin(), {0.0, stops.front().color});
    if (stops.back().position < 1 || stops.size() == 1)
        stops.push_back({1.0, stops.back().color});
    std::string oneLine(name);
    std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
    std::replace(oneLine.begin(), oneLine.end(), '\r', ' ');
    std::string text = "GIMP Gradient\nName: " + oneLine + "\n" + std::to_string(stops.size() - 1) + "\n";
    auto channel = [](uint8_t c) { return Number(c / 255.0); };
    for (size_t i = 0; i + 1 < stops.size(); ++i) {
        const GradientStop &a = stops[i], &b = stops[i + 1];
        const double middle = a.position + (b.position - a.position) / 2;
        text += Number(a.position) + ' ' + Number(middle) + ' ' + Number(b.position);
        for (const Rgb& c : {a.color, b.color})
            text += ' ' + channel(c.red) + ' ' + channel(c.green) + ' ' + channel(c.blue) + " 1";
        text += " 0 0 0 0\n";
    }
    return text;
}

GradientFileResult ReadMap(std::string_view text)
{
    const std::vector<std::string_view> lines = Lines(text);
    std::vector<Rgb> colors;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::vector<std::string_view> words = Words(lines[i]);
        if (words.empty())
            continue;
        if (colors.size() == 256)
            return Fail(i + 1, "a palette holds at most 256 colours");
        uint8_t rgb[3];
        bool sound = words.size() >= 3;
        for (int k = 0; k < 3 && sound; ++k) {
            unsigned value = 0;
            const std::string_view w = words[size_t(k)];
            // The third number may run into its comment.
            const auto [end, error] = std::from_chars(w.data(), w.data() + w.size(), value);
            sound = error == std::errc() && value <= 255 && (k == 2 || end == w.data() + w.size()) && end != w.data();
            rgb[k] = uint8_t(value);
        }
        if (!sound)
            return Fail(i + 1, "a colour is three numbers from 0 to 255, not \"" + std::string(Trim(lines[i])) + "\"");
        colors.push_back({rgb[0], rgb[1], rgb[2]});
    }
    if (colors.empty())
        return Fail(0, "the palette holds no colours");
    std::vector<GradientStop> stops;
    for (size_t i = 0; i < colors.size(); ++i)
        stops.push_back({colors.size() > 1 ? double(i) / double(colors.size() - 1) : 0.0, colors[i]});
    GradientFileResult result;
    result.ok = true;
    result.gradient = Gradient(std::move(stops));
    return result;
}

std::string WriteMap(const Gradient& gradient)
{
    std::string text;
    for (int i = 0; i < 256; ++i) {
        const Rgb c = gradient.At(double(i) / 255.0);
        text += std::to_string(c.red) + ' ' + std::to_string(c.green) + ' ' + std::to_string(c.blue) + '\n';
    }
    return text;
}

GradientFileResult ReadGradientFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Fail(0, "Cannot read \"" + path + "\": " + std::strerror(errno) + ".");
    std::string text(kMaxGradientFileBytes + 1, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    if (in.bad())
        return Fail(0, "Cannot read \"" + path + "\".");
    if (text.size() > kMaxGradientFileBytes)
        return Fail(0, "\"" + path + "\" is larger than a gradient file can be (1 MB).");
    std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const bool ggr = ext == ".ggr" || (ext != ".map" && text.starts_with("GIMP Gradient"));
    GradientFileResult r = ggr ? ReadGgr(text) : ReadMap(text);
    if (!r.ok)
        r.why = "\"" + path + "\", " + r.why;
    return r;
}
