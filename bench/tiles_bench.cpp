// The tile set's drawing and the Appolony set's build, each beside a plain
// loop in this binary, so the ratios can be read from one run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/appolony/AppolonySet.h"
#include "model/tile/TileSet.h"

namespace {

// Runs a case on the fast path or on the plain one (one thread, the loop
// as first written), and puts the fast path back.
struct OnPath {
    explicit OnPath(ExecutionPath path) { SetExecutionPath(path); }
    ~OnPath() { SetExecutionPath(ExecutionPath::kFast); }
};

void DrawTile(benchmark::State& state, int determinant, int trace, int deep, ExecutionPath path = ExecutionPath::kFast)
{
    OnPath on(path);
    CTileSet t;
    t.m_determinant = determinant;
    t.m_track = trace;
    t.m_deep = deep;
    CCanvas c;
    c.m_targetWidth = c.m_targetHeight = 1024;
    uint64_t points = 0;
    for (auto _ : state) {
        t.Build(c);
        t.Draw(c);
        points = t.m_pointsVisited;
        benchmark::ClobberMemory();
    }
    state.counters["points"] = double(points);
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsIterationInvariantRate);
}

// CPU time is the whole process's, beside wall time: their ratio is how
// many cores a case keeps busy.
void BM_TileDefault(benchmark::State& s) { DrawTile(s, 3, 3, 10); }
void BM_TileD3T3Deep14(benchmark::State& s) { DrawTile(s, 3, 3, 14); }
void BM_TileD3T3Deep14Plain(benchmark::State& s) { DrawTile(s, 3, 3, 14, ExecutionPath::kPlain); }
void BM_TileD3T3Deep18(benchmark::State& s) { DrawTile(s, 3, 3, 18); }
void BM_TileD3T3Deep18Plain(benchmark::State& s) { DrawTile(s, 3, 3, 18, ExecutionPath::kPlain); }
// Depth 1 and 2: the lattice is one or a few pixels apart, so the grid's
// residue squares cover the canvas.
void BM_TileDeep2Grid(benchmark::State& s) { DrawTile(s, 3, 3, 2); }
void BM_TileDeep2GridPlain(benchmark::State& s) { DrawTile(s, 3, 3, 2, ExecutionPath::kPlain); }
// A hundred residue classes tested at every pixel's lattice point.
void BM_TileD100Deep1Grid(benchmark::State& s) { DrawTile(s, 100, 0, 1); }
void BM_TileD100Deep1GridPlain(benchmark::State& s) { DrawTile(s, 100, 0, 1, ExecutionPath::kPlain); }
BENCHMARK(BM_TileD100Deep1Grid)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_TileD100Deep1GridPlain)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_TileDeep2Grid)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_TileDeep2GridPlain)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_TileDefault)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_TileD3T3Deep14)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_TileD3T3Deep14Plain)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_TileD3T3Deep18)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_TileD3T3Deep18Plain)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// Baseline of the tile cases: 3^14 scattered 32-bit writes into a
// 1024x1024 buffer, positions from a linear congruential generator.
void BM_PlainScatteredWrites(benchmark::State& state)
{
    const uint64_t n = 4782969; // 3^14
    std::vector<uint32_t> pixels(1024 * 1024);
    for (auto _ : state) {
        uint32_t x = 12345;
        for (uint64_t k = 0; k < n; ++k) {
            x = x * 1664525u + 1013904223u;
            pixels[x >> 12] = uint32_t(k);
        }
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.counters["points/s"] = benchmark::Counter(double(n), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PlainScatteredWrites)->Unit(benchmark::kMillisecond);

void AppolonyBuildDraw(benchmark::State& state, ExecutionPath path)
{
    OnPath on(path);
    CAppolonySet a;
    CCanvas c;
    c.m_targetWidth = 800;
    c.m_targetHeight = 600;
    for (auto _ : state) {
        a.Build(c);
        a.Draw(c);
        benchmark::ClobberMemory();
    }
    state.counters["circles"] = double(a.m_childCount);
}
// Build and Draw of the default view, as a render of it runs them.
void BM_AppolonyBuildDraw800x600(benchmark::State& s) { AppolonyBuildDraw(s, ExecutionPath::kFast); }
void BM_AppolonyBuildDraw800x600Plain(benchmark::State& s) { AppolonyBuildDraw(s, ExecutionPath::kPlain); }
BENCHMARK(BM_AppolonyBuildDraw800x600)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_AppolonyBuildDraw800x600Plain)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// Baseline of the Appolony case: one mass's field summed once into every
// cell of an 800x600 grid, the build's inner loop without the walk.
void BM_PlainFieldPass800x600(benchmark::State& state)
{
    std::vector<PixelRecord> cells(800 * 600, PixelRecord{0, 0, 0, 0, 0, 0, 0, 0, 0});
    const double d = 1.0 / 600, x0 = -400 * d + 0.01, y0 = -300 * d + 0.02;
    for (auto _ : state) {
        for (int r = 0; r < 600; ++r) {
            PixelRecord* row = cells.data() + size_t(r) * 800;
            const double V = y0 + r * d;
            for (int col = 0; col < 800; ++col) {
                const double U = x0 + col * d;
                const double q = 1 / (U * U + V * V);
                const double f = q * q / 3;
                row[col].nx += float(f * U);
                row[col].ny += float(f * V);
            }
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainFieldPass800x600)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
