#pragma once
// `quillion --render ...`: builds one document without a display and
// writes its image, document file or computed data.

#include <QString>

#include <string>

#include "document/BuildSteps.h"
#include "document/FileReplacement.h"
#include "document/PngExtras.h"

struct AnimationJob;
class CCanvas;
class CFractal;
class HeadlessWatch;

// A video the options ask for beyond the plain turning animation: a zoom
// (--zoom-video), or frames of either as PNG files (--frames), or their
// count (--print-frames). The values as typed; the module checks them.
struct VideoRequest {
    QString zoomSeconds;      // --zoom-video; empty for the turning animation
    QString turnFrames, step; // --animate, --step
    QString from, fps, frames, output, codec;
    bool exact = false, printFrames = false, quiet = false;
    unsigned width = 640, height = 480;
    AntiAliasing aa = {};
};

// The parts of the renderer that bring large libraries with them: --animate
// the video encoders, a PNG image Qt's image classes. The program starts
// without them (loading them is most of its start-up) and loads them only
// when asked for a video or a PNG.
struct HeadlessModule {
    QString (*parse)(const QString& frames, const QString& step, const QString& codec, const QString& fps,
                     const QString& output, AnimationJob& job);
    int (*run)(CFractal& fractal, CCanvas& canvas, const AnimationJob& job, bool quiet, HeadlessWatch& watch);
    // Writes a .bmp or a .png image; a PNG with the extras.
    bool (*saveImage)(const std::string& path, const CCanvas& canvas, std::string& error, const ReplaceGate& gate,
                      const PngExtras& extras);
    // A VideoRequest on the loaded document (app/HeadlessZoom), and
    // `--assemble DIR`; each returns the exit code.
    int (*video)(CFractal& fractal, int fractalType, const VideoRequest& request, HeadlessWatch& watch);
    int (*assemble)(const QString& dir, const QString& output, const QString& fps, const QString& codec, bool quiet,
                    HeadlessWatch& watch);
};
// The module of this build (app/HeadlessAnimate).
const HeadlessModule* LinkedModule();

// True when the command line asks for the headless renderer (--render, or
// --assemble, which joins the frames it rendered).
bool WantsHeadlessRender(int argc, char** argv);
// Runs it; returns the process exit code (0 done, 1 file error, 2 usage),
// or kNeedsModule, having done nothing, when --animate or a PNG image is
// asked of a renderer given no module.
constexpr int kNeedsModule = -1;
int RunHeadlessRender(int argc, char** argv, const HeadlessModule* module);
