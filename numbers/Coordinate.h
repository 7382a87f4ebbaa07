#pragma once
// A coordinate of a view's centre kept whole: the double every builder
// reads, and beside it, when a double cannot hold the coordinate, its
// decimal digits. The digits count only while they round to the double,
// so code that moves a centre as a double alone drops them rather than
// building somewhere the user never went.

#include <initializer_list>
#include <string>
#include <string_view>

#include "numbers/FloatExp.h"
#include "numbers/WideSize.h"

// True when `digits` is a decimal number whose nearest double is `value`.
bool DigitsHold(std::string_view digits, double value);
// The coordinate's text: its digits where they hold, else the shortest
// text that reads back as `value`.
std::string CoordinateText(double value, const std::string& digits);

// True when doubles cannot tell the pixels of a view apart: its pixel is
// below 2^-45 of the centre's size, taken as at least 1 so that the
// neighbourhood of 0, whose squares fall past a double's digits against
// the constant, counts too. Such views are built as differences from a
// reference orbit; every other view keeps the double build.
bool NeedsDeepView(double centerX, double centerY, double pixelSize);
// The same for a pixel past a double's range (numbers/WideSize.h).
bool NeedsDeepView(double centerX, double centerY, FloatExp pixelSize);

// The most decimal places a whole coordinate keeps: a thousandth of the
// pixel of the deepest half size over a 16000-pixel image. It bounds the
// length of the file's "x" / "y" lines (PropertyStream::kMaxCoordinateLine).
constexpr int kMaxCoordinateDecimals = kDeepestSizeExponent + 8;

// Decimal places that tell pixels of `pixelSize` apart a thousand times
// over, at most kMaxCoordinateDecimals.
int WholeDecimals(double pixelSize);
int WholeDecimals(FloatExp pixelSize);
// ceil(-log10(pixelSize)) for a positive finite size, of any exponent.
int DecimalExponent(FloatExp pixelSize);

struct WholeCoordinate {
    double value = 0;
    std::string digits; // empty where `value` holds the coordinate
};

// `pixels` times `size`: one step of a move.
struct PixelStep {
    double pixels;
    FloatExp size;
};

// The coordinate (`value`, whole as `digits` where they hold) moved by the
// sum of the steps, worked out exactly and written with the decimal places
// `pixelSize` needs (WholeDecimals), rounded to nearest, trailing zeros
// dropped. The value is the digits' nearest double; the digits are dropped
// where they are the very number that double's shortest text writes.
WholeCoordinate MoveCoordinate(double value, const std::string& digits, std::initializer_list<PixelStep> steps,
                               FloatExp pixelSize);

// The nearest double of the coordinate moved by the steps.
double CoordinateAt(double value, const std::string& digits, std::initializer_list<PixelStep> steps);
// The coordinate moved by the steps, written with exactly `places` places
// (at most kMaxCoordinateDecimals), rounded to nearest, as "%.*f" would.
std::string CoordinateFixed(double value, const std::string& digits, std::initializer_list<PixelStep> steps,
                            int places);

// a - b for two whole coordinates, as the nearest double: it stays right
// where the two doubles are equal.
double CoordinateDifference(double a, const std::string& aDigits, double b, const std::string& bDigits);
// The same, kept past a double's range.
FloatExp WideCoordinateDifference(double a, const std::string& aDigits, double b, const std::string& bDigits);

// The digits a typed or read text gives a coordinate whose double is
// `value`: the text's number as a plain decimal (no exponent), when it is
// a decimal number that rounds to `value` and the shortest text of `value`
// is not the same number. Empty otherwise. Places past
// kMaxCoordinateDecimals are rounded off.
std::string WholeDigits(std::string_view text, double value);
