#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "rows/PropertyList.h"
#include "tests/model/RowCollector.h"

namespace {

const char* const kThree[3] = {"one", "two", "three"};
const char* const kYesNo[2] = {"Yes", "No"};

PropertyItem Row(int type, void* value, const char* const* choices = nullptr)
{
    PropertyItem r;
    r.label = "row";
    r.type = type;
    r.value = value;
    r.choices = choices;
    return r;
}

TEST(ValueText, EveryTypeCode)
{
    uint32_t e = 4; // shown modulo the number of names
    EXPECT_EQ(ValueText(Row(3, &e, kThree)), "two");
    std::string s = "hello";
    EXPECT_EQ(ValueText(Row(kRowString, &s)), "hello");
    EXPECT_EQ(ValueText(Row(kRowReadOnlyString, &s)), "hello");
    int32_t i = -42;
    EXPECT_EQ(ValueText(Row(kRowInteger, &i)), "-42");
    bool b = true;
    EXPECT_EQ(ValueText(Row(kRowBoolean, &b, kYesNo)), "Yes");
    b = false;
    EXPECT_EQ(ValueText(Row(kRowBoolean, &b, kYesNo)), "No");
    double d = 0.1234567; // seven digits are kept: six would not read back
    EXPECT_EQ(ValueText(Row(kRowDouble, &d)), "0.1234567");
    d = -0.5;
    EXPECT_EQ(ValueText(Row(kRowReadOnlyDouble, &d)), "-0.5");
    d = 1e10;
    EXPECT_EQ(ValueText(Row(kRowDouble, &d)), "1e+10");
    d = 100;
    EXPECT_EQ(ValueText(Row(kRowDouble, &d)), "100");
    float f = 2.5f;
    EXPECT_EQ(ValueText(Row(kRowFloat, &f)), "");
    EXPECT_EQ(ValueText(Row(kRowGroup, nullptr)), "");
    EXPECT_EQ(ValueText(Row(500, &i)), "");
}

TEST(ValueText, LongStringIsWhole)
{
    std::string s(5000, 'x');
    EXPECT_EQ(ValueText(Row(kRowString, &s)).size(), 5000u);
}

TEST(ValueText, DoublesIgnoreTheProcessLocale)
{
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    double d = 1.5;
    EXPECT_EQ(ValueText(Row(kRowDouble, &d)), "1.5");
    ParseValue(Row(kRowDouble, &d), "2.25");
    EXPECT_EQ(d, 2.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(ParseValue, Enumeration)
{
    uint32_t e = 2;
    ParseValue(Row(3, &e, kThree), "two");
    EXPECT_EQ(e, 1u);
    ParseValue(Row(3, &e, kThree), "Two"); // case matters: no match gives 0
    EXPECT_EQ(e, 0u);
    e = 2;
    ParseValue(Row(3, &e, kThree), "three ");
    EXPECT_EQ(e, 0u);
}

TEST(ParseValue, NumbersReadALeadingNumberOrLeaveTheValue)
{
    int32_t i = 7;
    ParseValue(Row(kRowInteger, &i), "  -12abc");
    EXPECT_EQ(i, -12);
    ParseValue(Row(kRowInteger, &i), "abc");
    EXPECT_EQ(i, -12);
    ParseValue(Row(kRowInteger, &i), "");
    EXPECT_EQ(i, -12);
    ParseValue(Row(kRowInteger, &i), "+5");
    EXPECT_EQ(i, 5);
    ParseValue(Row(kRowInteger, &i), "99999999999999999999");
    EXPECT_EQ(i, std::numeric_limits<int32_t>::max());

    double d = 3;
    ParseValue(Row(kRowDouble, &d), " 1.5e2xyz");
    EXPECT_EQ(d, 150.0);
    ParseValue(Row(kRowDouble, &d), "");
    EXPECT_EQ(d, 150.0);
    ParseValue(Row(kRowDouble, &d), "-.25");
    EXPECT_EQ(d, -0.25);
    float f = 0;
    ParseValue(Row(kRowFloat, &f), "0.5");
    EXPECT_EQ(f, 0.5f);
}

TEST(ValueText, DoublesKeepTheSixDigitTextWhereItIsExact)
{
    // Where six significant digits already give the value, the text is the
    // "%g" text of the C library, so files written before stay unchanged.
    for (double v : {-0.5, 2.0, 100.0, 1e10, 100000.0, 0.0001, 1e-6, 123456.0, -0.743644, 0.131826, 4.0, 0.0, 1e-300,
                     5e300, 12.5, 0.001}) {
        char printed[64];
        std::snprintf(printed, sizeof printed, "%g", v);
        EXPECT_EQ(ValueText(Row(kRowDouble, &v)), printed) << printed;
    }
    // Others take the fewest digits that read back, in either form.
    double d = 1234567;
    EXPECT_EQ(ValueText(Row(kRowDouble, &d)), "1234567");
    d = 0.1;
    d += 0.2;
    EXPECT_EQ(ValueText(Row(kRowDouble, &d)), "0.30000000000000004");
    d = -0.743644 + 1e-12;
    EXPECT_EQ(ValueText(Row(kRowDouble, &d)), "-0.743643999999");
    d = 1.2345678e-7;
    EXPECT_EQ(ValueText(Row(kRowDouble, &d)), "1.2345678e-07");
}

TEST(ValueText, EveryFiniteDoubleReadsBackBitForBit)
{
    std::mt19937_64 random(13);
    std::vector<double> values = {-0.0,
                                  std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::denorm_min(),
                                  std::numeric_limits<double>::max(),
                                  -std::numeric_limits<double>::max(),
                                  1.0 / 3.0};
    while (values.size() < 20000) {
        const uint64_t bits = random();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v))
            values.push_back(v);
        values.push_back(std::ldexp(double(bits >> 11), -53) * 4 - 2); // typical plane coordinates
    }
    for (double v : values) {
        const std::string text = ValueText(Row(kRowDouble, &v));
        double back = 7;
        ParseValue(Row(kRowDouble, &back), text);
        ASSERT_EQ(std::memcmp(&back, &v, sizeof v), 0) << text;
        // The C library reads the same text to the same value.
        const double c = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&c, &v, sizeof v), 0) << text;
        ASSERT_LE(text.size(), 24u);
    }
}

TEST(ParseValue, HexadecimalNumbersReadAsTheCLibraryReadsThem)
{
    const std::pair<const char*, double> cases[] = {
        {"0x1p-1", 0.5},
        {"-0x1p-1", -0.5},
        {"0X1P-1", 0.5},
        {"+0x1.8p1", 3.0},
        {"  0xA", 10.0},
        {"0xffp0", 255.0},
        {"0x.8", 0.5},
        {"0x1p", 1.0},
        {"0x", 0.0},
        {"0xg", 0.0},
        {"-0X1.921FB54442D18P+1", -3.141592653589793},
        {"0xinf", 0.0},
    };
    for (const auto& [text, expected] : cases) {
        double d = 99;
        ParseValue(Row(kRowDouble, &d), text);
        EXPECT_EQ(d, expected) << text;
        EXPECT_EQ(d, std::strtod(text, nullptr)) << text;
    }
    float f = 0;
    ParseValue(Row(kRowFloat, &f), "0x1p-2");
    EXPECT_EQ(f, 0.25f);
    // Still no way to a non-finite value.
    double d = 2;
    for (const char* text : {"0x1p99999", "-0x1p5000"}) {
        ParseValue(Row(kRowDouble, &d), text);
        EXPECT_EQ(d, 2.0) << text;
    }
}

TEST(ParseValue, NonFiniteNumbersAreRefused)
{
    double d = 2;
    for (const char* text : {"nan", "inf", "-inf", "infinity", "1e999"}) {
        ParseValue(Row(kRowDouble, &d), text);
        EXPECT_EQ(d, 2.0) << text;
    }
}

TEST(ParseValue, StringsBooleansAndReadOnlyRows)
{
    std::string s = "old";
    ParseValue(Row(kRowString, &s), "");
    EXPECT_EQ(s, "");
    ParseValue(Row(kRowString, &s), "new name");
    EXPECT_EQ(s, "new name");
    ParseValue(Row(kRowReadOnlyString, &s), "ignored");
    EXPECT_EQ(s, "new name");

    bool b = false;
    ParseValue(Row(kRowBoolean, &b, kYesNo), "Yes");
    EXPECT_TRUE(b);
    ParseValue(Row(kRowBoolean, &b, kYesNo), "No");
    EXPECT_FALSE(b);
    b = true;
    ParseValue(Row(kRowBoolean, &b, kYesNo), "yes");
    EXPECT_FALSE(b);

    double d = 1;
    ParseValue(Row(kRowReadOnlyDouble, &d), "5");
    EXPECT_EQ(d, 1.0);
}

TEST(StepValue, ByTypeCode)
{
    uint32_t e = 1;
    StepValue(Row(2, &e, kYesNo), "");
    EXPECT_EQ(e, 0u);
    StepValue(Row(2, &e, kYesNo), "");
    EXPECT_EQ(e, 1u);
    e = 0xffffffffu; // wraps without overflowing
    StepValue(Row(3, &e, kThree), "");
    EXPECT_EQ(e, (0xffffffffull + 1) % 3);

    bool b = true;
    StepValue(Row(kRowBoolean, &b, kYesNo), "Yes");
    EXPECT_FALSE(b);

    double d = 1;
    StepValue(Row(kRowDouble, &d), "4.5");
    EXPECT_EQ(d, 4.5);
    StepValue(Row(kRowReadOnlyDouble, &d), "9");
    EXPECT_EQ(d, 4.5);
    int32_t i = 1;
    StepValue(Row(kRowInteger, &i), "8");
    EXPECT_EQ(i, 8);
    StepValue(Row(kRowGroup, &i), "3");
    EXPECT_EQ(i, 8);
}

TEST(PropertyList, LevelsFollowGroups)
{
    RowCollector list;
    double d = 0;
    list.BeginGroup("Main");
    list.AddRow("a", &d, kRowDouble);
    list.EndGroup();
    list.EndGroup(); // never below 0
    EXPECT_EQ(list.m_level, 0);
    list.AddRow("b", &d, kRowDouble);
    ASSERT_EQ(list.rows.size(), 3u);
    EXPECT_EQ(list.rows[0].level, 0);
    EXPECT_EQ(list.rows[0].type, kRowGroup);
    EXPECT_EQ(list.rows[0].value, nullptr);
    EXPECT_EQ(list.rows[1].level, 1);
    EXPECT_EQ(list.rows[1].value, &d);
    EXPECT_EQ(list.rows[2].level, 0);
}

TEST(BinarySize, ByTypeCode)
{
    EXPECT_EQ(BinarySize(1), 4);
    EXPECT_EQ(BinarySize(99), 4);
    EXPECT_EQ(BinarySize(kRowString), 0);
    EXPECT_EQ(BinarySize(kRowInteger), 4);
    EXPECT_EQ(BinarySize(kRowBoolean), 1);
    EXPECT_EQ(BinarySize(kRowDouble), 8);
    EXPECT_EQ(BinarySize(kRowFloat), 4);
    EXPECT_EQ(BinarySize(kRowGroup), 0);
    EXPECT_EQ(BinarySize(kRowReadOnlyString), 0);
    EXPECT_EQ(BinarySize(kRowReadOnlyDouble), 0);
    EXPECT_EQ(BinarySize(0), 0);
}

} // namespace

TEST(ParseValue, ANumberIsTakenRefusedOrCutExactlyAsStrtodReadsIt)
{
    // strtod in the C locale is the "%lf" reading: what it takes, whether it
    // stopped short, and whether its number is finite and in a double's range.
    const char* texts[] = {"2.5",     " 2.5 ",  "2,5",    "1e12", "0.1234abc", "abc", "",   "nan",   "-inf", "1e400",
                           "-1e-330", "1e-300", "0x1p-3", "0x",   "+7",        "--7", "1e", "1e+5x", ".5",   "5."};
    for (const char* text : texts) {
        double d = 9;
        const ParseResult r = ParseValue(Row(kRowDouble, &d), text);
        errno = 0;
        char* end = nullptr;
        const double c = std::strtod(text, &end);
        const bool none = end == text;
        const bool outOfRange = errno == ERANGE && (c == 0 || std::isinf(c));
        while (*end == ' ')
            ++end;
        if (none || outOfRange || !std::isfinite(c)) {
            EXPECT_EQ(r.kind, ParseResult::kRefused) << text;
            EXPECT_EQ(d, 9) << text;
            EXPECT_FALSE(r.why.empty()) << text;
        } else {
            EXPECT_EQ(d, c) << text;
            EXPECT_EQ(r.kind, *end ? ParseResult::kPrefix : ParseResult::kTaken) << text;
        }
    }
    // An integer row with a range brings a count into it and says so.
    int32_t n = 5;
    PropertyItem row = Row(kRowInteger, &n);
    row.low = 1;
    row.high = 100000000;
    for (auto [text, used] :
         {std::pair{"0", 1}, {"-5", 1}, {"200000000", 100000000}, {"99999999999999999999", 100000000}}) {
        EXPECT_EQ(ParseValue(row, text).kind, ParseResult::kClamped) << text;
        EXPECT_EQ(n, used) << text;
    }
    EXPECT_EQ(ParseNoteText(row, "0", ParseValue(row, "0")),
              "\"row\": \"0\" is outside 1 to 100000000; the value is now 1");
}
