#pragma once
// Typed parameter rows: how a fractal describes its parameters to the
// parameters window and to the document files.

#include <cstdint>
#include <string>
#include <string_view>

// Type codes of a row. 1..99 is an enumeration with that many names.
enum RowType : int {
    kRowEnumMax = 99,
    kRowString = 100,
    kRowInteger = 101,
    kRowBoolean = 102,
    kRowDouble = 103,
    kRowFloat = 104,
    kRowGroup = 105,
    kRowReadOnlyString = 228,
    kRowReadOnlyDouble = 231,
};

struct ParseResult;

// A text row whose value is not a std::string (a gradient, a colour): how
// its value becomes text and back. `parse` leaves the value as it was when
// it refuses the text.
struct TextCodec {
    std::string (*text)(const void* value);
    ParseResult (*parse)(void* value, std::string_view text);
};

struct PropertyItem {
    const char* label = "";
    // Enumeration: the names of its values in order. Boolean: the name for
    // true, then the name for false. Not owned.
    const char* const* choices = nullptr;
    int type = 0;
    int level = 0;
    int handle = 0;        // set by the parameters window for its tree row
    void* value = nullptr; // points into the fractal; none for group headers
    // An optional row, added after a file format was settled: a document
    // file carries it only when its value's text differs from this, so a
    // default document keeps its exact bytes and older readers never meet
    // it. Such rows come last; a file that ends before one, or that holds
    // another row there, gives it this value and is not cut short.
    const char* defaultText = nullptr;
    // An optional row's: set by a stream that reads the rows to whether
    // the file held the row.
    bool* found = nullptr;
    // A double row of a centre coordinate kept whole: the decimal digits
    // beside the double (numbers/Coordinate.h). Its text is the digits
    // while they round to the double; a text with more digits than the
    // double holds keeps them. The binary form keeps only the double.
    std::string* digits = nullptr;
    // The digits are a half size's below the normal doubles, in exponent
    // form (numbers/WideSize.h), not a coordinate's.
    bool sizeDigits = false;
    // An integer row's values: a text outside them is brought to the
    // nearer end.
    int32_t low = INT32_MIN, high = INT32_MAX;
    // A string row's value as text, when it is not a std::string.
    const TextCodec* codec = nullptr;
    // A row whose text may run past the settled rows' line length (a
    // gradient of many stops): the longest line a file may give it.
    size_t longestLine = 0;
};

// What a text given to a row came to. Anything but kTaken is worth a word
// to the user: `why` says it after the quoted text ("is not a number").
struct ParseResult {
    enum Kind {
        kTaken,   // read whole (or a row that takes any text)
        kPrefix,  // only its beginning was a number; that number was taken
        kClamped, // read, then brought into the row's values
        kRefused, // no value the row can hold: the value is unchanged
    } kind = kTaken;
    std::string why;
};

// The value as the row shows it and as the document file stores it.
std::string ValueText(const PropertyItem& row);
// Sets the value from its text form: a number is the longest beginning of
// the text that "%d" or "%lf" reads. Texts that give no finite double, or
// one too large or too small for a double to hold, are refused and leave
// the value unchanged, so no build ever sees NaN or infinity.
ParseResult ParseValue(const PropertyItem& row, std::string_view text);
// What committing an edit or activating a row does to the value.
ParseResult StepValue(const PropertyItem& row, std::string_view text);
// One line on a result that is not kTaken, for the user: the row, the text
// and what the row now holds ("\"radius\": \"1e-1000\" is too small for a
// double; the value stays 2").
std::string ParseNoteText(const PropertyItem& row, std::string_view text, const ParseResult& result);
// Bytes a row occupies in the binary form (0 for strings and read-only rows).
int BinarySize(int type);

// The sink that FillProperties emits rows into.
class PropertyList {
public:
    virtual int InsertRow(PropertyItem& row) = 0;
    virtual ~PropertyList() = default;

    int AddRow(const char* label, void* value, int type, const char* const* choices = nullptr);
    int AddOptionalRow(const char* label, void* value, int type, const char* defaultText, bool* found = nullptr,
                       const char* const* choices = nullptr);
    // An optional text row kept through a codec, read from lines of up to
    // `longestLine` characters.
    int AddOptionalTextRow(const char* label, void* value, const TextCodec* codec, const char* defaultText,
                           size_t longestLine = 0);
    // A group header that only the parameters window shows: a file never
    // holds its line, so it may open a group of optional rows.
    int BeginShownGroup(const char* label);
    // An integer row that holds only low .. high (optional when defaultText
    // is given; found tells a read whether the file held it).
    int AddIntegerRow(const char* label, int32_t* value, int32_t low, int32_t high, const char* defaultText = nullptr,
                      bool* found = nullptr);
    // A double row whose value may carry whole decimal digits.
    int AddCoordinateRow(const char* label, double* value, std::string* digits);
    // A double row of a half size that may carry digits past a double's range.
    int AddSizeRow(const char* label, double* value, std::string* digits);
    // A group header, with the rows after it one level deeper.
    int BeginGroup(const char* label);
    // Closes a group; the level never goes below 0.
    void EndGroup();

    bool m_writing = false;
    int m_pass = 0;
    int m_level = 0;
    // True only while a stream reads a file into the rows, so a kind can
    // settle state that depends on loaded values once they are all in.
    bool m_loading = false;
};
