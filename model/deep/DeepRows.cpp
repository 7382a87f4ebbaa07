#include "model/deep/DeepRows.h"

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <vector>

#include "model/deep/DeepLanes.h"

namespace deep_pixel {

namespace {

// A pixel the difference iteration has finished: its cell and count
// written, its steps counted, and its column listed when it was doubtful.
void Finish(const PixelOut& o, int j, int from, PixelRecord* cells, int32_t* counts, bool distance, int64_t& steps,
            int64_t& skipped, std::vector<Doubtful>& doubtful)
{
    steps += o.steps;
    skipped += o.skipped;
    if (o.doubtful)
        doubtful.push_back({j, o.steps + 3});
    Store(o, cells[j - from], counts ? counts + (j - from) : nullptr, distance);
}

// A wide pixel's values in the lanes' doubles, its d, dc and bound times
// 2^-scale (WideInDoubles has found them exact, but for a dc below the
// doubles, which the lanes' step loses as FloatExp loses it), ...
void ToDoubles(const PixelRun<FloatExp>& r, int64_t scale, DeepLanePixel& px)
{
    const deep_step::PixelValues<ScalarLaneOf<FloatExp>>& v = r.v;
    const auto scaled = [scale](FloatExp x) { return FloatExp::Normal(x.m, x.e - scale).ToDouble(); };
    px.i = r.i;
    px.k = r.k;
    px.doubtful = r.doubtful;
    px.scaled = scale < 0;
    px.v.dr = scaled(v.dr);
    px.v.di = scaled(v.di);
    px.v.err = scaled(v.err);
    px.v.dcr = scaled(v.dcr);
    px.v.dci = scaled(v.dci);
    px.v.dcAbs = scaled(v.dcAbs);
    px.v.zr = v.zr.ToDouble();
    px.v.zi = v.zi.ToDouble();
    px.v.m2 = v.m2.ToDouble();
    Direction(v.p, px.v.p.re, px.v.p.im);
}

// ... and back: z and |z|^2 as the scalar step ends, from w and d.
void FromDoubles(const DeepLanePixel& px, int64_t scale, PixelRun<FloatExp>& r)
{
    deep_step::PixelValues<ScalarLaneOf<FloatExp>>& v = r.v;
    r.i = px.i;
    r.k = px.k;
    r.doubtful = px.doubtful;
    v.dr = FloatExp::Normal(px.v.dr, scale);
    v.di = FloatExp::Normal(px.v.di, scale);
    v.err = FloatExp::Normal(px.v.err, scale);
    v.p = {FloatExp(px.v.p.re), FloatExp(px.v.p.im)};
    v.zr = r.orbit->re[r.i] + v.dr;
    v.zi = r.orbit->im[r.i] + v.di;
    v.m2 = v.zr * v.zr + v.zi * v.zi;
}

// One row of pixels for the lanes: each pixel runs in the scalar loop
// until a step the lanes can take, and again whenever they hand it back.
// The pixels finish in another order than the row's, and their doubtful
// ones are listed in column order afterwards.
template <class T>
class RowFeed final : public DeepLaneFeed {
public:
    using Run = PixelRun<T>;
    using At = deep_step::PixelAt<ScalarLane>;

    RowFeed(const Setup<T>& s, T y, int from, int to, PixelRecord* cells, int32_t* counts,
            std::vector<Doubtful>& doubtful)
        : m_s(s), m_y(y), m_from(from), m_to(to), m_cells(cells), m_counts(counts), m_doubtful(doubtful),
          m_runs(size_t(to - from)), m_scales(std::is_same_v<T, double> ? 0 : size_t(to - from)), m_next(from)
    {}

    bool Next(DeepLanePixel& px) override
    {
        while (m_next < m_to && !m_stopped) {
            // Pixels of few iterations each can still make a long row.
            if (m_s.stop && m_s.stop->load(std::memory_order_relaxed)) {
                m_stopped = true;
                break;
            }
            const int j = m_next++;
            const T x = Offset(j, m_s.width, m_s.pixel);
            m_runs[size_t(j - m_from)] = m_s.julia ? StartPixel<T>(m_s, x / m_s.g, m_y / m_s.g, T(0.0), T(0.0))
                                                   : StartPixel<T>(m_s, x, m_y, x, m_y);
            if (Go(j, px))
                return true;
        }
        return false;
    }

    bool Back(DeepLanePixel& px) override
    {
        if (m_stopped)
            return false;
        Run& r = m_runs[size_t(px.slot - m_from)];
        const bool front = px.orbit == 0;
        r.orbit = front ? &m_s.start : &m_s.rebase;
        r.skips = front ? m_s.startSkips : m_s.rebaseSkips;
        // out.steps and out.doubtful are set again before the pixel ends.
        if constexpr (std::is_same_v<T, double>) {
            static_cast<At&>(r) = px;
            if (m_s.distance) {
                // The rescale the scalar step makes after the derivative's.
                r.dz.re = px.dzr;
                r.dz.im = px.dzi;
                r.dz.Rescale();
            }
        } else {
            FromDoubles(px, m_scales[size_t(px.slot - m_from)], r);
        }
        return Go(px.slot, px);
    }

    bool Stopped() const { return m_stopped; }
    int64_t steps = 0, skipped = 0;

private:
    // Runs pixel j in the scalar loop: true when handed to the lanes.
    bool Go(int j, DeepLanePixel& px)
    {
        Run& r = m_runs[size_t(j - m_from)];
        bool ended = false;
        if constexpr (std::is_same_v<T, double>)
            ended = m_s.distance ? ContinuePixel<double, true>(m_s, r, true) : ContinuePixel(m_s, r, true);
        else
            ended = ContinuePixel(m_s, r, true);
        if (!ended) {
            px.slot = j;
            px.orbit = r.orbit == &m_s.start ? 0 : 1;
            px.limit = std::min(r.nextPoll, m_s.maxIterations);
            if constexpr (std::is_same_v<T, double>) {
                static_cast<At&>(px) = r;
                px.dzr = r.dz.re;
                px.dzi = r.dz.im;
                px.dzOne = r.dz.one;
            } else {
                int64_t& scale = m_scales[size_t(j - m_from)];
                WideInDoubles(r.v, r.skips != nullptr, scale);
                ToDoubles(r, scale, px);
            }
            return true;
        }
        const PixelOut& o = r.out;
        if (o.cell.stopped) {
            m_stopped = true;
            return false;
        }
        Finish(o, j, m_from, m_cells, m_counts, m_s.distance, steps, skipped, m_doubtful);
        return false;
    }

    const Setup<T>& m_s;
    T m_y;
    int m_from, m_to;
    PixelRecord* m_cells;
    int32_t* m_counts;
    std::vector<Doubtful>& m_doubtful;
    std::vector<Run> m_runs;
    // Each wide pixel's power of two in the lanes.
    std::vector<int64_t> m_scales;
    int m_next;
    bool m_stopped = false;
};

template <class T>
bool LaneRow(const Setup<T>& s, int i, int height, int from, int to, PixelRecord* cells, int32_t* counts,
             std::vector<Doubtful>& doubtful, Tally& tally)
{
    constexpr bool kWide = !std::is_same_v<T, double>;
    DeepLaneView view;
    const OrbitView<double>* orbits[2] = {&s.startPlain, &s.rebasePlain};
    if constexpr (!kWide) {
        orbits[0] = &s.start;
        orbits[1] = &s.rebase;
    }
    for (int o = 0; o < 2; ++o) {
        view.re[o] = orbits[o]->re;
        view.im[o] = orbits[o]->im;
        view.size[o] = orbits[o]->size;
    }
    view.skips[0] = s.startSkips != nullptr;
    view.skips[1] = s.rebaseSkips != nullptr;
    view.radius2 = AsDouble(s.radius2);
    view.radius = AsDouble(s.radius);
    view.eps = kEps;
    view.distance = s.distance;
    view.julia = s.julia;
    view.wide = kWide;
    const size_t listed = doubtful.size();
    RowFeed<T> feed(s, Offset(i, height, s.pixel), from, to, cells, counts, doubtful);
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

} // namespace

template <class T>
bool Row(const Setup<T>& s, int i, int height, int from, int to, PixelRecord* cells, int32_t* counts,
         std::vector<Doubtful>& doubtful, Tally& tally)
{
    if (s.isa != KernelIsa::kScalar && (std::is_same_v<T, double> || !s.distance))
        return LaneRow<T>(s, i, height, from, to, cells, counts, doubtful, tally);
    const T y = Offset(i, height, s.pixel);
    int64_t steps = 0, skipped = 0;
    for (int j = from; j < to; ++j) {
        // Pixels of few iterations each can still make a long row.
        if (s.stop && s.stop->load(std::memory_order_relaxed))
            return false;
        const T x = Offset(j, s.width, s.pixel);
        const PixelOut o =
            s.julia ? IteratePixelOf<T>(s, x / s.g, y / s.g, T(0.0), T(0.0)) : IteratePixelOf<T>(s, x, y, x, y);
        if (o.cell.stopped)
            return false;
        Finish(o, j, from, cells, counts, s.distance, steps, skipped, doubtful);
    }
    tally.steps.fetch_add(steps, std::memory_order_relaxed);
    tally.skipped.fetch_add(skipped, std::memory_order_relaxed);
    return true;
}

template bool Row<double>(const Setup<double>&, int, int, int, int, PixelRecord*, int32_t*, std::vector<Doubtful>&,
                          Tally&);
template bool Row<FloatExp>(const Setup<FloatExp>&, int, int, int, int, PixelRecord*, int32_t*,
                            std::vector<Doubtful>&, Tally&);

} // namespace deep_pixel
