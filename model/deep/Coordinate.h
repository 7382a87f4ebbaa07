#pragma once
// A coordinate of a view's centre kept whole: the double every builder
// reads, and beside it, when a double cannot hold the coordinate, its
// decimal digits. The digits count only while they round to the double,
// so code that moves a centre as a double alone drops them rather than
// building somewhere the user never went.

#include <string>
#include <string_view>

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
bool NeedsDeepView(double centreX, double centreY, double pixelSize);
