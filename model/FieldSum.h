#pragma once
// The field sums of the plane builds (Appolony, 2-D self-affine): each
// point mass adds its field to the cells of a box of the grid, leaving out
// its own box, where its children add finer contributions.
//
// A cell's sum is a float sum, so its value depends on the order of its
// terms. The walk hands the masses over in its own order; on the plain path
// each is summed at once, row by row; on the fast path they are queued and
// spread over the cores by bands of rows, each band taking the queued
// masses in the same order. Either way every cell adds the same terms in
// the same order and ends with the same bits.

#include <atomic>
#include <cstdint>
#include <vector>

class CColorMap;

struct FieldMass {
    int box[4];    // first column, end column, first row, end row
    int own[4];    // the same for the part left out; empty when it has no area
    double x, y;   // added to a cell's plane position
    double mu;     // measure
    double depth2; // squared distance off the plane, with `withDepth`
};

class FieldSum {
public:
    // Cell (row r, column c) of the image sits at (x0 + c d, y0 + r d).
    // `withDepth` adds each mass's depth2 to the squared distance (a
    // section through space). The grid holds the image's rows from
    // `firstRow` on (a band of a taller image, CCanvas::m_bandFirst).
    FieldSum(CColorMap& map, double x0, double y0, double d, bool withDepth, const std::atomic<bool>& stop,
             int firstRow = 0);

    // Adds a mass's field, now or with the next batch; its boxes are in
    // the image's rows, and only the grid's rows take it. False when a stop
    // ended the work; the cells are then partly summed.
    bool Add(const FieldMass& mass);
    // Sums whatever is queued; also after a stop, so that the masses the
    // walk got to are summed as far as the plain path would have summed
    // them. False when a stop ended it.
    bool Finish();

private:
    bool Flush();
    // The mass's terms for the rows [rowBegin, rowEnd) of its box; false
    // when a stop ended it.
    bool SumRows(const FieldMass& m, int rowBegin, int rowEnd, unsigned& cellsSincePoll) const;

    CColorMap& m_map;
    double m_x0, m_y0, m_d;
    bool m_withDepth;
    int m_firstRow;
    bool m_queue;
    const std::atomic<bool>& m_stop;
    unsigned m_cellsSincePoll = 0;

    std::vector<FieldMass> m_masses;
    uint64_t m_bandEntries = 0;
    uint64_t m_queuedCells = 0;
    // Per band of rows, the queued masses reaching it, in order.
    std::vector<uint32_t> m_bandStart, m_bandMasses;
};
