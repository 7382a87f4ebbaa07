#include "parameters/RowHelp.h"

#include <cctype>

#include "model/Fractal.h"

namespace {

struct Entry {
    int kind;          // CFractal::Kind, or kBase for the colour rows every 2-D kind shares
    const char* group; // the group header's stem; nullptr for any group
    const char* label; // the label's stem
    const char* line;
    const char* range;
};

constexpr int kAny = CFractal::kBase;
constexpr int kMandel = CFractal::kMandelbrot;
constexpr int kAppo = CFractal::kAppolony;
constexpr int kAffine = CFractal::kSelfAffine;
constexpr int kTile = CFractal::kTile;

// The first entry that matches wins, so an entry for one group comes before
// the kind's catch-all entry for the same label.
// clang-format off
const Entry kEntries[] = {
    {kAny, nullptr, "Name", "The fractal's name: the window's title and the name it is saved under.", "Any text."},
    {kAny, nullptr, "Main", "The fractal's main parameters.", ""},
    {kAny, nullptr, "Colors", "How the computed field is turned into colours.", ""},

    // The 2-D colour map, shared by the Mandelbrot, Julia, Appolony and plane self-affine kinds.
    {kAny, "Colors", "Red", "Red frequency: how many times red cycles as the field direction turns once around.",
     "Small whole numbers (0 to about 10) give smooth bands; 0 makes red constant."},
    {kAny, "Colors", "Green", "Green frequency: how many times green cycles as the field direction turns once around.",
     "Small whole numbers (0 to about 10) give smooth bands; 0 makes green constant."},
    {kAny, "Colors", "Blue", "Blue frequency: how many times blue cycles as the field direction turns once around.",
     "Small whole numbers (0 to about 10) give smooth bands; 0 makes blue constant."},
    {kAny, "Colors", "Red   Shift", "Red phase: turns the red cycle, in radians.", "0 to 6.28 covers every phase."},
    {kAny, "Colors", "Green Shift", "Green phase: turns the green cycle, in radians.", "0 to 6.28 covers every phase."},
    {kAny, "Colors", "Blue  Shift", "Blue phase: turns the blue cycle, in radians.", "0 to 6.28 covers every phase."},
    {kAny, nullptr, "Background", "The colour of background pixels: points that never escaped, pieces smaller than a pixel, rays that missed the set.",
     "Black or White; double-click to switch."},

    // The gradient colourings, shared by the same kinds.
    {kAny, nullptr, "Coloring", "How the cells are coloured through the gradient; a change repaints at once, without building.", ""},
    {kAny, "Coloring", "coloring", "Angle: the field direction through the three cosines above. Angle through a gradient: the same direction "
     "through the gradient. Smooth count, Bands and Distance (Mandelbrot and Julia sets): the continuous escape count, the whole "
     "count, and the distance to the set in pixels, each through the gradient.",
     "Double-click to step; Distance needs one build (F9) to compute the distance."},
    {kAny, "Coloring", "gradient", "The gradient: stops of position (0 to 1) and colour, as \"0 #000764;0.5 #ffffff;1 #000764\".",
     "Up to 1024 stops; a colour is written #rrggbb."},
    {kAny, "Coloring", "gradient offset", "Where the gradient starts: added to the colouring's value before it is wrapped into 0 to 1.",
     "0 to 1 covers every start."},
    {kAny, "Coloring", "gradient repetitions", "How many times the gradient runs over the colouring's range (32 escape counts, "
     "one turn of the angle, the distances).", "Above 0; larger gives narrower bands, a negative value reverses the gradient."},
    {kAny, "Coloring", "inside color", "The colour of points inside the set in the gradient colourings, written #rrggbb.",
     "Empty for the Background row's colour."},

    // Mandelbrot and Julia sets.
    {kMandel, nullptr, "type", "Mandelbrot or Julia set. Switching to Julia takes the current centre as the constant c.",
     "Double-click to switch; the view resets to the whole set."},
    {kMandel, nullptr, "x", "x (real part) of the view's centre.", "The whole set lies within -2 to 0.5."},
    {kMandel, nullptr, "y", "y (imaginary part) of the view's centre.", "The whole set lies within -1.2 to 1.2."},
    {kMandel, nullptr, "radius", "Half the shorter side of the view, in plane units.",
     "2 shows the whole set; smaller zooms in. Past what doubles resolve (a radius of about 1e-11 near the origin, "
     "for a window a few hundred pixels across) the view is built about a reference orbit in many digits, more slowly, the deeper the slower, down to 1e-100000 "
     "(typed with an exponent: 1e-1000)."},
    {kMandel, nullptr, "precision", "The escape radius: a point has escaped once its orbit leaves this circle.",
     "2 to about 300; values past about 300 paint escaped points whose squared size passes 1e10 as background."},
    {kMandel, nullptr, "Re c", "Real part of the Julia constant c.", "Connected Julia sets come from c inside the Mandelbrot set, about -2 to 0.5."},
    {kMandel, nullptr, "Im c", "Imaginary part of the Julia constant c.", "About -1.2 to 1.2."},
    {kMandel, nullptr, "iterations", "Steps of z <- z^2 + c before a point that has not escaped counts as inside (black).",
     "1 to 100000000, default 1000; deep zooms near the boundary need more, and each step costs time on every inside point. "
     "Until you type a count (a document that holds one counts as typed), every build chooses it from a 64-pixel-wide "
     "probe of the view: the least round count (two significant digits, at least 1000) past which at most 0.3 % of the "
     "probe's pixels still escape within four times that count, up to 256000; a deep view whose probe stays wholly "
     "black is raised fourfold while it does."},

    // Appolony set.
    {kAppo, nullptr, "precision", "How far a circle's field is refined: a circle is drawn in detail while this many times its diameter spans a pixel.",
     "1 to 10 (default 5); larger is finer and slower; 0 draws only the first three circles; at most 100."},
    {kAppo, nullptr, "x", "x of the view's centre.", "The packing lies within -1 to 1."},
    {kAppo, nullptr, "y", "y of the view's centre.", "The packing lies within -1 to 1."},
    {kAppo, nullptr, "radius", "Half the shorter side of the view, in plane units.", "0.5 shows the central gap; smaller zooms in."},

    // Self-affine sets.
    {kAffine, nullptr, "Dimension", "The set's similarity dimension, worked out from its maps.", "Read only."},
    {kAffine, nullptr, "Power", "Stored with the set; no build reads it.", "Any number."},
    {kAffine, nullptr, "Precision", "Factor on a piece's size in the plane build: larger pieces are refined more finely.",
     "About 1 to 3 (default 1.2); larger is finer and slower."},
    {kAffine, nullptr, "Level", "3-D: the level the march measures against: each ray's value restarts at minus this level.", "Positive; default 6."},
    {kAffine, nullptr, "Iterations", "3-D: passes of the ray march; more passes find finer surface detail.",
     "5 to 30 (default 10); each pass takes about as long as the first."},
    {kAffine, nullptr, "Number of maps", "How many affine maps make up the set; the Maps group lists one group per map.", "1 to 25."},
    {kAffine, nullptr, "Number of lights", "3-D: how many lights shine on the set; the Lights group lists one group per light.", "0 to 20."},
    {kAffine, nullptr, "View", "Where the set is seen from.", ""},
    {kAffine, nullptr, "Polar angle", "View rotation: polar angle of the axis the set is turned about, in degrees.", "0 to 180."},
    {kAffine, nullptr, "Axial angle", "View rotation: axial angle of the axis the set is turned about, in degrees.", "0 to 360."},
    {kAffine, nullptr, "Rotation angle", "View rotation: how far the set is turned about that axis, in degrees.", "0 to 360."},
    {kAffine, nullptr, "Screen x", "x of the screen's centre.", "The set is scaled into the unit ball: -1 to 1."},
    {kAffine, nullptr, "Screen y", "y of the screen's centre.", "The set is scaled into the unit ball: -1 to 1."},
    {kAffine, nullptr, "Screen z", "z of the screen plane: a plane build draws the set's section at this depth.", "-1 to 1; beyond that only the coarse field remains."},
    {kAffine, nullptr, "Screen size", "Half the shorter side of the screen, in set units.", "1 shows the whole set; smaller zooms in."},
    {kAffine, nullptr, "Obsrver x", "3-D: x of the observer's eye.", "Usually 0."},
    {kAffine, nullptr, "Obsrver y", "3-D: y of the observer's eye.", "Usually 0."},
    {kAffine, nullptr, "Obsrver z", "3-D: z of the observer's eye; the rays start here.", "Below -1 (default -2): outside the set, in front of the screen."},
    {kAffine, nullptr, "Surface Red", "3-D: red of the set's surface.", "0 to 1."},
    {kAffine, nullptr, "Surface Green", "3-D: green of the set's surface.", "0 to 1."},
    {kAffine, nullptr, "Surface Blue", "3-D: blue of the set's surface.", "0 to 1."},
    {kAffine, nullptr, "Ambient Red", "3-D: red of the ambient light.", "0 to 1."},
    {kAffine, nullptr, "Ambient Green", "3-D: green of the ambient light.", "0 to 1."},
    {kAffine, nullptr, "Ambient Blue", "3-D: blue of the ambient light.", "0 to 1."},
    {kAffine, nullptr, "Ambient coefficient", "3-D: brightness of the ambient light, lighting every surface alike.", "0 to 1 (default 0.1)."},
    {kAffine, nullptr, "Diffuse coefficient", "3-D: strength of the lights' matte reflection.", "0 to 1 (default 0.7)."},
    {kAffine, nullptr, "Specular coefficient", "3-D: strength of the lights' glossy highlights.", "0 to about 10 (default 3); 0 gives a matte surface."},
    {kAffine, nullptr, "Shininess", "3-D: sharpness of the highlights.", "1 to about 200 (default 100); larger gives smaller, sharper highlights."},
    {kAffine, nullptr, "Maps", "The affine maps whose small copies make up the set.", ""},
    {kAffine, nullptr, "Map", "One affine map: a rotation, a scaling along x, y and z, a second rotation, about a fixed point.", ""},
    {kAffine, "Map", "Left polar angle", "Polar angle of the first rotation's axis, in degrees.", "0 to 180."},
    {kAffine, "Map", "Left axial angle", "Axial angle of the first rotation's axis, in degrees.", "0 to 360."},
    {kAffine, "Map", "Left rotation angle", "Angle of the first rotation, in degrees.", "0 to 360."},
    {kAffine, "Map", "Ratio x", "Scale along x, applied between the two rotations.", "Between -1 and 1 (not 0) for a bounded set; about 0.3 to 0.6 is typical."},
    {kAffine, "Map", "Ratio y", "Scale along y, applied between the two rotations.", "Between -1 and 1 (not 0) for a bounded set."},
    {kAffine, "Map", "Ratio z", "Scale along z, applied between the two rotations.", "Between -1 and 1 (not 0) for a bounded set."},
    {kAffine, "Map", "Right polar angle", "Polar angle of the second rotation's axis, in degrees.", "0 to 180."},
    {kAffine, "Map", "Right axial angle", "Axial angle of the second rotation's axis, in degrees.", "0 to 360."},
    {kAffine, "Map", "Right rotation angle", "Angle of the second rotation, in degrees.", "0 to 360."},
    {kAffine, "Map", "Fixed x", "x of the point the map leaves in place.", "Any; the set is recentred and rescaled at each build."},
    {kAffine, "Map", "Fixed y", "y of the point the map leaves in place.", "Any; the set is recentred and rescaled at each build."},
    {kAffine, "Map", "Fixed z", "z of the point the map leaves in place.", "Any; the set is recentred and rescaled at each build."},
    {kAffine, "Map", "Measure", "The map's weight in the field; the build rescales the weights to sum 1.", "Positive."},
    {kAffine, nullptr, "Lights", "3-D: the lights that shine on the set.", ""},
    {kAffine, nullptr, "Light", "3-D: one light: position, colour, brightness and, for a spot light, its beam.", ""},
    {kAffine, "Light", "x", "x of the light's position.", "A few units from the set, which lies within -1 to 1."},
    {kAffine, "Light", "y", "y of the light's position.", "A few units from the set, which lies within -1 to 1."},
    {kAffine, "Light", "z", "z of the light's position.", "A few units from the set; negative is the observer's side."},
    {kAffine, "Light", "Red", "Red of the light's colour.", "0 to 1; Luminiscence sets the brightness."},
    {kAffine, "Light", "Green", "Green of the light's colour.", "0 to 1; Luminiscence sets the brightness."},
    {kAffine, "Light", "Blue", "Blue of the light's colour.", "0 to 1; Luminiscence sets the brightness."},
    {kAffine, "Light", "Luminiscence", "The light's brightness: its colour is rescaled to this luminance.", "0 to about 1."},
    {kAffine, "Light", "Dir x", "Spot light: x of the beam's axis, from the light into the scene.", "Any; the axis need not be a unit vector."},
    {kAffine, "Light", "Dir y", "Spot light: y of the beam's axis, from the light into the scene.", "Any; the axis need not be a unit vector."},
    {kAffine, "Light", "Dir z", "Spot light: z of the beam's axis, from the light into the scene.", "Any; the axis need not be a unit vector."},
    {kAffine, "Light", "Cone angle", "Spot light: half-angle of the fully lit cone, in radians.", "0 to 1.57, below End cone angle."},
    {kAffine, "Light", "End cone angle", "Spot light: half-angle beyond which the spot gives no light, in radians.", "Above Cone angle, up to 1.57."},
    {kAffine, "Light", "Beam distribution", "Spot light: exponent of the fall-off from the beam's axis.", "0 (even) to about 50 (a tight beam)."},
    {kAffine, "Light", "Type", "Point light (shines every way) or spot light (shines in a cone).", "Double-click to switch."},
    {kAffine, "Light", "Attachment", "Object: the light turns with the set's view rotation. Observer: it stays put relative to the eye.",
     "Double-click to switch."},

    // Tile sets.
    {kTile, nullptr, "Determinant", "Determinant of the expanding matrix: the tile is made of this many smaller copies of itself.",
     "2 to 100 or -2 to -100; the tile chart shows which pairs with Track make a tile."},
    {kTile, nullptr, "Track", "Trace of the expanding matrix.",
     "0 to Determinant for a positive determinant, 0 to -Determinant - 2 for a negative one."},
    {kTile, nullptr, "Deep", "Subdivision levels drawn: the tile is |Determinant|^Deep lattice points.", "1 to 99; large values take long."},
    {kTile, nullptr, "Grid", "Draws the lattice at the first subdivision, each point coloured by its residue class.", "Double-click to switch."},
    {kTile, nullptr, "Maps", "One digit per residue class: where its sub-tile sits and how it is turned. Clicks on the view move them too.", ""},
    {kTile, "Maps", "x", "Moves this digit within its residue class by the matrix times (x, y).", "Small integers, about -3 to 3; a left click on the view sets it."},
    {kTile, "Maps", "y", "Moves this digit within its residue class by the matrix times (x, y).", "Small integers, about -3 to 3; a left click on the view sets it."},
    {kTile, "Maps", "s", "Symmetry index: how this digit's sub-tile is turned or reflected.", "0 up to the tile's symmetry count less 1; -1 leaves the digit out; a right click steps it."},
};
// clang-format on

// "Map 12" -> "Map", "x7" -> "x": numbered rows share one text.
std::string_view Stem(std::string_view s)
{
    size_t n = s.size();
    while (n > 0 && std::isdigit(static_cast<unsigned char>(s[n - 1])))
        --n;
    if (n == 0)
        return s;
    while (n > 0 && s[n - 1] == ' ')
        --n;
    return s.substr(0, n);
}

} // namespace

RowHelp FindRowHelp(int kind, std::string_view group, std::string_view label)
{
    const std::string_view g = Stem(group);
    const std::string_view l = Stem(label);
    const Entry* best = nullptr;
    int bestScore = -1;
    for (const Entry& e : kEntries) {
        if ((e.kind != kind && e.kind != kAny) || l != e.label || (e.group && g != e.group))
            continue;
        // The kind's own text before the shared one, a group's before any group's.
        const int score = (e.kind == kind ? 2 : 0) + (e.group ? 1 : 0);
        if (score > bestScore) {
            best = &e;
            bestScore = score;
        }
    }
    if (!best)
        return {};
    return {best->line, best->range};
}
