// Recolouring the default 1024x768 Mandelbrot view from its cells in each
// colouring, beside the angle colouring every document drew before (the
// baseline, first), and the build with the distance derivative beside the
// plain build.
#include <benchmark/benchmark.h>

#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

constexpr unsigned kW = 1024, kH = 768;

void BM_Recolor(benchmark::State& state)
{
    CMandelbrotSet m;
    CCanvas c;
    c.m_targetWidth = kW;
    c.m_targetHeight = kH;
    m.m_colorMap.m_coloring = int32_t(state.range(0));
    m.Build(c);
    for (auto _ : state) {
        m.Draw(c);
        benchmark::ClobberMemory();
    }
    state.SetLabel(kColoringNames[state.range(0)]);
}
BENCHMARK(BM_Recolor)
    ->DenseRange(kColoringAngle, kColoringCount - 1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_Build(benchmark::State& state)
{
    CMandelbrotSet m;
    CCanvas c;
    c.m_targetWidth = kW;
    c.m_targetHeight = kH;
    m.m_colorMap.m_coloring = state.range(0) ? kColoringDistance : kColoringAngle;
    for (auto _ : state) {
        m.Build(c);
        benchmark::ClobberMemory();
    }
    state.SetLabel(state.range(0) ? "with the distance" : "plain");
}
BENCHMARK(BM_Build)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

} // namespace

BENCHMARK_MAIN();
