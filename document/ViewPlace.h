#pragma once
// Where a 2-D view looks (centre and half size, as the x / y / radius rows
// hold them) and the pixel arithmetic of the builders: pixel column j of a
// w x h image lies at x = cx + (j - w/2) d, screen row i (top down) at
// y = cy + (h - 1 - i - h/2) d, with d = 2 half / min(w, h) and integer
// halves. Zooming, panning and the preview of a moved view all follow it.
// Past the resolution of doubles (NeedsDeepView) the centre moves as whole
// decimal digits (numbers/Coordinate.h), and below the normal doubles the
// half size as digits with an exponent (numbers/WideSize.h); other views
// keep the doubles' arithmetic.

#include <QPointF>
#include <QSize>
#include <QTransform>

#include <string>
#include <utility>

#include "numbers/FloatExp.h"

struct ViewPlace {
    double x = 0, y = 0, half = 1;
    // The centre's whole digits where x / y cannot hold it, else empty.
    std::string xDigits = {}, yDigits = {};
    // The half size's digits where `half` cannot hold it, else empty.
    std::string halfDigits = {};
    bool operator==(const ViewPlace&) const = default;
};

// One notch of the mouse wheel zooms in or out by this much.
constexpr double kWheelZoom = 1.5;

double PixelSize(const ViewPlace& place, QSize image);
// The same past a double's range.
FloatExp WidePixelSize(const ViewPlace& place, QSize image);
FloatExp WideHalf(const ViewPlace& place);
// The world point at image position `p` (pixel units, top-left origin).
QPointF WorldAt(const ViewPlace& place, QSize image, QPointF p);
// The place seen after zooming in by `factor` (below 1 zooms out) with the
// world point at `p` kept where it is on the screen.
ViewPlace ZoomAbout(const ViewPlace& place, QSize image, QPointF p, double factor);
// The place seen after the picture was dragged by `delta` pixels.
ViewPlace PanBy(const ViewPlace& place, QSize image, QPointF delta);
// Maps the pixels of an image built at `shown` (of size `shownSize`) to where
// the same world points lie in a view at `target` of size `targetSize`.
QTransform PreviewTransform(const ViewPlace& shown, QSize shownSize, const ViewPlace& target, QSize targetSize);
// Digits after the decimal point that tell neighbouring pixels apart.
int CoordinateDecimals(double pixelSize);
int CoordinateDecimals(FloatExp pixelSize);
// The world point at `p` as the pointer's readout writes it, with
// CoordinateDecimals places, worked from the whole centre at depth.
std::pair<QString, QString> WorldTextAt(const ViewPlace& place, QSize image, QPointF p);
