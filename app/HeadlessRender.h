#pragma once
// `quillion --render ...`: builds one document without a display and
// writes its image, document file or computed data.

#include <QString>

struct AnimationJob;
class CCanvas;
class CFractal;
class HeadlessWatch;

// The --animate half, which brings the video encoders with it. The program
// starts without them (loading them is most of its start-up) and loads
// them only when asked to animate.
struct HeadlessAnimator {
    QString (*parse)(const QString& frames, const QString& step, const QString& codec, const QString& output,
                     AnimationJob& job);
    int (*run)(CFractal& fractal, CCanvas& canvas, const AnimationJob& job, bool quiet, HeadlessWatch& watch);
};
// The animator of this build (app/HeadlessAnimate).
const HeadlessAnimator* LinkedAnimator();

// True when the command line asks for the headless renderer.
bool WantsHeadlessRender(int argc, char** argv);
// Runs it; returns the process exit code (0 done, 1 file error, 2 usage),
// or kNeedsAnimator, having done nothing, when --animate is asked of a
// renderer given no animator.
constexpr int kNeedsAnimator = -1;
int RunHeadlessRender(int argc, char** argv, const HeadlessAnimator* animator);
