#pragma once
// The kinds of fractal, one row each: the kind code a fractal carries, the
// document's type code and name, the factory, and what the rest of the
// program may do with the kind. The document, the view, the menus and the
// writers ask these rows (or the fractal's own virtuals, for what depends on
// its state), never the kind's class.

#include <memory>
#include <span>
#include <string_view>

class CFractal;

// The type codes of the kinds there are, as tests and start-up name them.
enum FractalType { kTypeSelfAffine = 0, kTypeTile = 1, kTypeMandelbrot = 2, kTypeAppolony = 3 };

// What an animation may change from frame to frame.
enum AnimationMode : unsigned {
    kAnimateTurn = 1, // "Rotation angle" by the step (CFractal::TurnBy)
};

// What a kind's fractals are built for. What changes with a fractal's own
// rows (a plane self-affine set has no depth, only a solid one continues)
// is asked of the fractal: HasDepth, ContinuesCells.
struct KindAbilities {
    // The image is a view of the plane about m_centerX, m_centerY with
    // m_halfSize: the zoom rectangle, the wheel, panning and Back/Forward
    // move it.
    bool zoomAndPan = false;
    // A click on the image edits the fractal (Click): the window builds as
    // it opens, so there is an image to click, and again after each click.
    bool clicks = false;
    // Its cells are saved and opened as computed data (".fdt").
    bool computedData = false;
    // Continue can go on from the cells a build left (when ContinuesCells).
    bool continues = false;
    // Views past the resolution of doubles: the centre is kept as whole
    // digits beside the double (m_centerXDigits, m_centerYDigits).
    bool deepViews = false;
    // The AnimationMode bits an animation may use.
    unsigned animations = 0;
    // The tile chart ("Choose a Tile!") helps pick its "Determinant" and
    // "Track": the tile bar follows it.
    bool tileChart = false;
    // Its builds count escapes into the cells, so the colourings of counts
    // and distance apply; a gradient chosen shows through the smooth count.
    bool escapeCounts = false;
};

struct FractalKind {
    int code = 0;          // CFractal::m_kind
    int type = -1;         // the document's type code: New Fractal row, "Fractal Type", window icon
    const char* name = ""; // the type's name in "Fractal Type" and the New Fractal list
    // A new fractal of the kind with its defaults (type 0: the first sample).
    std::unique_ptr<CFractal> (*make)() = nullptr;
    KindAbilities can;
};

// Every kind, in type-code order (row i has type i).
std::span<const FractalKind* const> FractalKinds();

// The kind a fractal reports; a fractal of no registered kind (the base
// part alone, or a test's own) gets a row that can do nothing.
const FractalKind& KindOf(const CFractal& fractal);
inline const KindAbilities& AbilitiesOf(const CFractal& fractal) { return KindOf(fractal).can; }
// The row of a type code; any code no kind has gives the last row (a
// document of type 4 or -1 is an Appolony set).
const FractalKind& KindOfType(int type);
// The row whose name is `name` exactly, or none.
const FractalKind* KindNamed(std::string_view name);
// The names in type-code order, as the choices of the "Fractal Type" row.
const char* const* KindTypeNames();

// The type a new document takes: the New Fractal dialog's row, the start-up
// document, --type. The codes of the list and the one just past it (which
// makes the last kind, as any unknown code does) are kept; the rest, the
// dialog's -1 for no row among them, give the Mandelbrot set.
int NewDocumentType(int type);
