#pragma once
// Image files written band by band as an off-screen render finishes them:
// a bitmap (".bmp", the rows bottom first as the window's bitmap has them)
// and a PNG (".png", top first, through libpng), neither ever holding the
// whole image.

#include <memory>
#include <string>

#include "document/FileReplacement.h"
#include "document/OffscreenRender.h"
#include "document/PngExtras.h"

class ImageFileSink : public ImageSink {
public:
    // Puts the finished file in place through the gate; until then, and
    // when the render fails, the old file stays.
    virtual bool Commit(std::string& error, const ReplaceGate& gate) = 0;
};

// The writer the path's ending names (".bmp" or ".png"), or none. A PNG
// holds the extras.
std::unique_ptr<ImageFileSink> MakeImageFileSink(const std::string& path, const PngExtras& extras = {});

// Renders and writes `path` in one go: the render's outcome, with a failed
// write as its refusal ("Cannot write ...").
BuildOutcome SaveImageInBands(const std::string& path, CFractal& fractal, const OffscreenJob& job,
                              const MemoryStatus& memory, const ReplaceGate& gate = {}, const PngExtras& extras = {});
