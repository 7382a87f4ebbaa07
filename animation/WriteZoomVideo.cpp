#include "animation/WriteZoomVideo.h"

#include <cstdio>
#include <map>
#include <new>

#include "document/DocumentFiles.h"
#include "imaging/Canvas.h"
#include "imaging/VectorState.h"
#include "model/Fractal.h"
#include "model/FractalKinds.h"

std::string ZoomRefusal(const CFractal& fractal)
{
    if (!AbilitiesOf(fractal).zoomAndPan)
        return std::string("the ") + KindOf(fractal).name + " has no view of the plane to zoom";
    if (fractal.HasDepth())
        return "a solid self-affine set is seen from its angles, not zoomed in the plane";
    return {};
}

namespace {

AnimationOutcome Encode(const ZoomJob& job, const ZoomUnits& units, const std::stop_token& stop,
                        const ZoomProgress& progress, AviWriter& writer)
{
    AnimationOutcome out;
    out.result = AnimationOutcome::kDone;
    const ZoomPlan& plan = job.plan;
    auto failed = [&](const BuildOutcome& b) {
        out.result = b.result == BuildOutcome::kStopped ? AnimationOutcome::kStopped : AnimationOutcome::kRefused;
        out.error = b.refusal;
        return out;
    };
    std::map<unsigned, CCanvas> keys; // the keyframes the next frames need
    auto key = [&](unsigned j, BuildOutcome& b) -> CCanvas* {
        if (auto it = keys.find(j); it != keys.end())
            return &it->second;
        CCanvas& canvas = keys[j];
        b = units(j, canvas);
        return b.result == BuildOutcome::kDrawn ? &canvas : nullptr;
    };
    CCanvas frame;
    for (unsigned k = 0; k < plan.Frames(); ++k) {
        if (stop.stop_requested())
            return failed({BuildOutcome::kStopped, {}});
        if (progress)
            progress(k + 1, plan.Frames());
        const CCanvas* picture = &frame;
        BuildOutcome b{BuildOutcome::kDrawn, {}};
        if (plan.Settings().exact) {
            if ((b = units(k, frame)).result != BuildOutcome::kDrawn)
                return failed(b);
        } else {
            unsigned j = 0;
            double weight = 0;
            plan.Between(k, j, weight);
            while (!keys.empty() && keys.begin()->first < j)
                keys.erase(keys.begin());
            const CCanvas* outer = key(j, b);
            const CCanvas* inner = outer && weight > 0 ? key(j + 1, b) : nullptr;
            if (b.result != BuildOutcome::kDrawn)
                return failed(b);
            ComposeZoomFrame(plan, k, *outer, inner, frame);
        }
        if (picture->m_bufferWidth != plan.Settings().width || picture->m_bufferHeight != plan.Settings().height ||
            picture->m_bitsPerPixel != 24) {
            out.result = AnimationOutcome::kFailed;
            out.error = "frame " + std::to_string(k) + " is not a " + std::to_string(plan.Settings().width) + "x" +
                        std::to_string(plan.Settings().height) + " picture";
            return out;
        }
        if (!writer.WriteFrame(picture->m_bits.data(), out.error)) {
            out.result = AnimationOutcome::kFailed;
            return out;
        }
        out.framesWritten = writer.FramesWritten();
    }
    return out;
}

} // namespace

AnimationOutcome EncodeZoom(const ZoomJob& job, const ZoomUnits& units, std::stop_token stop,
                            const ZoomProgress& progress)
{
    return WriteVideoFrames(job.path, job.encoder, job.settings, job.plan.Settings().width,
                            job.plan.Settings().height, [&](AviWriter& writer, AnimationOutcome& out) {
                                out = Encode(job, units, stop, progress, writer);
                            });
}

AnimationOutcome WriteZoomVideo(CFractal& end, int fractalType, const ZoomJob& job, std::stop_token stop,
                                const ZoomProgress& progress)
{
    // Headless, this runs on the main thread, whose state Qt left dirty.
    CleanUpperVectorState();
    if (const std::string why = ZoomRefusal(end); !why.empty()) {
        AnimationOutcome out;
        out.result = AnimationOutcome::kRefused;
        out.error = why;
        return out;
    }
    const ZoomSource source{fractalType, DocumentFileText(fractalType, end)};
    const MemoryStatus memory = QueryMemoryStatus();
    return EncodeZoom(
        job,
        [&](unsigned unit, CCanvas& into) {
            CanvasSink sink(into);
            return RenderZoomUnit(source, job.plan, unit, sink, stop, memory);
        },
        stop, progress);
}
