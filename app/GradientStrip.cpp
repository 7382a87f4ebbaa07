#include "app/GradientStrip.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kMargin = 6; // room for the end markers
constexpr int kMarkerHeight = 12;
} // namespace

QPixmap GradientPixmap(const Gradient& gradient, QSize size, qreal ratio)
{
    const QSize pixels = size * ratio;
    QImage image(pixels, QImage::Format_RGB32);
    for (int x = 0; x < pixels.width(); ++x) {
        const Rgb c = gradient.At(pixels.width() > 1 ? double(x) / (pixels.width() - 1) : 0.0);
        const QRgb value = qRgb(c.red, c.green, c.blue);
        for (int y = 0; y < pixels.height(); ++y)
            image.setPixel(x, y, value);
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

CGradientStrip::CGradientStrip(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(120, 40);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setToolTip("Drag a marker to move its stop; double-click to add a stop");
}

void CGradientStrip::SetStops(const std::vector<GradientStop>& stops, int selected)
{
    m_stops = stops;
    m_selected = selected;
    update();
}

QRect CGradientStrip::Band() const { return QRect(kMargin, 2, width() - 2 * kMargin, height() - kMarkerHeight - 4); }

int CGradientStrip::MarkerX(double position) const
{
    const QRect band = Band();
    return band.left() + int(std::lround(position * (band.width() - 1)));
}

double CGradientStrip::PositionAt(int x) const
{
    const QRect band = Band();
    return band.width() > 1 ? std::clamp(double(x - band.left()) / (band.width() - 1), 0.0, 1.0) : 0.0;
}

int CGradientStrip::StopNear(int x) const
{
    // The selected stop first: two stops at one place are reached in turn.
    int best = -1, bestDistance = kMargin + 1;
    for (int i = 0; i < int(m_stops.size()); ++i) {
        const int d = std::abs(MarkerX(m_stops[size_t(i)].position) - x);
        if (d < bestDistance || (d == bestDistance && i == m_selected)) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

void CGradientStrip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect band = Band();
    p.drawPixmap(band, GradientPixmap(Gradient(m_stops), band.size(), devicePixelRatioF()));
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(band.adjusted(0, 0, -1, -1));
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < int(m_stops.size()); ++i) {
        const GradientStop& s = m_stops[size_t(i)];
        const int x = MarkerX(s.position);
        const int top = band.bottom() + 2;
        const QPointF marker[3] = {
            {double(x), double(top)}, {x - 5.0, double(top + kMarkerHeight)}, {x + 5.0, double(top + kMarkerHeight)}};
        p.setBrush(QColor(s.color.red, s.color.green, s.color.blue));
        p.setPen(QPen(i == m_selected ? palette().color(QPalette::Highlight) : palette().color(QPalette::Text),
                      i == m_selected ? 2.0 : 1.0));
        p.drawPolygon(marker, 3);
    }
}

void CGradientStrip::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    const int near = StopNear(int(e->position().x()));
    if (near < 0)
        return;
    m_dragging = true;
    if (near != m_selected) {
        m_selected = near;
        update();
        emit selected(near);
    }
}

void CGradientStrip::mouseMoveEvent(QMouseEvent* e)
{
    if (m_dragging && (e->buttons() & Qt::LeftButton))
        emit moved(m_selected, PositionAt(int(e->position().x())));
}

void CGradientStrip::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        emit released();
    }
}

void CGradientStrip::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && StopNear(int(e->position().x())) < 0)
        emit addAsked(PositionAt(int(e->position().x())));
}
