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

// Build command identifiers.
enum BuildCommand : unsigned {
    kCmdRebuild = 32800,
    kCmdZoomOut = 32801,
    kCmdContinue = 32802,
    kCmdPaint = 32803,
};

// The four lines asked before a build that needs more than physical memory.
std::string MemoryQuestion(uint64_t need, const MemoryStatus& memory);

// Turns the canvas's zoom rectangle into the fractal's new centre and radius.
void ApplyZoom(CFractal& fractal, const CCanvas& canvas, bool zoomOut);

// Steps from resetting the progress to the final status: applies a visible
// zoom rectangle, Build ("Building..."), then Draw unless stopped ("Ready"),
// and "Terminated by user!" when stopped. `closing` is asked between the
// steps; when it answers true the build ends at once without drawing.
// `building` is called after the zoom and before "Building...": where a
// window starts its progress timer.
void RunBuildSteps(CFractal& fractal, CCanvas& canvas, unsigned cmd,
                   const std::function<bool()>& closing = {},
                   const std::function<void()>& building = {});
