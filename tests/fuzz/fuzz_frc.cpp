// Fuzz target for the document file (".frc"): read it as the program opens
// it, list the rows as the parameters window does, save, reopen and save
// again (the two saved texts must be the same), then build a small image
// with Stop pressed.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "FuzzCanvas.h"
#include "document/BuildSteps.h"
#include "document/DocumentFiles.h"
#include "rows/PropertyList.h"

namespace {

// Every row's label and value text, the way the parameters window shows them.
class RowLister : public PropertyList {
public:
    int InsertRow(PropertyItem& row) override
    {
        text += row.label ? row.label : "";
        if (row.value)
            text += '=' + ValueText(row);
        text += '\n';
        return ++count;
    }
    std::string text;
    int count = 0;
};

std::string Save(const LoadedDocument& doc)
{
    std::ostringstream out(std::ios::binary);
    WriteDocumentFile(out, doc.fractalType, *doc.fractal);
    return out.str();
}

LoadedDocument Read(const std::string& text)
{
    std::istringstream in(text, std::ios::binary);
    return ReadDocumentFile(in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Larger files are refused before they are read.
    if (size > kMaxDocumentFileSize)
        return 0;
    LoadedDocument doc = Read(std::string(reinterpret_cast<const char*>(data), size));
    if (!doc.fractal)
        return 0;

    RowLister rows;
    doc.fractal->FillProperties(rows);
    if (rows.count == 0)
        Fail("a fractal listed no rows");

    const std::string first = Save(doc);
    LoadedDocument again = Read(first);
    if (!again.fractal)
        Fail("a saved document did not reopen", first);
    if (again.truncated)
        Fail("a saved document reopened as cut short", first);
    const std::string second = Save(again);
    if (first != second)
        Fail("a document changed when saved, reopened and saved again", first, second);

    CCanvas canvas;
    StoppingView view(canvas, 8, 6);
    view.m_fractal = doc.fractal.get();
    canvas.m_fixedSize = true;
    canvas.MeasureView();
    doc.fractal->m_stop = false;
    doc.fractal->m_restart = true;
    RunBuildSteps(*doc.fractal, canvas, kCmdRebuild);
    return 0;
}
