#include "rows/PropertyStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>

PropertyStream::PropertyStream(std::istream& in, bool binary) : m_binary(binary), m_in(&in)
{
    m_writing = false;
    m_loading = true;
}

PropertyStream::PropertyStream(std::ostream& out, bool binary) : m_binary(binary), m_out(&out) { m_writing = true; }

bool PropertyStream::ReadLine(std::istream& in, std::string& line, size_t limit)
{
    line.clear();
    bool any = false;
    std::istream::sentry ok(in, true);
    if (!ok)
        return false;
    std::streambuf* sb = in.rdbuf();
    for (;;) {
        int c = sb->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            break;
        }
        any = true;
        if (c == '\n')
            break;
        if (line.size() < limit + 1)
            line.push_back(static_cast<char>(c));
    }
    // A CR before the LF belongs to the line ending, even on a cut line.
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > limit)
        line.resize(limit);
    return any;
}

bool PropertyStream::NextLine(std::string& line, size_t limit)
{
    if (!m_hasPutBack)
        return ReadLine(*m_in, line, limit);
    m_hasPutBack = false;
    line = std::move(m_putBack);
    m_putBack.clear();
    // Read at the longest limit, then cut: the same text a read at this
    // row's own limit gives, the rest of the line consumed with it.
    if (line.size() > limit)
        line.resize(limit);
    return true;
}

void PropertyStream::ReadOptional(PropertyItem& row)
{
    std::string line;
    // Read at the longest limit: the line may belong to a longer row after.
    const bool read = NextLine(line, kMaxLongLine);
    const size_t eq = line.find('=');
    const bool present = read && eq != std::string::npos && std::string_view(line).substr(0, eq) == row.label;
    if (row.found)
        *row.found = present;
    if (!present) {
        if (read) {
            m_putBack = std::move(line);
            m_hasPutBack = true;
        }
        ParseValue(row, row.defaultText);
        return;
    }
    const size_t own = row.longestLine ? std::min(row.longestLine, kMaxLongLine) : kMaxLine;
    if (line.size() > own)
        line.resize(own);
    Parse(row, std::string_view(line).substr(std::min(eq + 1, line.size())));
}

int PropertyStream::InsertRow(PropertyItem& row)
{
    // A group only the window shows has no line and no bytes.
    if (row.type == kRowGroup && row.defaultText)
        return 0;
    if (m_binary) {
        // The binary form was settled before any optional row: it holds
        // none, and a data file keeps its bytes.
        if (row.found && !m_writing)
            *row.found = false;
        if (row.type == kRowGroup || row.defaultText)
            return 0;
        const int size = BinarySize(row.type);
        if (size == 0 || !row.value)
            return 0;
        if (m_writing) {
            if (row.type == kRowBoolean) {
                char b = *static_cast<const bool*>(row.value) ? 1 : 0;
                m_out->write(&b, 1);
            } else {
                m_out->write(static_cast<const char*>(row.value), size);
            }
        } else {
            char bytes[8] = {};
            m_in->read(bytes, size);
            if (m_in->gcount() != size) {
                m_exhausted = true;
                return 0;
            }
            if (row.found)
                *row.found = true;
            if (row.type == kRowBoolean)
                *static_cast<bool*>(row.value) = bytes[0] != 0;
            else
                std::memcpy(row.value, bytes, static_cast<size_t>(size));
            // The binary form holds the double alone.
            if (row.digits)
                row.digits->clear();
        }
        return 0;
    }

    if (m_writing) {
        if (row.defaultText && ValueText(row) == row.defaultText)
            return 0;
        std::string line;
        if (row.type == kRowGroup) {
            line = "[";
            line += row.label;
            line += "]";
        } else {
            line = row.label;
            line += "=";
            line += ValueText(row);
        }
        line += "\r\n";
        m_out->write(line.data(), static_cast<std::streamsize>(line.size()));
        m_out->flush();
        return 0;
    }

    if (row.defaultText) {
        ReadOptional(row);
        return 0;
    }
    std::string line;
    if (!NextLine(line, row.digits ? kMaxCoordinateLine : kMaxLine)) {
        // The file ended early: the rest of the rows keep their defaults.
        m_exhausted = true;
        return 0;
    }
    const size_t eq = line.find('=');
    std::string_view value = eq == std::string::npos ? std::string_view() : std::string_view(line).substr(eq + 1);
    // Labels are not checked, so a shorter one leaves room for a longer
    // text than the row's own line can carry; saved again it would be cut
    // differently. Keep only what the row's own line holds.
    if (row.type == kRowString) {
        const size_t own = std::char_traits<char>::length(row.label) + 1;
        value = value.substr(0, own < kMaxLine ? kMaxLine - own : 0);
    }
    if (row.type != kRowGroup)
        Parse(row, value);
    return 0;
}

void PropertyStream::Parse(const PropertyItem& row, std::string_view text)
{
    const ParseResult result = ParseValue(row, text);
    if (result.kind != ParseResult::kTaken)
        m_notes.push_back(ParseNoteText(row, text, result));
}
