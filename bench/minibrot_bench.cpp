// The nearest-minibrot search at 1e-30, 1e-100 and 1e-300 about the
// Misiurewicz point i and about one in the seahorse valley (it lands on a
// 2-cycle after 30 steps), against the baseline of one reference orbit of
// the found period at the same precision: what any deep build of the view
// pays first.

#include <benchmark/benchmark.h>

#include <cmath>

#include "model/deep/DeepView.h"
#include "model/deep/ReferenceOrbit.h"
#include "model/mandelbrot/Minibrot.h"

namespace {

const char* const kValleyX = "-0.74329189085243020293162432597251075717634855812077658183233045416092834725747859771865"
                             "32571331974372312015364725883055837409";
const char* const kValleyY = "0.131240552308797604770845906581478143077114151158584006731333942644122448580446382870480"
                             "954706252875970677052063732022415979197";

MinibrotSearch Search(const benchmark::State& state)
{
    const FloatExp half = FloatExp(std::pow(10.0, double(state.range(0)) / 2));
    if (state.range(1) == 0)
        return {"0", "1", half * half};
    return {kValleyX, kValleyY, half * half};
}

void BM_NearestMinibrot(benchmark::State& state)
{
    const MinibrotSearch search = Search(state);
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
    const MinibrotSearch search = Search(state);
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

// Depth, then the centre: 0 the point i, 1 the valley's point.
void Views(benchmark::internal::Benchmark* b)
{
    b->Args({-30, 0})->Args({-100, 0})->Args({-300, 0})->Args({-30, 1})->Args({-100, 1});
}

} // namespace

BENCHMARK(BM_NearestMinibrot)->Apply(Views)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineOrbitOfThePeriod)->Apply(Views)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
