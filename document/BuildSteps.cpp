#include "document/BuildSteps.h"

#include <algorithm>

#include "imaging/Canvas.h"
#include "model/Fractal.h"

namespace {

void BeforeBuild(CFractal& f, CCanvas& c, unsigned cmd, const std::function<void()>& building);
void DrawAfterBuild(CFractal& f, CCanvas& c, unsigned cmd);

} // namespace

std::string MemoryQuestion(uint64_t need, const MemoryStatus& m)
{
    auto kb = [](uint64_t bytes) { return std::to_string(bytes >> 10); };
    std::string text = "Algorithm requared " + kb(need) + "Kb of memory to work\n";
    text += "Aviable phisical memory " + kb(m.availablePhysical) + "Kb of " + kb(m.totalPhysical) + "Kb\n";
    text += "Aviable virtual  memory " + kb(m.availableVirtual) + "Kb of " + kb(m.totalVirtual) + "Kb\n";
    text += "Are you sure to start algorithm?";
    return text.substr(0, 300);
}

void ApplyZoom(CFractal& f, const CCanvas& c, bool zoomOut)
{
    // The rectangle was drawn on the image shown, whatever size the next
    // build has.
    unsigned w = 0, h = 0;
    c.ZoomImageSize(w, h);
    const unsigned m = std::min(w, h);
    const int32_t dx = c.m_anchorX - int32_t(w / 2);
    const int32_t dy = c.m_anchorY - int32_t(h / 2);
    const int32_t half = c.m_halfWidth;
    if (w == 0 || m == 0 || half <= 0)
        return;
    double r = f.m_halfSize;
    if (!zoomOut) {
        const double s = 2 * r / m;
        f.m_centerX += s * dx;
        f.m_centerY -= s * dy;
        f.m_halfSize = (half * r * 2) / w;
    } else {
        r = (double(w) * r) / (2.0 * half);
        f.m_halfSize = r;
        const double s = r * 2 / m;
        f.m_centerX -= s * dx;
        f.m_centerY += s * dy;
    }
}

namespace {

void BeforeBuild(CFractal& f, CCanvas& c, unsigned cmd, const std::function<void()>& building)
{
    if (f.m_viewValid && c.m_selectionVisible)
        ApplyZoom(f, c, cmd == kCmdZoomOut);
    if (building)
        building();
    c.SetStatus("Building...");
}

void DrawAfterBuild(CFractal& f, CCanvas& c, unsigned cmd)
{
    if (f.m_stop && cmd != kCmdPaint)
        return;
    if (f.m_progress >= 0.0)
        f.m_progress = 100.0;
    f.Draw(c);
    f.m_viewValid = f.m_kind != CFractal::kTile;
    c.m_zoomEnabled = f.m_viewValid.load();
    c.m_selectionVisible = false;
    c.m_imagePending = true;
    c.SetStatus("Ready");
}

} // namespace

void RunBuildSteps(CFractal& fractal, CCanvas& canvas, unsigned cmd,
                   const std::function<bool()>& closing, const std::function<void()>& building)
{
    auto isClosing = [&] { return closing && closing(); };
    fractal.m_progress = -1.0;
    if (!isClosing()) {
        if (cmd != kCmdPaint) {
            BeforeBuild(fractal, canvas, cmd, building);
            fractal.Build(canvas);
        }
        if (!isClosing())
            DrawAfterBuild(fractal, canvas, cmd);
    }
    if (fractal.m_stop)
        canvas.SetStatus("Terminated by user!");
}
