#include "rows/PropertyList.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "numbers/Coordinate.h"

namespace {

bool IsEnumeration(int type) { return type >= 1 && type <= kRowEnumMax; }

std::string_view SkipSpace(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\v' || text[i] == '\f'))
        ++i;
    return text.substr(i);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// How far a "%d"/"%lf" reading of a text got.
struct NumberRead {
    enum Kind { kNone, kRead, kTooLarge, kTooSmall } kind = kNone;
    size_t used = 0; // characters of the text the number took, blanks before it included
};

// A text quoted in a note, cut to a readable length.
std::string Quoted(std::string_view text)
{
    constexpr size_t kShown = 40;
    std::string quoted(1, '"');
    quoted.append(text.substr(0, kShown));
    quoted.append(text.size() > kShown ? "...\"" : "\"");
    return quoted;
}

ParseResult Result(ParseResult::Kind kind, std::string why = {}) { return {kind, std::move(why)}; }

// Taken whole when nothing but blanks follows the number, else the prefix.
ParseResult ReadResult(std::string_view text, size_t used)
{
    std::string_view rest = text.substr(used);
    while (!rest.empty() && IsBlank(rest.front()))
        rest.remove_prefix(1);
    if (rest.empty())
        return {};
    std::string_view number = text.substr(0, used);
    while (!number.empty() && IsBlank(number.front()))
        number.remove_prefix(1);
    return Result(ParseResult::kPrefix, "is a number only as far as " + Quoted(number));
}

// Beyond a double one way or the other: its exponent's sign tells which;
// a decimal without one ("0.000...1") by a wider reading.
NumberRead::Kind OutOfRange(std::string_view number, bool hex)
{
    const size_t e = number.find_first_of(hex ? "pP" : "eE");
    if (e != std::string_view::npos)
        return e + 1 < number.size() && number[e + 1] == '-' ? NumberRead::kTooSmall : NumberRead::kTooLarge;
    long double wide = 0;
    std::from_chars(number.data(), number.data() + number.size(), wide);
    return std::fabs(wide) >= 1 ? NumberRead::kTooLarge : NumberRead::kTooSmall;
}

// Reads a leading number the way "%lf" would, always in the C locale: an
// optional sign, then a decimal or a C99 hexadecimal ("0x1p-1") number,
// with whatever follows it left unread.
template <typename T>
NumberRead ReadNumber(std::string_view text, T& out)
{
    const std::string_view whole = text;
    text = SkipSpace(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text[0] == '+' || text[0] == '-')
        return {};
    T v{};
    std::from_chars_result res{};
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
                     (std::isxdigit(static_cast<unsigned char>(text[2])) || text[2] == '.');
    std::string_view digits = text;
    if (hex) {
        digits = text.substr(2);
        res = std::from_chars(digits.data(), digits.data() + digits.size(), v, std::chars_format::hex);
    }
    // "0x" with no hexadecimal digits after it reads as the 0 before the x.
    if (!hex || res.ec == std::errc::invalid_argument) {
        digits = text;
        res = std::from_chars(text.data(), text.data() + text.size(), v);
    }
    if (res.ec == std::errc::invalid_argument)
        return {};
    NumberRead read;
    read.used = size_t(res.ptr - whole.data());
    if (res.ec == std::errc::result_out_of_range) {
        read.kind = OutOfRange(digits.substr(0, size_t(res.ptr - digits.data())), hex);
        return read;
    }
    out = negative ? -v : v;
    read.kind = NumberRead::kRead;
    return read;
}

// A double or float row's text: refused unless it gives a finite number
// the type can hold.
template <typename T>
ParseResult ParseReal(std::string_view text, T& out)
{
    T v{};
    const NumberRead read = ReadNumber(text, v);
    switch (read.kind) {
    case NumberRead::kNone: return Result(ParseResult::kRefused, "is not a number");
    case NumberRead::kTooLarge: return Result(ParseResult::kRefused, "is too large for a double");
    case NumberRead::kTooSmall: return Result(ParseResult::kRefused, "is too small for a double");
    case NumberRead::kRead: break;
    }
    if (!std::isfinite(v))
        return Result(ParseResult::kRefused, "is not a finite number");
    out = v;
    return ReadResult(text, read.used);
}

// A half size's text: a double row's, except that a positive size below
// the normal doubles is kept whole in its digits.
ParseResult ParseSize(std::string_view text, double& value, std::string& digits)
{
    double v = 0;
    const NumberRead read = ReadNumber(text, v);
    if (read.kind == NumberRead::kTooSmall || (read.kind == NumberRead::kRead && v > 0 && v < DBL_MIN)) {
        FloatExp size;
        SizeRead sized = ReadSize(text.substr(0, read.used), size);
        if (sized == SizeRead::kRead && size.e < kDeepestBinaryExponent)
            sized = SizeRead::kTooSmall;
        switch (sized) {
        case SizeRead::kRead:
            if (size.m > 0) {
                WholeSize whole = SizeOf(size);
                value = whole.value;
                digits = std::move(whole.digits);
                return ReadResult(text, read.used);
            }
            break;
        case SizeRead::kTooSmall:
            if (!SkipSpace(text).starts_with('-'))
                return Result(ParseResult::kRefused, "is below the deepest radius, 1e-" +
                                                         std::to_string(kDeepestSizeExponent));
            break;
        default: break; // hexadecimal: as any double row reads it
        }
    }
    ParseResult result = ParseReal(text, value);
    if (result.kind != ParseResult::kRefused)
        digits.clear();
    return result;
}

ParseResult ReadInteger(std::string_view text, int32_t low, int32_t high, int32_t& out)
{
    const std::string_view whole = text;
    text = SkipSpace(text);
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-'))
        return Result(ParseResult::kRefused, "is not a number");
    int64_t v = 0;
    auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (res.ec == std::errc::invalid_argument)
        return Result(ParseResult::kRefused, "is not a number");
    if (res.ec == std::errc::result_out_of_range)
        v = negative ? INT64_MIN : INT64_MAX;
    else if (negative)
        v = -v;
    ParseResult result = ReadResult(whole, size_t(res.ptr - whole.data()));
    if (v < low || v > high) {
        v = std::clamp<int64_t>(v, low, high);
        result = Result(ParseResult::kClamped, "is outside " + std::to_string(low) + " to " + std::to_string(high));
    }
    out = static_cast<int32_t>(v);
    return result;
}

} // namespace

std::string ParseNoteText(const PropertyItem& row, std::string_view text, const ParseResult& result)
{
    std::string line(1, '"');
    line.append(row.label ? row.label : "").append("\": ").append(Quoted(text)).append(" ").append(result.why);
    line += result.kind == ParseResult::kRefused ? "; the value stays " : "; the value is now ";
    // A codec's value (a gradient of many stops) is cut as the text is.
    const std::string value = ValueText(row);
    constexpr size_t kShownValue = 60;
    if (row.codec && value.size() > kShownValue)
        return line + value.substr(0, kShownValue) + "...";
    return line + value;
}

namespace {

std::string FormatDouble(double v)
{
    // The "%g" text of six significant digits wherever it reads back to the
    // same double, so such files keep their familiar look; any other value
    // gets the shortest text that does, so a saved view reopens exactly.
    // Below the normal doubles six digits may read back to the double yet
    // be another number than its shortest text, the one a centre means.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    double back = 0;
    const auto read = std::from_chars(buf, res.ptr, back);
    if (read.ec != std::errc() || std::memcmp(&back, &v, sizeof v) != 0 || (v != 0 && std::fabs(v) < DBL_MIN))
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
        if (row.codec)
            return row.codec->text(row.value);
        return *static_cast<const std::string*>(row.value);
    case kRowReadOnlyString: return *static_cast<const std::string*>(row.value);
    case kRowInteger: return std::to_string(*static_cast<const int32_t*>(row.value));
    case kRowBoolean:
        if (!row.choices)
            return {};
        return *static_cast<const bool*>(row.value) ? row.choices[0] : row.choices[1];
    case kRowDouble:
    case kRowReadOnlyDouble:
        if (row.digits && row.sizeDigits && SizeDigitsHold(*row.digits, *static_cast<const double*>(row.value)))
            return *row.digits;
        if (row.digits && !row.sizeDigits && DigitsHold(*row.digits, *static_cast<const double*>(row.value)))
            return *row.digits;
        return FormatDouble(*static_cast<const double*>(row.value));
    default: return {};
    }
}

ParseResult ParseValue(const PropertyItem& row, std::string_view text)
{
    if (!row.value)
        return {};
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
        return {};
    }
    switch (row.type) {
    case kRowString:
        if (row.codec)
            return row.codec->parse(row.value, text);
        *static_cast<std::string*>(row.value) = std::string(text);
        return {};
    case kRowInteger: return ReadInteger(text, row.low, row.high, *static_cast<int32_t*>(row.value));
    case kRowBoolean: *static_cast<bool*>(row.value) = row.choices && text == row.choices[0]; return {};
    case kRowDouble: {
        auto& v = *static_cast<double*>(row.value);
        if (row.digits && row.sizeDigits)
            return ParseSize(text, v, *row.digits);
        ParseResult result = ParseReal(text, v);
        // The digits are those of the number read, not of the whole text.
        if (row.digits && result.kind != ParseResult::kRefused) {
            double same = 0;
            *row.digits = WholeDigits(text.substr(0, ReadNumber(text, same).used), v);
        }
        return result;
    }
    case kRowFloat: return ParseReal(text, *static_cast<float*>(row.value));
    default: return {};
    }
}

ParseResult StepValue(const PropertyItem& row, std::string_view text)
{
    if (!row.value)
        return {};
    if (IsEnumeration(row.type)) {
        auto* v = static_cast<uint32_t*>(row.value);
        *v = static_cast<uint32_t>((static_cast<uint64_t>(*v) + 1) % static_cast<uint32_t>(row.type));
        return {};
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
    case kRowFloat: return ParseValue(row, text);
    default: break;
    }
    return {};
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

int PropertyList::AddOptionalRow(const char* label, void* value, int type, const char* defaultText, bool* found,
                                 const char* const* choices)
{
    PropertyItem row = MakeRow(label, value, type, choices, m_level);
    row.defaultText = defaultText;
    row.found = found;
    return InsertRow(row);
}

int PropertyList::AddOptionalTextRow(const char* label, void* value, const TextCodec* codec, const char* defaultText,
                                     size_t longestLine)
{
    PropertyItem row = MakeRow(label, value, kRowString, nullptr, m_level);
    row.defaultText = defaultText;
    row.codec = codec;
    row.longestLine = longestLine;
    return InsertRow(row);
}

int PropertyList::BeginShownGroup(const char* label)
{
    PropertyItem row = MakeRow(label, nullptr, kRowGroup, nullptr, m_level);
    row.defaultText = "";
    const int result = InsertRow(row);
    ++m_level;
    return result;
}

int PropertyList::AddIntegerRow(const char* label, int32_t* value, int32_t low, int32_t high, const char* defaultText,
                                bool* found)
{
    PropertyItem row = MakeRow(label, value, kRowInteger, nullptr, m_level);
    row.defaultText = defaultText;
    row.found = found;
    row.low = low;
    row.high = high;
    return InsertRow(row);
}

int PropertyList::AddCoordinateRow(const char* label, double* value, std::string* digits)
{
    PropertyItem row = MakeRow(label, value, kRowDouble, nullptr, m_level);
    row.digits = digits;
    return InsertRow(row);
}

int PropertyList::AddSizeRow(const char* label, double* value, std::string* digits)
{
    PropertyItem row = MakeRow(label, value, kRowDouble, nullptr, m_level);
    row.digits = digits;
    row.sizeDigits = true;
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
