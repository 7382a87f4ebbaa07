#include "app/HeadlessZoom.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "animation/WriteZoomVideo.h"
#include "app/HeadlessAnimate.h"
#include "app/HeadlessWatch.h"
#include "document/DocumentFiles.h"
#include "document/ProgressText.h"
#include "imaging/Canvas.h"
#include "imaging/VectorState.h"
#include "model/Fractal.h"
#include "model/FractalKinds.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kTurnHead = "Quillion turn plan 1";

int Usage(const std::string& message)
{
    std::fprintf(stderr, "quillion: %s\n", message.c_str());
    return 2;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "quillion: %s\n", message.c_str());
    return 1;
}

// What a folder of frames stands for: a zoom's plan, or a turning
// animation's frames, and the frames' file names.
struct FramesPlan {
    bool zoom = true;
    ZoomPlan plan;
    unsigned turnFrames = 0, fps = 0, width = 0, height = 0;
    std::string files; // the name pattern, without the folder

    unsigned Units() const { return zoom ? plan.Units() : turnFrames; }
    bool Keyframes() const { return zoom && !plan.Settings().exact; }
    std::string Text() const
    {
        std::ostringstream out;
        if (zoom)
            out << plan.Text();
        else
            out << kTurnHead << "\nframes=" << turnFrames << "\nfps=" << fps << "\nsize=" << width << "x" << height
                << "\n";
        out << "files=" << files << "\n";
        return out.str();
    }
    // The frames as a plan of one view, which EncodeZoom takes.
    ZoomPlan EncodedPlan() const
    {
        if (zoom)
            return plan;
        ZoomSettings s;
        s.frames = turnFrames;
        s.fps = fps;
        s.width = width;
        s.height = height;
        s.exact = true;
        ZoomPlan p;
        std::string ignored;
        ZoomPlan::Make(s, p, ignored);
        return p;
    }
};

bool ReadPlan(const std::string& text, FramesPlan& plan, std::string& error)
{
    const size_t last = text.rfind("\nfiles=");
    if (last == std::string::npos || text.back() != '\n')
        return (error = "it names no frame files"), false;
    plan.files = text.substr(last + 7, text.size() - last - 8);
    if (!CheckFramePattern(plan.files, error) || plan.files.find('/') != std::string::npos)
        return (error = "its frame files are not named by a pattern"), false;
    const std::string head = text.substr(0, last + 1);
    if (head.rfind(kTurnHead, 0) != 0) {
        plan.zoom = true;
        return ZoomPlan::Read(head, plan.plan, error);
    }
    plan.zoom = false;
    char tail = 0;
    const int n = std::sscanf(head.c_str() + std::strlen(kTurnHead), "\nframes=%u\nfps=%u\nsize=%ux%u\n%c",
                              &plan.turnFrames, &plan.fps, &plan.width, &plan.height, &tail);
    if (n != 4 || plan.turnFrames < kMinFrameCount || plan.turnFrames > kMaxFrameCount || plan.fps < 1 ||
        plan.fps > 1000 || plan.width < 1 || plan.height < 1 || plan.width > 16384 || plan.height > 16384)
        return (error = "its lines are not those of a plan"), false;
    return true;
}

bool ReadSmallFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream out;
    out << in.rdbuf();
    text = out.str();
    return text.size() < 65536;
}

// "A-B" or "A", from 0; a B past the last unit is the last, so a script
// may split a count into equal ranges.
bool ParseRange(const QString& text, unsigned units, unsigned& first, unsigned& last, std::string& error)
{
    const QStringList parts = text.split(QLatin1Char('-'));
    bool okA = false, okB = true;
    if (parts.size() < 1 || parts.size() > 2)
        okA = false;
    else {
        first = parts[0].toUInt(&okA);
        last = parts.size() == 2 ? parts[1].toUInt(&okB) : first;
    }
    if (!okA || !okB || last < first) {
        error = "malformed --frames \"" + text.toStdString() + "\" (expected A-B, from 0, A at most B)";
        return false;
    }
    if (first >= units) {
        error = "--frames " + text.toStdString() + " begins past the last of the " + std::to_string(units) + " (0 to " +
                std::to_string(units - 1) + ")";
        return false;
    }
    last = std::min(last, units - 1);
    return true;
}

// Puts the plan beside the frames, or finds it there already.
bool PlacePlan(const fs::path& dir, const FramesPlan& plan, std::string& error)
{
    const std::string path = (dir / kPlanFileName).string();
    const std::string text = plan.Text();
    std::string there;
    if (fs::exists(path)) {
        if (ReadSmallFile(path, there) && there == text)
            return true;
        error = "\"" + dir.string() + "\" holds the frames of another video (its " + kPlanFileName +
                " differs): give another folder, or empty this one";
        return false;
    }
    return WriteFileAtomically(path, text, error);
}

// "Frame 3 of 10, about 1 min left" as each starts, unless quiet.
class FrameStatus {
public:
    FrameStatus(bool quiet, const char* unit) : m_quiet(quiet), m_unit(unit) {}
    void Begin(unsigned n, unsigned of, const std::string& what = {})
    {
        if (m_quiet)
            return;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::string line = FrameStatusText(n, of, seconds, 0);
        line.replace(0, 5, m_unit);
        if (!what.empty())
            line += ": " + what;
        std::fprintf(stderr, "%s\n", line.c_str());
    }

private:
    bool m_quiet;
    const char* m_unit;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// Renders the units of [first, last] not yet in the folder.
int RenderRange(CFractal& fractal, int fractalType, const FramesPlan& plan, const std::string& pattern, unsigned first,
                unsigned last, unsigned step, const VideoRequest& r, HeadlessWatch& watch)
{
    std::vector<unsigned> todo;
    for (unsigned i = first; i <= last; ++i)
        if (!IsCompletePng(FormatFramePattern(pattern, i)))
            todo.push_back(i);
    const unsigned there = last - first + 1 - unsigned(todo.size());
    const char* unit = plan.Keyframes() ? "Keyframe" : "Frame";
    if (!r.quiet && there > 0)
        std::fprintf(stderr, "quillion: %u of the %u %ss asked for are there already\n", there, last - first + 1,
                     plan.Keyframes() ? "keyframe" : "frame");
    const ZoomSource source{fractalType, DocumentFileText(fractalType, fractal)};
    const MemoryStatus memory = QueryMemoryStatus();
    std::stop_source stop;
    watch.SetStopAction([&] { stop.request_stop(); });
    FrameStatus status(r.quiet, unit);
    unsigned written = 0;
    BuildOutcome out{BuildOutcome::kDrawn, {}};
    for (size_t n = 0; n < todo.size() && out.result == BuildOutcome::kDrawn && !watch.Stopped(); ++n) {
        const unsigned i = todo[n];
        const std::string path = FormatFramePattern(pattern, i);
        status.Begin(unsigned(n + 1), unsigned(todo.size()), fs::path(path).filename().string());
        if (plan.zoom) {
            out = RenderZoomUnitFile(source, plan.plan, i, path, stop.get_token(), memory, watch.Gate());
        } else {
            std::string error;
            LoadedDocument doc;
            if (!ReadDocumentText(source.document, "the document", doc, error) || !doc.fractal)
                return Fail(error);
            // The turns the animation makes before frame i, one by one,
            // so the angle is the one it reaches.
            for (unsigned t = 0; t < i; ++t)
                doc.fractal->TurnBy(double(step));
            const OffscreenJob job{plan.width, plan.height, r.aa};
            out = RenderDocumentFile(fractalType, *doc.fractal, job, path, stop.get_token(), memory, watch.Gate());
        }
        written += out.result == BuildOutcome::kDrawn;
    }
    watch.SetStopAction({});
    if (watch.Stopped() || out.result == BuildOutcome::kStopped) {
        std::fprintf(stderr, "quillion: %s; %u of the %zu %ss to render were written, a rerun renders the rest\n",
                     watch.Message().c_str(), written, todo.size(), plan.Keyframes() ? "keyframe" : "frame");
        return watch.Stopped() ? watch.ExitCode() : 1;
    }
    if (out.result != BuildOutcome::kDrawn)
        return Fail(out.refusal);
    return 0;
}

bool ParseFps(const QString& text, unsigned fallback, unsigned& fps, std::string& error)
{
    bool ok = true;
    fps = text.isEmpty() ? fallback : text.toUInt(&ok);
    if (!ok || fps < 1 || fps > 1000)
        return (error = "malformed --fps \"" + text.toStdString() + "\" (expected 1 to 1000 frames a second)"), false;
    return true;
}

// The zoom's plan from the options; 0 when made, else the exit code.
int MakeZoomPlan(CFractal& fractal, const VideoRequest& r, ZoomPlan& plan)
{
    if (const std::string why = ZoomRefusal(fractal); !why.empty())
        return Fail("cannot zoom: " + why);
    bool ok = false;
    const double seconds = r.zoomSeconds.trimmed().toDouble(&ok);
    std::string error;
    if (!ok || !std::isfinite(seconds) || seconds <= 0)
        return Usage("malformed --zoom-video \"" + r.zoomSeconds.toStdString() + "\" (expected seconds above 0)");
    ZoomSettings s;
    if (!ParseFps(r.fps, 30, s.fps, error))
        return Usage(error);
    const double frames = std::round(seconds * s.fps);
    if (frames < 2 || frames > kMaxZoomFrames)
        return Usage("--zoom-video " + r.zoomSeconds.toStdString() + " at " + std::to_string(s.fps) +
                     " frames a second is not 2 to " + std::to_string(kMaxZoomFrames) + " frames");
    s.frames = unsigned(frames);
    s.width = r.width;
    s.height = r.height;
    s.exact = r.exact;
    s.aa = r.aa;
    s.deepViews = AbilitiesOf(fractal).deepViews;
    s.end = ZoomPlaceOf(fractal);
    if (!r.from.isEmpty()) {
        LoadedDocument start;
        if (!OpenDocumentFile(r.from.toStdString(), start, error))
            return Fail(error);
        if (!start.fractal || KindOf(*start.fractal).code != KindOf(fractal).code)
            return Fail("--from \"" + r.from.toStdString() + "\" is not a document of the " + KindOf(fractal).name);
        s.start = ZoomPlaceOf(*start.fractal);
    } else {
        s.start = ZoomOverviewOf(fractal);
    }
    if (!ZoomPlan::Make(s, plan, error))
        return Fail("cannot zoom: " + error);
    return 0;
}

} // namespace

int RunHeadlessVideo(CFractal& fractal, int fractalType, const VideoRequest& r, HeadlessWatch& watch)
{
    CleanUpperVectorState();
    FramesPlan plan;
    std::string error;
    unsigned step = 18;
    plan.zoom = !r.zoomSeconds.isEmpty();
    if (plan.zoom) {
        if (const int code = MakeZoomPlan(fractal, r, plan.plan); code != 0)
            return code;
    } else {
        AnimationJob job;
        const QString bad = ParseAnimateOptions(r.turnFrames, r.step, r.codec, r.fps,
                                                r.frames.isEmpty() ? r.output : QStringLiteral("turn.avi"), job);
        if (!bad.isEmpty())
            return Usage(bad.toStdString());
        if (const std::string why = AnimationRefusal(fractal); !why.empty())
            return Fail("cannot animate: " + why);
        plan.turnFrames = job.frameCount;
        plan.fps = unsigned(job.settings.framesPerSecond);
        plan.width = r.width;
        plan.height = r.height;
        step = job.stepAngle;
    }
    if (r.printFrames) {
        std::printf("%u\n", plan.Units());
        return 0;
    }
    const std::string output = r.output.toStdString();
    if (!r.frames.isEmpty()) {
        if (!CheckFramePattern(output, error))
            return Usage(error);
        if (!output.ends_with(".png"))
            return Usage("--frames writes PNG files: --output DIR/frame-%05d.png");
        unsigned first = 0, last = 0;
        if (!ParseRange(r.frames, plan.Units(), first, last, error))
            return Usage(error);
        const fs::path dir = fs::path(output).parent_path().empty() ? fs::path(".") : fs::path(output).parent_path();
        plan.files = fs::path(output).filename().string();
        // Many tasks of a job array may start at once: each makes the
        // folder or finds it made.
        std::error_code made;
        fs::create_directories(dir, made);
        if (!CanReplace(FormatFramePattern(output, first), error) || !PlacePlan(dir, plan, error))
            return Fail(error);
        return RenderRange(fractal, fractalType, plan, output, first, last, step, r, watch);
    }
    // A whole zoom into one video.
    ZoomJob job;
    job.plan = plan.plan;
    if (!VideoForPath(output, r.codec.toStdString(), int(plan.plan.Settings().fps), job.encoder, job.settings, error))
        return Usage("--zoom-video: " + error);
    if (!CanReplace(output, error))
        return Fail(error);
    FrameStatus status(r.quiet, "Frame");
    return WriteVideoInPlace(output, "cannot zoom", watch, [&](const std::string& into, std::stop_token stop) {
        job.path = into;
        return WriteZoomVideo(fractal, fractalType, job, stop,
                              [&](unsigned frame, unsigned frames) { status.Begin(frame, frames); });
    });
}

int RunHeadlessAssemble(const QString& dirText, const QString& outputText, const QString& fpsText, const QString& codec,
                        bool quiet, HeadlessWatch& watch)
{
    CleanUpperVectorState();
    const fs::path dir = dirText.toStdString();
    const std::string output = outputText.toStdString();
    std::string text, error;
    FramesPlan plan;
    if (!ReadSmallFile((dir / kPlanFileName).string(), text))
        return Fail("\"" + dir.string() + "\" holds no " + kPlanFileName + ": it is not a folder of frames");
    if (!ReadPlan(text, plan, error))
        return Fail("cannot read \"" + (dir / kPlanFileName).string() + "\": " + error);
    ZoomJob job;
    job.plan = plan.EncodedPlan();
    unsigned fps = 0;
    if (!ParseFps(fpsText, job.plan.Settings().fps, fps, error))
        return Usage(error);
    if (!VideoForPath(output, codec.toStdString(), int(fps), job.encoder, job.settings, error))
        return Usage("--assemble: " + error);
    const std::string pattern = (dir / plan.files).string();
    std::vector<std::string> missing;
    for (unsigned i = 0; i < plan.Units(); ++i)
        if (!IsCompletePng(FormatFramePattern(pattern, i)))
            missing.push_back(fs::path(FormatFramePattern(pattern, i)).filename().string());
    if (!missing.empty()) {
        std::string names;
        for (size_t n = 0; n < missing.size() && n < 5; ++n)
            names += (n ? ", " : "") + missing[n];
        if (missing.size() > 5)
            names += " and " + std::to_string(missing.size() - 5) + " more";
        return Fail("\"" + dir.string() + "\" lacks " + std::to_string(missing.size()) + " of its " +
                    std::to_string(plan.Units()) + " files (" + names + "): render them with --frames first");
    }
    if (!CanReplace(output, error))
        return Fail(error);
    FrameStatus status(quiet, "Frame");
    const ZoomPlan& units = job.plan;
    return WriteVideoInPlace(output, "cannot assemble", watch, [&](const std::string& into, std::stop_token stop) {
        job.path = into;
        return EncodeZoom(
            job,
            [&](unsigned i, CCanvas& canvas) -> BuildOutcome {
                const std::string path = FormatFramePattern(pattern, i);
                std::string why;
                if (!ReadPngImage(path, canvas, why))
                    return {BuildOutcome::kRefused, why};
                const unsigned w = units.UnitWidth(), h = units.UnitHeight();
                if (canvas.m_bufferWidth != w || canvas.m_bufferHeight != h)
                    return {BuildOutcome::kRefused, "\"" + path + "\" is not " + std::to_string(w) + "x" +
                                                        std::to_string(h) + " as the plan says"};
                return {BuildOutcome::kDrawn, {}};
            },
            stop, [&](unsigned frame, unsigned frames) { status.Begin(frame, frames); });
    });
}
