// The nearest-minibrot search about the Misiurewicz point i at 1e-30 and
// 1e-100, against the baseline of one reference orbit of the found period
// at the same precision (what any deep build of the view pays first).

#include <benchmark/benchmark.h>

#include <cmath>

#include "model/deep/DeepView.h"
#include "model/deep/ReferenceOrbit.h"
#include "model/mandelbrot/Minibrot.h"

namespace {

MinibrotSearch Search(int logRadius)
{
    const FloatExp half = FloatExp(std::pow(10.0, logRadius / 2.0));
    return {"0", "1", half * half};
}

void BM_NearestMinibrot(benchmark::State& state)
{
    const MinibrotSearch search = Search(int(state.range(0)));
    long period = 0;
    for (auto _ : state) {
        const Minibrot m = FindNearestMinibrot(search);
        period = m.period;
        benchmark::DoNotOptimize(m.size);
    }
    state.counters["period"] = double(period);
}

void BM_BaselineOrbitOfThePeriod(benchmark::State& state)
{
    const MinibrotSearch search = Search(int(state.range(0)));
    const long period = FindNearestMinibrot(search).period;
    const long bits = DeepPrecisionBits(search.radius);
    MpfrReal zero(bits), cr(bits), ci(bits);
    cr.Parse(search.centerRe);
    ci.Parse(search.centerIm);
    for (auto _ : state) {
        ReferenceOrbit orbit;
        ComputeReferenceOrbit(zero, zero, cr, ci, 1e4, size_t(period) + 1, true, nullptr, orbit, false, 1);
        benchmark::DoNotOptimize(orbit.re.data());
    }
    state.counters["period"] = double(period);
}

} // namespace

BENCHMARK(BM_NearestMinibrot)->Arg(-30)->Arg(-100)->Arg(-300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineOrbitOfThePeriod)->Arg(-30)->Arg(-100)->Arg(-300)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
