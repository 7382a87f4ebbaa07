#include "document/BuildSteps.h"

#include <algorithm>
#include <new>
#include <utility>

#include "document/OffscreenRender.h"
#include "imaging/Canvas.h"
#include "model/Fractal.h"
#include "model/FractalKinds.h"
#include "numbers/Coordinate.h"

namespace {

void BeforeBuild(CFractal& f, CCanvas& c, BuildCommand cmd, const std::function<void()>& building);
BuildOutcome DrawAfterBuild(CFractal& f, CCanvas& c, BuildCommand cmd, const std::string& note, bool draw = true);

std::string Kb(uint64_t bytes) { return std::to_string(bytes >> 10) + "Kb"; }

std::string Size(unsigned width, unsigned height) { return std::to_string(width) + "x" + std::to_string(height); }

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

MemoryVerdict JudgeMemory(uint64_t need, const MemoryStatus& m)
{
    if (need > m.addressSpaceLeft)
        return MemoryVerdict::kRefuse;
    // Memory that is there but taken would have to be won by swapping, or
    // the kernel would end the program half way: the user decides.
    if (m.totalPhysical < need || (m.availableVirtual && m.availableVirtual < need))
        return MemoryVerdict::kAsk;
    return MemoryVerdict::kFits;
}

std::string MemoryShortage(unsigned width, unsigned height, uint64_t need, const MemoryStatus& m)
{
    std::string text = "a " + Size(width, height) + " image needs " + Kb(need) + " of memory, more than the ";
    if (need > m.addressSpaceLeft)
        return text + Kb(m.addressSpaceLeft) + " this program may still use";
    if (m.totalPhysical < need)
        return text + Kb(m.totalPhysical) + " this machine has";
    return text + Kb(m.availableVirtual) + " free";
}

std::string NoMemoryStatus(unsigned width, unsigned height)
{
    return "Not enough memory for a " + Size(width, height) + " image";
}

bool CheckBuildMemory(CFractal& f, CCanvas& c, const MemoryStatus& memory,
                      const std::function<bool(const std::string&)>& ask)
{
    const unsigned w = c.m_targetWidth, h = c.m_targetHeight;
    const uint64_t need = f.MemoryNeed(w, h);
    switch (JudgeMemory(need, memory)) {
    case MemoryVerdict::kFits: return true;
    case MemoryVerdict::kAsk: return ask && ask(MemoryQuestion(need, memory));
    case MemoryVerdict::kRefuse: break;
    }
    c.SetStatus("Not enough memory: " + MemoryShortage(w, h, need, memory));
    return false;
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
    const double x = f.m_centerX, y = f.m_centerY;
    // In FloatExp, which rounds as the doubles do wherever they hold the
    // sizes, so a view below their normal range zooms too.
    const FloatExp two(2.0);
    FloatExp r = f.WideHalfSize(), s;
    if (!zoomOut) {
        s = two * r / FloatExp(double(m));
        f.m_centerX += s.ToDouble() * dx;
        f.m_centerY -= s.ToDouble() * dy;
        f.SetHalfSize(FloatExp(double(half)) * r * two / FloatExp(double(w)));
    } else {
        r = FloatExp(double(w)) * r / FloatExp(2.0 * half);
        f.SetHalfSize(r);
        s = r * two / FloatExp(double(m));
        f.m_centerX -= s.ToDouble() * dx;
        f.m_centerY += s.ToDouble() * dy;
    }
    // Past the resolution of doubles the centre moves as whole digits, for
    // the pixel of whichever image is finer, the one shown or the next.
    const unsigned next = std::min(c.m_targetWidth, c.m_targetHeight);
    const FloatExp pixel = PixelOfHalf(f.m_halfSize, f.m_halfSizeDigits, std::max(m, next));
    const std::string xDigits = std::exchange(f.m_centerXDigits, {}), yDigits = std::exchange(f.m_centerYDigits, {});
    if (!AbilitiesOf(f).deepViews || !NeedsDeepView(f.m_centerX, f.m_centerY, pixel))
        return;
    const double sign = zoomOut ? -1 : 1;
    WholeCoordinate nx = MoveCoordinate(x, xDigits, {{sign * dx, s}}, pixel);
    WholeCoordinate ny = MoveCoordinate(y, yDigits, {{-sign * dy, s}}, pixel);
    f.m_centerX = nx.value;
    f.m_centerY = ny.value;
    f.m_centerXDigits = std::move(nx.digits);
    f.m_centerYDigits = std::move(ny.digits);
}

namespace {

void BeforeBuild(CFractal& f, CCanvas& c, BuildCommand cmd, const std::function<void()>& building)
{
    if (f.m_viewValid && c.m_selectionVisible)
        ApplyZoom(f, c, cmd == kCmdZoomOut);
    if (building)
        building();
    c.SetStatus("Building...");
}

BuildOutcome DrawAfterBuild(CFractal& f, CCanvas& c, BuildCommand cmd, const std::string& note, bool draw)
{
    // The cells of a refused build are not an image, even for Paint.
    if (!f.m_refusal.empty()) {
        if (c.Status() != f.m_refusal)
            c.SetStatus(f.m_refusal);
        return {BuildOutcome::kRefused, f.m_refusal};
    }
    if (f.m_stop && cmd != kCmdPaint)
        return {BuildOutcome::kStopped, {}};
    if (f.m_progress >= 0.0)
        f.m_progress = 100.0;
    if (draw)
        f.Draw(c);
    f.m_viewValid = AbilitiesOf(f).zoomAndPan;
    c.m_zoomEnabled = f.m_viewValid.load();
    c.m_selectionVisible = false;
    c.m_imagePending = true;
    // The builder's own note (pixels left doubtful) and the caller's (the
    // size a Continue went on at) both belong after "Ready".
    std::string said = f.m_buildNote;
    if (!note.empty())
        said += (said.empty() ? "" : "; ") + note;
    c.SetStatus(said.empty() ? std::string("Ready") : "Ready: " + said);
    return {BuildOutcome::kDrawn, {}};
}

// The render of samples in place of Build and Draw.
BuildOutcome RenderSamples(CFractal& f, CCanvas& c, BuildCommand cmd, const std::function<void()>& building,
                           const std::string& note, const AntiAliasing& aa)
{
    // Paint draws the view there is: a zoom rectangle waits for a build.
    if (cmd != kCmdPaint) {
        BeforeBuild(f, c, cmd, building);
    } else {
        if (building)
            building();
        c.SetStatus("Building...");
    }
    CanvasSink sink(c);
    const BuildOutcome out = RenderOffscreen(f, {c.m_targetWidth, c.m_targetHeight, aa}, sink, QueryMemoryStatus());
    if (out.result == BuildOutcome::kRefused && f.m_refusal.empty())
        f.Refuse(c, out.refusal);
    if (out.result != BuildOutcome::kDrawn)
        return DrawAfterBuild(f, c, kCmdRebuild, note, false);
    return DrawAfterBuild(f, c, cmd, note, false);
}

} // namespace

BuildOutcome RunBuildSteps(CFractal& fractal, CCanvas& canvas, BuildCommand cmd, const std::function<bool()>& closing,
                           const std::function<void()>& building, const std::string& readyNote, const AntiAliasing& aa)
{
    auto isClosing = [&] { return closing && closing(); };
    // A Continue that goes on from the cells there are cannot sample anew.
    const bool sampled = aa.samples > 1 && !(cmd == kCmdContinue && fractal.ContinuesCells());
    BuildOutcome out;
    fractal.m_progress = -1.0;
    try {
        if (!isClosing()) {
            if (sampled) {
                fractal.m_refusal.clear();
                fractal.m_buildNote.clear();
                out = RenderSamples(fractal, canvas, cmd, building, readyNote, aa);
            } else if (cmd != kCmdPaint) {
                BeforeBuild(fractal, canvas, cmd, building);
                fractal.m_refusal.clear();
                fractal.m_buildNote.clear();
                const PaintWhileBuilding drawn(canvas);
                fractal.Build(canvas);
            }
            if (!isClosing() && !sampled)
                out = DrawAfterBuild(fractal, canvas, cmd, readyNote);
        }
    } catch (const std::bad_alloc&) {
        // The grid and the pixel buffer are left empty when they cannot be
        // had; the image on screen is the view's own copy and stays.
        fractal.Refuse(canvas, NoMemoryStatus(canvas.m_targetWidth, canvas.m_targetHeight));
        out = {BuildOutcome::kRefused, fractal.m_refusal};
    }
    // A refusal says more than the stop that may have come meanwhile.
    if (fractal.m_stop && out.result != BuildOutcome::kRefused)
        canvas.SetStatus("Terminated by user!");
    return out;
}
