// The second try at a deep view's doubtful double pixels (DeepLanes.h).
#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "imaging/Parallel.h"
#include "model/deep/DeepLanes.h"
#include "model/deep/DeepRows.h"
#include "model/deep/DoubleDouble.h"

namespace deep_pixel {

namespace {

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

} // namespace

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

} // namespace deep_pixel
