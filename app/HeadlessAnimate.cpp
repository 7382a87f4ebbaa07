#include "app/HeadlessAnimate.h"

#include <cstdio>

QString ParseAnimateOptions(const QString& frames, const QString& step, const QString& codec,
                            const QString& output, AnimationJob& job)
{
    bool ok = false;
    const uint count = frames.toUInt(&ok);
    if (!ok || count < kMinFrameCount || count > kMaxFrameCount)
        return "malformed --animate \"" + frames + "\" (expected 1 to 10000 frames)";
    uint angle = 18;
    if (!step.isEmpty()) {
        angle = step.toUInt(&ok);
        if (!ok || angle < kMinStepAngle || angle > kMaxStepAngle)
            return "malformed --step \"" + step + "\" (expected 1 to 360 degrees)";
    }
    if (!output.endsWith(QLatin1String(".avi")))
        return "--animate needs --output FILE.avi";
    std::string error;
    if (!FindVideoEncoder(codec.isEmpty() ? "rawvideo" : codec.toStdString(), job.encoder, error))
        return QString::fromStdString(error);
    job.frameCount = count;
    job.stepAngle = angle;
    job.path = output.toStdString();
    return {};
}

int RunHeadlessAnimation(CFractal& fractal, CCanvas& canvas, const AnimationJob& job, bool quiet)
{
    const std::string refusal = AnimationRefusal(fractal);
    if (!refusal.empty()) {
        std::fprintf(stderr, "quillion: cannot animate: %s\n", refusal.c_str());
        return 1;
    }
    std::atomic<bool> stop{false};
    const AnimationOutcome out = WriteAnimation(fractal, canvas, job, stop, [&](unsigned done, unsigned total) {
        if (!quiet)
            std::fprintf(stderr, "[%3.1f%%] Frame %u of %u written\n", 100.0 * done / total, done, total);
    });
    switch (out.result) {
    case AnimationOutcome::kDone:
        return 0;
    case AnimationOutcome::kRefused:
        std::fprintf(stderr, "quillion: cannot animate: %s\n", out.error.c_str());
        return 1;
    default:
        std::fprintf(stderr, "quillion: %s (%s)\n", kAnimationWriteError,
                     out.error.empty() ? "stopped" : out.error.c_str());
        return 1;
    }
}
