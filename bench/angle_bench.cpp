// The angle colouring's Draw of the default 1024x768 view through each
// instruction set's variant beside the scalar pass (libm's atan2 and cos
// for every pixel) in the same run, with how many channels fell back to
// libm; and the default frame, Build plus Draw, with either Draw, beside
// the Build alone, and the frame painted row by row as it is built.
#include <benchmark/benchmark.h>

#include "imaging/Canvas.h"
#include "imaging/kernels/AngleKernel.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

constexpr unsigned kW = 1024, kH = 768;

void BM_AngleDraw(benchmark::State& state, KernelIsa isa)
{
    if (!KernelIsaSupported(isa)) {
        state.SkipWithError("not on this processor");
        return;
    }
    CMandelbrotSet m;
    CCanvas c;
    c.m_targetWidth = kW;
    c.m_targetHeight = kH;
    m.Build(c);
    OverrideKernelIsa(isa);
    for (auto _ : state) {
        m.Draw(c);
        benchmark::ClobberMemory();
    }
    ClearKernelIsaOverride();
    // The fallbacks of one pass, counted outside the timing.
    const CColorMap& map = m.m_colorMap;
    const AnglePlan plan =
        MakeAnglePlan(map.m_red, map.m_green, map.m_blue, map.m_redShift, map.m_greenShift, map.m_blueShift);
    int64_t fallbacks = 0, coloured = 0;
    std::vector<uint8_t> row(size_t(kW) * 3);
    for (int i = 0; i < map.m_gridHeight; ++i) {
        fallbacks += PaintAngleRow(isa, plan, map.Cell(i, 0), map.m_gridWidth, 0, row.data());
        for (int j = 0; j < map.m_gridWidth; ++j)
            coloured += map.Cell(i, j)->value < float(CColorMap::kBackgroundValue);
    }
    state.counters["fallbacks"] = double(fallbacks);
    state.counters["coloured"] = double(coloured);
    state.counters["pixels/s"] = benchmark::Counter(double(kW) * kH * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_AngleDraw, scalar, KernelIsa::kScalar)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AngleDraw, sse2, KernelIsa::kSse2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AngleDraw, avx2, KernelIsa::kAvx2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AngleDraw, avx512, KernelIsa::kAvx512)->Unit(benchmark::kMillisecond)->UseRealTime();

// Build then Draw of the default view; the build always takes the widest
// variant, the Draw the one named. The build alone is the baseline the
// frames are read against: what a frame takes beyond it is the Draw's.
// The fused frame paints each row right after building it, as the window
// and the headless renderer do.
enum class FrameDraw { kNone, kScalar, kVector, kFused };

void BM_DefaultFrame(benchmark::State& state, FrameDraw draw)
{
    CMandelbrotSet m;
    CCanvas c;
    c.m_targetWidth = kW;
    c.m_targetHeight = kH;
    m.Build(c);
    for (auto _ : state) {
        if (draw == FrameDraw::kFused) {
            const PaintWhileBuilding drawn(c);
            m.Build(c);
        } else {
            m.Build(c);
        }
        if (draw == FrameDraw::kScalar)
            OverrideKernelIsa(KernelIsa::kScalar);
        if (draw != FrameDraw::kNone)
            m.Draw(c);
        ClearKernelIsaOverride();
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_DefaultFrame, build_alone, FrameDraw::kNone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_DefaultFrame, scalar_draw, FrameDraw::kScalar)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_DefaultFrame, vector_draw, FrameDraw::kVector)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_DefaultFrame, fused_draw, FrameDraw::kFused)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
