// A deep view (half-size 1e-30 in the seahorse valley, 10000 iterations,
// 128x96) built by perturbation on the fast path (rows on every core) and
// on the plain path (one thread), in the same run. At this depth no pixel
// escapes within 10000 iterations, so every pixel runs the whole loop and
// the rate figure is the difference iteration's own.
#include <benchmark/benchmark.h>

#include <vector>

#include "imaging/ColorMap.h"
#include "imaging/Parallel.h"
#include "model/deep/DeepView.h"

namespace {

constexpr int kW = 128, kH = 96, kIterations = 10000;

void BM_DeepView(benchmark::State& state)
{
    SetExecutionPath(state.range(0) ? ExecutionPath::kPlain : ExecutionPath::kFast);
    DeepJob job;
    job.centreRe = "-0.743643887037158704752191506114774";
    job.centreIm = "0.131825904205311970493132056385139";
    job.pixelSize = FloatExp(2e-30 / kH);
    job.width = kW;
    job.height = kH;
    job.radius2 = 1e4;
    job.maxIterations = kIterations;
    CColorMap map;
    map.AllocateGrid(kW, kH);
    std::vector<int32_t> counts(size_t(kW) * kH);
    int64_t steps = 0;
    int own = 0;
    for (auto _ : state) {
        const DeepOutcome o = BuildDeepView(job, map.m_gridRows.data(), counts.data());
        own = o.ownReferences;
        benchmark::ClobberMemory();
    }
    for (const int32_t c : counts)
        steps += c < 0 ? kIterations + 1 : c;
    SetExecutionPath(ExecutionPath::kFast);
    state.counters["iterations/s"] = benchmark::Counter(double(steps) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["own references"] = own;
}
BENCHMARK(BM_DeepView)->ArgName("plain")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

} // namespace

BENCHMARK_MAIN();
