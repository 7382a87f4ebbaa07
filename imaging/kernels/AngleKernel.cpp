#include "imaging/kernels/AngleKernel.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "imaging/ColorMap.h"

void AngleLevelsSse2(const AngleLaneJob& job, const PixelRecord* cells, int n, double* levels);
void AngleLevelsAvx2(const AngleLaneJob& job, const PixelRecord* cells, int n, double* levels);
void AngleLevelsAvx512(const AngleLaneJob& job, const PixelRecord* cells, int n, double* levels);
void ProbeAngleSse2(const double* x, const double* y, const double* phase, int n, double* theta, double* cosine);
void ProbeAngleAvx2(const double* x, const double* y, const double* phase, int n, double* theta, double* cosine);
void ProbeAngleAvx512(const double* x, const double* y, const double* phase, int n, double* theta, double* cosine);
void ProbePowerSse2(const AngleLaneJob& job, const double* x, const double* y, int n, double* cosine);
void ProbePowerAvx2(const AngleLaneJob& job, const double* x, const double* y, int n, double* cosine);
void ProbePowerAvx512(const AngleLaneJob& job, const double* x, const double* y, int n, double* cosine);

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
//    series left out (t^11 / 11, 46.5u): 58.3u, kLaneAngleError.
//  - The phase theta f + s, rounded twice on each side: with |theta| <= pi,
//    2u pi |f| for both products and 2u (pi |f| + |s|) for both sums.
//  - The lanes' cosine against the true cosine of their phase: reduction
//    by m pi/2 for |p| < 2^24 (the two subtractions 1.6u each, m times the
//    second part and the tail of pi/2 below 0.02u); the sine's series by
//    Horner's rule with rounded coefficients (15u), the series left out
//    (x^17 / 17! at pi/2, 54622u): 54641u, kLaneCosineError. The true
//    cosines of the two sides' phases differ by at most the phases' gap.
//  - 128 - 127 c on each side: 127u for the product, 255u for the
//    difference below 256.
// The series are cut short where the bound stays far below a level's
// width (7e-10 at frequency 1): the lanes hand back one channel in 10^9.
//
// A whole frequency f up to kAnglePowerLimit takes no angle on the lanes'
// side: with r = sqrt(x^2 + y^2) (the squares of widened floats exact, the
// sum u, the root u/2, 1/r u), the unit vector z = (x/r, y/r) is within
// 3.5u of the true one; each complex product of z^|f| adds the 2.83u of
// its rounding and the 3.5u of z's error; the last one with (cos s,
// +-sin s), each libm's within an ulp, adds 2.83u and 2u for its rounding:
// (6.33 |f| + 4.83)u, LanePowerError. libm's side keeps its phase.
double AngleLevelBound(double freq, double shift)
{
    if (!std::isfinite(freq) || !std::isfinite(shift))
        return std::numeric_limits<double>::infinity();
    const double u = 0x1p-53;
    const double f = std::fabs(freq), s = std::fabs(shift);
    const int power = AnglePower(freq);
    const double laneAngle = power != 0 ? 0 : kLaneAngleError;
    const double laneCosine = power != 0 ? LanePowerError(std::abs(power)) : kLaneCosineError;
    const double phase = u * ((laneAngle + kLibmAngleError) * f + 12.6 * f + 2.01 * s) * 1.001;
    const double cosine = phase + (laneCosine + kLibmCosineError) * u;
    const double bound = (127 * cosine + 764 * u) * (1 + 0x1p-20);
    return std::isfinite(bound) ? bound : std::numeric_limits<double>::infinity();
}

int AnglePower(double freq)
{
    if (!(std::fabs(freq) <= kAnglePowerLimit) || freq == 0 || freq != std::trunc(freq))
        return 0;
    return int(freq);
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
            ch.power = AnglePower(freq[c]);
            ch.cosShift = std::cos(shift[c]);
            ch.sinShift = ch.power < 0 ? -std::sin(shift[c]) : std::sin(shift[c]);
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

void Lanes(KernelIsa isa, const AngleLaneJob& job, const PixelRecord* cells, int n, double* levels)
{
    switch (isa) {
    case KernelIsa::kAvx512: AngleLevelsAvx512(job, cells, n, levels); break;
    case KernelIsa::kAvx2: AngleLevelsAvx2(job, cells, n, levels); break;
    default: AngleLevelsSse2(job, cells, n, levels); break;
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
            job.power[job.count] = plan.channel[c].power;
            job.cosShift[job.count] = plan.channel[c].cosShift;
            job.sinShift[job.count] = plan.channel[c].sinShift;
            // |theta| is at most pi, and the lanes' within 1e-13 of it.
            job.phaseChecked[job.count] = !(
                3.1416 * std::fabs(plan.channel[c].freq) + std::fabs(plan.channel[c].shift) < kAngleLanePhaseLimit / 2);
            ++job.count;
        }
    if (isa == KernelIsa::kScalar || job.count == 0) {
        ScalarRow(plan, cells, width, background, out);
        return 0;
    }
    alignas(64) double levels[3 * kAngleChunk];
    uint8_t bytes[3][kAngleChunk];
    // The lanes read whole chunks: the row's last one is copied out with
    // plain vectors after it.
    PixelRecord tail[kAngleChunk] = {};
    for (PixelRecord& r : tail)
        r.nx = 1;
    const int red = plan.red, green = plan.green, blue = plan.blue;
    int fallbacks = 0;
    for (int begin = 0; begin < width; begin += kAngleChunk) {
        const int n = std::min(width - begin, kAngleChunk);
        const PixelRecord* chunk = cells + begin;
        if (n < kAngleChunk) {
            std::copy(chunk, chunk + n, tail);
            chunk = tail;
        }
        Lanes(isa, job, chunk, (n + 15) & ~15, levels); // two vectors of eight
        // Each channel's bytes, 0 where libm must decide (levels are 1..255).
        for (int c = 0; c < plan.count; ++c) {
            const AnglePlan::Channel& ch = plan.channel[c];
            uint8_t* const b = bytes[c];
            if (ch.mode == AnglePlan::kLanes) {
                const double* const l = levels + lane[c] * kAngleChunk;
                for (int i = 0; i < n; ++i)
                    b[i] = uint8_t(int(l[i]));
            } else if (ch.mode == AnglePlan::kConstant) {
                // A NaN angle times 0 stays NaN: libm's mid grey.
                for (int i = 0; i < n; ++i)
                    b[i] = std::isnan(chunk[i].nx) || std::isnan(chunk[i].ny) ? 0 : ch.constant;
            } else {
                std::fill(b, b + n, uint8_t(0));
            }
        }
        uint8_t* o = out + 3 * begin;
        if (plan.count == 1) {
            // One channel for all three, the default's grey.
            const AnglePlan::Channel& ch = plan.channel[0];
            for (int i = 0; i < n; ++i, o += 3) {
                uint8_t level = bytes[0][i];
                if (chunk[i].value >= kLimit) {
                    level = background;
                } else if (level == 0) {
                    level = AngleChannel(std::atan2(double(chunk[i].ny), double(chunk[i].nx)) * ch.freq + ch.shift);
                    fallbacks += ch.mode == AnglePlan::kLanes;
                }
                o[0] = o[1] = o[2] = level;
            }
            continue;
        }
        for (int i = 0; i < n; ++i, o += 3) {
            if (chunk[i].value >= kLimit) {
                o[0] = o[1] = o[2] = background;
                continue;
            }
            uint8_t level[3];
            bool decided = true;
            for (int c = 0; c < plan.count; ++c) {
                level[c] = bytes[c][i];
                decided = decided && level[c] != 0;
            }
            if (!decided) {
                const double theta = std::atan2(double(chunk[i].ny), double(chunk[i].nx));
                for (int c = 0; c < plan.count; ++c)
                    if (level[c] == 0) {
                        level[c] = AngleChannel(theta * plan.channel[c].freq + plan.channel[c].shift);
                        fallbacks += plan.channel[c].mode == AnglePlan::kLanes;
                    }
            }
            o[2] = level[red];
            o[1] = level[green];
            o[0] = level[blue];
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

void ProbeAnglePower(KernelIsa isa, const double* x, const double* y, int power, double shift, int n, double* cosine)
{
    if (!KernelIsaSupported(isa))
        isa = WidestKernelIsa();
    const AnglePlan plan = MakeAnglePlan(power, power, power, shift, shift, shift);
    const AnglePlan::Channel& ch = plan.channel[0];
    AngleLaneJob job;
    job.count = 1;
    job.power[0] = ch.power;
    job.cosShift[0] = ch.cosShift;
    job.sinShift[0] = ch.sinShift;
    switch (isa) {
    case KernelIsa::kAvx512: ProbePowerAvx512(job, x, y, n, cosine); break;
    case KernelIsa::kAvx2: ProbePowerAvx2(job, x, y, n, cosine); break;
    default: ProbePowerSse2(job, x, y, n, cosine); break;
    }
}
