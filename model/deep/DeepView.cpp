#include "model/deep/DeepView.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <memory>
#include <new>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "imaging/ColorMap.h"
#include "imaging/Parallel.h"
#include "model/deep/DeepRows.h"
#include "model/deep/LinearSkips.h"
#include "model/deep/ReferenceCache.h"
#include "model/deep/ReferenceOrbit.h"
#include "model/kernels/MandelbrotPoint.h"

namespace {

using namespace deep_pixel;

// Views whose pixels are below 2^-600 keep every value in FloatExp: their
// differences, squared and multiplied into the product, would leave the
// range of doubles.
constexpr int64_t kWideBelowExponent = -600;

// How often a doubtful pixel's own orbit is computed, each time with the
// bits its bound found missing.
constexpr int kOwnAttempts = 4;

// The orbit of pixel (i, j) itself at `bits`: the centre read again from
// its digits, the offset added, every step in MPFR. False when stopped.
bool OwnOrbit(const Scene& scene, int i, int j, long bits, ReferenceOrbit& own)
{
    const DeepJob& job = scene.job;
    const FloatExp offsets[2] = {FloatExp(double(j - job.width / 2)) * job.pixelSize,
                                 FloatExp(double(i - job.height / 2)) * job.pixelSize};
    MpfrReal px(bits), py(bits), step(bits);
    const std::string* center[2] = {&job.centerRe, &job.centerIm};
    MpfrReal* point[2] = {&px, &py};
    bool exact = true;
    for (int a = 0; a < 2; ++a) {
        bool read = false;
        point[a]->Parse(*center[a], &read);
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
template <class T>
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
    const PixelOut o = IteratePixelOf<T>(s, T(0.0), T(0.0), T(0.0), T(0.0));
    if (o.cell.stopped)
        return false;
    Store(o, cell, count, s.distance);
    return true;
}

// The skip tables of the view's orbits: the largest |dc| of any pixel
// bounds every skip's radius. The view's cache keeps them with its orbits,
// for the next build of the same view.
template <class T>
struct Skips {
    std::shared_ptr<const SkipTable<T>> center, rebase;

    explicit Skips(const Scene& scene)
    {
        const DeepJob& job = scene.job;
        if (!job.linearSkips)
            return;
        const T pixel = FromWide<T>(job.pixelSize);
        const T half = T(double(std::max(job.width, job.height) / 2 + 1)) * pixel;
        const T dcMax = job.julia ? T(0.0) : half * T(1.5); // beyond sqrt(2)
        const T radius = FromDouble<T>(std::sqrt(job.radius2));
        const auto table = [&](const ReferenceOrbit& o) -> std::shared_ptr<const SkipTable<T>> {
            const OrbitView<T> v = View(o, static_cast<T*>(nullptr));
            const std::function<void(SkipTable<T>&)> build = [&](SkipTable<T>& t) {
                BuildSkipTable(v.re, v.im, v.size, job.julia, radius, dcMax, T(kEps), t, job.skipAllLengths);
            };
            if (job.orbits) {
                const std::function<bool(SkipTable<T>&)> radii = [&](SkipTable<T>& t) {
                    return RadiiForView(v.re, v.im, job.julia, radius, dcMax, t);
                };
                const SkipKey key{Wide(dcMax),        std::sqrt(job.radius2),
                                  job.julia,          std::is_same_v<T, FloatExp>,
                                  job.skipAllLengths, o.size()};
                return job.orbits->Table<T>(o, key, build, radii);
            }
            auto fresh = std::make_shared<SkipTable<T>>();
            build(*fresh);
            return fresh;
        };
        center = table(scene.center);
        if (job.julia)
            rebase = table(scene.rebase);
    }
    void Attach(const Scene& scene, Setup<T>& s) const
    {
        if (!scene.job.linearSkips)
            return;
        s.startSkips = center.get();
        s.rebaseSkips = scene.job.julia ? rebase.get() : center.get();
    }
};

// The runs' indices in reading order: the top row first, each from the left.
std::vector<size_t> ReadingOrder(const std::vector<DeepRun>& runs)
{
    std::vector<size_t> order(runs.size());
    for (size_t n = 0; n < order.size(); ++n)
        order[n] = n;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return runs[a].row != runs[b].row ? runs[a].row > runs[b].row : runs[a].from < runs[b].from;
    });
    return order;
}

// A wide orbit's doubles for the lanes: NaN where a value lies below the
// normal doubles, which hold it inexactly (the copy is made only then).
OrbitView<double> PlainOrbit(const ReferenceOrbit& o, std::vector<double>& re, std::vector<double>& im)
{
    // A double of 2^-1022 may be a smaller value rounded up to it.
    const auto inexact = [](double d, FloatExp w) { return !(std::fabs(d) > DBL_MIN) && w.m != 0; };
    for (size_t n = 0; n < o.size(); ++n)
        if (inexact(o.re[n], o.reWide[n]) || inexact(o.im[n], o.imWide[n])) {
            re = o.re;
            im = o.im;
            for (size_t k = n; k < o.size(); ++k) {
                if (inexact(re[k], o.reWide[k]))
                    re[k] = std::nan("");
                if (inexact(im[k], o.imWide[k]))
                    im[k] = std::nan("");
            }
            return {re.data(), im.data(), o.size()};
        }
    return View(o, static_cast<double*>(nullptr));
}

template <class T>
bool AllRuns(const Scene& scene, const std::vector<DeepRun>& runs, DeepBudget& budget, DeepOutcome& outcome)
{
    const DeepJob& job = scene.job;
    Setup<T> s = MakeSetup<T>(scene, scene.center, scene.startIndex);
    if (!PlainPath())
        s.isa = ChosenKernelIsa();
    std::vector<double> plain[4];
    // The lanes and the skips taken in doubles read them.
    if constexpr (!std::is_same_v<T, double>) {
        s.startPlain = PlainOrbit(scene.center, plain[0], plain[1]);
        s.rebasePlain = &scene.rebase == &scene.center ? s.startPlain : PlainOrbit(scene.rebase, plain[2], plain[3]);
    }
    const Skips<T> skips(scene);
    skips.Attach(scene, s);
    std::vector<std::vector<Doubtful>> doubtful(runs.size());
    std::atomic<bool> stopped{false}, outOfMemory{false};
    Tally tally;
    ForEachRange(int(runs.size()), 1, [&](int begin, int end) {
        for (int n = begin; n < end && !stopped.load(std::memory_order_relaxed); ++n) {
            const DeepRun& run = runs[size_t(n)];
            bool whole = false;
            try {
                whole =
                    !(job.stop && job.stop->load(std::memory_order_relaxed)) &&
                    Row<T>(s, run.row, job.height, run.from, run.to, run.cells, run.counts, doubtful[size_t(n)], tally);
            } catch (const std::bad_alloc&) {
                outOfMemory = true;
            }
            if (!whole) {
                stopped = true;
                return;
            }
            if (job.progress && run.from == 0 && run.to == job.width)
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
    const bool centerInDoubt = scene.center.bitsShort > 0;
    if constexpr (std::is_same_v<T, double>)
        if (job.secondTry && !scene.center.reLow.empty() &&
            !SecondTry(scene, s, runs, doubtful, centerInDoubt, outcome))
            return false;
    // The budget goes to the doubtful pixels in reading order, each charged
    // what its difference iteration ran: the choice depends on nothing but
    // the view, and bands built from the top down make it as the whole
    // image's build does.
    struct Again {
        int i, j;
        PixelRecord* cell;
        int32_t* count;
    };
    std::vector<Again> again;
    // The centre's pixel has no difference and so no bound of its own: it
    // is the centre's orbit, in doubt when that orbit is, and first served.
    const int ci = job.height / 2, cj = job.width / 2;
    if (!budget.begun) {
        budget.begun = true;
        if (centerInDoubt)
            budget.spent += int64_t(scene.center.size()) + 3;
    }
    // A row charged before (a band's margin, built again) starts from what
    // it started from then; a new one from the rows above it. The runs of
    // one row follow one another.
    int row = -1;
    bool fresh = false;
    int64_t spent = 0;
    const auto endRow = [&] {
        if (fresh)
            budget.spent = spent;
    };
    for (const size_t n : ReadingOrder(runs)) {
        const DeepRun& run = runs[n];
        if (run.row != row) {
            endRow();
            row = run.row;
            const auto known = budget.before.find(row);
            fresh = known == budget.before.end();
            spent = fresh ? budget.spent : known->second;
            if (fresh)
                budget.before.emplace(row, spent);
        }
        PixelRecord* const cells = run.cells;
        int32_t* const counts = run.counts;
        if (centerInDoubt && run.row == ci && run.from <= cj && cj < run.to)
            again.push_back({ci, cj, cells + (cj - run.from), counts ? counts + (cj - run.from) : nullptr});
        for (const Doubtful& d : doubtful[n]) {
            if (centerInDoubt && run.row == ci && d.column == cj)
                continue;
            if (job.ownReferenceBudget >= 0 && spent + d.cost > job.ownReferenceBudget) {
                ++outcome.doubtfulKept;
                continue;
            }
            spent += d.cost;
            const int k = d.column - run.from;
            again.push_back({run.row, d.column, cells + k, counts ? counts + k : nullptr});
        }
    }
    endRow();
    outcome.ownReferences = int(again.size());
    std::atomic<int> kept{0}, unsettled{0};
    ForEachRange(int(again.size()), 1, [&](int begin, int end) {
        for (int n = begin; n < end && !stopped.load(std::memory_order_relaxed); ++n) {
            const Again& a = again[size_t(n)];
            bool whole = true, settled = true;
            try {
                whole = OwnReference<T>(scene, a.i, a.j, *a.cell, a.count, settled);
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

bool Wide(const DeepJob& job) { return job.forceWide || job.pixelSize.e < kWideBelowExponent; }

// Whether the orbits keep their values to 106 bits for the second try at
// doubtful pixels: on views of doubles, up to a length whose extra memory
// stays in the hundreds of MB.
bool LowParts(const DeepJob& job) { return !Wide(job) && job.maxIterations <= (1 << 24); }

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

long DeepOrbitBits(const DeepJob& job)
{
    // The centre is the point the document holds, to all its digits.
    return std::max({DeepPrecisionBits(job.pixelSize), DigitBits(job.centerRe), DigitBits(job.centerIm)});
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
    std::vector<DeepRun> runs(size_t(std::max(0, job.height)));
    for (int i = 0; i < job.height; ++i)
        runs[size_t(i)] = {i, 0, job.width, rows[i], counts ? counts + size_t(i) * size_t(job.width) : nullptr};
    DeepBudget budget;
    return BuildDeepRuns(job, runs, budget);
}

DeepOutcome BuildDeepRuns(const DeepJob& job, const std::vector<DeepRun>& runs, DeepBudget& budget)
{
    DeepOutcome out;
    if (!(job.pixelSize.m > 0) || !std::isfinite(job.pixelSize.m) || !std::isfinite(job.g) || !(job.g > 0) ||
        !(job.radius2 >= 0)) {
        out.error = "The view is not finite";
        return out;
    }
    if (job.width <= 0 || job.height <= 0)
        return out;
    for (const DeepRun& r : runs)
        if (r.row < 0 || r.row >= job.height || r.from < 0 || r.from > r.to || r.to > job.width || !r.cells) {
            out.error = "A run of pixels lies outside the deep view";
            return out;
        }
    const long bits = DeepOrbitBits(job);
    MpfrReal x(bits), y(bits);
    bool exactX = false, exactY = false;
    if (!x.Parse(job.centerRe, &exactX)) {
        out.error = "The centre's x is not a number: \"" + job.centerRe + "\"";
        return out;
    }
    if (!y.Parse(job.centerIm, &exactY)) {
        out.error = "The centre's y is not a number: \"" + job.centerIm + "\"";
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
    std::shared_ptr<const ReferenceOrbit> center, critical;
    bool whole = true;
    size_t startIndex = 0;
    const auto orbit = [&](const MpfrReal& sRe, const MpfrReal& sIm, const MpfrReal& cRe, const MpfrReal& cIm,
                           bool exact, size_t firstTested) {
        if (job.orbits)
            return job.orbits->Orbit(sRe, sIm, cRe, cIm, job.radius2, length, wide, job.stop, exact, firstTested, low,
                                     whole);
        auto o = std::make_shared<ReferenceOrbit>();
        whole =
            ComputeReferenceOrbit(sRe, sIm, cRe, cIm, job.radius2, length, wide, job.stop, *o, exact, firstTested, low);
        return std::shared_ptr<const ReferenceOrbit>(std::move(o));
    };
    try {
        if (!job.julia) {
            // w_0 = 0, w_1 = the centre = c: the centre's orbit is also the
            // critical point's, the one pixels rebase to.
            center = orbit(zero, zero, x, y, exactX && exactY, 1);
            startIndex = 1;
        } else {
            MpfrReal cr(bits), ci(bits), sx(bits), sy(bits);
            mpfr_set_d(cr.get(), job.cRe, MPFR_RNDN);
            mpfr_set_d(ci.get(), job.cIm, MPFR_RNDN);
            const bool exact = (mpfr_div_d(sx.get(), x.get(), job.g, MPFR_RNDN) == 0) &
                               (mpfr_div_d(sy.get(), y.get(), job.g, MPFR_RNDN) == 0) & exactX & exactY;
            // The critical point's first: a pan leaves it as it was.
            critical = orbit(zero, zero, cr, ci, true, 0);
            if (whole)
                center = orbit(sx, sy, cr, ci, exact, 0);
        }
        if (!whole) {
            out.stopped = true;
            return out;
        }
        const Scene scene{job, x, y, bits, wide, length, *center, startIndex, job.julia ? *critical : *center};
        out.stopped = wide ? !AllRuns<FloatExp>(scene, runs, budget, out) : !AllRuns<double>(scene, runs, budget, out);
    } catch (const std::bad_alloc&) {
        out = DeepOutcome();
        out.error = "Not enough memory for the deep view's reference orbits";
    }
    return out;
}
