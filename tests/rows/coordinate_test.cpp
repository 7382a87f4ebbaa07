// Whole coordinates: decimal arithmetic worked by hand, the places a view
// needs, and when the double alone is enough.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "numbers/Coordinate.h"
#include "numbers/Mpfr.h"
#include "rows/PropertyList.h"

namespace {

// Places after the point in a plain decimal text.
int Places(const std::string& text)
{
    const size_t dot = text.find('.');
    return dot == std::string::npos ? 0 : int(text.size() - dot - 1);
}

double Nearest(const std::string& text)
{
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

} // namespace

TEST(WholeCoordinate, AMoveIsWorkedInDecimalsByHand)
{
    // -0.75 - 1e-41 + 3 x 1e-40 = -0.75 + 2.9e-40: the double 1e-40 differs from 1e-40 by far
    // less than the last place kept, so the sum is the hand-worked one.
    const std::string start = "-0.75000000000000000000000000000000000000001";
    const WholeCoordinate c = MoveCoordinate(-0.75, start, {{3, 1e-40}}, 1e-40);
    EXPECT_EQ(c.digits, "-0.74999999999999999999999999999999999999971");
    EXPECT_EQ(c.value, -0.75);

    // 0.5 + 2^-60 = 0.500000000000000000867361737988...: a double cannot
    // hold it, and a pixel of 2^-60 (8.7e-19) needs 19 places, kept 22.
    const WholeCoordinate d = MoveCoordinate(0.5, "", {{1, 0x1p-60}}, 0x1p-60);
    EXPECT_EQ(d.digits, "0.5000000000000000008674");
    EXPECT_EQ(d.value, 0.5);

    // Two steps, as a zoom makes them: 4 x 2^-60 - 4 x 2^-61 = 2^-59.
    const WholeCoordinate z = MoveCoordinate(0.5, "", {{4, 0x1p-60}, {-4, 0x1p-61}}, 0x1p-61);
    EXPECT_EQ(z.digits, "0.5000000000000000017347"); // 2^-59 = 1.7347234759768e-18
}

TEST(WholeCoordinate, PlacesFollowThePixelAndDigitsStayOnlyWhereNeeded)
{
    EXPECT_EQ(WholeDecimals(0.001), 6);
    EXPECT_EQ(WholeDecimals(0.002), 6);
    EXPECT_EQ(WholeDecimals(0x1p-60), 22);
    EXPECT_EQ(WholeDecimals(0.0), 330);
    EXPECT_EQ(WholeDecimals(4.9e-324), 327);

    // Deep moves keep no more places than the pixel needs, and the double
    // is always the digits' nearest.
    for (double pixel : {1e-20, 3.7e-45, 1e-100, 2.5e-300}) {
        const WholeCoordinate c = MoveCoordinate(-1.25, "", {{1.0 / 3.0, pixel}}, pixel);
        ASSERT_FALSE(c.digits.empty()) << pixel;
        EXPECT_LE(Places(c.digits), WholeDecimals(pixel));
        EXPECT_GT(Places(c.digits), -std::log10(pixel));
        EXPECT_EQ(c.value, Nearest(c.digits));
        EXPECT_TRUE(DigitsHold(c.digits, c.value));
    }
    // A sum the double holds to the places kept drops its digits.
    const WholeCoordinate held = MoveCoordinate(0.5, "", {{2, 0.25}}, 0.25);
    EXPECT_EQ(held.digits, "");
    EXPECT_EQ(held.value, 1.0);
    const WholeCoordinate zero = MoveCoordinate(0.0, "", {{3, 0x1p-60}}, 0x1p-60);
    EXPECT_EQ(zero.digits, "");
    EXPECT_EQ(zero.value, Nearest("0.0000000000000000026021")); // 3 x 2^-60 to 22 places
    // Digits that no longer round to the double are not the coordinate.
    const WholeCoordinate stale = MoveCoordinate(0.25, "-0.75000000000000000000000000000000000001", {}, 1e-40);
    EXPECT_EQ(stale.digits, "");
    EXPECT_EQ(stale.value, 0.25);
}

TEST(WholeCoordinate, DifferencesComeFromTheDigits)
{
    EXPECT_EQ(CoordinateDifference(-0.75, "-0.75000000000000000000000000000000000000001", -0.75, ""), -1e-41);
    EXPECT_EQ(CoordinateDifference(-0.75, "-0.75000000000000000000000000000000000000001", -0.75,
                                   "-0.74999999999999999999999999999999999999971"),
              -3e-40);
    EXPECT_EQ(CoordinateDifference(1.5, "", 0.25, ""), 1.25);
}

TEST(WholeCoordinate, TypedTextsKeepTheirDigitsOnlyWhereTheDoubleCannot)
{
    const std::string deep = "-0.750000000000000000000000000001";
    EXPECT_EQ(WholeDigits(deep, -0.75), deep);
    EXPECT_EQ(WholeDigits("  -7.50000000000000000000000000001e-1 ", -0.75), deep);
    EXPECT_EQ(WholeDigits("+0.10000000000000000000000000000000000000000000000000000000000000000001", 0.1),
              "0.10000000000000000000000000000000000000000000000000000000000000000001");
    // Texts a double says as well.
    EXPECT_EQ(WholeDigits("0.10", 0.1), "");
    EXPECT_EQ(WholeDigits("0.30000000000000004", 0.30000000000000004), "");
    EXPECT_EQ(WholeDigits("1e-50", 1e-50), "");
    // Anything but a decimal number, or digits of another double.
    for (const char* bad : {"1.5abc", "0x1p-3", "nan", "inf", "", "-", ".", "1e", "1.2.3", "--1", "1e+-3"})
        EXPECT_EQ(WholeDigits(bad, 1.5), "") << bad;
    EXPECT_EQ(WholeDigits("0.2000000000000000000001", 0.5), "");
    // Places past the bound are rounded off: what is left is the double's.
    EXPECT_EQ(WholeDigits("1.000000000000000000001e-100010", 0.0), "");
}

// A large number written short, as a file saves it, is the double's own
// text: it must read back without digits, or a saved document would come
// back as another text.
TEST(WholeCoordinate, LargeShortTextsNeedNoDigits)
{
    for (int exponent = 1; exponent <= 308; ++exponent) {
        for (const char* mantissa : {"1", "-1", "1.7", "-1.625"}) {
            const std::string text = std::string(mantissa) + "e+" + std::to_string(exponent);
            const double value = std::strtod(text.c_str(), nullptr);
            EXPECT_EQ(WholeDigits(text, value), "") << text;
            EXPECT_EQ(WholeDigits("0" + text, value), "") << text;
        }
    }
}

// A short text read as the centre is that decimal to the last place kept:
// digits one unit past the places of the double's shortest text, at any
// depth, are another number and stay; the same digits with trailing zeros
// are the same digits; staying still keeps the short text; and moves and
// differences from it are worked from the short text's exact number.
TEST(WholeCoordinate, DigitsNextToAShortTextAreKeptAtEveryDepth)
{
    struct Base {
        const char* text; // the shortest text, as a plain decimal
        double value;
    };
    for (const Base b : {Base{"0.13", 0.13}, Base{"-0.75", -0.75}, Base{"0.1", 0.1}, Base{"0.00001", 1e-5},
                         Base{"123.456", 123.456}, Base{"-1.7499999999999998", -1.7499999999999998}}) {
        const std::string base = b.text;
        const int own = Places(base);
        for (int places : {22, 25, 30, 40, 60, 100, 200, 320}) {
            const std::string next = base + std::string(size_t(places - own - 1), '0') + "1";
            ASSERT_TRUE(DigitsHold(next, b.value)) << next;
            EXPECT_EQ(WholeDigits(next, b.value), next) << next;
            EXPECT_EQ(WholeDigits(next + "000", b.value), next) << next;
            EXPECT_EQ(WholeDigits(base + std::string(size_t(places - own), '0'), b.value), "") << places;
            const double pixel = std::pow(10.0, -(places - 3));
            const WholeCoordinate still = MoveCoordinate(b.value, "", {{0, pixel}}, pixel);
            EXPECT_EQ(still.digits, "") << base << " " << places;
            EXPECT_EQ(still.value, b.value);
            // Moved by a whole number of places' units (the double 10^-p
            // is within far less than a place of it), and back.
            const double unit = std::pow(10.0, -places);
            const WholeCoordinate moved = MoveCoordinate(b.value, "", {{b.value < 0 ? -1.0 : 1.0, unit}}, pixel);
            EXPECT_EQ(moved.digits, next) << base << " " << places;
            const double back = CoordinateDifference(b.value, "", b.value, next);
            EXPECT_NEAR(std::fabs(back), unit, unit * 1e-9) << base << " " << places;
        }
    }
}

TEST(WholeCoordinate, ACoordinateRowShowsAndTakesTheDigits)
{
    struct Rows : PropertyList {
        PropertyItem row;
        int InsertRow(PropertyItem& r) override
        {
            row = r;
            return 0;
        }
    } rows;
    double x = 0.5;
    std::string digits;
    rows.AddCoordinateRow("x", &x, &digits);
    const PropertyItem& row = rows.row;
    EXPECT_EQ(row.type, kRowDouble);
    EXPECT_EQ(ValueText(row), "0.5");

    // Sixty places typed are sixty places kept.
    const std::string sixty = "-1.749999999999999999999999999999999999999999999999999999999987";
    StepValue(row, sixty);
    EXPECT_EQ(x, -1.75);
    EXPECT_EQ(digits, sixty);
    EXPECT_EQ(ValueText(row), sixty);
    // A text the double says as well keeps no digits and reads as before.
    StepValue(row, "0.25");
    EXPECT_EQ(digits, "");
    EXPECT_EQ(ValueText(row), "0.25");
    // Trailing text: the digits are those of the number before it, as the
    // double is, and the reading says it stopped short.
    EXPECT_EQ(StepValue(row, "-0.750000000000000000000000001 and more").kind, ParseResult::kPrefix);
    EXPECT_EQ(x, -0.75);
    EXPECT_EQ(digits, "-0.750000000000000000000000001");
    // Refused texts change nothing, and say so.
    StepValue(row, sixty);
    for (const char* bad : {"inf", "junk", "nan", "1e400", "-1e-330"})
        EXPECT_EQ(StepValue(row, bad).kind, ParseResult::kRefused) << bad;
    EXPECT_EQ(x, -1.75);
    EXPECT_EQ(digits, sixty);
    // The double changed alone: its own text.
    x = 2;
    EXPECT_EQ(ValueText(row), "2");
}
