#include "document/ViewSteps.h"

ViewStep InverseOf(ViewStep step)
{
    switch (step) {
    case ViewStep::kZoomIn: return ViewStep::kZoomOut;
    case ViewStep::kZoomOut: return ViewStep::kZoomIn;
    case ViewStep::kLeft: return ViewStep::kRight;
    case ViewStep::kRight: return ViewStep::kLeft;
    case ViewStep::kUp: return ViewStep::kDown;
    case ViewStep::kDown: break;
    }
    return ViewStep::kUp;
}

ViewPlace StepPlace(const ViewPlace& place, QSize image, ViewStep step)
{
    // About the builders' centre pixel, which lies on the centre itself.
    const QPointF center(image.width() / 2, image.height() - 1 - image.height() / 2);
    // Dragging the picture right shows what lies left of it.
    const double dx = image.width() / 10.0, dy = image.height() / 10.0;
    switch (step) {
    case ViewStep::kZoomIn: return ZoomAbout(place, image, center, kWheelZoom);
    case ViewStep::kZoomOut: return ZoomAbout(place, image, center, 1 / kWheelZoom);
    case ViewStep::kLeft: return PanBy(place, image, {dx, 0});
    case ViewStep::kRight: return PanBy(place, image, {-dx, 0});
    case ViewStep::kUp: return PanBy(place, image, {0, dy});
    case ViewStep::kDown: break;
    }
    return PanBy(place, image, {0, -dy});
}

ViewPlace ViewStepTrail::Take(const ViewPlace& now, QSize image, ViewStep step)
{
    if (!m_trail.empty() && !(m_trail.back().to == now))
        m_trail.clear();
    if (!m_trail.empty() && m_trail.back().step == InverseOf(step)) {
        const ViewPlace back = m_trail.back().from;
        m_trail.pop_back();
        return back;
    }
    // A long walk one way need not be remembered forever.
    if (m_trail.size() == 1000)
        m_trail.erase(m_trail.begin());
    const ViewPlace next = StepPlace(now, image, step);
    m_trail.push_back({now, next, step});
    return next;
}
