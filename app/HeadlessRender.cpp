#include "app/HeadlessRender.h"
#include "animation/WriteAnimation.h"
#include "app/CommandLine.h"
#include "app/HeadlessOutputs.h"
#include "app/HeadlessWatch.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "document/BuildSteps.h"
#include "document/DataFile.h"
#include "document/DocumentFiles.h"
#include "document/ImageFiles.h"
#include "document/MemoryStatus.h"
#include "document/PngExtras.h"
#include "document/ProgressText.h"
#include "imaging/Canvas.h"
#include "imaging/VectorState.h"
#include "model/FractalFactory.h"

namespace {

constexpr unsigned kMaxSide = 65536;

// Stands in for a window: a fixed client size and status lines on stderr.
class HeadlessView : public CanvasView {
public:
    HeadlessView(unsigned w, unsigned h, bool quiet) : m_width(w), m_height(h), m_quiet(quiet) {}
    void ClientSize(unsigned& w, unsigned& h) override
    {
        w = m_width;
        h = m_height;
    }
    void StatusChanged() override
    {
        if (!m_quiet && m_canvas)
            Print(m_canvas->Status());
    }
    void Print(const std::string& status)
    {
        std::lock_guard lock(m_printLock);
        const std::string line = m_fractal ? BuildStatusLine(*m_fractal, status) : status;
        std::fprintf(stderr, "%s\n", line.c_str());
    }

    // A computed-data file brings its own size.
    void SetSize(unsigned w, unsigned h)
    {
        m_width = w;
        m_height = h;
    }

    CCanvas* m_canvas = nullptr;
    CFractal* m_fractal = nullptr;

private:
    unsigned m_width, m_height;
    bool m_quiet;
    std::mutex m_printLock;
};

bool EndsWith(const QString& s, const char* tail) { return s.endsWith(QLatin1String(tail)); }

bool ParseNumber(const QString& text, int& out)
{
    bool ok = false;
    out = text.toInt(&ok);
    return ok;
}

bool ParseSize(const QString& text, unsigned& w, unsigned& h)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return false;
    bool okW = false, okH = false;
    const uint pw = parts[0].toUInt(&okW), ph = parts[1].toUInt(&okH);
    if (!okW || !okH || pw == 0 || ph == 0 || pw > kMaxSide || ph > kMaxSide)
        return false;
    w = pw;
    h = ph;
    return true;
}

// A positive, finite number of seconds.
bool ParseTimeout(const QString& text, double& seconds)
{
    bool ok = false;
    seconds = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(seconds) && seconds > 0;
}

// Runs the build on a worker, as the window would, and reports progress
// every 250 ms until it ends. The watch stops it through the fractal's
// m_stop, and keeps a stopped build from being drawn.
BuildOutcome BuildWithProgress(CFractal& fractal, CCanvas& canvas, HeadlessView& view, bool quiet, HeadlessWatch& watch,
                               const std::function<BuildOutcome()>& build = {})
{
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    BuildOutcome outcome;
    std::thread worker([&] {
        // Inherited from the main thread, dirty from parsing the options.
        CleanUpperVectorState();
        outcome = build ? build() : RunBuildSteps(fractal, canvas, kCmdRebuild, [&] { return watch.Stopped(); });
        std::lock_guard guard(lock);
        done = true;
        ended.notify_all();
    });
    std::unique_lock guard(lock);
    double shown = -1;
    int64_t shownRows = -1;
    while (!ended.wait_for(guard, std::chrono::milliseconds(250), [&] { return done; })) {
        const double p = fractal.m_progress;
        const PassReading pass = fractal.m_passProgress.Read();
        if (quiet)
            continue;
        if (pass.running ? pass.done != shownRows : p >= 0 && p != shown) {
            shown = p;
            shownRows = pass.done;
            view.Print(canvas.Status());
        }
    }
    guard.unlock();
    worker.join();
    return outcome;
}

// A PNG needs Qt's image classes, which only the module brings; Run asks
// for it before building when the image is one.
bool WriteImage(const HeadlessModule* module, const QString& image, const CCanvas& canvas, std::string& error,
                const ReplaceGate& gate, const PngExtras& extras)
{
    if (module)
        return module->saveImage(image.toStdString(), canvas, error, gate, extras);
    return SaveBitmapFile(image.toStdString(), canvas, error, gate);
}

int Run(int argc, char** argv, const HeadlessModule* module)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Builds a fractal without a display.");
    parser.addPositionalArgument("FILE", "A .frc document or .fdt computed-data file.", "[FILE]");
    const QCommandLineOption render("render", "Render without a display.");
    const QCommandLineOption type("type", "A new document of type code N.", "N");
    const QCommandLineOption sample("sample", "A new document holding sample N.", "N");
    const QCommandLineOption size("size", "Target size (default 640x480).", "WxH");
    const QCommandLineOption output("output", "Write the image (.bmp or .png).", "IMAGE");
    const QCommandLineOption save("save", "Write the document file.", "DOC.frc");
    const QCommandLineOption data("data", "Write the computed-data file.", "DATA.fdt");
    const QCommandLineOption quiet("quiet", "No status or progress on stderr.");
    const QCommandLineOption animate("animate", "Write FRAMES turning frames (.avi output).", "FRAMES");
    const QCommandLineOption step("step", "Degrees turned per frame (default 18).", "DEGREES");
    const QCommandLineOption codec("codec", "The video encoder (default rawvideo).", "NAME");
    const QCommandLineOption timeout("timeout", "Give up after SECONDS.", "SECONDS");
    const QCommandLineOption png16("png16", "A .png image with 16 bits per channel.");
    const QCommandLineOption supersample("supersample", "N x N samples per pixel (1 to 8).", "N");
    const QCommandLineOption adaptive("adaptive", "Samples only at edges.");
    const QCommandLineOption zoomVideo("zoom-video", "A zoom of SECONDS to the document's view.", "SECONDS");
    const QCommandLineOption from("from", "The zoom's start view.", "START.frc");
    const QCommandLineOption fps("fps", "Frames a second.", "N");
    const QCommandLineOption exact("exact", "Render every frame of the zoom.");
    const QCommandLineOption frames("frames", "Only frames (or keyframes) A to B, as PNG files.", "A-B");
    const QCommandLineOption printFrames("print-frames", "Print the count --frames takes.");
    const QCommandLineOption minibrot("nearest-minibrot", "Move the view to the nearest minibrot first.");
    const QCommandLineOption assemble("assemble", "Join a folder of frames into the video.", "DIR");
    parser.addOptions({render, type, sample, size, output, save, data, quiet, animate, step, codec, timeout, png16,
                       supersample, adaptive, zoomVideo, from, fps, exact, frames, printFrames, assemble, minibrot});
    const QCommandLineOption help(QStringList{"h", "help", "?"}, "The whole usage.");
    const QCommandLineOption version(QStringList{"v", "version"}, "The version.");
    parser.addOptions({help, version});

    auto usage = [](const QString& message) {
        std::fprintf(stderr, "quillion: %s\n", qPrintable(message));
        return 2;
    };
    auto fail = [](const std::string& message) {
        std::fprintf(stderr, "quillion: %s\n", message.c_str());
        return 1;
    };

    if (!parser.parse(app.arguments()))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(UsageText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::fputs(qPrintable(VersionText()), stdout);
        return 0;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return usage("only one FILE may be given");
    if (parser.isSet(type) && parser.isSet(sample))
        return usage("--type and --sample exclude each other");
    if (!files.isEmpty() && (parser.isSet(type) || parser.isSet(sample)))
        return usage("a FILE excludes --type and --sample");

    unsigned width = 640, height = 480;
    if (parser.isSet(size) && !ParseSize(parser.value(size), width, height))
        return usage("malformed --size \"" + parser.value(size) + "\" (expected WxH, 1 to 65536 each)");
    double seconds = 0;
    if (parser.isSet(timeout) && !ParseTimeout(parser.value(timeout), seconds))
        return usage("malformed --timeout \"" + parser.value(timeout) + "\" (expected a number of seconds above 0)");
    AntiAliasing aa;
    if (parser.isSet(supersample) &&
        (!ParseNumber(parser.value(supersample), aa.samples) || aa.samples < 1 || aa.samples > kMaxSamples))
        return usage("malformed --supersample \"" + parser.value(supersample) + "\" (expected 1 to 8)");
    if (parser.isSet(adaptive)) {
        aa.adaptive = true;
        if (!parser.isSet(supersample))
            aa.samples = 3;
        if (aa.samples < 2)
            return usage("--adaptive needs at least 2 samples a side");
    }
    const bool sampled = aa.samples > 1;
    const bool zooming = parser.isSet(zoomVideo);
    const bool isQuiet = parser.isSet(quiet);
    const QString image = parser.value(output);
    const bool animating = parser.isSet(animate);
    if (parser.isSet(assemble)) {
        for (const QCommandLineOption* o : {&type, &sample, &animate, &zoomVideo, &from, &exact, &frames, &printFrames,
                                            &save, &data, &png16, &supersample, &adaptive, &step, &size})
            if (parser.isSet(*o))
                return usage("--assemble takes only --output, --fps, --codec, --timeout and --quiet");
        if (!files.isEmpty())
            return usage("--assemble DIR takes no FILE");
        if (image.isEmpty())
            return usage("--assemble needs --output VIDEO");
        if (!module)
            return kNeedsModule;
        HeadlessWatch watch(seconds);
        return module->assemble(parser.value(assemble), image, parser.value(fps), parser.value(codec), isQuiet, watch);
    }
    if (zooming && animating)
        return usage("--zoom-video and --animate exclude each other");
    if (!zooming && (parser.isSet(from) || parser.isSet(exact)))
        return usage("--from and --exact need --zoom-video");
    if (!zooming && !animating && (parser.isSet(frames) || parser.isSet(printFrames) || parser.isSet(fps)))
        return usage("--frames, --print-frames and --fps need --zoom-video or --animate");
    if (zooming && (parser.isSet(step) || parser.isSet(data) || parser.isSet(save) || parser.isSet(png16)))
        return usage("--zoom-video excludes --step, --data, --save and --png16");
    if (parser.isSet(frames) && parser.isSet(codec))
        return usage("--frames writes PNG files: give --codec to --assemble");
    // Frames, a count or a zoom: a request of the module's video part.
    const bool video = zooming || (animating && (parser.isSet(frames) || parser.isSet(printFrames)));
    if (sampled && ((animating && !video) || parser.isSet(data)))
        return usage("--supersample and --adaptive make an image: they exclude --animate and --data");
    if ((animating || zooming || EndsWith(image, ".png")) && !module)
        return kNeedsModule;
    if (!parser.isSet(printFrames) && (zooming || video) && image.isEmpty())
        return usage("--zoom-video and --frames need --output (a video, or DIR/frame-%05d.png with --frames)");
    AnimationJob job;
    if (animating && !video) {
        const QString bad = module->parse(parser.value(animate), parser.value(step), parser.value(codec),
                                          parser.value(fps), image, job);
        if (!bad.isEmpty())
            return usage(bad);
    } else if (!animating && (parser.isSet(step) || (parser.isSet(codec) && !zooming))) {
        return usage("--step and --codec need --animate");
    } else if (!video && !image.isEmpty() && !EndsWith(image, ".bmp") && !EndsWith(image, ".png")) {
        return usage("--output must end in .bmp or .png");
    }
    if (parser.isSet(png16) && (animating || !EndsWith(image, ".png")))
        return usage("--png16 needs an --output image ending in .png");
    VideoRequest request;
    if (video) {
        request.zoomSeconds = parser.value(zoomVideo);
        request.turnFrames = parser.value(animate);
        request.step = parser.value(step);
        request.from = parser.value(from);
        request.fps = parser.value(fps);
        request.frames = parser.value(frames);
        request.output = image;
        request.codec = parser.value(codec);
        request.exact = parser.isSet(exact);
        request.printFrames = parser.isSet(printFrames);
        request.quiet = isQuiet;
        request.width = width;
        request.height = height;
        request.aa = aa;
    }

    const bool dataInput = !files.isEmpty() && EndsWith(files[0], ".fdt");
    if (parser.isSet(minibrot) && (animating || zooming || dataInput || !parser.isSet(save)))
        return usage("--nearest-minibrot moves a Mandelbrot view: it needs --save and excludes --animate, "
                     "--zoom-video and computed data");
    if (dataInput && (animating || zooming))
        return usage(QString(zooming ? "--zoom-video" : "--animate") +
                     " builds the set frame by frame: it takes a .frc document or a sample, not computed data");
    // A folder that is missing or cannot be written is said before the
    // work, not after it; the writes at the end still decide.
    for (const QString& out : {video ? QString() : image, parser.value(data), parser.value(save)}) {
        std::string error;
        if (!out.isEmpty() && !CanReplace(out.toStdString(), error))
            return fail(error);
    }

    std::unique_ptr<CFractal> fractal;
    // From here on SIGINT, SIGTERM and the time limit stop the work instead
    // of killing it half way through a file; what is stopped writes nothing.
    HeadlessWatch watch(seconds);
    auto abandon = [&] {
        ReportStop(watch, {});
        return watch.ExitCode();
    };
    // The files asked for, written once the image is there.
    // A PNG keeps the document it was made from.
    auto pngExtras = [&](int fractalType) {
        PngExtras extras;
        if (EndsWith(image, ".png"))
            extras.document = DocumentFileText(fractalType, *fractal);
        extras.sixteenBits = parser.isSet(png16);
        return extras;
    };
    auto writeFiles = [&](const CCanvas& canvas, int fractalType) {
        std::vector<OutputFile> outputs;
        if (!animating && !image.isEmpty())
            outputs.push_back({image.toStdString(), [&, fractalType](const ReplaceGate& gate, std::string& error) {
                                   return WriteImage(module, image, canvas, error, gate, pngExtras(fractalType));
                               }});
        if (parser.isSet(data))
            outputs.push_back({parser.value(data).toStdString(), [&](const ReplaceGate& gate, std::string& error) {
                                   return SaveDataFile(parser.value(data).toStdString(), *fractal, error, gate);
                               }});
        if (parser.isSet(save))
            outputs.push_back(
                {parser.value(save).toStdString(), [&, fractalType](const ReplaceGate& gate, std::string& error) {
                     return SaveDocumentFile(parser.value(save).toStdString(), fractalType, *fractal, error, gate);
                 }});
        return WriteOutputFiles(outputs, watch);
    };
    int fractalType = kTypeMandelbrot;
    std::string kindName;
    if (!files.isEmpty()) {
        const std::string path = files[0].toStdString();
        if (dataInput) {
            // Opening computed data renders it; nothing is built.
            fractal = CreateFractalOfType(kTypeSelfAffine);
            CCanvas canvas;
            HeadlessView view(width, height, isQuiet);
            view.m_canvas = &canvas;
            canvas.m_view = &view;
            std::string error;
            const bool ok = OpenDataFile(
                path, *fractal, canvas, [&](unsigned w, unsigned h) { view.SetSize(w, h); }, error);
            canvas.m_view = nullptr;
            if (watch.Stopped())
                return abandon();
            if (!ok)
                return fail(error);
            if (parser.isSet(size) && (canvas.m_bufferWidth != width || canvas.m_bufferHeight != height))
                std::fprintf(stderr, "quillion: --size %ux%u is not used: the image is the %ux%u grid of \"%s\"\n",
                             width, height, canvas.m_bufferWidth, canvas.m_bufferHeight, path.c_str());
            return writeFiles(canvas, kTypeSelfAffine);
        }
        if (!EndsWith(files[0], ".frc"))
            return fail("cannot open \"" + path + "\": not a .frc or .fdt file");
        LoadedDocument doc;
        std::string error;
        if (!OpenDocumentFile(path, doc, error))
            return fail(error);
        if (doc.truncated && !isQuiet)
            std::fprintf(stderr, "quillion: \"%s\" ended early; the missing rows keep their defaults\n", path.c_str());
        // A value the file did not give as it stands changes the picture:
        // said even when quiet.
        for (const std::string& note : doc.notes)
            std::fprintf(stderr, "quillion: \"%s\": row %s\n", path.c_str(), note.c_str());
        fractal = std::move(doc.fractal);
        fractalType = doc.fractalType;
    } else if (parser.isSet(sample)) {
        int n = 0;
        if (!ParseNumber(parser.value(sample), n))
            return usage("malformed --sample \"" + parser.value(sample) + "\"");
        fractal = CreateSample(n);
        if (!fractal)
            return fail("sample " + std::to_string(n) + " is not available in this version");
        // A sample keeps the document type the document had.
    } else if (parser.isSet(type)) {
        int n = 0;
        if (!ParseNumber(parser.value(type), n))
            return usage("malformed --type \"" + parser.value(type) + "\"");
        // 4 builds the Appolony set too; the file must then name that type,
        // or it reopens as another kind reading these rows.
        const FractalKind& kind = KindOfType(NewDocumentType(n));
        fractalType = kind.type;
        fractal = kind.make();
        if (!fractal)
            return fail(std::string("the ") + kind.name + " is not available in this version");
    } else {
        fractal = CreateFractalOfType(kTypeMandelbrot);
    }

    if (parser.isSet(data) && !AbilitiesOf(*fractal).computedData)
        return fail("cannot write \"" + parser.value(data).toStdString() +
                    "\": computed data exists only for self-affine sets");
    if (parser.isSet(minibrot)) {
        if (!fractal->FindsMinibrots())
            return fail("--nearest-minibrot needs a Mandelbrot set: a Julia set or another kind has no minibrots");
        watch.SetStopAction([f = fractal.get()] { f->m_stop = true; });
        const std::string failure = fractal->ZoomToNearestMinibrot(&fractal->m_stop);
        watch.SetStopAction({});
        if (watch.Stopped())
            return abandon();
        if (!failure.empty())
            return fail(failure);
    }

    if (video)
        return module->video(*fractal, fractalType, request, watch);

    CCanvas canvas;
    HeadlessView view(width, height, isQuiet);
    view.m_canvas = &canvas;
    view.m_fractal = fractal.get();
    canvas.m_view = &view;
    canvas.MeasureView();

    // A sampled image, or one whose cells would not fit in a band, is built
    // and written band by band; the file is put in place with the others.
    const bool banded =
        !image.isEmpty() && !animating && !parser.isSet(data) &&
        (sampled || (CellMemoryNeed(width, height) > kBandCellBytes && fractal->BuildsInBands(width, height)));
    if (banded) {
        // The document goes in ahead of the pixels, as it is before the
        // build: what a build chooses for itself it chooses again.
        const std::unique_ptr<ImageFileSink> sink = MakeImageFileSink(image.toStdString(), pngExtras(fractalType));
        fractal->m_restart = true;
        watch.SetStopAction([f = fractal.get()] { f->m_stop = true; });
        canvas.SetStatus("Building...");
        const OffscreenJob job{width, height, aa};
        const BuildOutcome built = BuildWithProgress(*fractal, canvas, view, isQuiet, watch, [&] {
            return RenderOffscreen(*fractal, job, *sink, QueryMemoryStatus());
        });
        watch.SetStopAction({});
        canvas.m_view = nullptr;
        if (watch.Stopped() || built.result == BuildOutcome::kStopped)
            return abandon();
        if (built.result != BuildOutcome::kDrawn)
            return fail(built.refusal);
        if (!isQuiet)
            view.Print("Ready");
        fractal->AdoptBuildChoices();
        std::vector<OutputFile> outputs{{image.toStdString(), [&](const ReplaceGate& gate, std::string& error) {
                                             return sink->Commit(error, gate);
                                         }}};
        if (parser.isSet(save))
            outputs.push_back({parser.value(save).toStdString(), [&](const ReplaceGate& gate, std::string& error) {
                                   return SaveDocumentFile(parser.value(save).toStdString(), fractalType, *fractal,
                                                           error, gate);
                               }});
        return WriteOutputFiles(outputs, watch);
    }

    // No one is there to answer the memory question: what would need it is
    // refused, as is what cannot be had at all.
    const uint64_t need = fractal->MemoryNeed(canvas.m_targetWidth, canvas.m_targetHeight);
    const MemoryStatus memory = QueryMemoryStatus();
    if (JudgeMemory(need, memory) != MemoryVerdict::kFits) {
        canvas.m_view = nullptr;
        return fail(MemoryShortage(width, height, need, memory));
    }

    if (watch.Stopped()) {
        canvas.m_view = nullptr;
        return abandon();
    }
    if (animating) {
        const int code = module->run(*fractal, canvas, job, isQuiet, watch);
        if (code != 0) {
            canvas.m_view = nullptr;
            return code;
        }
    } else {
        fractal->m_restart = true;
        watch.SetStopAction([f = fractal.get()] { f->m_stop = true; });
        const BuildOutcome built = BuildWithProgress(*fractal, canvas, view, isQuiet, watch);
        watch.SetStopAction({});
        if (watch.Stopped()) {
            canvas.m_view = nullptr;
            return abandon();
        }
        // A refused build has no image, and its document or data would
        // describe one that is not there: nothing is written.
        if (built.result != BuildOutcome::kDrawn) {
            canvas.m_view = nullptr;
            return fail(built.result == BuildOutcome::kRefused ? built.refusal : "the build did not end");
        }
        // A saved document builds this image again: it keeps the count a
        // deep view chose.
        fractal->AdoptBuildChoices();
    }

    // Each file is whole or not there: a stop that comes between them ends
    // the run before the next one.
    canvas.m_view = nullptr;
    return writeFiles(canvas, fractalType);
}

} // namespace

bool WantsHeadlessRender(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--render") == 0 || std::strcmp(argv[i], "--assemble") == 0 ||
            std::strncmp(argv[i], "--assemble=", 11) == 0)
            return true;
    return false;
}

int RunHeadlessRender(int argc, char** argv, const HeadlessModule* module)
{
    // Whatever a build does not catch itself (opening computed data of a
    // size that cannot be had) is still one line and a failure.
    try {
        return Run(argc, argv, module);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "quillion: not enough memory\n");
        return 1;
    }
}
