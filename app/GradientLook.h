#pragma once
// What the gradient colourings show of a document, and how a change of it
// reaches the picture: written into the fractal's colour map, then painted
// from the cells there are, with no rebuild.

#include <QString>

#include <string>

#include "imaging/Gradient.h"

class CColorMap;
class CFractal_Doc;

struct GradientLook {
    Gradient gradient;
    double offset = 0;
    double repetitions = 1;
    std::string insideColor; // "#rrggbb", empty for the background's
    friend bool operator==(const GradientLook&, const GradientLook&) = default;
};

GradientLook LookOf(const CColorMap& map);

// Writes `look` into the document's colour map, recorded as the undo step
// `step`, and paints it. A colouring that shows no gradient becomes the
// smooth count, so the gradient shows. False, with nothing written, while
// the document builds (the worker reads those fields) or has no fractal.
bool ApplyLook(CFractal_Doc& doc, const GradientLook& look, const QString& step);
