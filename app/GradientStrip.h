#pragma once
// The gradient editor's strip: the gradient drawn across, a marker under
// it for each stop. A click on a marker selects its stop and a drag moves
// it; a double click elsewhere asks for a stop there.

#include <QPixmap>
#include <QWidget>

#include <vector>

#include "imaging/Gradient.h"

// The gradient drawn across `size` device-independent pixels.
QPixmap GradientPixmap(const Gradient& gradient, QSize size, qreal ratio = 1);

class CGradientStrip : public QWidget {
    Q_OBJECT
public:
    explicit CGradientStrip(QWidget* parent = nullptr);

    // The stops, sorted by position, and the selected one's index.
    void SetStops(const std::vector<GradientStop>& stops, int selected);
    int Selected() const { return m_selected; }
    // Where a stop at `position` has its marker, and the position at x.
    int MarkerX(double position) const;
    double PositionAt(int x) const;

    QSize sizeHint() const override { return {360, 56}; }

signals:
    void selected(int index);
    // While a marker is dragged, and once when it is let go.
    void moved(int index, double position);
    void released();
    void addAsked(double position);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    int StopNear(int x) const;
    QRect Band() const;
    std::vector<GradientStop> m_stops;
    int m_selected = 0;
    bool m_dragging = false;
};
