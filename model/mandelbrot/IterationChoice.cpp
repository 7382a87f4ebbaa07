#include "model/mandelbrot/IterationChoice.h"

#include <algorithm>
#include <cmath>

namespace iteration_choice {

namespace {

// Up to two significant digits, so a saved count reads as a round number.
int64_t RoundedUp(int64_t n)
{
    int64_t unit = 1;
    while (n > 100 * unit)
        unit *= 10;
    return (n + unit - 1) / unit * unit;
}

} // namespace

int CountForProbe(const std::vector<int32_t>& counts, int floor)
{
    std::vector<int32_t> escaped;
    escaped.reserve(counts.size());
    for (const int32_t c : counts)
        if (c >= 0)
            escaped.push_back(c);
    const size_t late = size_t(std::floor(kLateShare * double(counts.size())));
    if (escaped.size() <= late)
        return floor;
    // The (late + 1)-th latest escape: every later one is among the few.
    const size_t at = escaped.size() - 1 - late;
    std::nth_element(escaped.begin(), escaped.begin() + std::ptrdiff_t(at), escaped.end());
    return int(std::max<int64_t>(floor, RoundedUp(escaped[at])));
}

int ChooseIterations(int floor, int most, bool raiseWhollyInside,
                     const std::function<bool(int, std::vector<int32_t>&)>& probe)
{
    int64_t cap = std::min<int64_t>(most, int64_t(kReach) * floor);
    std::vector<int32_t> counts;
    for (;;) {
        if (!probe(int(cap), counts))
            return 0;
        if (raiseWhollyInside && std::all_of(counts.begin(), counts.end(), [](int32_t c) { return c < 0; })) {
            if (cap >= most)
                return most;
            cap = std::min<int64_t>(most, cap * kReach);
            continue;
        }
        const int n = CountForProbe(counts, floor);
        if (int64_t(n) * kReach <= cap || cap >= most)
            return std::min(n, most);
        cap = std::min<int64_t>(most, std::max(int64_t(n) * kReach, cap * 2));
    }
}

} // namespace iteration_choice
