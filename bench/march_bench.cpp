// The 3-D samples built and lit at 640x480 (Build then Draw, as a Rebuild
// does) on the fast path, beside the same on the plain path (one thread, the
// piece walk as first written) in the same binary. The time column is wall
// time; the CPU column is the whole process's, so CPU / wall shows how many
// cores the build kept busy.
#include <benchmark/benchmark.h>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/Samples.h"
#include "model/SelfAffineSet.h"

namespace {

void BuildAndDraw(benchmark::State& state, ExecutionPath path)
{
    const int sample = int(state.range(0));
    const unsigned w = unsigned(state.range(1)), h = unsigned(state.range(2));
    SetExecutionPath(path);
    auto f = MakeSample(sample);
    auto* set = static_cast<CSelfAffineSet*>(f.get());
    CCanvas canvas;
    canvas.m_targetWidth = w;
    canvas.m_targetHeight = h;
    for (auto _ : state) {
        f->m_restart = true;
        f->Build(canvas);
        f->Draw(canvas);
    }
    state.counters["pieces/ray"] = double(set->m_piecesVisited.load()) / (double(w) * h);
    SetExecutionPath(ExecutionPath::kFast);
}

void BM_MarchFast(benchmark::State& s) { BuildAndDraw(s, ExecutionPath::kFast); }
void BM_MarchPlain(benchmark::State& s) { BuildAndDraw(s, ExecutionPath::kPlain); }

void Samples(benchmark::internal::Benchmark* b)
{
    for (int sample = 4; sample <= 9; ++sample)
        b->Args({sample, 640, 480});
    b->ArgNames({"sample", "w", "h"});
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
}
BENCHMARK(BM_MarchFast)->Apply(Samples);
BENCHMARK(BM_MarchPlain)->Apply(Samples);

// The lit painter alone, on the cells of sample 5.
void Render(benchmark::State& state, ExecutionPath path)
{
    auto f = MakeSample(5);
    CCanvas canvas;
    canvas.m_targetWidth = 640;
    canvas.m_targetHeight = 480;
    f->Build(canvas);
    SetExecutionPath(path);
    for (auto _ : state)
        f->Draw(canvas);
    SetExecutionPath(ExecutionPath::kFast);
}
void BM_RenderFast(benchmark::State& s) { Render(s, ExecutionPath::kFast); }
void BM_RenderPlain(benchmark::State& s) { Render(s, ExecutionPath::kPlain); }
BENCHMARK(BM_RenderFast)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_RenderPlain)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

} // namespace

BENCHMARK_MAIN();
