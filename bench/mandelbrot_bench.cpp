// The default Mandelbrot build and its Draw, each beside a plain loop of
// the same formula in this binary, so the ratio can be read in one run;
// and Build plus Draw of three views on the fast path beside the plain
// path (one thread, the scalar loop), timed by the wall clock with the CPU
// time of the whole process beside it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

constexpr unsigned kW = 1024, kH = 768;

// Counts the z <- z^2 + c steps of the default view, for the rate figure.
int64_t CountIterations(const CMandelbrotSet& m)
{
    const double d = 2 * m.m_halfSize / kH;
    int64_t total = 0;
    for (unsigned i = 0; i < kH; ++i)
        for (unsigned j = 0; j < kW; ++j) {
            const double cr = m.m_centerX + (int(j) - int(kW / 2)) * d;
            const double ci = m.m_centerY + (int(i) - int(kH / 2)) * d;
            double zr = cr, zi = ci;
            int k = 0;
            while (k <= m.m_maxIterations) {
                const double t = zr * zr - zi * zi + cr;
                zi = 2 * zr * zi + ci;
                zr = t;
                ++k;
                if (zr * zr + zi * zi > m.m_precision * m.m_precision)
                    break;
            }
            total += k;
        }
    return total;
}

void BM_MandelbrotBuild(benchmark::State& state)
{
    CMandelbrotSet m;
    CCanvas c;
    c.m_targetWidth = kW;
    c.m_targetHeight = kH;
    const int64_t perBuild = CountIterations(m);
    for (auto _ : state) {
        m.Build(c);
        benchmark::ClobberMemory();
    }
    state.counters["iterations/s"] =
        benchmark::Counter(double(perBuild) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MandelbrotBuild)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// The same escape-time loop without the running product or the cells.
void BM_PlainEscapeLoop(benchmark::State& state)
{
    CMandelbrotSet m;
    int64_t perBuild = 0;
    for (auto _ : state) {
        perBuild = CountIterations(m);
        benchmark::DoNotOptimize(perBuild);
    }
    state.counters["iterations/s"] =
        benchmark::Counter(double(perBuild) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainEscapeLoop)->Unit(benchmark::kMillisecond);

void BM_MandelbrotDraw(benchmark::State& state)
{
    CMandelbrotSet m;
    CCanvas c;
    c.m_targetWidth = kW;
    c.m_targetHeight = kH;
    m.Build(c);
    for (auto _ : state) {
        m.Draw(c);
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] = benchmark::Counter(double(kW) * kH * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MandelbrotDraw)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// A plain loop of the colour formula over the same cells, all three
// channels with the default frequencies and shifts.
void BM_PlainColorLoop(benchmark::State& state)
{
    CMandelbrotSet m;
    CCanvas c;
    c.m_targetWidth = kW;
    c.m_targetHeight = kH;
    m.Build(c);
    std::vector<uint8_t> out(size_t(kW) * kH * 3);
    const CColorMap& map = m.m_colorMap;
    for (auto _ : state) {
        uint8_t* o = out.data();
        for (const PixelRecord& r : m.m_colorMap.m_grid) {
            if (r.value >= 1e10f) {
                o[0] = o[1] = o[2] = 0;
            } else {
                const double t = std::atan2(double(r.ny), double(r.nx));
                o[2] = uint8_t(int(128 - 127 * std::cos(t * map.m_red + map.m_redShift)));
                o[1] = uint8_t(int(128 - 127 * std::cos(t * map.m_green + map.m_greenShift)));
                o[0] = uint8_t(int(128 - 127 * std::cos(t * map.m_blue + map.m_blueShift)));
            }
            o += 3;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["pixels/s"] = benchmark::Counter(double(kW) * kH * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlainColorLoop)->Unit(benchmark::kMillisecond);

struct ViewArgs {
    double x, y, half;
};

// Build plus Draw, as a zoom asks for them. frames/s counts whole frames.
void BM_Frame(benchmark::State& state, ViewArgs view, ExecutionPath path)
{
    SetExecutionPath(path);
    CMandelbrotSet m;
    m.m_centerX = view.x;
    m.m_centerY = view.y;
    m.m_halfSize = view.half;
    CCanvas c;
    c.m_targetWidth = kW;
    c.m_targetHeight = kH;
    for (auto _ : state) {
        m.Build(c);
        m.Draw(c);
        benchmark::ClobberMemory();
    }
    SetExecutionPath(ExecutionPath::kFast);
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

constexpr ViewArgs kDefault{-0.5, 0, 2}, kZoom2x{-0.5, 0, 1}, kNearBoundary{-0.75, 0.1, 0.05};

BENCHMARK_CAPTURE(BM_Frame, default_fast, kDefault, ExecutionPath::kFast)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Frame, default_plain, kDefault, ExecutionPath::kPlain)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Frame, zoom2x_fast, kZoom2x, ExecutionPath::kFast)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Frame, zoom2x_plain, kZoom2x, ExecutionPath::kPlain)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Frame, near_boundary_fast, kNearBoundary, ExecutionPath::kFast)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Frame, near_boundary_plain, kNearBoundary, ExecutionPath::kPlain)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

} // namespace

// What the Julia preview dock builds at each pointer move: a 200 x 200
// Julia set at the default count, built and drawn, for constants in the
// set (most points inside: the slowest), near its edge and outside it.
void BM_JuliaPreview(benchmark::State& state, double cRe, double cIm)
{
    CMandelbrotSet julia;
    julia.m_type = julia.m_builtType = 1;
    julia.m_cRe = cRe;
    julia.m_cIm = cIm;
    julia.m_centerX = 0;
    CCanvas c;
    c.m_targetWidth = 200;
    c.m_targetHeight = 200;
    for (auto _ : state) {
        julia.Build(c);
        julia.Draw(c);
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(BM_JuliaPreview, inside_rabbit, -0.123, 0.745)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_JuliaPreview, edge_seahorse, -0.75, 0.1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_JuliaPreview, outside_dust, 0.3, 0.6)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// A view built once by a fresh document, as each move of the window asks:
// with the count the document holds, and with the count its probe chooses
// (which for these views is that same 1000), so the ratio is the probe's
// cost.
void BM_FreshView(benchmark::State& state, ViewArgs view, bool chosen)
{
    CCanvas c;
    c.m_targetWidth = kW;
    c.m_targetHeight = kH;
    for (auto _ : state) {
        CMandelbrotSet m;
        m.m_centerX = view.x;
        m.m_centerY = view.y;
        m.m_halfSize = view.half;
        m.m_iterationsSet = !chosen;
        m.Build(c);
        benchmark::ClobberMemory();
    }
}

BENCHMARK_CAPTURE(BM_FreshView, default_set_count, kDefault, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FreshView, default_chosen_count, kDefault, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FreshView, zoom2x_set_count, kZoom2x, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FreshView, zoom2x_chosen_count, kZoom2x, true)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
