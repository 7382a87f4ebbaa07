#pragma once
// The keyboard's steps through a 2-D view: zoom in and out about the centre
// by the wheel's factor, pan by a tenth of the view. A step straight back
// returns the very place it left, digits and all, as undo would: doubles
// cannot promise that x / 1.5 * 1.5 or x - a + a is x again.

#include <QSize>

#include <vector>

#include "document/ViewPlace.h"

enum class ViewStep { kZoomIn, kZoomOut, kLeft, kRight, kUp, kDown };

// The step that undoes `step`.
ViewStep InverseOf(ViewStep step);
// The place one step from `place` in a `image`-sized view.
ViewPlace StepPlace(const ViewPlace& place, QSize image, ViewStep step);

// The steps taken in a row, so that each one back lands where it started.
class ViewStepTrail {
public:
    // The place `step` leads to from `now`: where the trail's last step
    // started, when `step` undoes it and `now` is where that step led;
    // else StepPlace, remembered. A place reached otherwise ends the trail.
    ViewPlace Take(const ViewPlace& now, QSize image, ViewStep step);

private:
    struct Taken {
        ViewPlace from, to;
        ViewStep step;
    };
    std::vector<Taken> m_trail;
};
