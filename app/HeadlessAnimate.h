#pragma once
// The animation part of `quillion --render`: --animate FRAMES --step
// DEGREES --codec NAME --output FILE.avi on a self-affine document.

#include <QString>

#include "animation/WriteAnimation.h"

class CCanvas;
class CFractal;
class HeadlessWatch;

// Checks the option values; an empty result means `job` is filled in
// (all but the fractal). The message is a usage error.
QString ParseAnimateOptions(const QString& frames, const QString& step, const QString& codec, const QString& output,
                            AnimationJob& job);

// Writes the animation into the measured canvas, with a progress line per
// frame on stderr unless quiet. The file replaces the one there only when
// every frame is written; a failure, or a stop the watch calls for, leaves
// no new file and an old one as it was. Returns the exit code: 0 done, 1
// refused or failed, the watch's code when it stopped the animation (each
// with a message).
int RunHeadlessAnimation(CFractal& fractal, CCanvas& canvas, const AnimationJob& job, bool quiet, HeadlessWatch& watch);
