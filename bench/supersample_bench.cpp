// Anti-aliasing of the default Mandelbrot view at 1024x768: the plain
// build and draw (the baseline, through the build steps a window runs),
// the same through the off-screen renderer with one sample, N x N
// samples, and the adaptive 3 x 3 mode; and a 4096 x 4096 image in bands
// of at most 16 MB of cells beside the same image built whole. Read the
// ratios to the baseline of the same run.
#include <benchmark/benchmark.h>

#include "document/BuildSteps.h"
#include "document/OffscreenRender.h"
#include "imaging/Canvas.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

constexpr unsigned kW = 1024, kH = 768;

void BM_PlainBuildAndDraw(benchmark::State& state)
{
    CMandelbrotSet m;
    CCanvas c;
    c.SetTargetSize(kW, kH);
    for (auto _ : state) {
        m.m_restart = true;
        benchmark::DoNotOptimize(RunBuildSteps(m, c, kCmdRebuild).result);
    }
}
BENCHMARK(BM_PlainBuildAndDraw)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sampled(benchmark::State& state)
{
    CMandelbrotSet m;
    const MemoryStatus memory = QueryMemoryStatus();
    const AntiAliasing aa{int(state.range(0)), state.range(1) != 0};
    for (auto _ : state) {
        CCanvas c;
        CanvasSink sink(c);
        benchmark::DoNotOptimize(RenderOffscreen(m, {kW, kH, aa}, sink, memory).result);
    }
    state.SetLabel(AntiAliasingName(aa));
}
BENCHMARK(BM_Sampled)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({3, 0})
    ->Args({4, 0})
    ->Args({3, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Poster(benchmark::State& state)
{
    constexpr unsigned kSide = 4096;
    CMandelbrotSet m;
    const bool bands = state.range(0) != 0;
    for (auto _ : state) {
        CCanvas c;
        if (bands) {
            CanvasSink sink(c);
            OffscreenJob job{kSide, kSide};
            job.bandBytes = uint64_t(16) << 20;
            benchmark::DoNotOptimize(RenderOffscreen(m, job, sink, QueryMemoryStatus()).result);
        } else {
            c.SetTargetSize(kSide, kSide);
            m.m_restart = true;
            benchmark::DoNotOptimize(RunBuildSteps(m, c, kCmdRebuild).result);
        }
    }
    state.SetLabel(bands ? "bands of 16 MB of cells" : "whole");
}
BENCHMARK(BM_Poster)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
