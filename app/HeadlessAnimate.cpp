#include "app/HeadlessAnimate.h"
#include "app/HeadlessRender.h"
#include "document/CanvasImage.h"

#include <cstdio>
#include <functional>

#include "app/HeadlessOutputs.h"
#include "app/HeadlessWatch.h"
#include "app/HeadlessZoom.h"
#include "document/FileReplacement.h"

QString ParseAnimateOptions(const QString& frames, const QString& step, const QString& codec, const QString& fps,
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
    uint rate = AviWriter::kFramesPerSecond;
    if (!fps.isEmpty() && (!(rate = fps.toUInt(&ok)) || !ok || rate > 1000))
        return "malformed --fps \"" + fps + "\" (expected 1 to 1000 frames a second)";
    if (ContainerOfPath(output.toStdString()).empty())
        return "--animate needs --output FILE.avi (or .mp4, .webm, .mkv)";
    std::string error;
    if (!VideoForPath(output.toStdString(), codec.toStdString(), int(rate), job.encoder, job.settings, error))
        return QString::fromStdString(error);
    job.frameCount = count;
    job.stepAngle = angle;
    job.path = output.toStdString();
    return {};
}

namespace {

// The writer names the file it opened; the user knows the one they asked for.
std::string NameTheTarget(std::string text, const std::string& temporary, const std::string& target)
{
    for (size_t at = text.find(temporary); at != std::string::npos; at = text.find(temporary, at + target.size()))
        text.replace(at, temporary.size(), target);
    return text;
}

} // namespace

int WriteVideoInPlace(const std::string& path, const char* refusedWhat, HeadlessWatch& watch,
                      const std::function<AnimationOutcome(const std::string& into, std::stop_token stop)>& write)
{
    std::string error;
    FileReplacement file(path);
    if (!file.Create(error)) {
        std::fprintf(stderr, "quillion: %s\n", error.c_str());
        return 1;
    }
    std::stop_source stop;
    watch.SetStopAction([&] { stop.request_stop(); });
    const AnimationOutcome out = write(file.TemporaryPath(), stop.get_token());
    watch.SetStopAction({});

    if (watch.Stopped()) {
        file.Discard();
        std::fprintf(stderr, "quillion: %s; nothing was written\n", watch.Message().c_str());
        return watch.ExitCode();
    }
    const std::string why = NameTheTarget(out.error, file.TemporaryPath(), path);
    switch (out.result) {
    case AnimationOutcome::kDone:
        // A signal that comes now still keeps the old video.
        if (!file.Commit(error, watch.Gate())) {
            if (watch.Stopped()) {
                ReportStop(watch, {});
                return watch.ExitCode();
            }
            std::fprintf(stderr, "quillion: %s\n", error.c_str());
            return 1;
        }
        if (watch.Stopped()) {
            ReportStop(watch, {path});
            return watch.ExitCode();
        }
        return 0;
    case AnimationOutcome::kRefused: std::fprintf(stderr, "quillion: %s: %s\n", refusedWhat, why.c_str()); return 1;
    default:
        std::fprintf(stderr, "quillion: %s (%s)\n", kAnimationWriteError, why.empty() ? "stopped" : why.c_str());
        return 1;
    }
}

int RunHeadlessAnimation(CFractal& fractal, CCanvas& canvas, const AnimationJob& job, bool quiet, HeadlessWatch& watch)
{
    const std::string refusal = AnimationRefusal(fractal);
    if (!refusal.empty()) {
        std::fprintf(stderr, "quillion: cannot animate: %s\n", refusal.c_str());
        return 1;
    }
    return WriteVideoInPlace(job.path, "cannot animate", watch, [&](const std::string& path, std::stop_token stop) {
        AnimationJob into = job;
        into.path = path;
        return WriteAnimation(fractal, canvas, into, stop, [&](unsigned done, unsigned total) {
            if (!quiet)
                std::fprintf(stderr, "[%3.1f%%] Frame %u of %u written\n", 100.0 * done / total, done, total);
        });
    });
}

const HeadlessModule* LinkedModule()
{
    static const HeadlessModule module{&ParseAnimateOptions, &RunHeadlessAnimation, &SaveImageFile, &RunHeadlessVideo,
                                       &RunHeadlessAssemble};
    return &module;
}
