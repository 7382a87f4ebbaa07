#pragma once
// The common interface of every fractal kind.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "imaging/ColorMap.h"
#include "model/PassProgress.h"
#include "numbers/WideSize.h"
#include "rows/PropertyList.h"

class CCanvas;

// `count` pixels of one row of an image, from (row, column).
struct CellRun {
    unsigned row = 0, column = 0, count = 0;
};

// The mouse button of a click on the image.
enum class ClickButton { kLeft, kRight };

class CFractal {
public:
    // Kind codes (m_kind) of the kinds there are; the document's type codes
    // are another numbering (FractalKinds holds both).
    enum Kind { kBase = 0, kSelfAffine = 1, kTile = 2, kMandelbrot = 3, kAppolony = 4 };

    CFractal() = default;
    virtual ~CFractal() = default;
    CFractal(const CFractal&) = delete;
    CFractal& operator=(const CFractal&) = delete;

    // Fills the cells for the canvas's target size; returns early when
    // m_stop is set, and through Refuse when it cannot give an image.
    virtual void Build(CCanvas& canvas) = 0;
    // Paints the computed cells into the canvas's pixels.
    virtual int Draw(CCanvas& canvas);
    // After the user changed row `index`; true asks for the rows anew.
    virtual bool ValueChanged(int index, PropertyItem& row);
    // A press on the image at that pixel (kinds whose abilities say clicks).
    virtual void Click(int x, int y, ClickButton button);
    // Takes into the rows what the last build chose for itself; true when a
    // row changed. Only with no build running.
    virtual bool AdoptBuildChoices() { return false; }
    // True when the next build without m_restart goes on from the cells
    // the last one left, so only a grid of their size can be continued.
    virtual bool ContinuesCells() const { return false; }
    // Bytes needed to build an image of that size.
    virtual uint64_t MemoryNeed(unsigned width, unsigned height);
    // Emits every row in the kind's fixed order; returns the final level.
    virtual int FillProperties(PropertyList& list) = 0;
    // Passes of FillProperties that make up the binary parameter section.
    virtual int PassCount();
    // The switches and counts that decide which rows FillProperties lists
    // (a self-affine set's 3-D switch, maps and lights); reading rows that
    // change them must read again. Empty for a list that never changes.
    virtual std::vector<int> RowLayout() const { return {}; }
    // Before text rows are read into a fractal with its defaults: takes,
    // ahead, what decides their layout that the rows themselves give too
    // late. True when it read from `rows`, which the caller then rewinds.
    virtual bool PeekTextRows(std::istream& /*rows*/) { return false; }
    // True when the cells hold a surface's depth (a solid self-affine
    // set): the view shows the depth under the pointer, not plane
    // coordinates.
    virtual bool HasDepth() const { return false; }
    // Turns the view by that many degrees for the next build (an
    // animation's frame); false for a kind that has no angle to turn.
    virtual bool TurnBy(double) { return false; }
    // True when the view can move to the nearest small copy of the set in
    // it (the Mandelbrot set, not a Julia set).
    virtual bool FindsMinibrots() const { return false; }
    // Moves the view to fit the nearest minibrot, raising the count when
    // its period needs more; the reason when none was found (the view is
    // then as it was). Stops early, unchanged, when `stop` is set.
    virtual std::string ZoomToNearestMinibrot(const std::atomic<bool>* /*stop*/)
    {
        return "This fractal has no minibrots";
    }
    // The view a kind opens with, which Home returns to: the centre and
    // half size of a new fractal of the kind.
    struct Place {
        double x = 0, y = 0, half = 1;
    };
    virtual Place Overview() const;
    // True when the view's points are the constants of Julia sets (the
    // Mandelbrot set's own plane): the Julia preview follows the pointer.
    virtual bool PointsAreJuliaConstants() const { return false; }

    // True when a view of that size builds in bands: Build then fills the
    // canvas's band of a taller image (CCanvas::m_bandFirst) with the bits
    // the whole image has there. The bands of one image come from the top
    // down, each once (a band's margin rows apart, built again where they
    // were); m_bandRowsBefore of them are done. Kinds whose build spans the
    // image build it whole.
    virtual bool BuildsInBands(unsigned /*width*/, unsigned /*height*/) const { return false; }
    // True when BuildRuns works for a view of that size.
    virtual bool BuildsRuns(unsigned /*width*/, unsigned /*height*/) const { return false; }
    // Fills the grid with the cells of runs[0], runs[1], ... of the image
    // of the canvas's target width and FullHeight, one run after another
    // from the grid's first cell on, row after row of the grid (as wide as
    // the image; its cells past the last run hold anything), bit for bit
    // what a whole build gives there. The runs of one image come band by
    // band from the top down (m_bandRowsBefore 0 for the first band's).
    // False when stopped or when the view does not build runs.
    virtual bool BuildRuns(CCanvas& /*canvas*/, const std::vector<CellRun>& /*runs*/) { return false; }

    void SetName(const std::string& name) { m_name = name; }

    // Ends a build that cannot give an image: the status says why, and the
    // build is not drawn, so the previous image and its view stay.
    void Refuse(CCanvas& canvas, const std::string& why);

    std::string m_name = "no name";
    int m_kind = kBase;
    double m_centerX = 0, m_centerY = 0, m_centerZ = 0;
    // The centre's whole decimal digits where a double cannot hold them
    // (views past its resolution); they count only while they round to
    // m_centerX / m_centerY (numbers/Coordinate.h).
    std::string m_centerXDigits, m_centerYDigits;
    double m_halfSize = 1.0;
    // The half size's digits where it lies below the normal doubles (deep
    // Mandelbrot and Julia views); they count only while they round to
    // m_halfSize (numbers/WideSize.h).
    std::string m_halfSizeDigits;
    FloatExp WideHalfSize() const { return WideSize(m_halfSize, m_halfSizeDigits); }
    void SetHalfSize(FloatExp size)
    {
        WholeSize whole = SizeOf(size);
        m_halfSize = whole.value;
        m_halfSizeDigits = std::move(whole.digits);
    }
    // The pixel of an image of that size: 2 half / min(width, height).
    FloatExp PixelOf(unsigned width, unsigned height) const
    {
        return PixelOfHalf(m_halfSize, m_halfSizeDigits, std::min(width, height));
    }
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_restart{false};
    std::atomic<bool> m_viewValid{false};
    std::atomic<double> m_progress{-1.0};
    // The passes of a build that runs in passes (the 3-D march); while one
    // runs, the status shows it in place of m_progress.
    PassProgress m_passProgress;
    // Why the last build was refused, or empty. Written and read only by the
    // thread that builds (the build steps clear it before each Build).
    std::string m_refusal;
    // What the last build has to say beside "Ready" (how many pixels it
    // left in doubt), or empty; the build steps clear it before each Build.
    std::string m_buildNote;
    CColorMap m_colorMap;
};

// Bytes of one grid cell per pixel, in 64 bits: large images overflow 32.
inline uint64_t CellMemoryNeed(unsigned width, unsigned height)
{
    return uint64_t(width) * uint64_t(height) * sizeof(PixelRecord);
}
