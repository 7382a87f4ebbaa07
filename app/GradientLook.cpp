#include "app/GradientLook.h"

#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "imaging/ColorMap.h"
#include "model/Fractal.h"
#include "model/FractalKinds.h"

GradientLook LookOf(const CColorMap& map)
{
    return {map.m_gradient, map.m_gradientOffset, map.m_gradientRepetitions, map.m_insideColor};
}

bool ApplyLook(CFractal_Doc& doc, const GradientLook& look, const QString& step)
{
    if (!doc.m_fractal || doc.IsBuilding())
        return false;
    CColorMap& map = doc.m_fractal->m_colorMap;
    map.m_gradient = look.gradient;
    map.m_gradientOffset = look.offset;
    map.m_gradientRepetitions = look.repetitions;
    map.m_insideColor = look.insideColor;
    // A gradient chosen must show: the escape-time kind through its smooth
    // count, the others through their angle.
    if (map.m_coloring == kColoringAngle)
        map.m_coloring = AbilitiesOf(*doc.m_fractal).escapeCounts ? kColoringSmooth : kColoringAngleGradient;
    doc.History().RecordChange(step);
    if (doc.IsShownInParameters())
        doc.Host()->RefreshValues();
    // Cells there are to paint from; a document never built shows the
    // look with its first build.
    if (map.m_gridWidth > 0 && map.m_gridHeight > 0)
        doc.OnBuild(kCmdPaint);
    return true;
}
