#include "document/ViewPlace.h"

#include <algorithm>
#include <cmath>

#include <QString>

#include "numbers/Coordinate.h"

namespace {

// Offsets of pixel (0, 0) from the centre, in pixels, as the builders lay
// out their grids (x grows to the right, y upwards).
double OriginColumn(QSize s) { return -double(s.width() / 2); }
double OriginRow(QSize s) { return double(s.height() - 1 - s.height() / 2); }

// A moved place whose pixel `e` doubles resolve keeps the doubles it was
// given; past them its centre is the whole `from` centre moved by the steps.
void SettleCenter(ViewPlace& next, const ViewPlace& from, FloatExp e, std::initializer_list<PixelStep> xSteps,
                  std::initializer_list<PixelStep> ySteps)
{
    next.xDigits.clear();
    next.yDigits.clear();
    if (!NeedsDeepView(next.x, next.y, e))
        return;
    WholeCoordinate x = MoveCoordinate(from.x, from.xDigits, xSteps, e);
    WholeCoordinate y = MoveCoordinate(from.y, from.yDigits, ySteps, e);
    next.x = x.value;
    next.y = y.value;
    next.xDigits = std::move(x.digits);
    next.yDigits = std::move(y.digits);
}

bool HasDigits(const ViewPlace& p) { return !p.xDigits.empty() || !p.yDigits.empty(); }

} // namespace

FloatExp WideHalf(const ViewPlace& place) { return WideSize(place.half, place.halfDigits); }

FloatExp WidePixelSize(const ViewPlace& place, QSize image)
{
    return PixelOfHalf(place.half, place.halfDigits, unsigned(std::max(1, std::min(image.width(), image.height()))));
}

double PixelSize(const ViewPlace& place, QSize image) { return WidePixelSize(place, image).ToDouble(); }

QPointF WorldAt(const ViewPlace& place, QSize image, QPointF p)
{
    const FloatExp d = WidePixelSize(place, image);
    const double i = p.x() + OriginColumn(image), j = OriginRow(image) - p.y();
    if (HasDigits(place))
        return {CoordinateAt(place.x, place.xDigits, {{i, d}}), CoordinateAt(place.y, place.yDigits, {{j, d}})};
    return {place.x + i * d.ToDouble(), place.y + j * d.ToDouble()};
}

ViewPlace ZoomAbout(const ViewPlace& place, QSize image, QPointF p, double factor)
{
    ViewPlace next = place;
    WholeSize half = SizeOf(WideHalf(place) / FloatExp(factor));
    next.half = half.value;
    next.halfDigits = std::move(half.digits);
    const FloatExp d = WidePixelSize(place, image), e = WidePixelSize(next, image);
    const double i = p.x() + OriginColumn(image), j = OriginRow(image) - p.y();
    next.x = place.x + i * (d.ToDouble() - e.ToDouble());
    next.y = place.y + j * (d.ToDouble() - e.ToDouble());
    SettleCenter(next, place, e, {{i, d}, {-i, e}}, {{j, d}, {-j, e}});
    return next;
}

ViewPlace PanBy(const ViewPlace& place, QSize image, QPointF delta)
{
    const FloatExp d = WidePixelSize(place, image);
    ViewPlace next = place;
    next.x = place.x - delta.x() * d.ToDouble();
    next.y = place.y + delta.y() * d.ToDouble();
    SettleCenter(next, place, d, {{-delta.x(), d}}, {{delta.y(), d}});
    return next;
}

QTransform PreviewTransform(const ViewPlace& shown, QSize shownSize, const ViewPlace& target, QSize targetSize)
{
    const FloatExp d0 = WidePixelSize(shown, shownSize), d1 = WidePixelSize(target, targetSize);
    if (!(d0.m > 0 && d1.m > 0) || !std::isfinite((d0 / d1).ToDouble()))
        return {};
    // Sizes below the normal doubles keep their ratio and the centres'
    // offset in pixels in FloatExp; the others the doubles' arithmetic.
    const bool wide = !shown.halfDigits.empty() || !target.halfDigits.empty();
    const double s = wide ? (d0 / d1).ToDouble() : d0.ToDouble() / d1.ToDouble();
    // Deep centres that differ only in their digits have equal doubles.
    const bool whole = HasDigits(shown) || HasDigits(target);
    // The offset of the shown centre from the target's, in target pixels.
    const auto pixels = [&](double a, const std::string& aDigits, double b, const std::string& bDigits) {
        if (wide)
            return (WideCoordinateDifference(a, aDigits, b, bDigits) / d1).ToDouble();
        return (whole ? CoordinateDifference(a, aDigits, b, bDigits) : a - b) / d1.ToDouble();
    };
    const double ox = pixels(shown.x, shown.xDigits, target.x, target.xDigits);
    const double oy = pixels(shown.y, shown.yDigits, target.y, target.yDigits);
    // Column j of the shown image lies at x0 + (j + c0) d0, which the target
    // shows at column (x0 - x1) / d1 + (j + c0) s - c1; rows alike, upwards.
    const double dx = ox + OriginColumn(shownSize) * s - OriginColumn(targetSize);
    const double dy = -oy - OriginRow(shownSize) * s + OriginRow(targetSize);
    return QTransform(s, 0, 0, s, dx, dy);
}

int CoordinateDecimals(double pixelSize)
{
    if (!(pixelSize > 0) || !std::isfinite(pixelSize))
        return 6;
    return std::clamp(int(std::ceil(-std::log10(pixelSize))) + 1, 0, kMaxCoordinateDecimals);
}

int CoordinateDecimals(FloatExp pixelSize)
{
    const double d = pixelSize.ToDouble();
    if (d >= 0x1p-1000 || !(pixelSize.m > 0) || !std::isfinite(pixelSize.m))
        return CoordinateDecimals(d);
    return std::clamp(DecimalExponent(pixelSize) + 1, 0, kMaxCoordinateDecimals);
}

std::pair<QString, QString> WorldTextAt(const ViewPlace& place, QSize image, QPointF p)
{
    const FloatExp d = WidePixelSize(place, image);
    const int decimals = CoordinateDecimals(d);
    if (!HasDigits(place) && !NeedsDeepView(place.x, place.y, d)) {
        const QPointF w = WorldAt(place, image, p);
        return {QString("%1").arg(w.x(), 0, 'f', decimals), QString("%1").arg(w.y(), 0, 'f', decimals)};
    }
    const double i = p.x() + OriginColumn(image), j = OriginRow(image) - p.y();
    return {QString::fromStdString(CoordinateFixed(place.x, place.xDigits, {{i, d}}, decimals)),
            QString::fromStdString(CoordinateFixed(place.y, place.yDigits, {{j, d}}, decimals))};
}
