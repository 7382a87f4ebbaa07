#pragma once
// The storage of a build's cell grid: a block of zeroed cells that is not
// written when it is had. A 1024x768 grid is 28 MB; filling it with zeros
// on one thread, then faulting it in page by page, cost more than the
// whole Mandelbrot build. Fresh mappings are zero already, and large ones
// are asked for in huge pages, so the first touch (made by the builders on
// every core) faults a few dozen times instead of seven thousand.

#include <cstddef>
#include <cstdint>

// One grid cell. Two-dimensional builders use (nx, ny) as the plane vector
// whose direction picks the colour; the three-dimensional builder keeps the
// surface point, its normal and its march state here.
struct PixelRecord {
    float x, y, z;
    float nx, ny, nz;
    float value; // 2-D: 1e10 or more is background; 3-D: hit when |value| >= 1e-5
    float step;
    int32_t state;
};
static_assert(sizeof(PixelRecord) == 36, "a cell is nine 4-byte values");

class CellGrid {
public:
    CellGrid() = default;
    ~CellGrid() { Release(); }
    CellGrid(CellGrid&& other) noexcept;
    CellGrid& operator=(CellGrid&& other) noexcept;
    // A copy would leave the colour map's row pointers aimed at the
    // original; nothing copies a grid.
    CellGrid(const CellGrid&) = delete;
    CellGrid& operator=(const CellGrid&) = delete;

    // Drops the old cells and holds `count` new ones, all bytes zero.
    // Throws std::bad_alloc, leaving the grid empty, when they cannot be had.
    void Allocate(size_t count);
    void Release() noexcept;

    PixelRecord* data() noexcept { return m_cells; }
    const PixelRecord* data() const noexcept { return m_cells; }
    size_t size() const noexcept { return m_count; }
    bool empty() const noexcept { return m_count == 0; }
    PixelRecord* begin() noexcept { return m_cells; }
    PixelRecord* end() noexcept { return m_cells + m_count; }
    const PixelRecord* begin() const noexcept { return m_cells; }
    const PixelRecord* end() const noexcept { return m_cells + m_count; }
    PixelRecord& operator[](size_t i) noexcept { return m_cells[i]; }
    const PixelRecord& operator[](size_t i) const noexcept { return m_cells[i]; }
    static size_t max_size() noexcept;

private:
    PixelRecord* m_cells = nullptr;
    size_t m_count = 0;
    void* m_block = nullptr; // what was mapped or allocated
    size_t m_blockBytes = 0; // 0: m_block came from calloc
};
