#include "app/MainFrame.h"

// What the exploring aids ask of the main window: the Julia preview that
// follows the pointer, the Julia set it opens, the tile chart's squares,
// the guide. They change a document through its rows, as an edit in the
// Properties bar does.

#include "app/JuliaPreview.h"
#include "app/UserGuide.h"
#include <QMdiArea>

#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "model/FractalKinds.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "parameters/ParametersBar.h"
#include "rows/PropertyList.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>

namespace {

// A fractal's first row of that label with a value, and its index in the
// list, as the Properties bar counts them; index -1 when there is none.
struct RowOf : PropertyList {
    RowOf(CFractal& fractal, std::string_view label) : m_label(label) { fractal.FillProperties(*this); }
    int InsertRow(PropertyItem& row) override
    {
        if (index < 0 && row.value && std::string_view(row.label) == m_label) {
            found = row;
            index = at;
        }
        return ++at;
    }
    std::string_view m_label;
    PropertyItem found;
    int index = -1, at = 0;
};

// Gives a fractal's row of that label the text, as an edit in the
// Properties bar would; false when it has no such row or refuses the text.
bool SetRowText(CFractal& fractal, const char* label, const std::string& text)
{
    RowOf row(fractal, label);
    if (row.index < 0 || StepValue(row.found, text).kind == ParseResult::kRefused)
        return false;
    fractal.ValueChanged(row.index, row.found);
    return true;
}

// The text of a fractal's row of that label, or empty.
std::string RowText(CFractal& fractal, const char* label)
{
    RowOf row(fractal, label);
    return row.index < 0 ? std::string() : ValueText(row.found);
}

std::string Shortest(double v)
{
    char text[32];
    *std::to_chars(text, text + sizeof text - 1, v).ptr = 0;
    return text;
}

} // namespace

void CMainFrame::FollowPointer(CFractal_Doc* doc, double x, double y)
{
    if (!m_juliaPreview || m_juliaPreview->isHidden() || !doc->m_fractal || !doc->m_fractal->PointsAreJuliaConstants())
        return;
    // Enough steps for the picture's size, few enough to follow the pointer.
    int iterations = 1000;
    const std::string count = RowText(*doc->m_fractal, "iterations");
    std::from_chars(count.data(), count.data() + count.size(), iterations);
    m_juliaPreview->Follow(x, y, doc->m_fractal->m_colorMap, std::clamp(iterations, 1, 4000));
}

CFractal_Doc* CMainFrame::OpenJulia(double cRe, double cIm)
{
    // A document whose rows are that Julia set's, as if read from a file:
    // its history starts there, and its first build keeps the constant.
    CFractal_Doc* doc = NewFractalDocument(kTypeMandelbrot);
    const bool set = SetRowText(*doc->m_fractal, "type", kMandelbrotTypeNames[1]) &&
                     SetRowText(*doc->m_fractal, "x", "0") && SetRowText(*doc->m_fractal, "y", "0") &&
                     SetRowText(*doc->m_fractal, "radius", "2") && SetRowText(*doc->m_fractal, "Re c", Shortest(cRe)) &&
                     SetRowText(*doc->m_fractal, "Im c", Shortest(cIm));
    if (set)
        doc->History().RestoreRows(doc->History().RowsText());
    return doc;
}

void CMainFrame::ChooseTile(int determinant, int trace)
{
    const auto choose = [&](CFractal& tiles) {
        return SetRowText(tiles, "Determinant", std::to_string(determinant)) &&
               SetRowText(tiles, "Track", std::to_string(trace));
    };
    CFractal_Doc* doc = TileSetActive() ? ActiveDocument() : nullptr;
    if (!doc) {
        // A tile set builds as its window opens, so a new one takes the
        // square before that: its rows are not the build's to share.
        NewFractalDocument(kTypeTile, choose);
        return;
    }
    if (doc->IsBuilding() || !choose(*doc->m_fractal))
        return;
    doc->History().RecordChange(QString("Tile %1, %2").arg(determinant).arg(trace));
    if (doc->IsShownInParameters())
        m_parametersBar->Reload(doc->m_fractal.get());
    doc->OnBuild(kCmdRebuild);
}

CUserGuide* CMainFrame::ShowGuide()
{
    if (!m_guide)
        m_guide = new CUserGuide(this);
    CFractal_Doc* doc = ActiveDocument();
    m_guide->ShowSection(doc && doc->m_fractal ? CUserGuide::SectionOfKind(doc->m_fractal->m_kind) : QString());
    return m_guide;
}
