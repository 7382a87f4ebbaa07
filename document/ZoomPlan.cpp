#include "document/ZoomPlan.h"

#include "model/Fractal.h"
#include "model/FractalKinds.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

constexpr const char* kPlanHead = "Quillion zoom plan 1";

double Min(unsigned a, unsigned b) { return double(std::min(a, b)); }

std::string HalfText(double half)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", half);
    return text;
}

bool ReadDouble(const std::string& text, double& out)
{
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && at == end && std::isfinite(out);
}

bool ReadUnsigned(const std::string& text, unsigned& out)
{
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && at == end;
}

bool ReadCoordinate(const std::string& text, WholeCoordinate& out)
{
    if (!ReadDouble(text, out.value))
        return false;
    out.digits = WholeDigits(text, out.value);
    return true;
}

} // namespace

bool ZoomPlan::Make(const ZoomSettings& s, ZoomPlan& plan, std::string& error)
{
    const double h0 = s.start.half, hN = s.end.half;
    if (s.frames < (s.exact ? 1u : 2u) || s.frames > kMaxZoomFrames)
        return (error = "a zoom video needs 2 to " + std::to_string(kMaxZoomFrames) + " frames"), false;
    if (s.fps < 1 || s.fps > 1000)
        return (error = "the frame rate must be 1 to 1000 frames a second"), false;
    if (s.width == 0 || s.height == 0 || s.width > 16384 || s.height > 16384)
        return (error = "a zoom video's frames must be 1x1 to 16384x16384"), false;
    if (s.start.belowDoubles || s.end.belowDoubles || (h0 > 0 && h0 < DBL_MIN) || (hN > 0 && hN < DBL_MIN))
        return (error = "a zoom video's views need a radius of at least 2.2e-308, a double's smallest"), false;
    if (!(h0 > 0) || !(hN > 0) || !std::isfinite(h0) || !std::isfinite(hN))
        return (error = "the start and end views need a half size above 0"), false;
    if (s.aa.samples < 1 || s.aa.samples > kMaxSamples)
        return (error = "1 to 8 samples a side"), false;
    plan = ZoomPlan();
    plan.m_s = s;
    plan.m_dx = CoordinateDifference(s.start.x.value, s.start.x.digits, s.end.x.value, s.end.x.digits);
    plan.m_dy = CoordinateDifference(s.start.y.value, s.start.y.digits, s.end.y.value, s.end.y.digits);
    if (!std::isfinite(plan.m_dx) || !std::isfinite(plan.m_dy))
        return (error = "the start and end views lie too far apart"), false;
    if (s.exact)
        return true;
    const double big = std::max(h0, hN), small = std::min(h0, hN);
    const double doublings = std::log2(big / small);
    if (!(doublings > 1e-9))
        return (error = "a zoom that keeps its size has no keyframes: only the exact mode can make it"), false;
    plan.m_keys = unsigned(std::max(1.0, std::ceil(doublings - 1e-9)));
    const double q = std::pow(small / big, 1.0 / plan.m_keys);
    // A frame between keyframes j and j + 1 must lie inside j: its offset
    // from j's centre grows with the centre's pace across the views.
    const double span = big - small, m = Min(s.width, s.height);
    const double pace =
        std::max(std::fabs(plan.m_dx) / (span * s.width / m), std::fabs(plan.m_dy) / (span * s.height / m));
    plan.m_margin = std::max(1.0, pace * (1 - q) + q);
    if (plan.m_margin > kMaxKeyframeMargin)
        return (error =
                    "the end view lies too far outside the start view for keyframes: only the exact mode can make it"),
               false;
    const double kw = std::ceil(plan.m_margin * kKeyframeScale * s.width);
    const double kh = std::ceil(plan.m_margin * kKeyframeScale * s.height);
    if (kw > 65536 || kh > 65536)
        return (error = "the keyframes of frames this large would be over 65536 pixels a side: only the exact mode can "
                        "make it"),
               false;
    plan.m_keyWidth = unsigned(kw);
    plan.m_keyHeight = unsigned(kh);
    return true;
}

double ZoomPlan::FrameHalf(unsigned k) const
{
    const double h0 = m_s.start.half, hN = m_s.end.half;
    if (k == 0)
        return h0;
    if (k + 1 >= m_s.frames)
        return hN;
    return h0 * std::exp(std::log(hN / h0) * k / (m_s.frames - 1));
}

double ZoomPlan::KeyHalf(unsigned j) const
{
    const double h0 = m_s.start.half, hN = m_s.end.half;
    const double big = std::max(h0, hN), small = std::min(h0, hN);
    if (j == 0)
        return big;
    if (j >= m_keys)
        return small;
    return big * std::exp(std::log(small / big) * j / m_keys);
}

ZoomPlace ZoomPlan::PlaceAt(double half, double pixelSize) const
{
    const double h0 = m_s.start.half, hN = m_s.end.half;
    if (half == hN)
        return m_s.end;
    if (half == h0)
        return m_s.start;
    // From the smaller view, whose digits count: the offset, a double, is
    // then scaled down with the size, and so is its rounding.
    const bool in = hN < h0;
    const ZoomPlace& anchor = in ? m_s.end : m_s.start;
    const double f = in ? (half - hN) / (h0 - hN) : (half - h0) / (hN - h0);
    const double dx = in ? m_dx : -m_dx, dy = in ? m_dy : -m_dy;
    ZoomPlace p;
    p.half = half;
    if (m_s.deepViews) {
        p.x = MoveCoordinate(anchor.x.value, anchor.x.digits, {{f, dx}}, pixelSize);
        p.y = MoveCoordinate(anchor.y.value, anchor.y.digits, {{f, dy}}, pixelSize);
    } else {
        p.x.value = anchor.x.value + f * dx;
        p.y.value = anchor.y.value + f * dy;
    }
    return p;
}

ZoomPlace ZoomPlan::FramePlace(unsigned k) const
{
    const double h = FrameHalf(k);
    if (m_s.start.half != m_s.end.half)
        return PlaceAt(h, 2 * h / Min(m_s.width, m_s.height));
    // A pan at one size moves the centre evenly.
    if (k + 1 >= m_s.frames)
        return m_s.end;
    const double f = double(m_s.frames - 1 - k) / (m_s.frames - 1), pixel = 2 * h / Min(m_s.width, m_s.height);
    ZoomPlace p;
    p.half = h;
    p.x = MoveCoordinate(m_s.end.x.value, m_s.end.x.digits, {{f, m_dx}}, pixel);
    p.y = MoveCoordinate(m_s.end.y.value, m_s.end.y.digits, {{f, m_dy}}, pixel);
    if (!m_s.deepViews)
        p.x.digits.clear(), p.y.digits.clear();
    return p;
}

ZoomPlace ZoomPlan::KeyframePlace(unsigned j) const
{
    const double h = KeyHalf(j);
    const double pixel = 2 * h / Min(m_s.width, m_s.height) / kKeyframeScale;
    ZoomPlace p = PlaceAt(h, pixel);
    p.half = pixel * Min(m_keyWidth, m_keyHeight) / 2;
    return p;
}

void ZoomPlan::Between(unsigned k, unsigned& j, double& weight) const
{
    const double h0 = m_s.start.half, hN = m_s.end.half;
    const double big = std::max(h0, hN), small = std::min(h0, hN);
    const double t = std::log(big / FrameHalf(k)) / std::log(big / small) * m_keys;
    const double whole = std::clamp(std::floor(t), 0.0, double(m_keys - 1));
    j = unsigned(whole);
    weight = std::clamp(t - whole, 0.0, 1.0);
}

std::string ZoomPlan::Text() const
{
    std::ostringstream out;
    out << kPlanHead << "\n";
    out << "mode=" << (m_s.exact ? "exact" : "keyframes") << "\n";
    out << "frames=" << m_s.frames << "\nfps=" << m_s.fps << "\n";
    out << "size=" << m_s.width << "x" << m_s.height << "\n";
    out << "supersample=" << m_s.aa.samples << "\nadaptive=" << (m_s.aa.adaptive ? 1 : 0) << "\n";
    out << "deep=" << (m_s.deepViews ? 1 : 0) << "\n";
    const std::pair<const char*, const ZoomPlace*> places[] = {{"start", &m_s.start}, {"end", &m_s.end}};
    for (const auto& [name, p] : places) {
        out << name << " x=" << CoordinateText(p->x.value, p->x.digits) << "\n";
        out << name << " y=" << CoordinateText(p->y.value, p->y.digits) << "\n";
        out << name << " radius=" << HalfText(p->half) << "\n";
    }
    return out.str();
}

bool ZoomPlan::Read(const std::string& text, ZoomPlan& plan, std::string& error)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kPlanHead)
        return (error = "it is not a zoom plan"), false;
    std::map<std::string, std::string> keys;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos || !keys.emplace(line.substr(0, eq), line.substr(eq + 1)).second)
            return (error = "its line \"" + line + "\" is not one of a plan"), false;
    }
    ZoomSettings s;
    unsigned adaptive = 0, deep = 0, samples = 0;
    const std::string size = keys["size"];
    const size_t x = size.find('x');
    const std::string mode = keys["mode"];
    const bool ok =
        (mode == "exact" || mode == "keyframes") && ReadUnsigned(keys["frames"], s.frames) &&
        ReadUnsigned(keys["fps"], s.fps) && x != std::string::npos && ReadUnsigned(size.substr(0, x), s.width) &&
        ReadUnsigned(size.substr(x + 1), s.height) && ReadUnsigned(keys["supersample"], samples) &&
        ReadUnsigned(keys["adaptive"], adaptive) && ReadUnsigned(keys["deep"], deep) && adaptive < 2 && deep < 2 &&
        samples <= 8 && ReadCoordinate(keys["start x"], s.start.x) && ReadCoordinate(keys["start y"], s.start.y) &&
        ReadDouble(keys["start radius"], s.start.half) && ReadCoordinate(keys["end x"], s.end.x) &&
        ReadCoordinate(keys["end y"], s.end.y) && ReadDouble(keys["end radius"], s.end.half) && keys.size() == 13;
    if (!ok)
        return (error = "its lines are not those of a plan"), false;
    s.exact = mode == "exact";
    s.aa.samples = int(samples);
    s.aa.adaptive = adaptive != 0;
    s.deepViews = deep != 0;
    return Make(s, plan, error);
}

bool CheckFramePattern(const std::string& pattern, std::string& error)
{
    const size_t slash = pattern.rfind('/');
    const std::string name = pattern.substr(slash == std::string::npos ? 0 : slash + 1);
    const size_t at = name.find('%');
    size_t i = at + 1;
    if (at != std::string::npos && i < name.size() && name[i] == '0')
        ++i;
    const size_t digits = i;
    while (i < name.size() && i < digits + 1 && name[i] >= '1' && name[i] <= '9')
        ++i;
    const bool one = at != std::string::npos && i < name.size() && name[i] == 'd' &&
                     name.find('%', i) == std::string::npos && pattern.find('%') == pattern.size() - name.size() + at;
    if (!one)
        error = "--output \"" + pattern + "\" must name its frames with one %d, %5d or %05d in the file name";
    return one;
}

std::string FormatFramePattern(const std::string& pattern, unsigned i)
{
    const size_t at = pattern.rfind('%');
    size_t end = at + 1;
    const bool zeros = pattern[end] == '0';
    if (zeros)
        ++end;
    unsigned width = 0;
    if (pattern[end] != 'd')
        width = unsigned(pattern[end++] - '0');
    std::string number = std::to_string(i);
    if (number.size() < width)
        number.insert(0, width - number.size(), zeros ? '0' : ' ');
    return pattern.substr(0, at) + number + pattern.substr(end + 1);
}

ZoomPlace ZoomPlaceOf(const CFractal& f)
{
    const bool deep = AbilitiesOf(f).deepViews;
    ZoomPlace p;
    p.x = {f.m_centerX, deep ? f.m_centerXDigits : std::string()};
    p.y = {f.m_centerY, deep ? f.m_centerYDigits : std::string()};
    p.half = f.m_halfSize;
    p.belowDoubles = SizeDigitsHold(f.m_halfSizeDigits, f.m_halfSize);
    return p;
}

ZoomPlace ZoomOverviewOf(const CFractal& f)
{
    const CFractal::Place home = f.Overview();
    ZoomPlace p;
    p.x.value = home.x;
    p.y.value = home.y;
    p.half = home.half;
    return p;
}
