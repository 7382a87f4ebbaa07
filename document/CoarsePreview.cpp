#include "document/CoarsePreview.h"

#include <algorithm>
#include <new>

#include "document/BuildSteps.h"
#include "document/CanvasImage.h"
#include "document/MemoryStatus.h"
#include "imaging/Canvas.h"
#include "model/Fractal.h"
#include "model/FractalKinds.h"
#include "numbers/Coordinate.h"

namespace {

// Samples below which even a costly view (past doubles, in space) is left
// to the delay, and below which a plane's samples are.
constexpr double kSlowSamples = 128.0 * 96, kManySamples = 2048.0 * 1536;

} // namespace

CoarsePreview::~CoarsePreview() { Finish(); }

bool CoarsePreview::ExpectSlow(const CFractal& f, unsigned width, unsigned height, int samples)
{
    if (width == 0 || height == 0)
        return false;
    const FloatExp pixel = f.PixelOf(width, height);
    const bool deep = AbilitiesOf(f).deepViews && NeedsDeepView(f.m_centerX, f.m_centerY, pixel);
    const double n = std::max(1, samples);
    const double many = double(width) * height * n * n;
    return (many >= kSlowSamples && (deep || f.HasDepth())) || (n > 1 && many >= kManySamples);
}

void CoarsePreview::Start(std::shared_ptr<CFractal> copy, unsigned width, unsigned height, bool now,
                          const ViewPlace& place, const CFractal& build, uint64_t buildNeed)
{
    Finish();
    if (!copy)
        return;
    copy->m_restart = true;
    m_build = &build;
    m_begun = std::chrono::steady_clock::now();
    {
        std::lock_guard hold(m_lock);
        m_copy = std::move(copy);
        m_ending = false;
    }
    m_thread = std::thread(
        [this, width, height, now, place, buildNeed] { Run(width, height, now, place, buildNeed); });
    // A stop asked before the copy was there has not reached it.
    if (build.m_stop)
        Stop();
}

void CoarsePreview::Stop()
{
    {
        std::lock_guard hold(m_lock);
        m_ending = true;
        if (m_copy)
            m_copy->m_stop = true;
    }
    m_wake.notify_all();
}

void CoarsePreview::Finish()
{
    Stop();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard hold(m_lock);
    m_result.reset();
    m_copy.reset();
}

void CoarsePreview::Run(unsigned width, unsigned height, bool now, ViewPlace place, uint64_t buildNeed)
{
    CFractal* f = nullptr;
    {
        std::unique_lock hold(m_lock);
        if (!now)
            m_wake.wait_for(hold, kDelay, [this] { return m_ending; });
        if (m_ending)
            return;
        f = m_copy.get();
    }
    // A build that was not expected to be slow and is nearly done by now
    // shows its image sooner without them.
    if (!now && !BuildOutlasts(std::chrono::duration<double>(kDelay).count()))
        return;
    const FloatExp half = f->WideHalfSize();
    double last = 0;
    for (const int block : kBlocks) {
        // The next pass has four times the pixels of the last: one that
        // would come after the build's image is only cost.
        if (last > 0 && !BuildOutlasts(4 * last))
            return;
        const auto begun = std::chrono::steady_clock::now();
        QImage picture;
        if (!Pass(block, width, height, half, buildNeed, picture))
            continue;
        last = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        {
            std::lock_guard hold(m_lock);
            if (m_ending)
                return;
            m_result = Picture{std::move(picture), block, place};
        }
        // Handed over under the lock and announced by name: nothing made on
        // this thread travels inside the message itself.
        QMetaObject::invokeMethod(this, "TakeResult", Qt::QueuedConnection);
    }
}

bool CoarsePreview::BuildOutlasts(double seconds) const
{
    // The share of the build done: of its passes where it counts them,
    // else of its percentage; unknown until it says.
    double share = -1;
    const PassReading r = m_build->m_passProgress.Read();
    if (r.running && r.passes > 0 && r.total > 0)
        share = (r.pass - 1 + double(r.done) / double(r.total)) / r.passes;
    else if (m_build->m_progress > 0)
        share = m_build->m_progress / 100;
    if (share <= 0)
        return true;
    if (share >= 1)
        return false;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_begun).count();
    return seconds < elapsed * (1 - share) / share;
}

bool CoarsePreview::Pass(int block, unsigned width, unsigned height, FloatExp half, uint64_t buildNeed,
                         QImage& picture)
{
    CFractal& f = *m_copy;
    const unsigned w = (width + block - 1) / block, h = (height + block - 1) / block;
    if (std::min(w, h) < kMinSide || f.m_stop)
        return false;
    // A picture is never worth putting the build's own memory at risk.
    const uint64_t need = f.MemoryNeed(w, h) + uint64_t(w) * h * 3 + uint64_t(width) * height * 8;
    if (JudgeMemory(buildNeed + need, QueryMemoryStatus()) != MemoryVerdict::kFits)
        return false;
    // Each computed pixel is `block` of the build's along both sides, also
    // where a side does not divide: the view's scale is its shorter side's.
    if (AbilitiesOf(f).zoomAndPan)
        f.SetHalfSize(half * FloatExp(double(block) * std::min(w, h) / std::min(width, height)));
    f.m_restart = true;
    f.m_refusal.clear();
    CCanvas canvas;
    canvas.SetTargetSize(w, h);
    try {
        const PaintWhileBuilding drawn(canvas);
        f.Build(canvas);
        if (f.m_stop || !f.m_refusal.empty())
            return false;
        f.Draw(canvas);
        if (f.m_stop || !canvas.HasBuffer())
            return false;
        const QImage small = CanvasImage(canvas);
        // Nearest neighbours: every computed pixel a uniform block.
        picture = small.scaled(int(w) * block, int(h) * block, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                      .copy(0, 0, int(width), int(height));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return !picture.isNull();
}

void CoarsePreview::TakeResult()
{
    std::optional<Picture> result;
    {
        std::lock_guard hold(m_lock);
        result.swap(m_result);
    }
    if (!result)
        return;
    const int block = result->block;
    m_shown = std::move(result);
    emit shown(block);
}
