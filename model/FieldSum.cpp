#include "model/FieldSum.h"

#include <algorithm>
#include <cmath>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "imaging/ColorMap.h"
#include "imaging/Parallel.h"

namespace {

// Cells summed between two looks at the stop flag: a few milliseconds on
// one thread, and a band's share of a batch polls more often.
constexpr unsigned kCellsPerPoll = 1u << 20;
constexpr unsigned kBandCellsPerPoll = 1u << 17;
// Rows per band: enough bands to keep every core busy on small images.
constexpr int kBandRows = 4;
// A batch ends at this many masses or band entries, which bounds its memory
// however fine the walk goes, or at this many cells, which keeps the sums
// close behind the walk (and its progress).
constexpr size_t kMaxMasses = size_t(1) << 15;
constexpr uint64_t kMaxBandEntries = uint64_t(1) << 20;
constexpr uint64_t kMaxQueuedCells = uint64_t(1) << 22;

template <bool kWithDepth>
void SumSegment(PixelRecord* row, int begin, int end, double x0, double d, const FieldMass& m, double Y, double YY)
{
    for (int c = begin; c < end; ++c) {
        const double U = x0 + c * d + m.x;
        double r2 = U * U + YY;
        if constexpr (kWithDepth)
            r2 = r2 + m.depth2;
        const double q = 1 / r2;
        const double f = m.mu * q * q;
        if (!std::isfinite(f))
            continue;
        row[c].nx += float(f * U);
        row[c].ny += float(f * Y);
    }
}

#ifdef __SSE2__
// SumSegment two cells at a time: the same operations in the same order,
// each rounded as the scalar loop rounds it, so the cells get the same bits.
// Most of the time goes into the division, which the processor does for two
// lanes about as fast as for one.
template <bool kWithDepth>
void SumSegmentPairs(PixelRecord* row, int begin, int end, double x0, double d, const FieldMass& m, double Y, double YY)
{
    const __m128d vx0 = _mm_set1_pd(x0), vd = _mm_set1_pd(d), vmx = _mm_set1_pd(m.x);
    const __m128d vYY = _mm_set1_pd(YY), vY = _mm_set1_pd(Y), vmu = _mm_set1_pd(m.mu);
    const __m128d vdepth = _mm_set1_pd(m.depth2), one = _mm_set1_pd(1.0);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    const __m128d infinity = _mm_set1_pd(std::numeric_limits<double>::infinity());
    int c = begin;
    for (; c + 2 <= end; c += 2) {
        const __m128d cc = _mm_cvtepi32_pd(_mm_set_epi32(0, 0, c + 1, c));
        const __m128d U = _mm_add_pd(_mm_add_pd(vx0, _mm_mul_pd(cc, vd)), vmx);
        __m128d r2 = _mm_add_pd(_mm_mul_pd(U, U), vYY);
        if constexpr (kWithDepth)
            r2 = _mm_add_pd(r2, vdepth);
        const __m128d q = _mm_div_pd(one, r2);
        const __m128d f = _mm_mul_pd(_mm_mul_pd(vmu, q), q);
        // Finite: below infinity in magnitude (NaN compares false).
        const int finite = _mm_movemask_pd(_mm_cmplt_pd(_mm_and_pd(f, magnitude), infinity));
        alignas(16) float fx[4], fy[4];
        _mm_store_ps(fx, _mm_cvtpd_ps(_mm_mul_pd(f, U)));
        _mm_store_ps(fy, _mm_cvtpd_ps(_mm_mul_pd(f, vY)));
        if (finite & 1) {
            row[c].nx += fx[0];
            row[c].ny += fy[0];
        }
        if (finite & 2) {
            row[c + 1].nx += fx[1];
            row[c + 1].ny += fy[1];
        }
    }
    SumSegment<kWithDepth>(row, c, end, x0, d, m, Y, YY);
}
#endif

bool HasArea(const int* box) { return box[0] < box[1] && box[2] < box[3]; }

} // namespace

FieldSum::FieldSum(CColorMap& map, double x0, double y0, double d, bool withDepth, const std::atomic<bool>& stop,
                   int firstRow)
    : m_map(map), m_x0(x0), m_y0(y0), m_d(d), m_withDepth(withDepth), m_firstRow(firstRow), m_queue(!PlainPath()),
      m_stop(stop)
{}

bool FieldSum::SumRows(const FieldMass& m, int rowBegin, int rowEnd, unsigned& cellsSincePoll) const
{
    const bool hasOwn = HasArea(m.own);
    const unsigned perPoll = m_queue ? kBandCellsPerPoll : kCellsPerPoll;
    for (int r = rowBegin; r < rowEnd; ++r) {
        // The first masses cover the whole image: on a very large one a
        // single mass takes longer than a Stop may wait.
        cellsSincePoll += unsigned(m.box[1] - m.box[0]);
        if (cellsSincePoll >= perPoll) {
            cellsSincePoll = 0;
            if (m_stop.load(std::memory_order_relaxed))
                return false;
        }
        PixelRecord* row = m_map.m_gridRows[size_t(r)];
        // The image's row, whichever band holds it.
        const double Y = m_y0 + (r + m_firstRow) * m_d + m.y;
        const double YY = Y * Y;
        auto segment = [&](int begin, int end) {
#ifdef __SSE2__
            if (m_queue) {
                if (m_withDepth)
                    SumSegmentPairs<true>(row, begin, end, m_x0, m_d, m, Y, YY);
                else
                    SumSegmentPairs<false>(row, begin, end, m_x0, m_d, m, Y, YY);
                return;
            }
#endif
            if (m_withDepth)
                SumSegment<true>(row, begin, end, m_x0, m_d, m, Y, YY);
            else
                SumSegment<false>(row, begin, end, m_x0, m_d, m, Y, YY);
        };
        if (hasOwn && r >= m.own[2] && r < m.own[3]) {
            segment(m.box[0], m.own[0]);
            segment(m.own[1], m.box[1]);
        } else {
            segment(m.box[0], m.box[1]);
        }
    }
    return true;
}

bool FieldSum::Add(const FieldMass& image)
{
    // The mass in the grid's rows: the band's part of its box, and of the
    // box left out (none when that lies outside the band).
    FieldMass mass = image;
    const int lo = m_firstRow, hi = m_firstRow + m_map.m_gridHeight;
    for (int* row : {&mass.box[2], &mass.box[3], &mass.own[2], &mass.own[3]})
        *row = std::clamp(*row, lo, hi) - lo;
    if (!HasArea(mass.box))
        return true;
    if (!m_queue)
        return SumRows(mass, mass.box[2], mass.box[3], m_cellsSincePoll);
    m_masses.push_back(mass);
    m_bandEntries += uint64_t((mass.box[3] - 1) / kBandRows - mass.box[2] / kBandRows + 1);
    m_queuedCells += uint64_t(mass.box[1] - mass.box[0]) * uint64_t(mass.box[3] - mass.box[2]);
    if (m_masses.size() >= kMaxMasses || m_bandEntries >= kMaxBandEntries || m_queuedCells >= kMaxQueuedCells)
        return Flush();
    return true;
}

bool FieldSum::Finish() { return m_queue ? Flush() : !m_stop.load(std::memory_order_relaxed); }

bool FieldSum::Flush()
{
    const int h = m_map.m_gridHeight;
    const int bands = (h + kBandRows - 1) / kBandRows;
    if (m_masses.empty() || bands == 0) {
        m_masses.clear();
        m_bandEntries = m_queuedCells = 0;
        return !m_stop.load(std::memory_order_relaxed);
    }
    // Each band's list of masses, in queue order.
    m_bandStart.assign(size_t(bands) + 1, 0);
    for (const FieldMass& m : m_masses)
        for (int b = m.box[2] / kBandRows; b <= (m.box[3] - 1) / kBandRows; ++b)
            ++m_bandStart[size_t(b) + 1];
    for (int b = 0; b < bands; ++b)
        m_bandStart[size_t(b) + 1] += m_bandStart[size_t(b)];
    m_bandMasses.resize(m_bandStart[size_t(bands)]);
    std::vector<uint32_t> fill(m_bandStart.begin(), m_bandStart.end() - 1);
    for (size_t k = 0; k < m_masses.size(); ++k) {
        const FieldMass& m = m_masses[k];
        for (int b = m.box[2] / kBandRows; b <= (m.box[3] - 1) / kBandRows; ++b)
            m_bandMasses[fill[size_t(b)]++] = uint32_t(k);
    }

    std::atomic<bool> stopped{false};
    ForEachRange(bands, 1, [&](int first, int end) {
        unsigned cellsSincePoll = 0;
        for (int b = first; b < end; ++b) {
            // Once one band has seen the stop the others end too; until
            // then a stop lets every band sum what it polls before, so a
            // small batch is summed whole, as it would be on one thread.
            if (stopped.load(std::memory_order_relaxed))
                return;
            const int top = b * kBandRows, bottom = std::min(h, top + kBandRows);
            for (uint32_t i = m_bandStart[size_t(b)]; i < m_bandStart[size_t(b) + 1]; ++i) {
                const FieldMass& m = m_masses[m_bandMasses[i]];
                if (!SumRows(m, std::max(top, m.box[2]), std::min(bottom, m.box[3]), cellsSincePoll)) {
                    stopped.store(true, std::memory_order_relaxed);
                    return;
                }
            }
        }
    });
    m_masses.clear();
    m_bandEntries = m_queuedCells = 0;
    return !stopped.load() && !m_stop.load(std::memory_order_relaxed);
}
