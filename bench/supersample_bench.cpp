// Anti-aliasing of the default Mandelbrot view at 1024x768: the plain
// build and draw (the baseline, through the build steps a window runs),
// the same through the off-screen renderer with one sample, N x N
// samples, and the adaptive 3 x 3 mode; a 4096 x 4096 image in bands
// of at most 16 MB of cells beside the same image built whole; and a deep
// view (a radius of 1e-30 in the seahorse valley) at 1024 x 1024 in bands
// of 4 MB of cells, plain and 2 x 2, beside the same built whole. Read the
// ratios to the baseline of the same run: on a machine others load too,
// the CPU time of all the process's threads beside the real time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

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
BENCHMARK(BM_PlainBuildAndDraw)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

std::vector<uint8_t> Pixels(const AntiAliasing& aa)
{
    CMandelbrotSet m;
    CCanvas c;
    CanvasSink sink(c);
    RenderOffscreen(m, {kW, kH, aa}, sink, QueryMemoryStatus());
    return c.m_bits;
}

// How far the adaptive image lies from the fully sampled one: the largest
// difference of a channel, the mean one, and the share of pixels that
// differ at all.
void CompareWithFullSampling(benchmark::State& state, const AntiAliasing& aa)
{
    const std::vector<uint8_t> full = Pixels({aa.samples, false}), adaptive = Pixels(aa), plain = Pixels({});
    int most = 0;
    double sum = 0;
    size_t differing = 0, refined = 0;
    for (size_t k = 0; k + 2 < full.size(); k += 3) {
        bool differs = false, changed = false;
        for (size_t ch = 0; ch < 3; ++ch) {
            const int d = std::abs(int(full[k + ch]) - int(adaptive[k + ch]));
            most = std::max(most, d);
            sum += d;
            differs |= d != 0;
            changed |= adaptive[k + ch] != plain[k + ch];
        }
        differing += differs;
        refined += changed;
    }
    const double pixels = double(full.size() / 3);
    state.counters["max_diff"] = most;
    state.counters["mean_diff"] = sum / (3 * pixels);
    state.counters["differing_share"] = double(differing) / pixels;
    state.counters["changed_share"] = double(refined) / pixels;
}

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
    if (aa.adaptive)
        CompareWithFullSampling(state, aa);
}
BENCHMARK(BM_Sampled)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({3, 0})
    ->Args({4, 0})
    ->Args({3, 1})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
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

// The deep view; its count fixed, so every run iterates alike.
void DeepView(CMandelbrotSet& m)
{
    m.m_centerX = -0.743643887037158704752191506114774;
    m.m_centerXDigits = "-0.743643887037158704752191506114774";
    m.m_centerY = 0.131825904205311970493132056385139;
    m.m_centerYDigits = "0.131825904205311970493132056385139";
    m.m_halfSize = 1e-30;
    m.m_maxIterations = 20000;
    m.m_iterationsSet = true;
}

// range(0): 0 whole, 1 in bands; range(1): samples a side.
void BM_DeepPoster(benchmark::State& state)
{
    constexpr unsigned kSide = 1024;
    const bool bands = state.range(0) != 0;
    const unsigned n = unsigned(state.range(1));
    for (auto _ : state) {
        CMandelbrotSet m;
        DeepView(m);
        CCanvas c;
        if (bands) {
            CanvasSink sink(c);
            OffscreenJob job{kSide, kSide, {int(n), false}};
            job.bandBytes = uint64_t(4) << 20;
            benchmark::DoNotOptimize(RenderOffscreen(m, job, sink, QueryMemoryStatus()).result);
        } else {
            c.SetTargetSize(kSide * n, kSide * n);
            benchmark::DoNotOptimize(RunBuildSteps(m, c, kCmdRebuild).result);
        }
    }
    state.SetLabel(std::string(bands ? "bands of 4 MB of cells" : "whole") + (n > 1 ? ", 2x2" : ""));
}
BENCHMARK(BM_DeepPoster)
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 2})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
