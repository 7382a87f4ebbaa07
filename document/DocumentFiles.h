#pragma once
// The document file (".frc") and the bitmap file (".bmp"), as byte streams.
// The path-level functions write through a FileReplacement, so a failed
// save keeps the old file.

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "document/FileReplacement.h"

class CCanvas;
class CFractal;

// "Fractal Type=<name>" then one line per row, CR LF line ends.
void WriteDocumentFile(std::ostream& out, int fractalType, CFractal& fractal);

struct LoadedDocument {
    int fractalType = 0;
    std::unique_ptr<CFractal> fractal; // empty when the kind is not available or not named
    bool truncated = false;            // the file ended before the last row
    bool typeKnown = false;            // the first line names one of the kinds
    // Rows whose text was not read as it stands (PropertyStream::Notes).
    std::vector<std::string> notes;
};
// Reads the rows where they stand in `in`, going back to them when a count
// read changes the layout; `in` must be seekable. A first line whose text
// after "=" is none of the kinds' names reads nothing more: such a file is
// not a document.
LoadedDocument ReadDocumentFile(std::istream& in);

// The document as the text a ".frc" file holds.
std::string DocumentFileText(int fractalType, CFractal& fractal);
// Reads a document from the text of a ".frc" file found in `where` (a path
// the messages name), with the checks OpenDocumentFile makes of a file's
// bytes: false with the sentence it would give.
bool ReadDocumentText(const std::string& text, const std::string& where, LoadedDocument& doc, std::string& error);

// 14-byte file header, 40-byte info header, then the rows as held.
void WriteBitmapFile(std::ostream& out, const CCanvas& canvas);

// The 54 bytes before the rows of a bitmap file.
std::string BitmapFileHeader(unsigned width, unsigned height, unsigned bitsPerPixel, uint32_t imageSize);

// Larger ".frc" files are refused unread.
constexpr uint64_t kMaxDocumentFileSize = uint64_t(4) << 20;

// The same, by path. On failure they return false and set `error` to a
// short sentence naming the file.
bool SaveDocumentFile(const std::string& path, int fractalType, CFractal& fractal, std::string& error,
                      const ReplaceGate& gate = {});
bool OpenDocumentFile(const std::string& path, LoadedDocument& doc, std::string& error);
bool SaveBitmapFile(const std::string& path, const CCanvas& canvas, std::string& error, const ReplaceGate& gate = {});

// Why `path` cannot be opened for reading as a file: "it is a folder, ..."
// or "it is not a regular file" (a pipe would wait for a writer for ever,
// a device never end); empty when it is a regular file or not there.
std::string NotARegularFile(const std::string& path);
