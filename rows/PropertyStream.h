#pragma once
// Writes a fractal's rows to a file, or reads them back, as text lines
// ("label=value") or as raw little-endian values.

#include <iosfwd>
#include <string>
#include <vector>

#include "numbers/Coordinate.h"
#include "rows/PropertyList.h"

class PropertyStream : public PropertyList {
public:
    // A line longer than this is cut; the rest of it is consumed with it.
    static constexpr size_t kMaxLine = 299;
    // The longest line of a whole coordinate: sign, 309 whole digits, the
    // point and kMaxCoordinateDecimals places after a short label.
    static constexpr size_t kMaxCoordinateLine = size_t(kMaxCoordinateDecimals) + 370;
    // The longest line any row may ask for (PropertyItem::longestLine): a
    // gradient of the most stops with the longest positions fits.
    static constexpr size_t kMaxLongLine = 65536;

    PropertyStream(std::istream& in, bool binary);  // reads
    PropertyStream(std::ostream& out, bool binary); // writes

    int InsertRow(PropertyItem& row) override;

    // Reads one text line: up to the line feed, a trailing carriage return
    // dropped, at most `limit` characters kept. False at the end of input.
    static bool ReadLine(std::istream& in, std::string& line, size_t limit = kMaxLine);
    // True once a read found the input exhausted (the file ended early).
    bool Exhausted() const { return m_exhausted; }
    // One line for each text row whose text was not read whole, was brought
    // into range or was refused (ParseNoteText), in the order read.
    const std::vector<std::string>& Notes() const { return m_notes; }

    bool m_binary;

private:
    void Parse(const PropertyItem& row, std::string_view text);
    // The next line, the one put back first; cut to `limit` characters.
    bool NextLine(std::string& line, size_t limit);
    // An optional row's reading: the line is the row's only when it carries
    // the row's label, otherwise it is left for the rows after it.
    void ReadOptional(PropertyItem& row);

    std::istream* m_in = nullptr;
    std::ostream* m_out = nullptr;
    bool m_exhausted = false;
    std::vector<std::string> m_notes;
    // A line an optional row read and did not own.
    std::string m_putBack;
    bool m_hasPutBack = false;
};
