#pragma once
// The pass over a deep view's rows: each pixel in the scalar loop of
// DeepPixel.h, its ordinary steps handed to the lanes of DeepLanes.h where
// the processor has them. Internal to model/deep.

#include <atomic>
#include <cstdint>
#include <vector>

#include "model/deep/DeepPixel.h"

namespace deep_pixel {

// A doubtful pixel, with what an orbit of its own would cost in MPFR
// iterations, judged from its difference iteration.
struct Doubtful {
    int column;
    int64_t cost;
};

// What the pixels of a pass add up to.
struct Tally {
    std::atomic<int64_t> steps{0}, skipped{0}, lanes{0};
};

// Columns [from, to) of row i of the view, column j into cells[j - from]
// (and counts[j - from]). False when stopped. Doubtful pixels keep the
// difference iteration's result and are listed in `doubtful` by column.
template <class T>
bool Row(const Setup<T>& s, int i, int height, int from, int to, PixelRecord* cells, int32_t* counts,
         std::vector<Doubtful>& doubtful, Tally& tally);

// The second try at the doubtful double pixels, in double-double, all runs
// at once in lanes: those it settles are written and leave the lists
// (doubtful[n] the pixels of runs[n]); the centre's pixel, with
// `skipCentre`, is left as it is. Each pixel's try depends on nothing but
// the pixel and the view. `outcome` gets the settled pixels and the linear
// start's steps. False when stopped.
bool SecondTry(const Scene& scene, const Setup<double>& s, const std::vector<DeepRun>& runs,
               std::vector<std::vector<Doubtful>>& doubtful, bool skipCenter, DeepOutcome& outcome);

} // namespace deep_pixel
