#pragma once
// Mandelbrot and Julia views past the resolution of doubles: one reference
// orbit in arbitrary precision at the view's centre, every pixel iterated in
// doubles (or FloatExp, past their range) as its difference from it.
//
// Each cell gets what the double-precision point loop (kernels/
// MandelbrotPoint.h) would write for the same point in exact arithmetic, so
// the colour map paints a deep cell exactly like a shallow one.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "model/PassProgress.h"
#include "model/deep/FloatExp.h"

struct PixelRecord;
class ReferenceCache;

struct DeepJob {
    // The centre as decimal text, read at the precision the pixel size asks.
    std::string centerRe, centerIm;
    // Pixel (row i, column j) lies at centre + ((j - width/2) d, (i - height/2) d),
    // the halves rounded down, as in the double-precision build.
    FloatExp pixelSize;
    int width = 0, height = 0;
    bool julia = false;
    // Julia sets: z_0 = point / g, c = (cRe, cIm).
    double cRe = 0, cIm = 0, g = 1;
    double radius2 = 0;
    int maxIterations = 0;
    const std::atomic<bool>* stop = nullptr;
    // When given, the rows finished by the pass over the view are added to
    // its running pass, for the status line.
    PassProgress* progress = nullptr;
    // Tests: iterate in FloatExp even where doubles would do.
    bool forceWide = false;
    // Tests: false steps wide pixels in FloatExp itself rather than in
    // BlockExp, whose bits they must be.
    bool wideInBlocks = true;
    // Skip the iterations the pixels share by their linear approximation;
    // off, every pixel steps one by one (the plain perturbation).
    bool linearSkips = true;
    // Tests: the steps over which the skip tables keep skips of every
    // length (past them only the longer ones).
    size_t skipAllLengths = size_t(1) << 21;
    // MPFR iterations the doubtful pixels' own references may take in all,
    // each charged what its difference iteration ran, in reading order (the
    // top row first, each row from the left); the rest keep the difference
    // iteration's result. Negative: no limit.
    int64_t ownReferenceBudget = -1;
    // Doubtful double pixels are first tried again in double-double; the
    // ones that settles need no orbit of their own. Tests turn it off to
    // reach the own orbits.
    bool secondTry = true;
    // Carry dz/dp beside each pixel and write the exterior distance
    // estimate, in pixels, into each cell's step (0 inside). Off, the
    // loops run without it and no step is written.
    bool distance = false;
    // When given, the view's reference orbits are taken from it and left
    // in it for the next build: the pixels are those of a build without.
    // Its owner marks each build of the view (ReferenceCache::BeginBuild).
    ReferenceCache* orbits = nullptr;
};

struct DeepOutcome {
    bool stopped = false;
    std::string error; // set when the job could not be started; no cell written
    // Pixels whose escape the differences could not settle, iterated again
    // about an orbit of their own.
    int ownReferences = 0;
    // Doubtful pixels left with their difference iteration's result: past
    // the budget, or when memory for their orbit ran out.
    int doubtfulKept = 0;
    // Doubtful pixels settled by their second try, in double-double.
    int settledInDoubleDouble = 0;
    // Steps the second try's linear start took the doubtful pixels past.
    int64_t linearStartSteps = 0;
    // Own references whose orbit still lacked bits after the last attempt:
    // their result is MPFR's at the most bits tried.
    int unsettled = 0;
    // Steps z -> z^2 + c of the pass over the view (own references apart),
    // and how many of them were skipped.
    int64_t totalIterations = 0, skippedIterations = 0;
    // Of the steps taken, those taken in vector lanes (none on the scalar path).
    int64_t laneIterations = 0;
};

// Columns [from, to) of one row of the view, column j into cells[j - from]
// (and counts[j - from] when given): a build of a part of the image, a
// band of rows or the runs of pixels anti-aliasing refines.
struct DeepRun {
    int row = 0, from = 0, to = 0;
    PixelRecord* cells = nullptr;
    int32_t* counts = nullptr;
};

// The budget of own references over the parts of one image, built from the
// top down, so each part decides as the whole image's build does: what was
// spent before each row charged so far (a row built again, as a band's
// margin, is decided as it was), and after the lowest. Fresh for each image.
struct DeepBudget {
    bool begun = false;
    int64_t spent = 0;
    std::map<int, int64_t> before;
};

// What the status line says of a build that left pixels in doubt (past the
// budget, or their own orbit still short of bits), or empty.
std::string DoubtfulNote(const DeepOutcome& outcome);

// The most iterations a deep view takes.
constexpr int kDeepMaxIterations = 100000000;

// The precision the reference orbit needs for this pixel size.
long DeepPrecisionBits(FloatExp pixelSize);

// The bits that hold a decimal centre's digits, with room below the last.
long DigitBits(std::string_view text);

// The precision of the view's centre and reference orbit.
long DeepOrbitBits(const DeepJob& job);

// Bytes a build of this job needs beyond its cells: reference orbits, skip
// tables, and an own reference's orbit per core.
uint64_t DeepMemoryNeed(const DeepJob& job);

// Fills (nx, ny, value, state) of rows[i][j], and step with job.distance;
// `counts`, when given, gets width x height escape counts, row by row: the
// index m of the first z_m past the radius, or -1 inside. Rows are spread over the cores on the fast
// path and the result does not depend on how.
DeepOutcome BuildDeepView(const DeepJob& job, PixelRecord* const* rows, int32_t* counts);

// The same for the runs of the view's pixels, with the cells and counts
// the whole build gives them (the budget's share apart where its runs are
// not whole rows: they spend it alone). The runs are charged in reading
// order after what `budget` carries from the parts above them.
DeepOutcome BuildDeepRuns(const DeepJob& job, const std::vector<DeepRun>& runs, DeepBudget& budget);
