#include "imaging/kernels/AngleKernel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "imaging/ColorMap.h"

void AngleLevelsSse2(const AngleLaneJob& job, const double* x, const double* y, int n, double* levels);
void AngleLevelsAvx2(const AngleLaneJob& job, const double* x, const double* y, int n, double* levels);
void AngleLevelsAvx512(const AngleLaneJob& job, const double* x, const double* y, int n, double* levels);
void ProbeAngleSse2(const double* x, const double* y, const double* phase, int n, double* theta, double* cosine);
void ProbeAngleAvx2(const double* x, const double* y, const double* phase, int n, double* theta, double* cosine);
void ProbeAngleAvx512(const double* x, const double* y, const double* phase, int n, double* theta, double* cosine);

uint8_t AngleChannel(double phase)
{
    const double c = std::cos(phase);
    if (!(c >= -1.0 && c <= 1.0))
        return 128;
    return uint8_t(int(128 - 127 * c));
}

// The bound, in units u = 2^-53 (the unit roundoff), from these parts:
//  - The lanes' angle against the true atan2 of the exact doubles: the
//    quotient a = lo / hi (u/2 on the angle, as d atan / da <= 1/(1+a^2)
//    and a/(1+a^2) <= 1/2); t = (a - c) / (1 + a c), its numerator exact
//    (Sterbenz), 3u relative with |t| <= 1/16 (0.19u); the series' tail,
//    below t^3 / 3 and evaluated to 20u relative (0.01u); t plus the tail
//    (u/16); the table entry, correctly rounded (0.79u); their sum (0.85u);
//    pi/2 - r and pi - r', constants and roundings (3.15u + 6.29u); the
//    series left out (t^15 / 15, 0.001u): 11.4u. libm's atan2 is within
//    2 ulps (8u on (-pi, pi]). 32u covers both.
//  - The phase theta f + s, rounded twice on each side: with |theta| <= pi,
//    2u pi |f| for both products and 2u (pi |f| + |s|) for both sums.
//  - The lanes' cosine against the true cosine of their phase: reduction
//    by n pi/2 for |p| < 2^24 (n * first part exact, the difference exact,
//    n * second part and the tail of pi/2 below 0.03u, the subtraction
//    0.79u); the cosine's series by Horner's rule with rounded
//    coefficients (7.2u, the sine's 2.6u), the series left out (0.02u):
//    within 9u; 16u taken. libm's cos is within 2 ulps (2u), and
//    |cos p - cos p'| <= |p - p'| carries the phase's difference over.
//  - 128 - 127 c on each side: 127u for the product, 255u for the
//    difference below 256.
double AngleLevelBound(double freq, double shift)
{
    if (!std::isfinite(freq) || !std::isfinite(shift))
        return std::numeric_limits<double>::infinity();
    const double u = 0x1p-53;
    const double f = std::fabs(freq), s = std::fabs(shift);
    const double phase = u * (32 * f + 12.6 * f + 2.01 * s) * 1.001;
    const double cosine = phase + 18 * u;
    const double bound = (127 * cosine + 764 * u) * (1 + 0x1p-20);
    return std::isfinite(bound) ? bound : std::numeric_limits<double>::infinity();
}

AnglePlan MakeAnglePlan(double red, double green, double blue, double redShift, double greenShift, double blueShift)
{
    AnglePlan plan;
    const double freq[3] = {red, green, blue}, shift[3] = {redShift, greenShift, blueShift};
    int* const index[3] = {&plan.red, &plan.green, &plan.blue};
    for (int c = 0; c < 3; ++c) {
        int found = -1;
        for (int d = 0; d < plan.count && found < 0; ++d)
            if (plan.channel[d].freq == freq[c] && plan.channel[d].shift == shift[c])
                found = d;
        if (found < 0) {
            AnglePlan::Channel& ch = plan.channel[plan.count];
            ch.freq = freq[c];
            ch.shift = shift[c];
            ch.bound = AngleLevelBound(freq[c], shift[c]);
            // theta * 0 + shift is shift, or a zero, whose cosine is 1 too.
            if (freq[c] == 0) {
                ch.mode = AnglePlan::kConstant;
                ch.constant = AngleChannel(shift[c]);
            } else {
                ch.mode = ch.bound < 0.25 ? AnglePlan::kLanes : AnglePlan::kLibm;
            }
            found = plan.count++;
        }
        *index[c] = found;
    }
    return plan;
}

namespace {

const float kLimit = float(CColorMap::kBackgroundValue);

void Write(const AnglePlan& plan, const uint8_t* level, uint8_t* out)
{
    out[2] = level[plan.red];
    out[1] = level[plan.green];
    out[0] = level[plan.blue];
}

void ScalarRow(const AnglePlan& plan, const PixelRecord* cell, int width, uint8_t background, uint8_t* out)
{
    for (int j = 0; j < width; ++j, ++cell, out += 3) {
        if (cell->value >= kLimit) {
            out[0] = out[1] = out[2] = background;
            continue;
        }
        const double theta = std::atan2(double(cell->ny), double(cell->nx));
        uint8_t level[3];
        for (int c = 0; c < plan.count; ++c)
            level[c] = AngleChannel(theta * plan.channel[c].freq + plan.channel[c].shift);
        Write(plan, level, out);
    }
}

void Lanes(KernelIsa isa, const AngleLaneJob& job, const double* x, const double* y, int n, double* levels)
{
    switch (isa) {
    case KernelIsa::kAvx512: AngleLevelsAvx512(job, x, y, n, levels); break;
    case KernelIsa::kAvx2: AngleLevelsAvx2(job, x, y, n, levels); break;
    default: AngleLevelsSse2(job, x, y, n, levels); break;
    }
}

} // namespace

int PaintAngleRow(KernelIsa isa, const AnglePlan& plan, const PixelRecord* cells, int width, uint8_t background,
                  uint8_t* out)
{
    if (!KernelIsaSupported(isa))
        isa = WidestKernelIsa();
    AngleLaneJob job;
    int lane[3] = {-1, -1, -1};
    for (int c = 0; c < plan.count; ++c)
        if (plan.channel[c].mode == AnglePlan::kLanes) {
            lane[c] = job.count;
            job.freq[job.count] = plan.channel[c].freq;
            job.shift[job.count] = plan.channel[c].shift;
            job.bound[job.count] = plan.channel[c].bound;
            ++job.count;
        }
    if (isa == KernelIsa::kScalar || job.count == 0) {
        ScalarRow(plan, cells, width, background, out);
        return 0;
    }
    alignas(64) double x[kAngleChunk], y[kAngleChunk], levels[3 * kAngleChunk];
    int at[kAngleChunk];
    int fallbacks = 0;
    for (int begin = 0; begin < width; begin += kAngleChunk) {
        // The lanes take the chunk's coloured cells only.
        const int end = std::min(width, begin + kAngleChunk);
        int n = 0;
        for (int j = begin; j < end; ++j) {
            if (cells[j].value >= kLimit) {
                out[3 * j] = out[3 * j + 1] = out[3 * j + 2] = background;
                continue;
            }
            at[n] = j;
            x[n] = cells[j].nx;
            y[n] = cells[j].ny;
            ++n;
        }
        if (n == 0)
            continue;
        const int padded = (n + 7) & ~7;
        for (int i = n; i < padded; ++i) {
            x[i] = 1;
            y[i] = 0;
        }
        Lanes(isa, job, x, y, padded, levels);
        for (int i = 0; i < n; ++i) {
            double theta = 0;
            bool haveTheta = false;
            const auto libm = [&](const AnglePlan::Channel& ch) {
                if (!haveTheta)
                    theta = std::atan2(y[i], x[i]);
                haveTheta = true;
                return AngleChannel(theta * ch.freq + ch.shift);
            };
            uint8_t level[3];
            for (int c = 0; c < plan.count; ++c) {
                const AnglePlan::Channel& ch = plan.channel[c];
                if (ch.mode == AnglePlan::kLanes) {
                    const double l = levels[lane[c] * kAngleChunk + i];
                    if (l != 0) {
                        level[c] = uint8_t(l);
                    } else {
                        level[c] = libm(ch);
                        ++fallbacks;
                    }
                } else if (ch.mode == AnglePlan::kConstant && !std::isnan(x[i]) && !std::isnan(y[i])) {
                    level[c] = ch.constant;
                } else {
                    level[c] = libm(ch);
                }
            }
            Write(plan, level, out + 3 * at[i]);
        }
    }
    return fallbacks;
}

void ProbeAngleLanes(KernelIsa isa, const double* x, const double* y, const double* phase, int n, double* theta,
                     double* cosine)
{
    if (!KernelIsaSupported(isa))
        isa = WidestKernelIsa();
    switch (isa) {
    case KernelIsa::kAvx512: ProbeAngleAvx512(x, y, phase, n, theta, cosine); break;
    case KernelIsa::kAvx2: ProbeAngleAvx2(x, y, phase, n, theta, cosine); break;
    default: ProbeAngleSse2(x, y, phase, n, theta, cosine); break;
    }
}
