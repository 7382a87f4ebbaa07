// The second try at a deep view's doubtful double pixels (DeepLanes.h).
#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "imaging/Parallel.h"
#include "model/deep/DeepLanes.h"
#include "model/deep/DeepRows.h"
#include "model/deep/DoubleDouble.h"
#include "model/deep/LinearSkips.h"

namespace deep_pixel {

namespace {

// A doubtful pixel at the top of its second try's first step: z = w + d
// about the start orbit read to 106 bits, its bound from the rounding of d
// and of the orbit's first value.
DeepLowPixel StartLow(const DeepLowView& v, size_t startIndex, DoubleDouble dr, DoubleDouble di, double dcr, double dci)
{
    DeepLowPixel p;
    p.i = startIndex;
    p.dr = dr;
    p.di = di;
    p.dcr = dcr;
    p.dci = dci;
    p.zr = DoubleDouble{v.re[0][p.i], v.reLow[0][p.i]} + dr;
    p.zi = DoubleDouble{v.im[0][p.i], v.imLow[0][p.i]} + di;
    p.m2 = p.zr.hi * p.zr.hi + p.zi.hi * p.zi.hi;
    p.dcAbs = std::sqrt(dcr * dcr + dci * dci);
    p.err =
        deep_thresholds::kEpsLow * std::sqrt(dr.hi * dr.hi + di.hi * di.hi) + v.orbitUnit * (std::sqrt(p.m2) + v.cAbs);
    p.pr = p.zr.hi;
    p.pi = p.zi.hi;
    return p;
}

// The linear start of the second try. While a pixel's d is tiny beside the
// orbit, d_j = X_j d_0 + r_j with X_(j+1) = 2 Z_j X_j + b (X_0 = 1; b = 1
// for the Mandelbrot set, whose d_0 is dc, and 0 for a Julia set) and
// r_(j+1) = 2 Z_j r_j + d_j^2 (r_0 = 0). One sweep over the start orbit
// computes X in double-double for every pixel at once, with bounds on
//   |r_j| <= x^2 S_j            (x = |d_0| <= xTop),
//   S_(j+1) = 2 |Z_j| S_j + (|X_j| + xTop S_j)^2;
//   |X_j computed - X_j| <= Q_j,
//   Q_(j+1) = 2 |Z_j| Q_j + epsLow (4 |Z_j| |X_j| + b)
// (the step's roundings and the orbit's 106 bits); and the orbit's MPFR
// roundings, through the pixel's own derivative (|z_j| within 2^-49 of
// |Z_j|), as the step-by-step bound takes them:
//   O_(j+1) = (2 |Z_j| (1 + 2^-48) + O_j) O_j + orbitUnit (|Z_j|^2 + |c|).
// A pixel goes on from index j, as if stepped there, while every index up
// to j keeps |X| x + x^2 S below 2^-50 |Z| (no rebase: |z| > |d|) and |Z|
// within half the escape radius (no escape, no doubt), and while x S_j,
// the dropped squares, stays below the roundings Q_j + epsLow |X_j|: the
// bound it starts with is then no worse than the steps would have left.
// The running product takes the direction of the Z_j passed.
struct Jump {
    size_t index; // into the pixels
    double x;
};

// The sweep's values at index j.
struct Linear {
    size_t j;
    DoubleDouble xr, xi;
    double s, q, o, ur, ui;
};

// |d_0|, rounded up past its own rounding.
double StartSize(const DeepLowPixel& p) { return std::sqrt(p.dr.hi * p.dr.hi + p.di.hi * p.di.hi) * (1 + 0x1p-50); }

// xTop bounds the |d_0| of every pixel of the view, not only of those in
// doubt, so where a pixel stands depends on it alone, whichever part of the
// image is built.
void JumpLinear(const DeepLowView& v, size_t startIndex, bool julia, int maxIterations, double xTop,
                std::vector<DeepLowPixel>& pixels)
{
    using deep_thresholds::kEpsLow;
    std::vector<Jump> order;
    for (size_t n = 0; n < pixels.size(); ++n) {
        const double x = StartSize(pixels[n]);
        // None lies past the corners; were one to, the bound still holds.
        if (x > 0) {
            order.push_back({n, x});
            xTop = std::max(xTop, x);
        }
    }
    if (order.empty() || v.size[0] < startIndex + 3)
        return;
    std::stable_sort(order.begin(), order.end(), [](const Jump& a, const Jump& b) { return a.x > b.x; });
    const double b = julia ? 0.0 : 1.0, halfRadius = 0.5 * v.radius;
    // The last index a pixel may stand at: its count stays below the limit
    // and the next step on the orbit.
    const size_t last = std::min(v.size[0] - 2, startIndex + size_t(std::max(0, maxIterations)));
    // The bounds were summed in doubles, a few roundings a step.
    const double slack = 1 + 0x1p-20;
    const auto stand = [&](const Linear& at, const Jump& jump) {
        if (at.j == startIndex)
            return;
        DeepLowPixel& p = pixels[jump.index];
        const DoubleDouble dr = p.dr, di = p.di;
        p.i = at.j;
        p.k = int(at.j - startIndex) - 1;
        p.dr = at.xr * dr - at.xi * di;
        p.di = at.xr * di + at.xi * dr;
        p.zr = DoubleDouble{v.re[0][p.i], v.reLow[0][p.i]} + p.dr;
        p.zi = DoubleDouble{v.im[0][p.i], v.imLow[0][p.i]} + p.di;
        p.m2 = p.zr.hi * p.zr.hi + p.zi.hi * p.zi.hi;
        const double xAbs = std::hypot(at.xr.hi, at.xi.hi);
        p.err = slack * (jump.x * (at.q + 2 * kEpsLow * xAbs) + jump.x * jump.x * at.s + at.o);
        p.pr = at.ur;
        p.pi = at.ui;
    };
    Linear at{startIndex, {1, 0}, {0, 0}, 0, kEpsLow, 0, 1, 0};
    at.o = v.orbitUnit * (std::hypot(v.re[0][startIndex], v.im[0][startIndex]) + v.cAbs);
    Linear before = at;
    double reach = HUGE_VAL;
    size_t next = 0;
    for (;;) {
        const double zAbs = std::hypot(v.re[0][at.j], v.im[0][at.j]), xAbs = std::hypot(at.xr.hi, at.xi.hi);
        const double tail = at.s > 0 ? (at.q + kEpsLow * xAbs) / at.s : HUGE_VAL;
        const double keep = zAbs <= halfRadius ? 0x1p-50 * zAbs / (xAbs + xTop * at.s) : 0.0;
        reach = std::min({reach, keep, tail});
        // Pixels past the reach at j stand where it last held them.
        for (; next < order.size() && !(order[next].x <= reach); ++next)
            stand(before, order[next]);
        if (next == order.size())
            return;
        // A stopped build leaves the rest where they are; their run sees the stop.
        if (at.j == last || ((at.j & 0xFFFF) == 0 && v.stop && v.stop->load(std::memory_order_relaxed))) {
            for (; next < order.size(); ++next)
                stand(at, order[next]);
            return;
        }
        before = at;
        const DoubleDouble zr{v.re[0][at.j], v.reLow[0][at.j]}, zi{v.im[0][at.j], v.imLow[0][at.j]};
        const double twice = zAbs + zAbs;
        const double pr = at.ur * zr.hi - at.ui * zi.hi, pi = at.ur * zi.hi + at.ui * zr.hi;
        linear_skips::Unit(pr, pi, at.ur, at.ui);
        at.s = twice * at.s + (xAbs + xTop * at.s) * (xAbs + xTop * at.s);
        at.q = twice * at.q + kEpsLow * (2 * twice * xAbs + b);
        at.o = (twice * (1 + 0x1p-48) + at.o) * at.o + v.orbitUnit * (zAbs * zAbs + v.cAbs);
        const DoubleDouble tr{zr.hi + zr.hi, zr.lo + zr.lo}, ti{zi.hi + zi.hi, zi.lo + zi.lo};
        const DoubleDouble nr = tr * at.xr - ti * at.xi + DoubleDouble{b, 0};
        at.xi = tr * at.xi + ti * at.xr;
        at.xr = nr;
        ++at.j;
    }
}

} // namespace

bool SecondTry(const Scene& scene, const Setup<double>& s, const std::vector<DeepRun>& runs,
               std::vector<std::vector<Doubtful>>& doubtful, bool skipCenter, DeepOutcome& outcome)
{
    const DeepJob& job = scene.job;
    DeepLowView view;
    const ReferenceOrbit* orbits[2] = {&scene.center, &scene.rebase};
    for (int o = 0; o < 2; ++o) {
        view.re[o] = orbits[o]->re.data();
        view.im[o] = orbits[o]->im.data();
        view.reLow[o] = orbits[o]->reLow.data();
        view.imLow[o] = orbits[o]->imLow.data();
        view.size[o] = orbits[o]->size();
    }
    view.radius2 = s.radius2;
    view.radius = s.radius;
    view.orbitUnit = std::ldexp(16.0, -int(std::min<long>(scene.bits, 2000)));
    view.cAbs = job.julia ? std::hypot(job.cRe, job.cIm)
                          : std::hypot(mpfr_get_d(scene.x.get(), MPFR_RNDN), mpfr_get_d(scene.y.get(), MPFR_RNDN));
    view.maxIterations = s.maxIterations;
    view.stop = job.stop;
    // Every doubtful pixel at the top of its first step, run by run.
    std::vector<DeepLowPixel> pixels;
    const auto tried = [&](int i, int j) { return !(skipCenter && i == job.height / 2 && j == job.width / 2); };
    const auto start = [&](int i, int j) {
        const double x = Offset(j, job.width, s.pixel), y = Offset(i, job.height, s.pixel);
        return job.julia ? StartLow(view, s.startIndex, Divide(x, job.g), Divide(y, job.g), 0.0, 0.0)
                         : StartLow(view, s.startIndex, {x, 0}, {y, 0}, x, y);
    };
    for (size_t r = 0; r < runs.size(); ++r)
        for (const Doubtful& d : doubtful[r])
            if (tried(runs[r].row, d.column))
                pixels.push_back(start(runs[r].row, d.column));
    // The farthest pixels from the centre are the view's corners.
    double xTop = 0;
    for (const int i : {0, job.height - 1})
        for (const int j : {0, job.width - 1})
            xTop = std::max(xTop, StartSize(start(i, j)));
    // Chunks long enough to keep every lane busy while pixels of unequal
    // lengths come and go.
    constexpr size_t kChunk = 256;
    std::atomic<bool> stopped{false};
    const auto run = [&](std::vector<DeepLowPixel>& list) {
        ForEachRange(int((list.size() + kChunk - 1) / kChunk), 1, [&](int begin, int end) {
            for (int c = begin; c < end && !stopped.load(std::memory_order_relaxed); ++c) {
                if (job.stop && job.stop->load(std::memory_order_relaxed)) {
                    stopped = true;
                    return;
                }
                const size_t first = size_t(c) * kChunk, count = std::min(kChunk, list.size() - first);
                if (!RunDeepLow(s.isa, view, list.data() + first, count))
                    stopped = true;
            }
        });
        return !stopped;
    };
    const std::vector<DeepLowPixel> starts = pixels;
    JumpLinear(view, s.startIndex, job.julia, s.maxIterations, xTop, pixels);
    for (size_t n = 0; n < pixels.size(); ++n)
        outcome.linearStartSteps += pixels[n].k - starts[n].k;
    if (!run(pixels))
        return false;
    // A pixel that went on from its linear start and is still in doubt
    // starts again from its first step.
    std::vector<size_t> again;
    std::vector<DeepLowPixel> retried;
    for (size_t n = 0; n < pixels.size(); ++n)
        if (pixels[n].end == DeepLowPixel::End::kDoubtful && starts[n].i != pixels[n].i) {
            again.push_back(n);
            retried.push_back(starts[n]);
        }
    if (!run(retried))
        return false;
    for (size_t n = 0; n < again.size(); ++n)
        pixels[again[n]] = retried[n];
    int settled = 0;
    size_t n = 0;
    for (size_t r = 0; r < runs.size(); ++r) {
        std::vector<Doubtful>& list = doubtful[r];
        const int i = runs[r].row;
        size_t kept = 0;
        for (const Doubtful& d : list) {
            const int j = d.column;
            PixelRecord& cell = runs[r].cells[j - runs[r].from];
            int32_t* count = runs[r].counts ? runs[r].counts + (j - runs[r].from) : nullptr;
            const DeepLowPixel* p = tried(i, j) ? &pixels[n++] : nullptr;
            if (!p || p->end == DeepLowPixel::End::kDoubtful) {
                list[kept++] = d;
                continue;
            }
            PixelOut o;
            if (p->end == DeepLowPixel::End::kEscaped) {
                o.cell = Escaped(p->pr, p->pi, p->zr.hi, p->zi.hi, p->m2);
                o.count = p->k + 1;
            } else {
                o.cell.value = kInsideValue;
            }
            // The double-double loop carries no derivative: an escaped
            // pixel keeps the estimate of its first try, so near the set
            // that the doubles could not settle it.
            Store(o, cell, count, false);
            if (job.distance && p->end != DeepLowPixel::End::kEscaped)
                cell.step = 0;
            ++settled;
        }
        list.resize(kept);
    }
    outcome.settledInDoubleDouble = settled;
    return true;
}

} // namespace deep_pixel
