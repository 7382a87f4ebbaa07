#include "animation/WriteAnimation.h"

#include <cstdio>
#include <new>

#include "document/BuildSteps.h"
#include "imaging/Canvas.h"
#include "imaging/VectorState.h"
#include "model/Fractal.h"
#include "model/FractalKinds.h"

std::string AnimationRefusal(const CFractal& fractal)
{
    if (AbilitiesOf(fractal).animations & kAnimateTurn)
        return {};
    return "only self-affine sets have a rotation angle to animate";
}

namespace {

// Builds, draws, turns and writes each frame into the open writer.
void WriteFrames(CFractal& set, CCanvas& canvas, const AnimationJob& job, const std::stop_token& stop,
                 const std::function<void(unsigned, unsigned)>& progress, AviWriter& writer, AnimationOutcome& out)
{
    const unsigned width = canvas.m_targetWidth, height = canvas.m_targetHeight;
    const size_t imageSize = size_t(AviWriter::RowBytes(width)) * height;

    auto stopped = [&] { return stop.stop_requested() || set.m_stop; };
    out.result = AnimationOutcome::kDone;
    for (unsigned i = 0; i < job.frameCount; ++i) {
        if (stopped()) {
            out.result = AnimationOutcome::kStopped;
            break;
        }
        set.m_restart = true;
        set.m_refusal.clear();
        set.Build(canvas);
        if (!set.m_refusal.empty()) {
            out.result = AnimationOutcome::kRefused;
            out.error = set.m_refusal;
            break;
        }
        if (stopped()) {
            out.result = AnimationOutcome::kStopped;
            break;
        }
        set.Draw(canvas);
        if (stopped()) {
            out.result = AnimationOutcome::kStopped;
            break;
        }
        set.TurnBy(double(job.stepAngle));
        if (canvas.m_bitsPerPixel != 24 || canvas.m_bufferWidth != width || canvas.m_bufferHeight != height ||
            canvas.m_stride != AviWriter::RowBytes(width) || canvas.m_bits.size() < imageSize) {
            out.result = AnimationOutcome::kFailed;
            out.error = "the drawn image is not a " + std::to_string(width) + "x" + std::to_string(height) +
                        " picture of 24-bit pixels";
            break;
        }
        if (!writer.WriteFrame(canvas.m_bits.data(), out.error)) {
            out.result = AnimationOutcome::kFailed;
            break;
        }
        out.framesWritten = writer.FramesWritten();
        if (progress)
            progress(out.framesWritten, job.frameCount);
    }
}

} // namespace

AnimationOutcome WriteVideoFrames(const std::string& path, const VideoEncoder& encoder, const EncoderSettings& settings,
                                  unsigned width, unsigned height,
                                  const std::function<void(AviWriter& writer, AnimationOutcome& out)>& frames)
{
    AnimationOutcome out;
    AviWriter writer;
    try {
        if (!writer.Open(path, encoder, width, height, settings, out.error))
            return out;
        frames(writer, out);
    } catch (const std::bad_alloc&) {
        out.result = AnimationOutcome::kRefused;
        out.error = NoMemoryStatus(width, height);
    }
    std::string closeError;
    if (!writer.Close(closeError) && out.result != AnimationOutcome::kFailed &&
        out.result != AnimationOutcome::kRefused) {
        out.result = AnimationOutcome::kFailed;
        out.error = closeError;
    }
    return out;
}

AnimationOutcome WriteAnimation(CFractal& fractal, CCanvas& canvas, const AnimationJob& job, std::stop_token stop,
                                const std::function<void(unsigned, unsigned)>& progress)
{
    // Every loop of the build and draw polls the fractal's flag; a stop
    // asked for before this line is passed on at once.
    std::stop_callback passOn(stop, [&fractal] { fractal.m_stop = true; });
    // Headless, this runs on the main thread, whose state Qt left dirty.
    CleanUpperVectorState();
    AnimationOutcome out;
    auto refuse = [&](std::string why) {
        out.result = AnimationOutcome::kRefused;
        out.error = std::move(why);
        return out;
    };
    if (const std::string why = AnimationRefusal(fractal); !why.empty())
        return refuse(why);
    if (job.frameCount < kMinFrameCount || job.frameCount > kMaxFrameCount)
        return refuse("the number of frames must be between 1 and 10000");
    if (job.stepAngle < kMinStepAngle || job.stepAngle > kMaxStepAngle)
        return refuse("the step angle must be between 1 and 360");

    const unsigned width = canvas.m_targetWidth, height = canvas.m_targetHeight;
    bool created = false;
    out = WriteVideoFrames(
        job.path, job.encoder, job.settings, width, height,
        [&](AviWriter& writer, AnimationOutcome& into) {
            created = true;
            WriteFrames(fractal, canvas, job, stop, progress, writer, into);
        });
    // A file of no frames at all, for a set that cannot be built, is no
    // video to keep.
    if (created && out.result == AnimationOutcome::kRefused && out.framesWritten == 0)
        std::remove(job.path.c_str());
    return out;
}
