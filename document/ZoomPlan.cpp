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
#include <numbers>
#include <sstream>

namespace {

constexpr const char* kPlanHead = "Quillion zoom plan 1";

FloatExp Min(unsigned a, unsigned b) { return FloatExp(double(std::min(a, b))); }

bool Same(FloatExp a, FloatExp b) { return a.m == b.m && a.e == b.e; }

// ln a for a positive size of any exponent.
double Log(FloatExp a) { return std::log(a.m) + double(a.e) * std::numbers::ln2; }

// e^x past a double's range: 2^(x / ln 2) split into its whole and its part.
FloatExp Exp(double x)
{
    const double b = x / std::numbers::ln2, whole = std::floor(b);
    return FloatExp::Normal(std::exp2(b - whole), int64_t(whole));
}

// A plan's radius: a double's text wherever it is a normal double, else
// the size's digits.
std::string HalfText(const ZoomPlace& p)
{
    if (!p.halfDigits.empty())
        return p.halfDigits;
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", p.half);
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

bool ReadHalf(const std::string& text, ZoomPlace& out)
{
    FloatExp size;
    if (ReadDouble(text, out.half) && !(out.half > 0 && out.half < DBL_MIN))
        return out.halfDigits.clear(), true;
    if (ReadSize(text, size) != SizeRead::kRead || !std::isfinite(size.m))
        return false;
    out.SetHalf(size);
    return true;
}

} // namespace

void ZoomPlace::SetHalf(FloatExp size)
{
    WholeSize whole = SizeOf(size);
    half = whole.value;
    halfDigits = std::move(whole.digits);
}

bool ZoomPlan::Make(const ZoomSettings& s, ZoomPlan& plan, std::string& error)
{
    const FloatExp h0 = s.start.Half(), hN = s.end.Half();
    if (s.frames < (s.exact ? 1u : 2u) || s.frames > kMaxZoomFrames)
        return (error = "a zoom video needs 2 to " + std::to_string(kMaxZoomFrames) + " frames"), false;
    if (s.fps < 1 || s.fps > 1000)
        return (error = "the frame rate must be 1 to 1000 frames a second"), false;
    if (s.width == 0 || s.height == 0 || s.width > 16384 || s.height > 16384)
        return (error = "a zoom video's frames must be 1x1 to 16384x16384"), false;
    if (!(h0.m > 0) || !(hN.m > 0) || !std::isfinite(h0.m) || !std::isfinite(hN.m))
        return (error = "the start and end views need a half size above 0"), false;
    if (h0.e < kDeepestBinaryExponent || hN.e < kDeepestBinaryExponent)
        return (error = "a zoom video's views need a radius of at least 1e-" + std::to_string(kDeepestSizeExponent)),
               false;
    if (s.aa.samples < 1 || s.aa.samples > kMaxSamples)
        return (error = "1 to 8 samples a side"), false;
    plan = ZoomPlan();
    plan.m_s = s;
    plan.m_h0 = h0;
    plan.m_hN = hN;
    plan.m_wide = h0 < FloatExp(DBL_MIN) || hN < FloatExp(DBL_MIN);
    if (plan.m_wide) {
        // The centres of views this small differ by less than a double holds.
        plan.m_dx = WideCoordinateDifference(s.start.x.value, s.start.x.digits, s.end.x.value, s.end.x.digits);
        plan.m_dy = WideCoordinateDifference(s.start.y.value, s.start.y.digits, s.end.y.value, s.end.y.digits);
    } else {
        plan.m_dx = CoordinateDifference(s.start.x.value, s.start.x.digits, s.end.x.value, s.end.x.digits);
        plan.m_dy = CoordinateDifference(s.start.y.value, s.start.y.digits, s.end.y.value, s.end.y.digits);
    }
    if (!std::isfinite(plan.m_dx.m) || !std::isfinite(plan.m_dy.m) ||
        (!s.deepViews && (!std::isfinite(plan.m_dx.ToDouble()) || !std::isfinite(plan.m_dy.ToDouble()))))
        return (error = "the start and end views lie too far apart"), false;
    if (s.exact)
        return true;
    const FloatExp big = std::max(h0, hN), small = std::min(h0, hN);
    const double doublings = plan.m_wide ? Log(big / small) / std::numbers::ln2
                                         : std::log2(big.ToDouble() / small.ToDouble());
    if (!(doublings > 1e-9))
        return (error = "a zoom that keeps its size has no keyframes: only the exact mode can make it"), false;
    plan.m_keys = unsigned(std::max(1.0, std::ceil(doublings - 1e-9)));
    const double q = plan.m_wide ? std::exp(Log(small / big) / plan.m_keys)
                                 : std::pow(small.ToDouble() / big.ToDouble(), 1.0 / plan.m_keys);
    // A frame between keyframes j and j + 1 must lie inside j: its offset
    // from j's centre grows with the centre's pace across the views. In
    // FloatExp, which rounds as the doubles do wherever they hold it.
    const FloatExp span = big - small, m = Min(s.width, s.height);
    const double pace = std::max((Abs(plan.m_dx) / (span * FloatExp(double(s.width)) / m)).ToDouble(),
                                 (Abs(plan.m_dy) / (span * FloatExp(double(s.height)) / m)).ToDouble());
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

FloatExp ZoomPlan::FrameHalf(unsigned k) const
{
    if (k == 0)
        return m_h0;
    if (k + 1 >= m_s.frames)
        return m_hN;
    const double t = double(k) / (m_s.frames - 1);
    if (m_wide)
        return m_h0 * Exp(Log(m_hN / m_h0) * t);
    const double h0 = m_h0.ToDouble(), hN = m_hN.ToDouble();
    return h0 * std::exp(std::log(hN / h0) * k / (m_s.frames - 1));
}

FloatExp ZoomPlan::KeyHalf(unsigned j) const
{
    const FloatExp big = std::max(m_h0, m_hN), small = std::min(m_h0, m_hN);
    if (j == 0)
        return big;
    if (j >= m_keys)
        return small;
    if (m_wide)
        return big * Exp(Log(small / big) * j / m_keys);
    return big.ToDouble() * std::exp(std::log(small.ToDouble() / big.ToDouble()) * j / m_keys);
}

ZoomPlace ZoomPlan::PlaceAt(FloatExp half, FloatExp pixelSize) const
{
    if (Same(half, m_hN))
        return m_s.end;
    if (Same(half, m_h0))
        return m_s.start;
    // From the smaller view, whose digits count: the offset is then scaled
    // down with the size, and so is its rounding.
    const bool in = m_hN < m_h0;
    const ZoomPlace& anchor = in ? m_s.end : m_s.start;
    const double f = (in ? (half - m_hN) / (m_h0 - m_hN) : (half - m_h0) / (m_hN - m_h0)).ToDouble();
    const FloatExp dx = in ? m_dx : -m_dx, dy = in ? m_dy : -m_dy;
    ZoomPlace p;
    p.SetHalf(half);
    if (m_s.deepViews) {
        p.x = MoveCoordinate(anchor.x.value, anchor.x.digits, {{f, dx}}, pixelSize);
        p.y = MoveCoordinate(anchor.y.value, anchor.y.digits, {{f, dy}}, pixelSize);
    } else {
        p.x.value = anchor.x.value + f * dx.ToDouble();
        p.y.value = anchor.y.value + f * dy.ToDouble();
    }
    return p;
}

ZoomPlace ZoomPlan::FramePlace(unsigned k) const
{
    const FloatExp h = FrameHalf(k), pixel = FloatExp(2.0) * h / Min(m_s.width, m_s.height);
    if (!Same(m_h0, m_hN))
        return PlaceAt(h, pixel);
    // A pan at one size moves the centre evenly.
    if (k + 1 >= m_s.frames)
        return m_s.end;
    const double f = double(m_s.frames - 1 - k) / (m_s.frames - 1);
    ZoomPlace p;
    p.SetHalf(h);
    p.x = MoveCoordinate(m_s.end.x.value, m_s.end.x.digits, {{f, m_dx}}, pixel);
    p.y = MoveCoordinate(m_s.end.y.value, m_s.end.y.digits, {{f, m_dy}}, pixel);
    if (!m_s.deepViews)
        p.x.digits.clear(), p.y.digits.clear();
    return p;
}

ZoomPlace ZoomPlan::KeyframePlace(unsigned j) const
{
    const FloatExp h = KeyHalf(j);
    const FloatExp pixel = FloatExp(2.0) * h / Min(m_s.width, m_s.height) / FloatExp(double(kKeyframeScale));
    ZoomPlace p = PlaceAt(h, pixel);
    p.SetHalf(pixel * Min(m_keyWidth, m_keyHeight) / FloatExp(2.0));
    return p;
}

void ZoomPlan::Between(unsigned k, unsigned& j, double& weight) const
{
    const FloatExp big = std::max(m_h0, m_hN), small = std::min(m_h0, m_hN);
    const double t = m_wide ? Log(big / FrameHalf(k)) / Log(big / small) * m_keys
                            : std::log(big.ToDouble() / FrameHalf(k).ToDouble()) /
                                  std::log(big.ToDouble() / small.ToDouble()) * m_keys;
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
        out << name << " radius=" << HalfText(*p) << "\n";
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
        ReadHalf(keys["start radius"], s.start) && ReadCoordinate(keys["end x"], s.end.x) &&
        ReadCoordinate(keys["end y"], s.end.y) && ReadHalf(keys["end radius"], s.end) && keys.size() == 13;
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
    if (SizeDigitsHold(f.m_halfSizeDigits, f.m_halfSize))
        p.halfDigits = f.m_halfSizeDigits;
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
