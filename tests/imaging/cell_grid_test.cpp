// The cell grid's storage: zero when had, whatever was there before, and
// reset by row bands on every core without missing or overrunning a row.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <utility>

#include "imaging/CellGrid.h"
#include "imaging/ColorMap.h"
#include "imaging/Parallel.h"

namespace {

bool AllZero(const CellGrid& grid)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(grid.data());
    for (size_t i = 0; i < grid.size() * sizeof(PixelRecord); ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

void Scribble(CellGrid& grid) { std::memset(static_cast<void*>(grid.data()), 0xA5, grid.size() * sizeof(PixelRecord)); }

TEST(CellGrid, EveryCellIsZeroWhenHadAgainAfterUse)
{
    // 12 cells come from the heap; 1024x768 (28 MB) is mapped.
    for (const size_t count : {size_t(12), size_t(1024) * 768}) {
        CellGrid grid;
        grid.Allocate(count);
        ASSERT_EQ(grid.size(), count);
        ASSERT_FALSE(grid.empty());
        EXPECT_TRUE(AllZero(grid)) << count;
        Scribble(grid);
        grid.Allocate(count);
        EXPECT_TRUE(AllZero(grid)) << count << " cells had again keep what was written";
        grid.Allocate(count + 5);
        EXPECT_TRUE(AllZero(grid)) << count + 5;
        EXPECT_EQ(grid.end() - grid.begin(), std::ptrdiff_t(count + 5));
    }
}

TEST(CellGrid, MovesOwnershipAndRefusesWhatNoMachineHas)
{
    CellGrid a;
    a.Allocate(1 << 20);
    PixelRecord* const cells = a.data();
    CellGrid b(std::move(a));
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(b.data(), cells);
    CellGrid c;
    c.Allocate(3);
    c = std::move(b);
    EXPECT_EQ(c.data(), cells);
    EXPECT_EQ(c.size(), size_t(1) << 20);

    EXPECT_THROW(c.Allocate(CellGrid::max_size() + 1), std::bad_alloc);
    EXPECT_TRUE(c.empty());
    EXPECT_EQ(c.data(), nullptr);
}

TEST(CellGrid, ResetTouchesTheResetFieldsOfEveryCellOnBothPaths)
{
    for (const ExecutionPath path : {ExecutionPath::kFast, ExecutionPath::kPlain}) {
        SetExecutionPath(path);
        CColorMap map;
        map.AllocateGrid(101, 77);
        for (int r = 0; r < 77; ++r)
            for (int c = 0; c < 101; ++c) {
                PixelRecord& cell = *map.Cell(r, c);
                cell = PixelRecord{float(c), float(r), 9, 8, 7, 6, 5, 4, r * 1000 + c};
            }
        map.ResetGrid(2.5f);
        for (int r = 0; r < 77; ++r)
            for (int c = 0; c < 101; ++c) {
                const PixelRecord& cell = *map.Cell(r, c);
                ASSERT_EQ(cell.x, float(c));
                ASSERT_EQ(cell.y, float(r));
                ASSERT_EQ(cell.z, 2.5f) << r << ", " << c;
                ASSERT_EQ(cell.nx, 0.0f);
                ASSERT_EQ(cell.ny, 0.0f);
                ASSERT_EQ(cell.nz, 0.0f);
                ASSERT_EQ(cell.value, 0.0f);
                ASSERT_EQ(cell.step, 4.0f);
                ASSERT_EQ(cell.state, r * 1000 + c);
            }
    }
    SetExecutionPath(ExecutionPath::kFast);
}

} // namespace
