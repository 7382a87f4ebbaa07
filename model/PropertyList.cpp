#include "model/PropertyList.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "model/deep/Coordinate.h"

namespace {

bool IsEnumeration(int type) { return type >= 1 && type <= kRowEnumMax; }

std::string_view SkipSpace(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\v' || text[i] == '\f'))
        ++i;
    return text.substr(i);
}

// Reads a leading number the way "%d"/"%lf" would, always in the C locale:
// an optional sign, then a decimal or a C99 hexadecimal ("0x1p-1") number,
// with whatever follows it ignored.
template <typename T>
bool ReadNumber(std::string_view text, T& out)
{
    text = SkipSpace(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text[0] == '+' || text[0] == '-')
        return false;
    T v{};
    std::from_chars_result res{};
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
                     (std::isxdigit(static_cast<unsigned char>(text[2])) || text[2] == '.');
    if (hex)
        res = std::from_chars(text.data() + 2, text.data() + text.size(), v, std::chars_format::hex);
    // "0x" with no hexadecimal digits after it reads as the 0 before the x.
    if (!hex || res.ec == std::errc::invalid_argument)
        res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc())
        return false;
    out = negative ? -v : v;
    return true;
}

bool ReadInteger(std::string_view text, int32_t& out)
{
    text = SkipSpace(text);
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    int64_t v = 0;
    auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (res.ec == std::errc::result_out_of_range) {
        out = negative ? INT32_MIN : INT32_MAX;
        return true;
    }
    if (res.ec != std::errc())
        return false;
    if (negative)
        v = -v;
    if (v > INT32_MAX)
        v = INT32_MAX;
    if (v < INT32_MIN)
        v = INT32_MIN;
    out = static_cast<int32_t>(v);
    return true;
}

std::string FormatDouble(double v)
{
    // The "%g" text of six significant digits wherever it reads back to the
    // same double, so such files keep their familiar look; any other value
    // gets the shortest text that does, so a saved view reopens exactly.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    double back = 0;
    const auto read = std::from_chars(buf, res.ptr, back);
    if (read.ec != std::errc() || std::memcmp(&back, &v, sizeof v) != 0)
        res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

} // namespace

int BinarySize(int type)
{
    if (IsEnumeration(type))
        return 4;
    switch (type) {
    case kRowInteger: return 4;
    case kRowBoolean: return 1;
    case kRowDouble: return 8;
    case kRowFloat: return 4;
    default: return 0;
    }
}

std::string ValueText(const PropertyItem& row)
{
    if (!row.value)
        return {};
    if (IsEnumeration(row.type)) {
        uint32_t index = *static_cast<const uint32_t*>(row.value);
        if (!row.choices)
            return {};
        return row.choices[index % static_cast<uint32_t>(row.type)];
    }
    switch (row.type) {
    case kRowString:
    case kRowReadOnlyString:
        return *static_cast<const std::string*>(row.value);
    case kRowInteger:
        return std::to_string(*static_cast<const int32_t*>(row.value));
    case kRowBoolean:
        if (!row.choices)
            return {};
        return *static_cast<const bool*>(row.value) ? row.choices[0] : row.choices[1];
    case kRowDouble:
    case kRowReadOnlyDouble:
        if (row.digits && DigitsHold(*row.digits, *static_cast<const double*>(row.value)))
            return *row.digits;
        return FormatDouble(*static_cast<const double*>(row.value));
    default:
        return {};
    }
}

void ParseValue(const PropertyItem& row, std::string_view text)
{
    if (!row.value)
        return;
    if (IsEnumeration(row.type)) {
        uint32_t index = 0;
        if (row.choices) {
            for (int i = 0; i < row.type; ++i) {
                if (text == row.choices[i]) {
                    index = static_cast<uint32_t>(i);
                    break;
                }
            }
        }
        *static_cast<uint32_t*>(row.value) = index;
        return;
    }
    switch (row.type) {
    case kRowString:
        *static_cast<std::string*>(row.value) = std::string(text);
        break;
    case kRowInteger: {
        int32_t v;
        if (ReadInteger(text, v))
            *static_cast<int32_t*>(row.value) = v;
        break;
    }
    case kRowBoolean:
        *static_cast<bool*>(row.value) = row.choices && text == row.choices[0];
        break;
    case kRowDouble: {
        double v;
        if (ReadNumber(text, v) && std::isfinite(v)) {
            *static_cast<double*>(row.value) = v;
            if (row.digits)
                *row.digits = WholeDigits(text, v);
        }
        break;
    }
    case kRowFloat: {
        float v;
        if (ReadNumber(text, v) && std::isfinite(v))
            *static_cast<float*>(row.value) = v;
        break;
    }
    default:
        break;
    }
}

void StepValue(const PropertyItem& row, std::string_view text)
{
    if (!row.value)
        return;
    if (IsEnumeration(row.type)) {
        auto* v = static_cast<uint32_t*>(row.value);
        *v = static_cast<uint32_t>((static_cast<uint64_t>(*v) + 1) % static_cast<uint32_t>(row.type));
        return;
    }
    switch (row.type) {
    case kRowBoolean: {
        auto* v = static_cast<bool*>(row.value);
        *v = !*v;
        break;
    }
    case kRowString:
    case kRowInteger:
    case kRowDouble:
    case kRowFloat:
        ParseValue(row, text);
        break;
    default:
        break;
    }
}

namespace {

PropertyItem MakeRow(const char* label, void* value, int type, const char* const* choices, int level)
{
    PropertyItem row;
    row.label = label;
    row.choices = choices;
    row.type = type;
    row.level = level;
    row.value = value;
    return row;
}

} // namespace

int PropertyList::AddRow(const char* label, void* value, int type, const char* const* choices)
{
    PropertyItem row = MakeRow(label, value, type, choices, m_level);
    return InsertRow(row);
}

int PropertyList::AddOptionalRow(const char* label, void* value, int type, const char* defaultText, bool* found)
{
    PropertyItem row = MakeRow(label, value, type, nullptr, m_level);
    row.defaultText = defaultText;
    row.found = found;
    return InsertRow(row);
}

int PropertyList::AddCoordinateRow(const char* label, double* value, std::string* digits)
{
    PropertyItem row = MakeRow(label, value, kRowDouble, nullptr, m_level);
    row.digits = digits;
    return InsertRow(row);
}

int PropertyList::BeginGroup(const char* label)
{
    int result = AddRow(label, nullptr, kRowGroup);
    ++m_level;
    return result;
}

void PropertyList::EndGroup()
{
    if (m_level > 0)
        --m_level;
}
