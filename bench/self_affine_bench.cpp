// The self-affine builds and the lit renderer, beside a plain loop that
// touches every cell of a 640x480 grid once with a square root.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/Samples.h"
#include "model/selfaffine/SelfAffineSet.h"

namespace {

void Build(benchmark::State& state, int sample, unsigned w, unsigned h, double zoom = 1)
{
    auto f = MakeSample(sample);
    // A deeper view: the same centre, the screen `zoom` times smaller, so
    // the march refines pieces many more levels down.
    f->m_halfSize /= zoom;
    CCanvas canvas;
    canvas.m_targetWidth = w;
    canvas.m_targetHeight = h;
    for (auto _ : state) {
        f->m_restart = true;
        f->Build(canvas);
    }
    state.counters["rays/s"] = benchmark::Counter(double(w) * h, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FieldBuildSample0(benchmark::State& s) { Build(s, 0, 1024, 768); }

// Build and Draw of sample 0 at 1024x768 on the fast path and on the plain
// one (one thread, the loop as first written). CPU time is the whole
// process's: beside wall time it shows how many cores are busy.
void BuildDrawSample0(benchmark::State& state, ExecutionPath path)
{
    SetExecutionPath(path);
    auto f = MakeSample(0);
    CCanvas canvas;
    canvas.m_targetWidth = 1024;
    canvas.m_targetHeight = 768;
    for (auto _ : state) {
        f->m_restart = true;
        f->Build(canvas);
        f->Draw(canvas);
        benchmark::ClobberMemory();
    }
    SetExecutionPath(ExecutionPath::kFast);
}
void BM_BuildDrawSample0(benchmark::State& s) { BuildDrawSample0(s, ExecutionPath::kFast); }
void BM_BuildDrawSample0Plain(benchmark::State& s) { BuildDrawSample0(s, ExecutionPath::kPlain); }
BENCHMARK(BM_BuildDrawSample0)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_BuildDrawSample0Plain)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
void BM_RayMarchSample4(benchmark::State& s) { Build(s, 4, 640, 480); }
void BM_RayMarchSample5(benchmark::State& s) { Build(s, 5, 640, 480); }
void BM_RayMarchSample4Zoom100(benchmark::State& s) { Build(s, 4, 640, 480, 100); }
void BM_RayMarchSample4Zoom10000(benchmark::State& s) { Build(s, 4, 640, 480, 10000); }
BENCHMARK(BM_FieldBuildSample0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RayMarchSample4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RayMarchSample5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RayMarchSample4Zoom100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RayMarchSample4Zoom10000)->Unit(benchmark::kMillisecond);

void BM_Render640(benchmark::State& state)
{
    auto f = MakeSample(4);
    CCanvas canvas;
    canvas.m_targetWidth = 640;
    canvas.m_targetHeight = 480;
    f->Build(canvas);
    for (auto _ : state)
        f->Draw(canvas);
}
BENCHMARK(BM_Render640)->Unit(benchmark::kMillisecond);

void BM_PlainCellLoop(benchmark::State& state)
{
    std::vector<PixelRecord> cells(640 * 480, PixelRecord{1, 2, 3, 0, 0, 1, 1, 0, 0});
    for (auto _ : state) {
        double sum = 0;
        for (const PixelRecord& c : cells)
            sum += std::sqrt(double(c.x) * c.x + double(c.y) * c.y + double(c.z) * c.z);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_PlainCellLoop)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
