#include "model/deep/DeepView.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "imaging/ColorMap.h"
#include "imaging/Parallel.h"
#include "model/deep/DeepLanes.h"
#include "model/deep/DoubleDouble.h"
#include "model/deep/LinearSkips.h"
#include "model/deep/ReferenceOrbit.h"
#include "model/deep/Thresholds.h"
#include "model/kernels/MandelbrotPoint.h"

// Glitches, and why rebasing is the answer here. A pixel's z = w_i + d
// loses its digits when it passes far closer to 0 than the reference does
// (|w_i + d| much smaller than |w_i|, so |d| is about |w_i|): from then on d
// carries the rounding of w_i, not the pixel. Instead of detecting that
// after the fact and iterating such pixels again about a second reference,
// every step here rebases: once |z| < |d|, the pixel continues from index 0
// of an orbit that starts at the critical point 0, with d = z. So |d| <= |z|
// after every step, hence |w_i| <= 2 |z|: the cancellation that makes a
// glitch cannot happen, with one reference for the whole view. The same
// rebase serves when a pixel outlives the reference orbit (the centre
// escaped first). For the Mandelbrot set the orbit of the critical point is
// the reference itself (w_0 = 0, w_1 = centre); a Julia set iterates the
// critical orbit of its constant beside the one at the view's centre.
//
// What rebasing cannot cure is a pixel whose fate hangs on digits no double
// holds: some points near the set's filaments double every rounding many
// hundred times over before they escape. Each pixel therefore carries a
// bound on its accumulated rounding error; when the bound reaches the escape
// test's margin (the test could go either way), the pixel is iterated again
// about a reference orbit of its own, in arbitrary precision, with a zero
// difference. Such pixels are few: their count is reported.

namespace {

using mandelbrot_point::Escaped;
using mandelbrot_point::kInsideValue;
using mandelbrot_point::NeedsScaling;
using mandelbrot_point::Scale;

// Views whose pixels are below 2^-600 keep every value in FloatExp: their
// differences, squared and multiplied into the product, would leave the
// range of doubles.
constexpr int64_t kWideBelowExponent = -600;

inline double AsDouble(double v) { return v; }
inline double AsDouble(FloatExp v) { return v.ToDouble(); }
// An infinite double (the square of a radius past 1.3e154) must stay above
// every norm; FloatExp has no infinity, so it gets an exponent no norm of a
// point that has not escaped reaches.
template <class T>
T FromDouble(double v)
{
    if constexpr (std::is_same_v<T, double>)
        return v;
    else
        return std::isinf(v) ? FloatExp::Normal(v > 0 ? 1 : -1, int64_t(1) << 40) : FloatExp(v);
}

template <class T>
T FromWide(FloatExp v)
{
    if constexpr (std::is_same_v<T, double>)
        return v.ToDouble();
    else
        return v;
}

template <class T>
struct OrbitView {
    const T* re = nullptr;
    const T* im = nullptr;
    size_t size = 0;
};

OrbitView<double> View(const ReferenceOrbit& o, double*)
{
    return {o.re.data(), o.im.data(), o.size()};
}

OrbitView<FloatExp> View(const ReferenceOrbit& o, FloatExp*)
{
    return {o.reWide.data(), o.imWide.data(), o.size()};
}

// The running product P = z_0 z_1 ... z_(m-1): only its direction is
// painted. In doubles it is rescaled by powers of two as the point loop
// does; in FloatExp its exponent is free.
struct ProductDouble {
    double re, im;
    void Times(double zr, double zi)
    {
        // A deep pixel's z can pass far nearer 0 than a double point's ever
        // does; the product, kept near 1, would then sink among the
        // subnormals. Only z's direction matters to it.
        if (NeedsScaling(zr, zi))
            Scale(zr, zi);
        const double t = re * zr - im * zi;
        im = re * zi + im * zr;
        re = t;
        if (NeedsScaling(re, im))
            Scale(re, im);
    }
    void Direction(double& r, double& i) const
    {
        r = re;
        i = im;
    }
};

struct ProductWide {
    FloatExp re, im;
    void Times(FloatExp zr, FloatExp zi)
    {
        const FloatExp t = re * zr - im * zi;
        im = re * zi + im * zr;
        re = t;
    }
    void Direction(double& r, double& i) const
    {
        const int64_t top = re.m == 0 ? im.e : im.m == 0 ? re.e : std::max(re.e, im.e);
        r = FloatExp::Normal(re.m, re.e - top).ToDouble();
        i = FloatExp::Normal(im.m, im.e - top).ToDouble();
    }
};

template <class T>
struct Setup {
    OrbitView<T> start, rebase;
    // Skip tables of the two orbits, or null to step one by one.
    const SkipTable<T>* startSkips = nullptr;
    const SkipTable<T>* rebaseSkips = nullptr;
    size_t startIndex = 0;
    T pixel, radius2, radius, g;
    bool julia = false;
    int width = 0, maxIterations = 0;
    const std::atomic<bool>* stop = nullptr;
    // The pass over the view hands the ordinary steps of double pixels to
    // these lanes, unless scalar.
    KernelIsa isa = KernelIsa::kScalar;
};

struct PixelOut {
    MandelbrotPixel cell;
    int32_t count = -1;
    bool doubtful = false; // the rounding may have decided the escape test
    int64_t steps = 0, skipped = 0;
};

static_assert(kSkipMaxSteps == (size_t(1) << 21), "DeepJob::skipAllLengths starts at the tables' own limit");

using deep_thresholds::kEps;
using deep_thresholds::kSkipRatio2;

// How often a doubtful pixel's own orbit is computed, each time with the
// bits its bound found missing.
constexpr int kOwnAttempts = 4;

// The longest valid skip from index i of the table, or null. A skip
// covers 2^(l+1) steps from an index aligned to that length; its radius
// never exceeds that of the first half, so the search stops at the first
// level that fails. Past the steps where the table keeps every length,
// the short ones are missing and the search goes on to the longer.
template <class T>
const SkipEntry<T>* FindSkip(const SkipTable<T>& skips, size_t i, T reach, int64_t room, size_t& len)
{
    if (i < skips.base)
        return nullptr;
    const size_t off = i - skips.base;
    const SkipEntry<T>* best = nullptr;
    for (size_t l = 0; l < skips.levels.size() && ((off >> l) & 1) == 0; ++l) {
        const size_t m = off >> (l + 1), n = size_t(2) << l;
        if (m >= skips.levels[l].size() && int64_t(n) <= room && off + n <= skips.steps)
            continue;
        if (m >= skips.levels[l].size() || int64_t(n) > room || !(reach < skips.levels[l][m].r))
            break;
        best = &skips.levels[l][m];
        len = n;
    }
    return best;
}

// A pixel's whole state at the top of a step, from which the loop below
// goes on: the lanes of DeepLanes.h take it over and give it back there.
template <class T, class Product>
struct PixelRun {
    const OrbitView<T>* orbit = nullptr;
    const SkipTable<T>* skips = nullptr;
    size_t i = 0;
    int k = -1;
    T dr, di, dcr, dci, dcAbs, zr, zi, m2, err;
    Product p;
    PixelOut out;
    int nextPoll = 0xFFFF;
};

// One pixel, the point loop's steps on z = w_i + d: P <- z_0, then
// z_(k+1) = z_k^2 + c until |z|^2 > radius2 or k reaches the limit.
template <class T, class Product>
PixelRun<T, Product> StartPixel(const Setup<T>& s, T dr, T di, T dcr, T dci)
{
    const T eps = T(kEps);
    PixelRun<T, Product> r;
    r.dcr = dcr;
    r.dci = dci;
    r.dcAbs = Sqrt(dcr * dcr + dci * dci);
    r.orbit = &s.start;
    r.skips = s.startSkips;
    r.i = s.startIndex;
    r.dr = dr;
    r.di = di;
    r.zr = r.orbit->re[r.i] + dr;
    r.zi = r.orbit->im[r.i] + di;
    r.m2 = r.zr * r.zr + r.zi * r.zi;
    // err bounds |computed z - exact z| to first order: each step doubles
    // it by |z| and adds the step's own roundings, which are relative to
    // the difference d, not to z, as long as d is the smaller.
    r.err = eps * Sqrt(dr * dr + di * di);
    r.p = Product{r.zr, r.zi};
    return r;
}

// Whether the lanes can take the step the pixel is at as the loop would:
// no escape, poll, end, possible skip or rescaling of a tiny z in it.
template <class T, class Product>
bool LanesCanStep(const Setup<T>& s, const PixelRun<T, Product>& r, T d2)
{
    if constexpr (std::is_same_v<T, double>)
        return !(r.m2 > s.radius2) && r.k < r.nextPoll && r.k < s.maxIterations &&
               !(r.skips && d2 < T(kSkipRatio2) * r.m2) && !NeedsScaling(r.zr, r.zi);
    else
        return false;
}

// Steps the pixel until it ends (true, `out` written) or, with `handOff`,
// until a later step the lanes can take (false, at the top of that step).
template <class T, class Product>
bool ContinuePixel(const Setup<T>& s, PixelRun<T, Product>& r, bool handOff)
{
    const T eps = T(kEps);
    const T dcr = r.dcr, dci = r.dci, dcAbs = r.dcAbs;
    const OrbitView<T>*& orbit = r.orbit;
    const SkipTable<T>*& skips = r.skips;
    size_t& i = r.i;
    T &zr = r.zr, &zi = r.zi, &m2 = r.m2, &dr = r.dr, &di = r.di, &err = r.err;
    Product& p = r.p;
    PixelOut& out = r.out;
    int& nextPoll = r.nextPoll;
    int& k = r.k;
    for (bool first = true;; ++k, first = false) {
        const T magnitude = Sqrt(m2);
        T d2 = dr * dr + di * di;
        if (k >= 0) {
            if (handOff && !first && LanesCanStep(s, r, d2))
                return false;
            // Once in doubt the pixel still runs to its end, as its own
            // result stands when no orbit of its own can be afforded; its
            // bound, of no more use, is dropped before it passes any exponent.
            if (!out.doubtful && err > T(0.0) && !(Abs(magnitude - s.radius) > err))
                out.doubtful = true;
            if (out.doubtful)
                err = T(0.0);
            out.steps = k + 1;
            if (m2 > s.radius2) {
                double pr = 0, pi = 0;
                p.Direction(pr, pi);
                out.cell = Escaped(pr, pi, AsDouble(zr), AsDouble(zi), AsDouble(m2));
                out.count = k + 1;
                return true;
            }
            bool stopped = false;
            if (k >= nextPoll) {
                nextPoll = k + 0x10000;
                stopped = s.stop && s.stop->load(std::memory_order_relaxed);
            }
            if (k >= s.maxIterations || stopped) {
                out.cell.value = kInsideValue;
                out.cell.stopped = stopped;
                return true;
            }
            // A skip needs no escape or rebase test inside it: its radius
            // keeps every exact d_j below 2^-50 |Z_j| (|d| + err bounds the
            // exact difference), and every Z_j inside it within half the
            // escape radius, so no exact z_j inside escapes, none comes
            // near the radius, and none comes near 0 (|z_j| > |d_j|).
            // |d| >= 2^-49 |z| puts |d| above 2^-50 |Z_i|, beyond every
            // skip from i: the table is not read for the pixels that have
            // left the reference.
            size_t len = 0;
            const SkipEntry<T>* e = skips && d2 < T(kSkipRatio2) * m2
                                        ? FindSkip(*skips, i, Sqrt(d2) + err, int64_t(s.maxIterations) - k, len)
                                        : nullptr;
            if (e) {
                const T dAbs = Sqrt(d2);
                if (!out.doubtful)
                    err = T(kSkipSlack) * e->aAbs * err + (e->qa * dAbs + e->qb * dcAbs + e->ed) * dAbs +
                          (e->qc * dcAbs + e->ec) * dcAbs;
                // Each z_j inside is Z_j (1 + 2^-50 at most): the product
                // takes their direction.
                p.Times(T(e->ur), T(e->ui));
                const T nr = e->ar * dr - e->ai * di + e->br * dcr - e->bi * dci;
                di = e->ar * di + e->ai * dr + e->br * dci + e->bi * dcr;
                dr = nr;
                i += len;
                k += int(len) - 1;
                out.skipped += int64_t(len);
                zr = orbit->re[i] + dr;
                zi = orbit->im[i] + di;
                m2 = zr * zr + zi * zi;
                continue;
            }
            p.Times(zr, zi);
        }
        if (m2 < d2 || i + 1 >= orbit->size) {
            dr = zr;
            di = zi;
            d2 = m2;
            orbit = &s.rebase;
            skips = s.rebaseSkips;
            i = 0;
            if (!out.doubtful)
                err = err + eps * magnitude; // the rounding of w_i + d
        }
        if (!out.doubtful)
            err = (magnitude + magnitude + err) * err + eps * ((magnitude + magnitude) * Sqrt(d2) + dcAbs);
        // d <- (2 w + d) d + dc.
        const T tr = orbit->re[i] + orbit->re[i] + dr;
        const T ti = orbit->im[i] + orbit->im[i] + di;
        const T nr = tr * dr - ti * di + dcr;
        di = tr * di + ti * dr + dci;
        dr = nr;
        ++i;
        zr = orbit->re[i] + dr;
        zi = orbit->im[i] + di;
        m2 = zr * zr + zi * zi;
    }
}

template <class T, class Product>
PixelOut IteratePixel(const Setup<T>& s, T dr, T di, T dcr, T dci)
{
    PixelRun<T, Product> r = StartPixel<T, Product>(s, dr, di, dcr, dci);
    ContinuePixel(s, r, false);
    return r.out;
}

// The offset of pixel index `index` of a side of `size` pixels from the
// centre, in the form the differences take.
template <class T>
T Offset(int index, int size, T pixel)
{
    return T(double(index - size / 2)) * pixel;
}

void Store(const PixelOut& o, PixelRecord& cell, int32_t* count)
{
    cell.nx = o.cell.re;
    cell.ny = o.cell.im;
    cell.value = o.cell.value;
    if (count)
        *count = o.count;
}

// A doubtful pixel, with what an orbit of its own would cost in MPFR
// iterations, judged from its difference iteration.
struct Doubtful {
    int column;
    int64_t cost;
};

// A pixel the difference iteration has finished: its cell and count
// written, its steps counted, and its column listed when it was doubtful.
void Finish(const PixelOut& o, int j, PixelRecord* row, int32_t* counts, int64_t& steps, int64_t& skipped,
            std::vector<Doubtful>& doubtful)
{
    steps += o.steps;
    skipped += o.skipped;
    if (o.doubtful)
        doubtful.push_back({j, o.steps + 3});
    Store(o, row[j], counts ? counts + j : nullptr);
}

// What the pixels of a pass add up to.
struct Tally {
    std::atomic<int64_t> steps{0}, skipped{0}, lanes{0};
};

// One row of double pixels for the lanes: each pixel runs in the scalar
// loop until a step the lanes can take, and again whenever they hand it
// back. The pixels finish in another order than the row's, and their
// doubtful ones are listed in column order afterwards.
class RowFeed final : public DeepLaneFeed {
public:
    using Run = PixelRun<double, ProductDouble>;

    RowFeed(const Setup<double>& s, double y, PixelRecord* row, int32_t* counts, std::vector<Doubtful>& doubtful)
        : m_s(s), m_y(y), m_row(row), m_counts(counts), m_doubtful(doubtful), m_runs(size_t(s.width))
    {
    }

    bool Next(DeepLanePixel& px) override
    {
        while (m_next < m_s.width && !m_stopped) {
            // Pixels of few iterations each can still make a long row.
            if (m_s.stop && m_s.stop->load(std::memory_order_relaxed)) {
                m_stopped = true;
                break;
            }
            const int j = m_next++;
            const double x = Offset(j, m_s.width, m_s.pixel);
            m_runs[size_t(j)] = m_s.julia ? StartPixel<double, ProductDouble>(m_s, x / m_s.g, m_y / m_s.g, 0.0, 0.0)
                                          : StartPixel<double, ProductDouble>(m_s, x, m_y, x, m_y);
            if (Go(j, px))
                return true;
        }
        return false;
    }

    bool Back(DeepLanePixel& px) override
    {
        if (m_stopped)
            return false;
        Run& r = m_runs[size_t(px.slot)];
        const bool front = px.orbit == 0;
        r.orbit = front ? &m_s.start : &m_s.rebase;
        r.skips = front ? m_s.startSkips : m_s.rebaseSkips;
        r.i = px.i;
        r.k = px.k; // out.steps is set again before the pixel ends
        r.zr = px.zr;
        r.zi = px.zi;
        r.m2 = px.m2;
        r.dr = px.dr;
        r.di = px.di;
        r.err = px.err;
        r.p.re = px.pr;
        r.p.im = px.pi;
        r.out.doubtful = px.doubtful;
        return Go(px.slot, px);
    }

    bool Stopped() const { return m_stopped; }
    int64_t steps = 0, skipped = 0;

private:
    // Runs pixel j in the scalar loop: true when handed to the lanes.
    bool Go(int j, DeepLanePixel& px)
    {
        Run& r = m_runs[size_t(j)];
        if (!ContinuePixel(m_s, r, true)) {
            px.slot = j;
            px.orbit = r.orbit == &m_s.start ? 0 : 1;
            px.i = r.i;
            px.k = r.k;
            px.limit = std::min(r.nextPoll, m_s.maxIterations);
            px.zr = r.zr;
            px.zi = r.zi;
            px.m2 = r.m2;
            px.dr = r.dr;
            px.di = r.di;
            px.dcr = r.dcr;
            px.dci = r.dci;
            px.dcAbs = r.dcAbs;
            px.err = r.err;
            px.pr = r.p.re;
            px.pi = r.p.im;
            px.doubtful = r.out.doubtful;
            return true;
        }
        const PixelOut& o = r.out;
        if (o.cell.stopped) {
            m_stopped = true;
            return false;
        }
        Finish(o, j, m_row, m_counts, steps, skipped, m_doubtful);
        return false;
    }

    const Setup<double>& m_s;
    double m_y;
    PixelRecord* m_row;
    int32_t* m_counts;
    std::vector<Doubtful>& m_doubtful;
    std::vector<Run> m_runs;
    int m_next = 0;
    bool m_stopped = false;
};

bool LaneRow(const Setup<double>& s, int i, int height, PixelRecord* row, int32_t* counts,
             std::vector<Doubtful>& doubtful, Tally& tally)
{
    DeepLaneView view;
    const OrbitView<double>* orbits[2] = {&s.start, &s.rebase};
    for (int o = 0; o < 2; ++o) {
        view.re[o] = orbits[o]->re;
        view.im[o] = orbits[o]->im;
        view.size[o] = orbits[o]->size;
    }
    view.skips[0] = s.startSkips != nullptr;
    view.skips[1] = s.rebaseSkips != nullptr;
    view.radius2 = s.radius2;
    view.radius = s.radius;
    view.eps = kEps;
    const size_t listed = doubtful.size();
    RowFeed feed(s, Offset(i, height, s.pixel), row, counts, doubtful);
    const int64_t lanes = RunDeepLanes(s.isa, view, feed);
    if (feed.Stopped())
        return false;
    std::sort(doubtful.begin() + std::ptrdiff_t(listed), doubtful.end(),
              [](const Doubtful& a, const Doubtful& b) { return a.column < b.column; });
    tally.steps.fetch_add(feed.steps, std::memory_order_relaxed);
    tally.skipped.fetch_add(feed.skipped, std::memory_order_relaxed);
    tally.lanes.fetch_add(lanes, std::memory_order_relaxed);
    return true;
}

// False when stopped. Doubtful pixels keep the difference iteration's
// result and are listed in `doubtful` by column.
template <class T, class Product>
bool Row(const Setup<T>& s, int i, int height, PixelRecord* row, int32_t* counts, std::vector<Doubtful>& doubtful,
         Tally& tally)
{
    if constexpr (std::is_same_v<T, double>)
        if (s.isa != KernelIsa::kScalar)
            return LaneRow(s, i, height, row, counts, doubtful, tally);
    const T y = Offset(i, height, s.pixel);
    int64_t steps = 0, skipped = 0;
    for (int j = 0; j < s.width; ++j) {
        // Pixels of few iterations each can still make a long row.
        if (s.stop && s.stop->load(std::memory_order_relaxed))
            return false;
        const T x = Offset(j, s.width, s.pixel);
        const PixelOut o = s.julia ? IteratePixel<T, Product>(s, x / s.g, y / s.g, T(0.0), T(0.0))
                                   : IteratePixel<T, Product>(s, x, y, x, y);
        if (o.cell.stopped)
            return false;
        Finish(o, j, row, counts, steps, skipped, doubtful);
    }
    tally.steps.fetch_add(steps, std::memory_order_relaxed);
    tally.skipped.fetch_add(skipped, std::memory_order_relaxed);
    return true;
}

// What every pass over the view shares.
struct Scene {
    const DeepJob& job;
    const MpfrReal& x; // the centre as read
    const MpfrReal& y;
    long bits;
    bool wide;
    size_t length;
    const ReferenceOrbit& centre;
    size_t startIndex;
    const ReferenceOrbit& rebase;
};

template <class T>
Setup<T> MakeSetup(const Scene& scene, const ReferenceOrbit& start, size_t startIndex)
{
    const DeepJob& job = scene.job;
    Setup<T> s;
    s.start = View(start, static_cast<T*>(nullptr));
    s.rebase = View(scene.rebase, static_cast<T*>(nullptr));
    s.startIndex = startIndex;
    s.pixel = FromWide<T>(job.pixelSize);
    s.radius2 = FromDouble<T>(job.radius2);
    s.radius = FromDouble<T>(std::sqrt(job.radius2));
    s.g = T(job.g);
    s.julia = job.julia;
    s.width = job.width;
    s.maxIterations = job.maxIterations;
    s.stop = job.stop;
    return s;
}

// The orbit of pixel (i, j) itself at `bits`: the centre read again from
// its digits, the offset added, every step in MPFR. False when stopped.
bool OwnOrbit(const Scene& scene, int i, int j, long bits, ReferenceOrbit& own)
{
    const DeepJob& job = scene.job;
    const FloatExp offsets[2] = {FloatExp(double(j - job.width / 2)) * job.pixelSize,
                                 FloatExp(double(i - job.height / 2)) * job.pixelSize};
    MpfrReal px(bits), py(bits), step(bits);
    const std::string* centre[2] = {&job.centreRe, &job.centreIm};
    MpfrReal* point[2] = {&px, &py};
    bool exact = true;
    for (int a = 0; a < 2; ++a) {
        bool read = false;
        point[a]->Parse(*centre[a], &read);
        exact = exact && read;
        if (offsets[a].m != 0) {
            mpfr_set_d(step.get(), offsets[a].m, MPFR_RNDN);
            mpfr_mul_2si(step.get(), step.get(), long(offsets[a].e), MPFR_RNDN);
            exact = mpfr_add(point[a]->get(), point[a]->get(), step.get(), MPFR_RNDN) == 0 && exact;
        }
    }
    if (job.julia) {
        MpfrReal cr(bits), ci(bits);
        mpfr_set_d(cr.get(), job.cRe, MPFR_RNDN);
        mpfr_set_d(ci.get(), job.cIm, MPFR_RNDN);
        exact = mpfr_div_d(px.get(), px.get(), job.g, MPFR_RNDN) == 0 && exact;
        exact = mpfr_div_d(py.get(), py.get(), job.g, MPFR_RNDN) == 0 && exact;
        return ComputeReferenceOrbit(px, py, cr, ci, job.radius2, scene.length, scene.wide, job.stop, own, exact, 0);
    }
    const MpfrReal zero(bits);
    return ComputeReferenceOrbit(zero, zero, px, py, job.radius2, scene.length, scene.wide, job.stop, own, exact, 1);
}

// The pixel iterated about an orbit of its own, computed in arbitrary
// precision from its exact position: its difference is zero, so no
// rounding of the differences is left to decide it. The orbit itself may
// amplify MPFR's roundings past the view's precision (a pixel this near the
// set's boundary is why it was in doubt): it is computed again with the
// bits its rounding bound says were missing, a few times at most. False
// when stopped; `settled` false when the last attempt was still short.
template <class T, class Product>
bool OwnReference(const Scene& scene, int i, int j, PixelRecord& cell, int32_t* count, bool& settled)
{
    ReferenceOrbit own;
    long bits = scene.bits;
    for (int attempt = 0;; ++attempt) {
        if (!OwnOrbit(scene, i, j, bits, own))
            return false;
        settled = own.bitsShort == 0;
        if (settled || attempt == kOwnAttempts - 1)
            break;
        bits = NextOwnBits(bits, own.bitsShort);
    }
    // A zero difference stays zero: no skips needed, and none taken.
    const Setup<T> s = MakeSetup<T>(scene, own, scene.startIndex);
    const PixelOut o = IteratePixel<T, Product>(s, T(0.0), T(0.0), T(0.0), T(0.0));
    if (o.cell.stopped)
        return false;
    Store(o, cell, count);
    return true;
}

// The skip tables of the view's orbits: the largest |dc| of any pixel
// bounds every skip's radius.
template <class T>
struct Skips {
    SkipTable<T> centre, rebase;

    explicit Skips(const Scene& scene)
    {
        const DeepJob& job = scene.job;
        if (!job.linearSkips)
            return;
        const T pixel = FromWide<T>(job.pixelSize);
        const T half = T(double(std::max(job.width, job.height) / 2 + 1)) * pixel;
        const T dcMax = job.julia ? T(0.0) : half * T(1.5); // beyond sqrt(2)
        const T radius = FromDouble<T>(std::sqrt(job.radius2));
        const auto build = [&](const ReferenceOrbit& o, SkipTable<T>& table) {
            const OrbitView<T> v = View(o, static_cast<T*>(nullptr));
            BuildSkipTable(v.re, v.im, v.size, job.julia, radius, dcMax, T(kEps), table, job.skipAllLengths);
        };
        build(scene.centre, centre);
        if (job.julia)
            build(scene.rebase, rebase);
    }
    void Attach(const Scene& scene, Setup<T>& s) const
    {
        if (!scene.job.linearSkips)
            return;
        s.startSkips = &centre;
        s.rebaseSkips = scene.job.julia ? &rebase : &centre;
    }
};

// A doubtful pixel at the top of its second try's first step: z = w + d
// about the start orbit read to 106 bits, its bound from the rounding of d
// and of the orbit's first value.
DeepLowPixel StartLow(const DeepLowView& v, size_t startIndex, DoubleDouble dr, DoubleDouble di, double dcr,
                      double dci)
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
    p.err = deep_thresholds::kEpsLow * std::sqrt(dr.hi * dr.hi + di.hi * di.hi) +
            v.orbitUnit * (std::sqrt(p.m2) + v.cAbs);
    p.pr = p.zr.hi;
    p.pi = p.zi.hi;
    return p;
}

// The second try at the doubtful double pixels, in double-double, all rows
// at once in lanes: those it settles are written and leave the lists.
// False when stopped.
bool SecondTry(const Scene& scene, const Setup<double>& s, PixelRecord* const* rows, int32_t* counts,
               std::vector<std::vector<Doubtful>>& doubtful, bool skipCentre, int& settled)
{
    const DeepJob& job = scene.job;
    DeepLowView view;
    const ReferenceOrbit* orbits[2] = {&scene.centre, &scene.rebase};
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
    // Every doubtful pixel at the top of its first step, in row order.
    std::vector<DeepLowPixel> pixels;
    const auto tried = [&](int i, int j) { return !(skipCentre && i == job.height / 2 && j == job.width / 2); };
    for (int i = 0; i < job.height; ++i)
        for (const Doubtful& d : doubtful[size_t(i)]) {
            const int j = d.column;
            if (!tried(i, j))
                continue;
            const double x = Offset(j, job.width, s.pixel), y = Offset(i, job.height, s.pixel);
            pixels.push_back(job.julia ? StartLow(view, s.startIndex, Divide(x, job.g), Divide(y, job.g), 0.0, 0.0)
                                       : StartLow(view, s.startIndex, {x, 0}, {y, 0}, x, y));
        }
    // Chunks long enough to keep every lane busy while pixels of unequal
    // lengths come and go.
    constexpr int kChunk = 256;
    const int chunks = int((pixels.size() + kChunk - 1) / kChunk);
    std::atomic<bool> stopped{false};
    ForEachRange(chunks, 1, [&](int begin, int end) {
        for (int c = begin; c < end && !stopped.load(std::memory_order_relaxed); ++c) {
            if (job.stop && job.stop->load(std::memory_order_relaxed)) {
                stopped = true;
                return;
            }
            const size_t first = size_t(c) * kChunk, count = std::min<size_t>(kChunk, pixels.size() - first);
            if (!RunDeepLow(s.isa, view, pixels.data() + first, count))
                stopped = true;
        }
    });
    if (stopped)
        return false;
    settled = 0;
    size_t n = 0;
    for (int i = 0; i < job.height; ++i) {
        std::vector<Doubtful>& list = doubtful[size_t(i)];
        size_t kept = 0;
        for (const Doubtful& d : list) {
            const int j = d.column;
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
            Store(o, rows[i][j], counts ? counts + size_t(i) * size_t(job.width) + size_t(j) : nullptr);
            ++settled;
        }
        list.resize(kept);
    }
    return true;
}

template <class T, class Product>
bool AllRows(const Scene& scene, PixelRecord* const* rows, int32_t* counts, DeepOutcome& outcome)
{
    const DeepJob& job = scene.job;
    Setup<T> s = MakeSetup<T>(scene, scene.centre, scene.startIndex);
    if (!PlainPath())
        s.isa = ChosenKernelIsa();
    const Skips<T> skips(scene);
    skips.Attach(scene, s);
    std::vector<std::vector<Doubtful>> doubtful(size_t(job.height));
    std::atomic<bool> stopped{false}, outOfMemory{false};
    Tally tally;
    ForEachRange(job.height, 1, [&](int begin, int end) {
        for (int i = begin; i < end && !stopped.load(std::memory_order_relaxed); ++i) {
            int32_t* rowCounts = counts ? counts + size_t(i) * size_t(job.width) : nullptr;
            bool whole = false;
            try {
                whole = !(job.stop && job.stop->load(std::memory_order_relaxed)) &&
                        Row<T, Product>(s, i, job.height, rows[i], rowCounts, doubtful[size_t(i)], tally);
            } catch (const std::bad_alloc&) {
                outOfMemory = true;
            }
            if (!whole) {
                stopped = true;
                return;
            }
            if (job.progress)
                job.progress->AddRows(1);
        }
    });
    if (outOfMemory)
        throw std::bad_alloc();
    if (stopped)
        return false;
    outcome.totalIterations = tally.steps.load();
    outcome.skippedIterations = tally.skipped.load();
    outcome.laneIterations = tally.lanes.load();
    const bool centreInDoubt = scene.centre.bitsShort > 0;
    if constexpr (std::is_same_v<T, double>)
        if (job.secondTry && !scene.centre.reLow.empty() &&
            !SecondTry(scene, s, rows, counts, doubtful, centreInDoubt, outcome.settledInDoubleDouble))
            return false;
    // The budget goes to the doubtful pixels in row order, each charged
    // what its difference iteration ran: the choice depends on nothing
    // but the view.
    std::vector<std::pair<int, int>> again;
    int64_t spent = 0;
    // The centre's pixel has no difference and so no bound of its own: it
    // is the centre's orbit, in doubt when that orbit is, and first served.
    const int ci = job.height / 2, cj = job.width / 2;
    if (centreInDoubt) {
        spent += int64_t(scene.centre.size()) + 3;
        again.emplace_back(ci, cj);
    }
    for (int i = 0; i < job.height; ++i)
        for (const Doubtful& d : doubtful[size_t(i)]) {
            if (centreInDoubt && i == ci && d.column == cj)
                continue;
            if (job.ownReferenceBudget >= 0 && spent + d.cost > job.ownReferenceBudget) {
                ++outcome.doubtfulKept;
                continue;
            }
            spent += d.cost;
            again.emplace_back(i, d.column);
        }
    outcome.ownReferences = int(again.size());
    std::atomic<int> kept{0}, unsettled{0};
    ForEachRange(int(again.size()), 1, [&](int begin, int end) {
        for (int n = begin; n < end && !stopped.load(std::memory_order_relaxed); ++n) {
            const auto [i, j] = again[size_t(n)];
            int32_t* count = counts ? counts + size_t(i) * size_t(job.width) + size_t(j) : nullptr;
            bool whole = true, settled = true;
            try {
                whole = OwnReference<T, Product>(scene, i, j, rows[i][j], count, settled);
                if (!settled)
                    unsettled.fetch_add(1, std::memory_order_relaxed);
            } catch (const std::bad_alloc&) {
                // The pixel keeps its difference iteration's result.
                kept.fetch_add(1, std::memory_order_relaxed);
            }
            if (!whole) {
                stopped = true;
                return;
            }
        }
    });
    outcome.ownReferences -= kept.load();
    outcome.doubtfulKept += kept.load();
    outcome.unsettled = unsettled.load();
    return !stopped;
}

bool Wide(const DeepJob& job)
{
    return job.forceWide || job.pixelSize.e < kWideBelowExponent;
}

// Whether the orbits keep their values to 106 bits for the second try at
// doubtful pixels: on views of doubles, up to a length whose extra memory
// stays in the hundreds of MB.
bool LowParts(const DeepJob& job)
{
    return !Wide(job) && job.maxIterations <= (1 << 24);
}

size_t OrbitLength(const DeepJob& job)
{
    // z_(n+1) may be read from index n + 2 (the Mandelbrot start is index 1).
    return size_t(std::max(0, job.maxIterations)) + 3;
}

} // namespace

long DeepPrecisionBits(FloatExp pixelSize)
{
    // The centre must place a pixel to well within its size, and the orbit's
    // roundings, which grow with its derivative (below radius / pixel size
    // for points not yet escaped), must stay far below a double's last digit
    // of the differences: 64 bits beyond the pixel size's own, and 8 for a
    // centre of a few units.
    return 72 + long(std::max<int64_t>(0, -pixelSize.e));
}

std::string DoubtfulNote(const DeepOutcome& outcome)
{
    const int left = outcome.doubtfulKept + outcome.unsettled;
    if (left == 0)
        return {};
    return std::to_string(left) + (left == 1 ? " pixel" : " pixels") + " left doubtful";
}

long DigitBits(std::string_view text)
{
    // Every digit of the significand, leading zeros too (they cost little),
    // at 10/3 bits each, and 64 bits below the last.
    long digits = 0;
    for (const char ch : text) {
        if (ch == 'e' || ch == 'E')
            break;
        digits += ch >= '0' && ch <= '9';
    }
    return 64 + (digits * 10 + 2) / 3;
}

uint64_t DeepMemoryNeed(const DeepJob& job)
{
    const bool wide = Wide(job);
    const uint64_t length = OrbitLength(job);
    const uint64_t orbit = length * (2 * sizeof(double) + (wide ? 2 * sizeof(FloatExp) : 0));
    const uint64_t lowParts = LowParts(job) ? length * 2 * sizeof(double) : 0;
    const uint64_t table = !job.linearSkips ? 0
                           : wide           ? SkipTableBytes<FloatExp>(length)
                                            : SkipTableBytes<double>(length);
    const uint64_t orbits = job.julia ? 2 : 1;
    // Each core may hold the orbit of a doubtful pixel's own reference.
    const uint64_t cores = std::max(1u, std::thread::hardware_concurrency());
    return orbits * (orbit + lowParts + table) + cores * orbit;
}

DeepOutcome BuildDeepView(const DeepJob& job, PixelRecord* const* rows, int32_t* counts)
{
    DeepOutcome out;
    if (!(job.pixelSize.m > 0) || !std::isfinite(job.pixelSize.m) || !std::isfinite(job.g) || !(job.g > 0) ||
        !(job.radius2 >= 0)) {
        out.error = "The view is not finite";
        return out;
    }
    if (job.width <= 0 || job.height <= 0)
        return out;
    // The centre is the point the document holds, to all its digits.
    const long bits = std::max({DeepPrecisionBits(job.pixelSize), DigitBits(job.centreRe), DigitBits(job.centreIm)});
    MpfrReal x(bits), y(bits);
    bool exactX = false, exactY = false;
    if (!x.Parse(job.centreRe, &exactX)) {
        out.error = "The centre's x is not a number: \"" + job.centreRe + "\"";
        return out;
    }
    if (!y.Parse(job.centreIm, &exactY)) {
        out.error = "The centre's y is not a number: \"" + job.centreIm + "\"";
        return out;
    }
    const bool wide = Wide(job);
    const size_t length = OrbitLength(job);
    if (job.maxIterations > kDeepMaxIterations) {
        out.error = "A deep view iterates at most " + std::to_string(kDeepMaxIterations) + " times, not " +
                    std::to_string(job.maxIterations);
        return out;
    }
    const MpfrReal zero(bits);
    const bool low = LowParts(job);
    ReferenceOrbit centre, critical;
    bool whole = true;
    size_t startIndex = 0;
    try {
        if (!job.julia) {
            // w_0 = 0, w_1 = the centre = c: the centre's orbit is also the
            // critical point's, the one pixels rebase to.
            whole = ComputeReferenceOrbit(zero, zero, x, y, job.radius2, length, wide, job.stop, centre,
                                          exactX && exactY, 1, low);
            startIndex = 1;
        } else {
            MpfrReal cr(bits), ci(bits), sx(bits), sy(bits);
            mpfr_set_d(cr.get(), job.cRe, MPFR_RNDN);
            mpfr_set_d(ci.get(), job.cIm, MPFR_RNDN);
            const bool exact = (mpfr_div_d(sx.get(), x.get(), job.g, MPFR_RNDN) == 0) &
                               (mpfr_div_d(sy.get(), y.get(), job.g, MPFR_RNDN) == 0) & exactX & exactY;
            whole = ComputeReferenceOrbit(sx, sy, cr, ci, job.radius2, length, wide, job.stop, centre, exact, 0, low) &&
                    ComputeReferenceOrbit(zero, zero, cr, ci, job.radius2, length, wide, job.stop, critical, true, 0,
                                          low);
        }
        if (!whole) {
            out.stopped = true;
            return out;
        }
        const Scene scene{job, x, y, bits, wide, length, centre, startIndex, job.julia ? critical : centre};
        out.stopped = wide ? !AllRows<FloatExp, ProductWide>(scene, rows, counts, out)
                           : !AllRows<double, ProductDouble>(scene, rows, counts, out);
    } catch (const std::bad_alloc&) {
        out = DeepOutcome();
        out.error = "Not enough memory for the deep view's reference orbits";
    }
    return out;
}
