#include "model/selfaffine/SelfAffineSet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <istream>
#include <string>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/FieldSum.h"
#include "model/Samples.h"
#include "rows/PropertyStream.h"

namespace {

const char* const kLightTypeNames[2] = {"point light", "spot light"};
const char* const kAttachmentNames[2] = {"object", "observer"};
const char* const kMapRowLabels[13] = {"Left polar angle",
                                       "Left axial angle",
                                       "Left rotation angle",
                                       "Ratio x",
                                       "Ratio y",
                                       "Ratio z",
                                       "Right polar angle",
                                       "Right axial angle",
                                       "Right rotation angle",
                                       "Fixed x",
                                       "Fixed y",
                                       "Fixed z",
                                       "Measure"};
const char* const kLightRowLabels[13] = {"x",
                                         "y",
                                         "z",
                                         "Red",
                                         "Green",
                                         "Blue",
                                         "Luminiscence",
                                         "Dir x",
                                         "Dir y",
                                         "Dir z",
                                         "Cone angle",
                                         "End cone angle",
                                         "Beam distribution"};

// Group headers need labels that outlive the call: the parameters window
// keeps the rows. Written once, before anyone reads them, so two threads
// may list rows at once (each document's own on its own thread).
template <int N>
struct Labels {
    char text[N][24];
    explicit Labels(const char* word)
    {
        for (int k = 0; k < N; ++k)
            std::snprintf(text[k], sizeof text[k], "%s %u", word, unsigned(k + 1));
    }
};

const char* MapLabel(int k)
{
    static const Labels<MapSet::kMaxMaps> labels("Map");
    return labels.text[k];
}

const char* LightLabel(int k)
{
    static const Labels<CColorMap::kMaxLights> labels("Light");
    return labels.text[k];
}

} // namespace

// A new document of the type starts from the first sample.
const FractalKind kSelfAffineKind{
    CFractal::kSelfAffine,
    kTypeSelfAffine,
    "Self-Affine Set",
    [] { return MakeSample(0); },
    {.zoomAndPan = true, .computedData = true, .continues = true, .animations = kAnimateTurn}};

CSelfAffineSet::CSelfAffineSet()
{
    m_name = "Self-Affine Set";
    m_kind = kSelfAffine;
    m_restart = true;
}

bool CSelfAffineSet::PeekTextRows(std::istream& rows)
{
    m_threeD = TextRowsAreThreeD(rows) ? 1 : 0;
    return true;
}

bool CSelfAffineSet::TurnBy(double degrees)
{
    m_rotationAngle += degrees;
    return true;
}

void CSelfAffineSet::ClampCounts()
{
    // Written only when out of range: the parameters window lists the rows
    // (and so clamps) while a build reads the counts on its worker.
    if (m_maps.count != std::clamp(m_maps.count, 0, MapSet::kMaxMaps))
        m_maps.count = std::clamp(m_maps.count, 0, MapSet::kMaxMaps);
    if (m_colorMap.m_lightCount != std::clamp(m_colorMap.m_lightCount, 0, CColorMap::kMaxLights))
        m_colorMap.m_lightCount = std::clamp(m_colorMap.m_lightCount, 0, CColorMap::kMaxLights);
}

bool CSelfAffineSet::ValueChanged(int, PropertyItem& row)
{
    if (row.value == &m_maps.count || row.value == &m_colorMap.m_lightCount) {
        ClampCounts();
        return true;
    }
    return false;
}

uint64_t CSelfAffineSet::MemoryNeed(unsigned width, unsigned height) { return CellMemoryNeed(width, height); }

bool CSelfAffineSet::TextRowsAreThreeD(std::istream& rows)
{
    // "[Main]", then Name, Dimension, Power, Precision, Level, Iterations and
    // "Number of maps"; the next line opens "[View]" in a 2-D list and is
    // "Number of lights" in a 3-D one. A file too short to tell is 2-D, the
    // factory's choice for sample 0.
    std::string line;
    for (int k = 0; k < 9; ++k)
        if (!PropertyStream::ReadLine(rows, line))
            return false;
    return !line.empty() && line[0] != '[';
}

int CSelfAffineSet::PassCount()
{
    ClampCounts();
    return m_maps.count + m_colorMap.m_lightCount + 3;
}

int CSelfAffineSet::FillProperties(PropertyList& list)
{
    ClampCounts();
    // The counts in force for this call; a value read below applies from
    // the next call on.
    const int maps = m_maps.count;
    const int lights = m_colorMap.m_lightCount;
    const bool threeD = m_threeD == 1;

    list.BeginGroup("Main");
    list.AddRow("Name", &m_name, kRowString);
    list.AddRow("Dimension", &m_dimension, kRowReadOnlyDouble);
    list.AddRow("Power", &m_power, kRowDouble);
    list.AddRow("Precision", &m_piecePrecision, kRowDouble);
    list.AddRow("Level", &m_levelValue, kRowDouble);
    list.AddRow("Iterations", &m_iterations, kRowInteger);
    list.AddIntegerRow("Number of maps", &m_maps.count, 0, MapSet::kMaxMaps);
    if (threeD)
        list.AddIntegerRow("Number of lights", &m_colorMap.m_lightCount, 0, CColorMap::kMaxLights);
    list.EndGroup();
    ClampCounts();

    list.BeginGroup("View");
    list.AddRow("Polar angle", &m_polarAngle, kRowDouble);
    list.AddRow("Axial angle", &m_axialAngle, kRowDouble);
    list.AddRow("Rotation angle", &m_rotationAngle, kRowDouble);
    list.AddRow("Screen x", &m_centerX, kRowDouble);
    list.AddRow("Screen y", &m_centerY, kRowDouble);
    list.AddRow("Screen z", &m_centerZ, kRowDouble);
    list.AddRow("Screen size", &m_halfSize, kRowDouble);
    list.AddRow("Obsrver x", &m_colorMap.m_observerX, kRowDouble);
    list.AddRow("Obsrver y", &m_colorMap.m_observerY, kRowDouble);
    list.AddRow("Obsrver z", &m_colorMap.m_observerZ, kRowDouble);
    list.EndGroup();

    list.BeginGroup("Colors");
    if (threeD)
        m_colorMap.ListLightingRows(list);
    else
        m_colorMap.ListColorRows(list);
    list.EndGroup();

    list.BeginGroup("Maps");
    for (int k = 0; k < maps; ++k) {
        list.BeginGroup(MapLabel(k));
        for (int i = 0; i < 13; ++i)
            list.AddRow(kMapRowLabels[i], &m_maps.maps[k].m[i], kRowDouble);
        list.EndGroup();
    }
    list.EndGroup();

    if (threeD) {
        list.BeginGroup("Lights");
        for (int k = 0; k < lights; ++k) {
            list.BeginGroup(LightLabel(k));
            double* values = &m_colorMap.m_lights[k].x;
            for (int i = 0; i < 13; ++i)
                list.AddRow(kLightRowLabels[i], values + i, kRowDouble);
            list.AddRow("Type", &m_colorMap.m_lightType[k], 2, kLightTypeNames);
            list.AddRow("Attachment", &m_colorMap.m_attachment[k], 2, kAttachmentNames);
            list.EndGroup();
        }
        list.EndGroup();
    }
    // A plane set's field direction goes through the gradient too.
    if (!threeD)
        m_colorMap.ListColoringRows(list, false);
    // The dimension is not stored in files; a loaded set gets the one of its
    // own maps instead of keeping the previous set's. The solver rewrites
    // measures, so it works on a copy.
    if (list.m_loading) {
        MapSet copy = m_maps;
        m_dimension = SimilarityDimension(copy);
    }
    return list.m_level;
}

void CSelfAffineSet::Build(CCanvas& canvas)
{
    ClampCounts();
    // A band's rows lie where the whole image has them, and march afresh.
    const unsigned w = canvas.m_targetWidth, rows = canvas.m_targetHeight, h = canvas.FullHeight();
    CColorMap& map = m_colorMap;
    // Cells of another size are no march to go on from: a grid sized anew
    // holds no positions or steps, and would march nothing into black.
    if (int(w) != map.m_gridWidth || int(rows) != map.m_gridHeight || map.m_grid.empty() || rows != h)
        m_restart = true;
    if (rows != h)
        map.ReshapeGrid(int(w), int(rows));
    else
        map.AllocateGrid(int(w), int(rows));
    const double d = 2 * m_halfSize / std::max(1u, std::min(w, h));
    map.m_pixelSize = d;
    map.m_centerX = m_centerX;
    map.m_centerY = m_centerY;

    // Maps that cannot be normalised would send NaN or an endless tree into
    // the builds; the image stays empty and the status says why.
    const bool viewOk =
        std::isfinite(d) && d > 0 && std::isfinite(m_centerX) && std::isfinite(m_centerY) && std::isfinite(m_centerZ);
    std::string why;
    if (!viewOk || !Normalise(m_maps, &why)) {
        map.ResetGrid(0);
        for (PixelRecord& r : map.m_grid) {
            r.value = m_threeD == 1 ? 0.0f : float(CColorMap::kBackgroundValue);
            r.step = 2;
            r.state = -1;
        }
        Refuse(canvas, viewOk ? "The maps do not contract: " + why : "The view is not finite");
        m_restart = false;
        return;
    }
    m_work = m_maps;
    for (int k = 0; k < m_work.Count(); ++k)
        ToMatrix(m_work.maps[k]);
    Conjugate(m_work, m_polarAngle, m_axialAngle, m_rotationAngle);

    if (m_threeD == 1)
        RayMarch(canvas, d);
    else
        FieldBuild(canvas, d);
    // A band's cells are no image to continue.
    m_restart = rows != h;
}

int CSelfAffineSet::Draw(CCanvas& canvas)
{
    if (m_threeD == 1) {
        // Stopped again before the cells are done: the previous picture stays.
        if (!FinishLastEvaluation(canvas))
            return 0;
        m_colorMap.Render(canvas, m_polarAngle, m_axialAngle, m_rotationAngle);
    } else
        m_colorMap.Draw(canvas);
    return 1;
}

void CSelfAffineSet::FieldBuild(CCanvas& canvas, double d)
{
    CColorMap& map = m_colorMap;
    const int w = map.m_gridWidth, h = int(canvas.FullHeight()), rows = map.m_gridHeight;
    const int first = int(canvas.m_bandFirst), end = first + rows;
    const double x0 = m_centerX - (w / 2) * d;
    const double y0 = m_centerY - (h / 2) * d;
    const double z = m_centerZ;
    ForEachRange(rows, 16, [&](int begin, int last) {
        for (int r = begin; r < last; ++r) {
            PixelRecord* cell = map.m_gridRows[size_t(r)];
            for (int c = 0; c < w; ++c, ++cell) {
                cell->x = float(x0 + c * d);
                cell->y = float(y0 + (r + first) * d);
                cell->z = float(z);
                cell->nx = cell->ny = cell->nz = 0;
                cell->value = 0;
                // Not a cell a stopped march left for Paint to finish.
                cell->state = 0;
            }
        }
    });
    if (w == 0 || rows == 0)
        return;

    std::vector<CompositionLevel> stack(kMaxStack);
    CompositionLevel& root = stack[0];
    for (int i = 0; i < 13; ++i)
        root.map[i] = 0;
    root.map[0] = root.map[4] = root.map[8] = 1;
    root.map[12] = 1;
    root.next = 0;
    root.box[0] = 0;
    root.box[1] = w;
    root.box[2] = 0;
    root.box[3] = h;
    FieldSum field(map, x0, y0, d, true, m_stop, first);
    int top = 0;
    while (top >= 0) {
        CompositionLevel& level = stack[size_t(top)];
        CompositionLevel& below = stack[size_t(std::min(top + 1, kMaxStack - 1))];
        CompositionLevel child;
        double tx, ty, tz, meanSquare, mu;
        if (!ComposeNext(m_work, level, top + 1 < kMaxStack ? below : child, tx, ty, tz, meanSquare, mu)) {
            --top;
            continue;
        }
        const double s = std::sqrt(meanSquare) * m_piecePrecision;
        const double dz = m_centerZ - tz;
        const int* box = level.box;
        // The child's own box; it stays empty for a piece below pixel size
        // or off the section, which is not descended.
        int c0 = 0, c1 = 0, r0 = 0, r1 = 0;
        if (s < d) {
            const int c = box[1] > 0 ? box[1] - 1 : 0, r = box[3] > 0 ? box[3] - 1 : 0;
            if (r >= first && r < end)
                map.Cell(r - first, c)->value = float(CColorMap::kBackgroundValue);
        } else if (!(std::fabs(dz) > s)) {
            auto clip = [](double v, int lo, int hi) {
                // Truncation toward zero, kept in int range before the clip.
                v = std::clamp(v, -2e9, 2e9);
                return std::clamp(int(v), lo, hi);
            };
            c0 = clip((-x0 - tx - s) / d + 0.5, box[0], box[1]);
            c1 = clip((s - tx - x0) / d + 0.5, box[0], box[1]);
            r0 = clip((-y0 - ty - s) / d + 0.5, box[2], box[3]);
            r1 = clip((s - ty - y0) / d + 0.5, box[2], box[3]);
        }
        // A box too deep for the stack gets neither this field nor its children's.
        const bool hasBox = c0 < c1 && r0 < r1;
        // Below a piece whose box misses the band, every field and mark
        // lies in that box.
        const bool descend = hasBox && top + 1 < kMaxStack && r0 < end && r1 > first;
        // The level's parent skipped this whole box, so every child's field
        // belongs here, small and off-section pieces included; only where
        // the child's own children will add their finer contributions is
        // it left out.
        const FieldMass mass{{box[0], box[1], box[2], box[3]}, {c0, c1, r0, r1}, tx, ty, mu, dz * dz};
        if (!field.Add(mass))
            return;
        if (descend) {
            below.box[0] = c0;
            below.box[1] = c1;
            below.box[2] = r0;
            below.box[3] = r1;
            ++top;
        }
        if (m_stop) {
            field.Finish();
            return;
        }
    }
    field.Finish();
}
