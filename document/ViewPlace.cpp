#include "document/ViewPlace.h"

#include <algorithm>
#include <cmath>

namespace {

// Offsets of pixel (0, 0) from the centre, in pixels, as the builders lay
// out their grids (x grows to the right, y upwards).
double OriginColumn(QSize s) { return -double(s.width() / 2); }
double OriginRow(QSize s) { return double(s.height() - 1 - s.height() / 2); }

} // namespace

double PixelSize(const ViewPlace& place, QSize image)
{
    return 2 * place.half / std::max(1, std::min(image.width(), image.height()));
}

QPointF WorldAt(const ViewPlace& place, QSize image, QPointF p)
{
    const double d = PixelSize(place, image);
    return {place.x + (p.x() + OriginColumn(image)) * d, place.y + (OriginRow(image) - p.y()) * d};
}

ViewPlace ZoomAbout(const ViewPlace& place, QSize image, QPointF p, double factor)
{
    ViewPlace next = place;
    next.half = place.half / factor;
    const double d = PixelSize(place, image), e = PixelSize(next, image);
    next.x = place.x + (p.x() + OriginColumn(image)) * (d - e);
    next.y = place.y + (OriginRow(image) - p.y()) * (d - e);
    return next;
}

ViewPlace PanBy(const ViewPlace& place, QSize image, QPointF delta)
{
    const double d = PixelSize(place, image);
    ViewPlace next = place;
    next.x = place.x - delta.x() * d;
    next.y = place.y + delta.y() * d;
    return next;
}

QTransform PreviewTransform(const ViewPlace& shown, QSize shownSize, const ViewPlace& target, QSize targetSize)
{
    const double d0 = PixelSize(shown, shownSize), d1 = PixelSize(target, targetSize);
    if (!(d0 > 0 && d1 > 0) || !std::isfinite(d0 / d1))
        return {};
    const double s = d0 / d1;
    // Column j of the shown image lies at x0 + (j + c0) d0, which the target
    // shows at column (x0 - x1) / d1 + (j + c0) s - c1; rows alike, upwards.
    const double dx = (shown.x - target.x) / d1 + OriginColumn(shownSize) * s - OriginColumn(targetSize);
    const double dy = -(shown.y - target.y) / d1 - OriginRow(shownSize) * s + OriginRow(targetSize);
    return QTransform(s, 0, 0, s, dx, dy);
}

int CoordinateDecimals(double pixelSize)
{
    if (!(pixelSize > 0) || !std::isfinite(pixelSize))
        return 6;
    return std::clamp(int(std::ceil(-std::log10(pixelSize))) + 1, 0, 17);
}
