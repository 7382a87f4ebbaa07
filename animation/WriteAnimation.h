#pragma once
// Turns a self-affine set frame by frame and writes each frame into an AVI
// file. Runs on the caller's thread; the animation thread of a window and
// the headless renderer both call it.

#include <functional>
#include <stop_token>
#include <string>

#include "animation/AviWriter.h"

class CCanvas;
class CFractal;

struct AnimationJob {
    std::string path;
    VideoEncoder encoder;
    EncoderSettings settings;
    unsigned frameCount = 20; // 1 .. 10000
    unsigned stepAngle = 18;  // degrees, 1 .. 360
};

struct AnimationOutcome {
    enum Result { kDone, kStopped, kFailed, kRefused } result = kFailed;
    unsigned framesWritten = 0;
    std::string error; // set for kFailed and kRefused
};

constexpr unsigned kMinStepAngle = 1, kMaxStepAngle = 360;
constexpr unsigned kMinFrameCount = 1, kMaxFrameCount = 10000;

// The message a window shows when the result is kFailed.
inline constexpr const char* kAnimationWriteError = "An error occurred trying to write the output file.";

// Why `fractal` cannot be animated (its kind cannot turn: only self-affine
// sets have a rotation angle), or empty when it can.
std::string AnimationRefusal(const CFractal& fractal);

// The canvas must already be measured (its target size is the frame size).
// For each frame: restart, Build, Draw, turn by the step (TurnBy: the
// "Rotation angle"), write the frame. A stop requested through `stop`, at any moment, also
// sets the fractal's m_stop, which ends a build or draw early; the writer
// looks at both between the steps and never clears either, so whoever
// starts it clears m_stop first. A stop leaves a complete file holding the
// frames written. A build the set refuses, or memory that cannot be
// had, ends it as kRefused with the reason; a file of no frames is then
// removed. `progress` is called after each written frame.
// Opens a writer on `path`, lets `frames` write into it and closes it: a
// failure to open or to close is kFailed (unless `frames` ended otherwise),
// memory that cannot be had kRefused.
AnimationOutcome WriteVideoFrames(const std::string& path, const VideoEncoder& encoder, const EncoderSettings& settings,
                                  unsigned width, unsigned height,
                                  const std::function<void(AviWriter& writer, AnimationOutcome& out)>& frames);

AnimationOutcome WriteAnimation(CFractal& fractal, CCanvas& canvas, const AnimationJob& job, std::stop_token stop,
                                const std::function<void(unsigned written, unsigned total)>& progress = {});
