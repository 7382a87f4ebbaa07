#pragma once
// Writes a zoom video: each frame of a ZoomPlan rendered (exact mode) or
// made from its two keyframes, then encoded into the file. Runs on the
// caller's thread, as WriteAnimation does; a window's job and the
// headless renderer both call it.

#include <functional>
#include <stop_token>
#include <string>

#include "animation/WriteAnimation.h"
#include "document/ZoomFrames.h"
#include "document/ZoomPlan.h"

class CCanvas;
class CFractal;

struct ZoomJob {
    ZoomPlan plan;
    std::string path; // the video, written in place: the caller replaces the old file
    VideoEncoder encoder;
    EncoderSettings settings; // container and frame rate among them (VideoForPath)
};

// Called as frame `frame` (from 1) of `frames` begins.
using ZoomProgress = std::function<void(unsigned frame, unsigned frames)>;

// The picture of unit i (a frame in exact mode, else a keyframe): kDrawn
// with the canvas filled, or why not.
using ZoomUnits = std::function<BuildOutcome(unsigned unit, CCanvas& into)>;

// Encodes the plan's frames from the units, keeping at most two keyframes
// at a time. A stop ends it as kStopped with the file complete to the
// frames written; a unit that is refused ends it as kRefused.
AnimationOutcome EncodeZoom(const ZoomJob& job, const ZoomUnits& units, std::stop_token stop,
                            const ZoomProgress& progress = {});

// The zoom from the plan's start to its end, `end` being the document
// whose rows (colouring, counts) every frame has: its kind must zoom in
// the plane (ZoomRefusal).
AnimationOutcome WriteZoomVideo(CFractal& end, int fractalType, const ZoomJob& job, std::stop_token stop,
                                const ZoomProgress& progress = {});

// Why `fractal` cannot be zoomed, or empty when it can.
std::string ZoomRefusal(const CFractal& fractal);
