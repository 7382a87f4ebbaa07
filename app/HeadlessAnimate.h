#pragma once
// The animation part of `quillion --render`: --animate FRAMES --step
// DEGREES --codec NAME --output FILE.avi (or .mp4, .webm, .mkv) on a
// self-affine document.

#include <QString>

#include <functional>
#include <stop_token>
#include <string>

#include "animation/WriteAnimation.h"

class CCanvas;
class CFractal;
class HeadlessWatch;

// Checks the option values; an empty result means `job` is filled in
// (all but the fractal). The message is a usage error.
QString ParseAnimateOptions(const QString& frames, const QString& step, const QString& codec, const QString& fps,
                            const QString& output, AnimationJob& job);

// Writes the animation into the measured canvas, with a progress line per
// frame on stderr unless quiet. The file replaces the one there only when
// every frame is written; a failure, or a stop the watch calls for, leaves
// no new file and an old one as it was. Returns the exit code: 0 done, 1
// refused or failed, the watch's code when it stopped the animation (each
// with a message).
int RunHeadlessAnimation(CFractal& fractal, CCanvas& canvas, const AnimationJob& job, bool quiet, HeadlessWatch& watch);

// Writes a video through `write`, which is handed a new file beside
// `path` and a stop the watch requests: the new file replaces `path` only
// when every frame is written, else an old file stays as it was. Returns
// the exit code as RunHeadlessAnimation does; a refusal's line begins with
// `refusedWhat` ("cannot animate").
int WriteVideoInPlace(const std::string& path, const char* refusedWhat, HeadlessWatch& watch,
                      const std::function<AnimationOutcome(const std::string& into, std::stop_token stop)>& write);
