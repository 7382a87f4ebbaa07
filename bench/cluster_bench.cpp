// The cluster test's small zoom video rendered by one process (the
// baseline) and submitted to a Slurm cluster as three array tasks and the
// job that assembles them, timed from the submission to the written video.
// The command lines come from bench/cluster_bench.sh, which starts a
// one-node cluster on this machine first: QUILLION_BENCH_SINGLE and
// QUILLION_BENCH_CLUSTER, each run by the shell; the cluster's leaves its
// frames folder behind, removed before each run so every frame is
// rendered again (QUILLION_BENCH_CLEAN).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

void Run(benchmark::State& state, const char* variable)
{
    const char* command = std::getenv(variable);
    const char* clean = std::getenv("QUILLION_BENCH_CLEAN");
    if (!command || !clean) {
        state.SkipWithError("run through bench/cluster_bench.sh");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        if (std::system(clean) != 0) {
            state.SkipWithError("the clean-up failed");
            return;
        }
        state.ResumeTiming();
        if (std::system(command) != 0) {
            state.SkipWithError(("the command failed: " + std::string(command)).c_str());
            return;
        }
    }
}

void BM_SingleProcess(benchmark::State& state) { Run(state, "QUILLION_BENCH_SINGLE"); }
BENCHMARK(BM_SingleProcess)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_ThreeArrayTasksAndAssembly(benchmark::State& state) { Run(state, "QUILLION_BENCH_CLUSTER"); }
BENCHMARK(BM_ThreeArrayTasksAndAssembly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

BENCHMARK_MAIN();
