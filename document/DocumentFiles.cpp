#include "document/DocumentFiles.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "document/FileReplacement.h"
#include "imaging/Canvas.h"
#include "model/Fractal.h"
#include "model/FractalFactory.h"
#include "rows/PropertyStream.h"

namespace {

PropertyItem FractalTypeRow(int* type)
{
    PropertyItem row;
    row.label = "Fractal Type";
    row.choices = KindTypeNames();
    row.type = int(FractalKinds().size());
    row.value = type;
    return row;
}

void Put16(std::string& s, uint16_t v)
{
    s.push_back(char(v & 0xff));
    s.push_back(char(v >> 8));
}

void Put32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s.push_back(char((v >> (8 * i)) & 0xff));
}

} // namespace

void WriteDocumentFile(std::ostream& out, int fractalType, CFractal& fractal)
{
    // A sample chosen in a document of another type keeps the document's
    // type code, but the file must name the kind whose rows follow, or it
    // would reopen as the wrong kind with every row out of place.
    if (const FractalKind& kind = KindOf(fractal); kind.type >= 0)
        fractalType = kind.type;
    PropertyStream stream(out, false);
    PropertyItem typeRow = FractalTypeRow(&fractalType);
    stream.InsertRow(typeRow);
    fractal.FillProperties(stream);
}

LoadedDocument ReadDocumentFile(std::istream& in)
{
    LoadedDocument doc;
    int type = 0;
    {
        // An empty file, text of another kind or binary data would all
        // read as the first kind with its defaults; they are not documents.
        std::string line;
        PropertyStream::ReadLine(in, line);
        const size_t eq = line.find('=');
        const std::string_view name =
            eq == std::string::npos ? std::string_view() : std::string_view(line).substr(eq + 1);
        const FractalKind* kind = KindNamed(name);
        if (!kind)
            return doc;
        type = kind->type;
    }
    doc.typeKnown = true;
    doc.fractalType = type;
    doc.fractal = CreateFractalOfType(type);
    if (!doc.fractal)
        return doc;

    // The rows a fractal lists depend on counts and switches that the file
    // itself carries (the number of maps, of lights, the 3-D switch), but a
    // new fractal starts from its defaults. Reading once would put every
    // value after the first difference into the wrong row, so the rows are
    // read again until their shape settles. Each reading goes back to the
    // same place in the stream rather than to a copy of the rest of it.
    const std::streampos rows = in.tellg();
    auto rewind = [&] {
        in.clear();
        in.seekg(rows);
        return rows != std::streampos(-1) && bool(in);
    };
    if (doc.fractal->PeekTextRows(in) && !rewind()) {
        doc.truncated = true;
        return doc;
    }
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (attempt > 0 && !rewind())
            break;
        // The switches and counts themselves are compared, since no sum of
        // them tells two layouts apart.
        const std::vector<int> shape = doc.fractal->RowLayout();
        PropertyStream stream(in, false);
        doc.fractal->FillProperties(stream);
        doc.truncated = stream.Exhausted();
        doc.notes = stream.Notes();
        if (doc.fractal->RowLayout() == shape)
            break;
    }
    return doc;
}

// The file header and BITMAPINFOHEADER.
std::string BitmapFileHeader(unsigned width, unsigned height, unsigned bitsPerPixel, uint32_t imageSize)
{
    std::string h;
    h.reserve(54);
    h += "BM";
    Put32(h, 54 + imageSize);
    Put16(h, 0);
    Put16(h, 0);
    Put32(h, 54);
    Put32(h, 40);
    Put32(h, width);
    Put32(h, height);
    Put16(h, 1);
    Put16(h, uint16_t(bitsPerPixel));
    Put32(h, 0);
    Put32(h, imageSize);
    Put32(h, 3780);
    Put32(h, 3780);
    Put32(h, 0);
    Put32(h, 0);
    return h;
}

namespace {

std::string BitmapHeader(const CCanvas& canvas, uint32_t imageSize)
{
    return BitmapFileHeader(canvas.m_bufferWidth, canvas.m_bufferHeight, canvas.m_bitsPerPixel, imageSize);
}

uint32_t BitmapImageSize(const CCanvas& canvas) { return uint32_t(uint64_t(canvas.m_stride) * canvas.m_bufferHeight); }

} // namespace

void WriteBitmapFile(std::ostream& out, const CCanvas& canvas)
{
    const uint32_t imageSize = BitmapImageSize(canvas);
    const std::string h = BitmapHeader(canvas, imageSize);
    out.write(h.data(), std::streamsize(h.size()));
    out.write(reinterpret_cast<const char*>(canvas.m_bits.data()), std::streamsize(imageSize));
}

bool SaveDocumentFile(const std::string& path, int fractalType, CFractal& fractal, std::string& error,
                      const ReplaceGate& gate)
{
    std::ostringstream out(std::ios::binary);
    WriteDocumentFile(out, fractalType, fractal);
    return WriteFileAtomically(path, out.str(), error, gate);
}

std::string NotARegularFile(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(st) || std::filesystem::is_regular_file(st))
        return {};
    return std::filesystem::is_directory(st) ? "it is a folder, not a regular file" : "it is not a regular file";
}

namespace {

// A read document that is one, of a kind this version has.
bool CheckLoaded(const std::string& path, const LoadedDocument& doc, std::string& error)
{
    if (!doc.typeKnown) {
        error = "Cannot open \"" + path +
                "\": it is not a fractal document (its first line names no known "
                "\"Fractal Type\").";
        return false;
    }
    if (!doc.fractal) {
        error = "Cannot open \"" + path + "\": the " + KindOfType(doc.fractalType).name +
                " is not available in this version.";
        return false;
    }
    return true;
}

} // namespace

bool OpenDocumentFile(const std::string& path, LoadedDocument& doc, std::string& error)
{
    if (const std::string why = NotARegularFile(path); !why.empty()) {
        error = "Cannot open \"" + path + "\": " + why + ".";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Cannot open \"" + path + "\": " + std::strerror(errno) + ".";
        return false;
    }
    // Every document this program writes is a few kilobytes; a larger file
    // is not one of them, and reading it would only take time and memory.
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size > std::streamoff(kMaxDocumentFileSize)) {
        error = "Cannot open \"" + path + "\": at " + std::to_string(size) +
                " bytes it is too large for a fractal document (the limit is " +
                std::to_string(kMaxDocumentFileSize >> 20) + " MiB).";
        return false;
    }
    in.seekg(0);
    doc = ReadDocumentFile(in);
    return CheckLoaded(path, doc, error);
}

std::string DocumentFileText(int fractalType, CFractal& fractal)
{
    std::ostringstream out;
    WriteDocumentFile(out, fractalType, fractal);
    return out.str();
}

bool ReadDocumentText(const std::string& text, const std::string& where, LoadedDocument& doc, std::string& error)
{
    if (text.size() > kMaxDocumentFileSize) {
        error = "Cannot open \"" + where + "\": at " + std::to_string(text.size()) +
                " bytes its document is too large for a fractal document (the limit is " +
                std::to_string(kMaxDocumentFileSize >> 20) + " MiB).";
        return false;
    }
    std::istringstream in(text);
    doc = ReadDocumentFile(in);
    return CheckLoaded(where, doc, error);
}

bool SaveBitmapFile(const std::string& path, const CCanvas& canvas, std::string& error, const ReplaceGate& gate)
{
    if (!canvas.HasBuffer()) {
        error = "Cannot write \"" + path + "\": there is no image yet.";
        return false;
    }
    // The pixels go to the file as they lie in the canvas: a copy through
    // a string stream took longer than drawing them.
    const uint32_t imageSize = BitmapImageSize(canvas);
    const std::string h = BitmapHeader(canvas, imageSize);
    FileReplacement file(path);
    return file.Create(error) && file.Write(h.data(), h.size(), error) &&
           file.Write(canvas.m_bits.data(), imageSize, error) && file.Commit(error, gate);
}
