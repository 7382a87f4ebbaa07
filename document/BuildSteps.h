#pragma once
// The thread-independent steps of a build: the memory question's text, the
// zoom arithmetic, and Build then Draw with their status texts. The build
// thread and the headless renderer both run them.

#include <cstdint>
#include <functional>
#include <string>

#include "document/MemoryStatus.h"

class CCanvas;
class CFractal;

// The four ways to build: from the start, zoomed out, on from the cells
// there are, or only painting them.
enum BuildCommand : unsigned { kCmdRebuild, kCmdZoomOut, kCmdContinue, kCmdPaint };

// The four lines asked before a build that needs more than physical memory.
std::string MemoryQuestion(uint64_t need, const MemoryStatus& memory);

// What a build of `need` bytes can expect: kRefuse when the process cannot
// map that much at all, kAsk when it is more than the machine's physical
// memory or more than is free now, kFits otherwise.
enum class MemoryVerdict { kFits, kAsk, kRefuse };
MemoryVerdict JudgeMemory(uint64_t need, const MemoryStatus& memory);
// "a WxH image needs NKb of memory, more than the MKb ..." naming the limit
// that JudgeMemory found exceeded.
std::string MemoryShortage(unsigned width, unsigned height, uint64_t need, const MemoryStatus& memory);
// The status of a build refused for want of memory.
std::string NoMemoryStatus(unsigned width, unsigned height);

// The memory check before a build of the canvas's target size. True to go
// on. A need the process can never meet ends with the shortage on the
// status; one that is only risky is put to `ask` as the memory question,
// and No ends without a status change.
bool CheckBuildMemory(CFractal& fractal, CCanvas& canvas, const MemoryStatus& memory,
                      const std::function<bool(const std::string& question)>& ask);

// Turns the canvas's zoom rectangle into the fractal's new centre and radius.
void ApplyZoom(CFractal& fractal, const CCanvas& canvas, bool zoomOut);

// How many samples a pixel of an image is the mean of: N x N everywhere,
// or, adaptive, only where the plain image has edges (OffscreenRender).
struct AntiAliasing {
    int samples = 1; // N; 1 is none
    bool adaptive = false;
    bool operator==(const AntiAliasing&) const = default;
};

// How a run of the build steps ended.
struct BuildOutcome {
    enum Result { kDrawn, kStopped, kRefused, kClosed } result = kClosed;
    std::string refusal; // kRefused: why, as the status shows it
};

// Steps from resetting the progress to the final status: applies a visible
// zoom rectangle, Build ("Building..."), then Draw unless stopped ("Ready"),
// and "Terminated by user!" when stopped. A refused build (the builder's
// Refuse, or memory that could not be allocated) is not drawn either: the
// status keeps the refusal and the view stays as it was; Paint refuses too
// while the last build stands refused. `closing` is asked between the
// steps; when it answers true the build ends at once without drawing.
// `building` is called after the zoom and before "Building...": where a
// window starts its progress timer. A `readyNote` follows "Ready: ".
// With anti-aliasing, Build and Draw are one render of samples
// (RenderOffscreen) into the canvas, Paint included; a Continue that goes
// on from the cells (CFractal::ContinuesCells) does so as it always does.
BuildOutcome RunBuildSteps(CFractal& fractal, CCanvas& canvas, BuildCommand cmd,
                           const std::function<bool()>& closing = {}, const std::function<void()>& building = {},
                           const std::string& readyNote = {}, const AntiAliasing& aa = {});
