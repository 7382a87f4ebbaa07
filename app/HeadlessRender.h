#pragma once
// `quillion --render ...`: builds one document without a display and
// writes its image, document file or computed data.

#include <QString>

#include <string>

#include "document/FileReplacement.h"
#include "document/PngExtras.h"

struct AnimationJob;
class CCanvas;
class CFractal;
class HeadlessWatch;

// The parts of the renderer that bring large libraries with them: --animate
// the video encoders, a PNG image Qt's image classes. The program starts
// without them (loading them is most of its start-up) and loads them only
// when asked for a video or a PNG.
struct HeadlessModule {
    QString (*parse)(const QString& frames, const QString& step, const QString& codec, const QString& output,
                     AnimationJob& job);
    int (*run)(CFractal& fractal, CCanvas& canvas, const AnimationJob& job, bool quiet, HeadlessWatch& watch);
    // Writes a .bmp or a .png image; a PNG with the extras.
    bool (*saveImage)(const std::string& path, const CCanvas& canvas, std::string& error, const ReplaceGate& gate,
                      const PngExtras& extras);
};
// The module of this build (app/HeadlessAnimate).
const HeadlessModule* LinkedModule();

// True when the command line asks for the headless renderer.
bool WantsHeadlessRender(int argc, char** argv);
// Runs it; returns the process exit code (0 done, 1 file error, 2 usage),
// or kNeedsModule, having done nothing, when --animate or a PNG image is
// asked of a renderer given no module.
constexpr int kNeedsModule = -1;
int RunHeadlessRender(int argc, char** argv, const HeadlessModule* module);
