#pragma once
// The Mandelbrot set and the Julia sets of z <- z^2 + c.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "model/Fractal.h"
#include "model/FractalKinds.h"
#include "model/kernels/MandelbrotKernel.h"

struct DeepBudget;

class CMandelbrotSet : public CFractal {
public:
    CMandelbrotSet();

    void Build(CCanvas& canvas) override;
    int Draw(CCanvas& canvas) override;
    uint64_t MemoryNeed(unsigned width, unsigned height) override;
    int FillProperties(PropertyList& list) override;
    bool ValueChanged(int index, PropertyItem& row) override;
    bool AdoptBuildChoices() override;
    // A Julia set's overview is centred on 0, as a switch to it shows it.
    Place Overview() const override { return {m_type == 1 ? 0.0 : -0.5, 0.0, 2.0}; }
    bool PointsAreJuliaConstants() const override { return m_type == 0; }
    bool BuildsInBands(unsigned width, unsigned height) const override;
    bool BuildsRuns(unsigned width, unsigned height) const override { return BuildsInBands(width, height); }
    bool FindsMinibrots() const override { return m_type == 0; }
    // The view about the nucleus is this many times the minibrot's size,
    // and a count the user set at least this many times its period (an
    // unset one the view chooses).
    static constexpr double kMinibrotFit = 3.0;
    static constexpr int kIterationsPerPeriod = 100;
    std::string ZoomToNearestMinibrot(const std::atomic<bool>* stop) override;
    bool BuildRuns(CCanvas& canvas, const std::vector<CellRun>& runs) override;

    double m_precision = 100.0; // escape radius
    double m_cRe = 0, m_cIm = 0;
    // The "iterations" row: steps before a point counts as inside.
    static constexpr int kDefaultIterations = 1000;
    static constexpr int kMaxIterations = 100000000;
    int m_maxIterations = kDefaultIterations;
    // While the user has not set the count, every build chooses it from a
    // probe of the view (IterationChoice.h), never below the default nor
    // above kAutoIterationsCap; the chosen count waits here (0: none) until
    // the build has ended, since the parameters window reads the row
    // meanwhile.
    static constexpr int kAutoIterationsCap = 256000;
    bool m_iterationsSet = false;
    std::atomic<int> m_raisedIterations{0};
    int m_type = 0; // 0 Mandelbrot, 1 Julia
    int m_builtType = 0;

private:
    // What every row of a shallow view of that width and pixel size shares.
    MandelbrotRowJob RowJob(unsigned width, double pixelSize, int iterations) const;
    // The count a shallow view of that size is built with: the user's, or
    // the one its probe chooses, the same for every band and run of one
    // view; 0 when stopped.
    int ShallowIterations(unsigned width, unsigned height, double pixelSize);
    struct ChoiceKey {
        double x, y, half, cRe, cIm, precision;
        unsigned width, height;
        int type;
        bool operator==(const ChoiceKey&) const = default;
    };
    // The last two views' choices, the most recent first (count 0: none):
    // adaptive anti-aliasing builds the view and its samples at N times
    // its size by turns, band after band, and each needs its own probe.
    struct Choice {
        ChoiceKey key{};
        int count = 0;
    };
    std::array<Choice, 2> m_choices{};
    // Views past the resolution of doubles (model/deep): the canvas's band
    // of the image, or with `runs` those runs of its pixels, into the grid.
    // False when stopped or refused.
    bool BuildDeep(CCanvas& canvas, FloatExp pixelSize, int iterations, const std::vector<CellRun>* runs = nullptr);
    // Why a view cannot be built (a radius past the deepest, or of 0 or
    // less about a centre kept whole), or empty.
    std::string UnbuildableView() const;
    // The count a deep view is built with; 0 when stopped. Kept for the
    // last two views, as the shallow choices are, so the bands and runs of
    // one image probe it once.
    int DeepIterations(const struct DeepJob& view, int iterations);
    struct DeepChoice {
        std::string key;
        int count = 0;
    };
    std::array<DeepChoice, 2> m_deepChoices{};
    // The own references' budget carried over the bands of an image and
    // over the runs of its samples, by the size of the image they build.
    struct BandBudget {
        unsigned width = 0, height = 0;
        std::shared_ptr<DeepBudget> budget;
    };
    std::array<BandBudget, 2> m_bandBudgets{};
    DeepBudget& BudgetOfBands(unsigned width, unsigned height, bool fresh);
    struct DeepJob DeepViewJob(unsigned width, unsigned height, FloatExp pixelSize, int iterations);
    // The last deep builds' reference orbits, for the next (made by the
    // first; only builds touch it, and they come one at a time).
    std::shared_ptr<class ReferenceCache> m_deepOrbits;
};

extern const char* const kMandelbrotTypeNames[2];

// The kind's row in FractalKinds.
extern const FractalKind kMandelbrotKind;
