// The 3-D samples built and lit at 640x480 (Build then Draw, as a Rebuild
// does) on the fast path, beside the same on the plain path (one thread, the
// piece walk as first written) in the same binary. The time column is wall
// time; the CPU column is the whole process's, so CPU / wall shows how many
// cores the build kept busy.
#include <benchmark/benchmark.h>

#include <cmath>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/Samples.h"
#include "model/kernels/MarchKernel.h"
#include "model/selfaffine/SelfAffineSet.h"

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

// The child tests of the fast walk alone, per instruction set: sample 5's
// twenty maps under one of its pieces of the third level, against a segment
// that passes through it (some children near, most not).
void ChildTests(benchmark::State& state)
{
    const KernelIsa isa = KernelIsa(state.range(0));
    if (!KernelIsaSupported(isa)) {
        state.SkipWithError("not on this processor");
        return;
    }
    auto f = MakeSample(5);
    auto* set = static_cast<CSelfAffineSet*>(f.get());
    set->m_iterations = 0;
    CCanvas canvas;
    canvas.m_targetWidth = canvas.m_targetHeight = 2;
    f->Build(canvas);
    AffineMap maps[MapSet::kMaxMaps];
    double norms[MapSet::kMaxMaps];
    const march::Piece root = march::RootPiece(set->m_work, set->m_maps, maps, norms);
    const int n = set->m_work.Count();
    march::Piece piece = root;
    for (int k : {3, 11, 17}) {
        march::Piece c = march::ChildOf(piece, maps[k], norms[k]);
        march::MultiplyInto(c, piece, maps[k].m);
        piece = c;
    }
    const march::ChildMaps lanes = march::MakeChildMaps(maps, norms, n);
    const march::ChildTests tests = march::ChildTestsFor(isa);
    const march::Vec a{piece.t.x - 1, piece.t.y - 0.3, piece.t.z - 0.2};
    const double ul = std::sqrt(1 + 0.09 + 0.04);
    const march::Vec u{1 / ul, 0.3 / ul, 0.2 / ul};
    uint32_t seen = 0;
    for (auto _ : state) {
        seen += tests.segment(piece, lanes, a, u, 2, piece.rho * 0.05);
        seen += tests.point(piece, lanes, piece.t, piece.rho * 0.5, piece.rho * 0.2);
        benchmark::DoNotOptimize(seen);
    }
    state.counters["near"] = double(__builtin_popcount(tests.segment(piece, lanes, a, u, 2, piece.rho * 0.05)));
}
BENCHMARK(ChildTests)
    ->Arg(int(KernelIsa::kScalar))
    ->Arg(int(KernelIsa::kSse2))
    ->Arg(int(KernelIsa::kAvx2))
    ->Arg(int(KernelIsa::kAvx512))
    ->ArgName("isa");

} // namespace

BENCHMARK_MAIN();
