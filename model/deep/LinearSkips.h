#pragma once
// Skips over the iterations that the pixels of a deep view share.
//
// While a pixel's difference d from the reference is tiny beside the orbit
// value Z_j, one step d <- 2 Z_j d + d^2 + dc is, but for the dropped d^2,
// linear in (d, dc): d <- A d + B dc with A = 2 Z_j and B = 1 (a Julia set
// has no dc: B = 0). Two such steps make one, A = A2 A1, B = A2 B1 + B2, and
// merging pairs level by level gives skips of 2, 4, 8, ... steps that start
// at indices base + m 2^level. A skip is taken only where it is valid: the
// pixel's |d| (plus its error bound) is below the skip's radius r, which
// keeps every d_j inside the skip below 2^-50 |Z_j|.
//
// The table also carries what the pixel's rounding-error bound needs to
// cross the skip (see SkipEntry) and the direction of the product of the
// skipped z_j, the only part of the running product that is painted.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "model/deep/FloatExp.h"
#include "model/deep/HugePages.h"

template <class T>
struct SkipEntry {
    T ar, ai, br, bi; // A and B
    // |d_in| + err_in < r: every d_j inside the skip stays below 2^-50 |Z_j|
    // and no z_j inside it comes near the escape radius.
    T r;
    // Bounds on |A| and on the sum of the moduli that make up B.
    T aAbs, bAbs;
    // |exact d_out - (A d + B dc)| <= qa |d|^2 + qb |d| |dc| + qc |dc|^2
    // (the dropped squares) + ed |d| + ec |dc| (the roundings of the
    // orbit, of A and B and of their products).
    T qa, qb, qc, ed, ec;
    double ur, ui; // the direction of z_i z_(i+1) ... z_(i+len-1)
};

// The factor that covers, over any skip of up to 2^27 steps, the product of
// (1 + |d_j / Z_j|) <= (1 + 2^-50) by which the true derivative and the
// intermediate |d_j| may exceed their linear bounds.
inline constexpr double kSkipSlack = 1 + 0x1p-20;
// Larger linear factors are not merged: A d must stay finite for d = 0.
inline constexpr double kSkipMaxGain = 0x1p400;
// Tables hold skips of every length over this many steps of an orbit, and
// past them only skips of kSkipSparseLength steps and more: about one entry
// for 16 steps rather than one a step, so the table of a 10^8-iteration
// view stays below the size of its orbit, while a pixel there waits at
// most kSkipSparseLength - 1 single steps for the next skip's start.
inline constexpr size_t kSkipMaxSteps = size_t(1) << 21;
inline constexpr size_t kSkipSparseLength = 32;

template <class T>
struct SkipTable {
    size_t base = 1;                               // level-0 steps start at base + m
    size_t steps = 0;                              // steps from base that skips may cover
    std::vector<std::vector<SkipEntry<T>>> levels; // levels[l - 1]: skips of 2^l steps
    // A wide table's entries again in doubles, entry for entry, where
    // doubles hold every factor and bound exactly (r 1 there, 0 elsewhere):
    // the skips taken in doubles read them without converting each. Empty
    // in a table of doubles, or one taken in FloatExp alone.
    std::vector<std::vector<SkipEntry<double>>> inDoubles;
    // With them, the radii as doubles times 2^-radiusScale, which puts the
    // largest near 2^1000: NaN where that is no normal double (or zero).
    // The skips taken in doubles compare their reach with these, densely
    // laid out, exactly.
    std::vector<std::vector<double>> radii;
    int64_t radiusScale = 0;
    // Over the entries held in doubles, the largest exponent of qa and of
    // qb beyond that of ed, and of qc beyond that of ec (where both are
    // nonzero): whether a pixel's |d| and |dc| leave the bound's quadratic
    // terms out of its sums is then known for every entry at once.
    int64_t gapA = kNoGap, gapB = kNoGap, gapC = kNoGap;
    static constexpr int64_t kNoGap = INT64_MIN / 4;
};

namespace linear_skips {

inline double Unit(double re, double im, double& ur, double& ui)
{
    const double s = std::max(std::fabs(re), std::fabs(im));
    if (!(s > 0) || !std::isfinite(s)) {
        ur = 1;
        ui = 0;
        return 0;
    }
    int e = 0;
    std::frexp(s, &e);
    re = std::ldexp(re, -e);
    im = std::ldexp(im, -e);
    const double h = std::hypot(re, im);
    ur = re / h;
    ui = im / h;
    return h;
}

inline void Unit(FloatExp re, FloatExp im, double& ur, double& ui)
{
    const int64_t top = re.m == 0 ? im.e : im.m == 0 ? re.e : std::max(re.e, im.e);
    Unit(FloatExp::Normal(re.m, re.e - top).ToDouble(), FloatExp::Normal(im.m, im.e - top).ToDouble(), ur, ui);
}

template <class T>
T Max(T a, T b)
{
    return a < b ? b : a;
}

template <class T>
T Min(T a, T b)
{
    return b < a ? b : a;
}

// What a merged radius reads of the single step from index j: its radius
// and its moduli. Returns |Z_j|.
template <class T>
T StepReach(T zr, T zi, bool julia, SkipEntry<T>& s)
{
    const T z = Sqrt(zr * zr + zi * zi);
    s.aAbs = z + z;
    s.bAbs = T(julia ? 0.0 : 1.0);
    // |d| < 2^-50 |Z|: the dropped d^2 is below 2^-51 of 2 Z d.
    s.r = s.aAbs < T(kSkipMaxGain) ? z * T(0x1p-50) : T(0.0);
    return z;
}

// The single step from index j.
template <class T>
SkipEntry<T> Step(T zr, T zi, bool julia, T eps)
{
    SkipEntry<T> s;
    StepReach(zr, zi, julia, s);
    s.ar = zr + zr;
    s.ai = zi + zi;
    s.br = s.bAbs;
    s.bi = T(0.0);
    s.qa = T(1.0);
    s.qb = s.qc = T(0.0);
    // The rounding of Z_j and of the step's product and sum.
    s.ed = eps * s.aAbs;
    s.ec = julia ? T(0.0) : eps;
    Unit(zr, zi, s.ur, s.ui);
    return s;
}

// The skip `a` then `b` but for its radius: every part that does not
// depend on the view's size.
template <class T>
SkipEntry<T> MergeLinear(const SkipEntry<T>& a, const SkipEntry<T>& b, T eps)
{
    const T f = T(kSkipSlack);
    SkipEntry<T> s;
    s.ar = b.ar * a.ar - b.ai * a.ai;
    s.ai = b.ar * a.ai + b.ai * a.ar;
    s.br = b.ar * a.br - b.ai * a.bi + b.br;
    s.bi = b.ar * a.bi + b.ai * a.br + b.bi;
    s.aAbs = b.aAbs * a.aAbs;
    s.bAbs = b.aAbs * a.bAbs + b.bAbs;
    s.r = T(0.0);
    // b's quadratic form at |d_mid| <= aAbs_a |d| + bAbs_a |dc|, plus a's
    // carried through b's factor.
    s.qa = f * (b.aAbs * a.qa + b.qa * a.aAbs * a.aAbs);
    s.qb = f * (b.aAbs * a.qb + T(2.0) * b.qa * a.aAbs * a.bAbs + b.qb * a.aAbs);
    s.qc = f * (b.aAbs * a.qc + b.qa * a.bAbs * a.bAbs + b.qb * a.bAbs + b.qc);
    // The merge's own products and sums round too: a few units of the
    // last place of the moduli they add up.
    s.ed = b.aAbs * a.ed + b.ed * a.aAbs + eps * s.aAbs;
    s.ec = b.aAbs * a.ec + b.ed * a.bAbs + b.ec + eps * s.bAbs;
    const double pr = a.ur * b.ur - a.ui * b.ui, pi = a.ur * b.ui + a.ui * b.ur;
    Unit(pr, pi, s.ur, s.ui);
    return s;
}

// The radius of the skip `a` then `b`, whose |A| is aAbs; `midAbs` is |Z|
// where b starts, which becomes a z_j inside the merged skip and so must
// stay clear of the escape radius.
template <class T>
T MergedRadius(const SkipEntry<T>& a, const SkipEntry<T>& b, T aAbs, T midAbs, T halfRadius, T dcMax)
{
    // |d_mid| <= aAbs_a |d| + bAbs_a |dc| (times the slack) must stay below b's radius.
    if (midAbs <= halfRadius && aAbs < T(kSkipMaxGain) && a.aAbs > T(0.0))
        return Min(a.r, Max(T(0.0), (b.r / T(kSkipSlack) - a.bAbs * dcMax) / a.aAbs));
    return T(0.0);
}

// The skip `a` then `b`.
template <class T>
SkipEntry<T> Merge(const SkipEntry<T>& a, const SkipEntry<T>& b, T midAbs, T halfRadius, T dcMax, T eps)
{
    SkipEntry<T> s = MergeLinear(a, b, eps);
    s.r = MergedRadius(a, b, s.aAbs, midAbs, halfRadius, dcMax);
    return s;
}

// A wide table's steps and merges in doubles where they give the bits of
// FloatExp (WideSkips.cpp): false where they do not, and `out` is then
// left to the FloatExp ones. Merges leave the radius to the caller, and
// read the halves' doubles (`da`, `db`), which must be valid. `d` is the
// entry in doubles, as SkipTable::inDoubles holds it.
bool WideStepInDoubles(FloatExp zr, FloatExp zi, bool julia, FloatExp eps, SkipEntry<FloatExp>& out,
                       SkipEntry<double>& d);
bool WideMergeInDoubles(const SkipEntry<double>& da, const SkipEntry<double>& db, FloatExp eps,
                        SkipEntry<FloatExp>& out, SkipEntry<double>& d);
// The entry in doubles for one taken in FloatExp.
SkipEntry<double> WideInDoubles(const SkipEntry<FloatExp>& w);

// Fills a wide table's gaps from its entries in doubles, and its radii and
// radiusScale from its levels' radii (RadiiInDoubles, alone where only the
// radii changed).
void ForDoubles(SkipTable<FloatExp>& t);
void RadiiInDoubles(SkipTable<FloatExp>& t);

// Up to this many of a level's entries are taken in doubles under one look
// at the flags, which costs as much as several of them.
inline constexpr size_t kSkipRun = 32;
// `n` (at most kSkipRun) consecutive entries of a level in doubles, out[m]
// and its FloatExp form outWide[m] but for the radius: merged from
// halves[2m] and halves[2m + 1] (their doubles, which must all be valid),
// or without halves from the 2n steps at re[j], im[j], which are then
// written too (`steps`; of `stepsWide` only what MergedRadius reads).
// False where any of them does not give FloatExp's bits: they are then to
// be taken one by one.
bool WideRunInDoubles(const FloatExp* re, const FloatExp* im, const SkipEntry<double>* halves, size_t n, bool julia,
                      FloatExp eps, SkipEntry<double>* steps, SkipEntry<FloatExp>* stepsWide, SkipEntry<double>* out,
                      SkipEntry<FloatExp>* outWide);

inline SkipEntry<FloatExp> WideStep(FloatExp zr, FloatExp zi, bool julia, FloatExp eps, SkipEntry<double>& d)
{
    SkipEntry<FloatExp> s;
    if (WideStepInDoubles(zr, zi, julia, eps, s, d))
        return s;
    s = Step(zr, zi, julia, eps);
    d = WideInDoubles(s);
    return s;
}

inline SkipEntry<FloatExp> WideMerge(const SkipEntry<FloatExp>& a, const SkipEntry<FloatExp>& b,
                                     const SkipEntry<double>& da, const SkipEntry<double>& db, FloatExp midAbs,
                                     FloatExp halfRadius, FloatExp dcMax, FloatExp eps, SkipEntry<double>& d)
{
    SkipEntry<FloatExp> s;
    if (!(da.r != 0 && db.r != 0 && WideMergeInDoubles(da, db, eps, s, d))) {
        s = Merge(a, b, midAbs, halfRadius, dcMax, eps);
        d = WideInDoubles(s);
        return s;
    }
    // The radius scales with the view's |dc|, which past a double's range
    // no double holds: it is always taken in FloatExp.
    s.r = MergedRadius(a, b, s.aAbs, midAbs, halfRadius, dcMax);
    return s;
}

} // namespace linear_skips

// The table of an orbit (re, im of `size` values, the last possibly past
// the radius). Steps from base to size - 2 are covered: by skips of every
// length over the first `allLengths` of them (kSkipMaxSteps but for
// tests), by the longer ones only past those. Every entry is the same
// pairwise merge, so a longer orbit leaves the entries of a shorter one
// as they were. `inDoubles` false takes a wide table's every step and merge
// in FloatExp, the bits the doubles must give. Throws std::bad_alloc like
// any vector.
template <class T>
void BuildSkipTable(const T* re, const T* im, size_t size, bool julia, T radius, T dcMax, T eps, SkipTable<T>& out,
                    size_t allLengths = kSkipMaxSteps, bool inDoubles = true)
{
    using namespace linear_skips;
    // The levels' storage is kept: a table built again in place neither
    // gives its memory back nor faults it in anew.
    // A wide table in doubles keeps each entry's doubles (`d`) beside it,
    // which the next level's merges read.
    constexpr bool kWide = std::is_same_v<T, FloatExp>;
    const bool shadow = kWide && inDoubles;
    size_t used = 0;
    const auto trim = [&] {
        out.levels.resize(used);
        out.inDoubles.resize(shadow ? used : 0);
        out.radii.resize(shadow ? used : 0);
    };
    out.base = 1;
    out.steps = 0;
    out.radiusScale = 0;
    out.gapA = out.gapB = out.gapC = SkipTable<T>::kNoGap;
    if (size < out.base + 3) {
        trim();
        return;
    }
    const size_t steps = size - 1 - out.base;
    const size_t all = std::min(steps, allLengths);
    out.steps = steps;
    const T halfRadius = radius * T(0.5);
    auto absAt = [&](size_t j) { return Sqrt(re[j] * re[j] + im[j] * im[j]); };
    auto step = [&](size_t m, SkipEntry<double>& d) {
        if constexpr (kWide)
            if (inDoubles)
                return WideStep(re[out.base + m], im[out.base + m], julia, eps, d);
        return Step(re[out.base + m], im[out.base + m], julia, eps);
    };
    using Halves = std::pair<const SkipEntry<T>*, const SkipEntry<double>*>;
    auto merge = [&](Halves a, Halves b, size_t mid, SkipEntry<double>& d) {
        if constexpr (kWide)
            if (inDoubles)
                return WideMerge(*a.first, *b.first, *a.second, *b.second, absAt(out.base + mid), halfRadius, dcMax,
                                 eps, d);
        return Merge(*a.first, *b.first, absAt(out.base + mid), halfRadius, dcMax, eps);
    };
    // The skip of `len` steps from step `first`, merged from single steps
    // where the shorter skips are not kept.
    auto merged = [&](auto& self, size_t first, size_t len, SkipEntry<double>& d) -> SkipEntry<T> {
        if (len == 1)
            return step(first, d);
        const size_t mid = first + len / 2;
        SkipEntry<double> da, db;
        const SkipEntry<T> a = self(self, first, len / 2, da), b = self(self, mid, len / 2, db);
        return merge({&a, &da}, {&b, &db}, mid, d);
    };
    for (size_t len = 2; len <= steps; len *= 2) {
        const size_t count = (len < kSkipSparseLength ? all : steps) / len;
        if (count == 0)
            break;
        if (out.levels.size() <= used)
            out.levels.emplace_back();
        if (shadow && out.inDoubles.size() <= used)
            out.inDoubles.emplace_back();
        std::vector<SkipEntry<T>>& level = out.levels[used];
        std::vector<SkipEntry<double>> none;
        std::vector<SkipEntry<double>>& doubles = shadow ? out.inDoubles[used] : none;
        level.clear();
        huge_pages::Reserve(level, count);
        if (shadow)
            huge_pages::Reserve(doubles, count);
        doubles.resize(shadow ? count : 0);
        SkipEntry<double> unused;
        const std::vector<SkipEntry<T>>* halves = used == 0 ? nullptr : &out.levels[used - 1];
        const SkipEntry<double>* halvesInDoubles = shadow && halves ? out.inDoubles[used - 1].data() : &unused;
        // Where the halves are at hand, or the steps, runs of entries are
        // taken in doubles at once, and the rest one by one.
        const size_t paired = !halves ? (len == 2 ? count : 0) : std::min(count, halves->size() / 2);
        for (size_t m = 0; m < count;) {
            const size_t n = std::min(kSkipRun, m < paired ? paired - m : 1);
            if constexpr (kWide)
                if (shadow && m < paired) {
                    SkipEntry<double> stepRun[2 * kSkipRun];
                    SkipEntry<T> stepsWide[2 * kSkipRun], run[kSkipRun];
                    if (WideRunInDoubles(re + out.base + 2 * m, im + out.base + 2 * m,
                                         halves ? halvesInDoubles + 2 * m : nullptr, n, julia, eps, stepRun, stepsWide,
                                         doubles.data() + m, run)) {
                        for (size_t k = 0; k < n; ++k) {
                            const SkipEntry<T>& a = halves ? (*halves)[2 * (m + k)] : stepsWide[2 * k];
                            const SkipEntry<T>& b = halves ? (*halves)[2 * (m + k) + 1] : stepsWide[2 * k + 1];
                            run[k].r = MergedRadius(a, b, run[k].aAbs, absAt(out.base + (m + k) * len + len / 2),
                                                    halfRadius, dcMax);
                            level.push_back(run[k]);
                        }
                        m += n;
                        continue;
                    }
                }
            for (const size_t end = m + n; m < end; ++m) {
                const size_t first = m * len, mid = first + len / 2;
                SkipEntry<double>& d = shadow ? doubles[m] : unused;
                if (halves && 2 * m + 1 < halves->size()) {
                    const size_t h = shadow ? 2 * m : 0;
                    level.push_back(merge({&(*halves)[2 * m], halvesInDoubles + h},
                                          {&(*halves)[2 * m + 1], halvesInDoubles + (shadow ? h + 1 : 0)}, mid, d));
                } else {
                    level.push_back(merged(merged, first, len, d));
                }
            }
        }
        ++used;
    }
    trim();
    if constexpr (kWide)
        if (shadow)
            ForDoubles(out);
}

// Makes `t`, built by BuildSkipTable over this orbit for another largest
// |dc| (its other arguments the same), the table for `dcMax`: only the
// radii depend on it, and they are merged again level by level, each from
// the halves' new ones, as the build merges them. False, and `t` left as it
// was, where some entry was merged from single steps rather than from the
// level below (past a sparse table's every-length part): the table must
// then be built anew.
template <class T>
bool RadiiForView(const T* re, const T* im, bool julia, T radius, T dcMax, SkipTable<T>& t)
{
    using namespace linear_skips;
    for (size_t l = 1; l < t.levels.size(); ++l)
        if (t.levels[l - 1].size() < 2 * t.levels[l].size())
            return false;
    const T halfRadius = radius * T(0.5);
    auto absAt = [&](size_t j) { return Sqrt(re[j] * re[j] + im[j] * im[j]); };
    for (size_t l = 0; l < t.levels.size(); ++l) {
        std::vector<SkipEntry<T>>& level = t.levels[l];
        const size_t len = size_t(2) << l;
        for (size_t m = 0; m < level.size(); ++m) {
            const size_t mid = t.base + m * len + len / 2;
            if (l == 0) {
                SkipEntry<T> a, b;
                StepReach(re[mid - 1], im[mid - 1], julia, a);
                const T midAbs = StepReach(re[mid], im[mid], julia, b);
                level[m].r = MergedRadius(a, b, level[m].aAbs, midAbs, halfRadius, dcMax);
            } else {
                const std::vector<SkipEntry<T>>& halves = t.levels[l - 1];
                level[m].r = MergedRadius(halves[2 * m], halves[2 * m + 1], level[m].aAbs, absAt(mid), halfRadius,
                                          dcMax);
            }
        }
    }
    if constexpr (std::is_same_v<T, FloatExp>)
        if (!t.inDoubles.empty())
            RadiiInDoubles(t);
    return true;
}

// Bytes of a table over an orbit of `size` values (a bound: the levels'
// entries add up to fewer).
template <class T>
uint64_t SkipTableBytes(size_t size)
{
    const size_t steps = size > 1 ? size - 1 : 0;
    const size_t all = std::min(steps, kSkipMaxSteps);
    const uint64_t entries = uint64_t(all) + uint64_t(steps - all) / (kSkipSparseLength / 2);
    // A wide table keeps its entries in doubles too.
    return entries *
           (sizeof(SkipEntry<T>) + (std::is_same_v<T, FloatExp> ? sizeof(SkipEntry<double>) + sizeof(double) : 0));
}
