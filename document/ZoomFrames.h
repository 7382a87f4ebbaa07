#pragma once
// The pictures of a zoom plan: a unit (a frame, or a keyframe) rendered
// from the end document at its view, and a frame made from its two
// keyframes. Plain C++: the video writer, the headless frame ranges and
// the assembly all take these.

#include <memory>
#include <stop_token>
#include <string>

#include "document/FileReplacement.h"
#include "document/MemoryStatus.h"
#include "document/OffscreenRender.h"
#include "document/ZoomPlan.h"

class CCanvas;
class CFractal;

// The end document every unit is rendered from, as a ".frc" text, and
// its type code.
struct ZoomSource {
    int fractalType = 0;
    std::string document;
};

// The source's fractal with the place's view, or none (and why) when its
// text does not read.
std::unique_ptr<CFractal> ZoomUnitFractal(const ZoomSource& source, const ZoomPlace& place, std::string& error);

// Renders unit i of the plan into `sink`; a stop through `stop` ends it
// (kStopped).
BuildOutcome RenderZoomUnit(const ZoomSource& source, const ZoomPlan& plan, unsigned i, ImageSink& sink,
                            std::stop_token stop, const MemoryStatus& memory);
// Renders `f` into a PNG file, whole or not there, that carries its
// document ("Quillion document"), put in place through `gate`.
BuildOutcome RenderDocumentFile(int fractalType, CFractal& f, const OffscreenJob& job, const std::string& path,
                                std::stop_token stop, const MemoryStatus& memory, const ReplaceGate& gate);
// Unit i into a PNG file as RenderDocumentFile writes it.
BuildOutcome RenderZoomUnitFile(const ZoomSource& source, const ZoomPlan& plan, unsigned i, const std::string& path,
                                std::stop_token stop, const MemoryStatus& memory, const ReplaceGate& gate);

// Frame k of a keyframe plan, from keyframe j and, when its weight is not
// 0, keyframe j + 1 (ZoomPlan::Between). Each keyframe pixel is weighed by
// its overlap with the frame pixel's square, the inner keyframe faded in by
// its weight and out over kZoomFeather frame pixels at its edge, where the
// outer one goes on alone. The same bytes on any number of cores.
constexpr double kZoomFeather = 8;
void ComposeZoomFrame(const ZoomPlan& plan, unsigned k, const CCanvas& outer, const CCanvas* inner, CCanvas& frame);

// A whole PNG file: read when it ends with its end chunk. Partial files
// never lie under a unit's name, but one copied in by hand might.
bool IsCompletePng(const std::string& path);
// Reads an 8-bit PNG into a canvas of 24-bit pixels, rows bottom first.
bool ReadPngImage(const std::string& path, CCanvas& canvas, std::string& error);
