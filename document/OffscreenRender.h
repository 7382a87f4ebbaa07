#pragma once
// A document's view rendered at any size away from its window: in bands of
// rows, so the cells in memory at a time stay bounded whatever the size,
// each finished band handed to a sink (a file writer, a canvas), and
// anti-aliased by N x N samples per pixel, everywhere or only where the
// plain image has edges. Every pixel is the one a single build of the
// whole image gives; the builders place a band's rows in the whole view.

#include <cstdint>
#include <memory>
#include <string>

#include "document/BuildSteps.h"
#include "document/MemoryStatus.h"

class CCanvas;
class CFractal;

// Sub-samples per pixel along each side.
constexpr int kMaxSamples = 8;
// The cells a band may hold.
constexpr uint64_t kBandCellBytes = uint64_t(256) << 20;
// The cells a band of samples may hold: each band's cells are painted and
// averaged while the caches still hold them, and the next band builds over
// the same pages, so N x N samples cost N x N plain builds and little more.
constexpr uint64_t kSampledBandCellBytes = uint64_t(8) << 20;
// The adaptive mode refines a pixel when one of its eight neighbours
// differs from it by more than this in some channel.
constexpr int kAdaptiveThreshold = 12;

// "Off", "2x2" ... "8x8", "Adaptive 3x3".
std::string AntiAliasingName(const AntiAliasing& aa);

struct OffscreenJob {
    unsigned width = 0, height = 0;
    AntiAliasing aa = {};
    // Output rows per band; 0 takes as many as `bandBytes` of cells allow.
    unsigned bandRows = 0;
    uint64_t bandBytes = kBandCellBytes;
};

// Where the rows of an image go. Rows are numbered from the bottom; each
// pixel is blue, green, red. The bands come top first: the order a PNG
// file holds, and the one deep views spend their budget in.
class ImageSink {
public:
    virtual ~ImageSink() = default;
    virtual bool Begin(unsigned width, unsigned height, std::string& error) = 0;
    // `count` rows from row `first` up; `bits` holds the lowest, each row
    // `stride` bytes after the one below it.
    virtual bool Rows(unsigned first, unsigned count, const uint8_t* bits, size_t stride, std::string& error) = 0;
};

// Puts the image into a canvas's 24-bit buffer, as a build's Draw does.
class CanvasSink : public ImageSink {
public:
    explicit CanvasSink(CCanvas& canvas) : m_canvas(canvas) {}
    bool Begin(unsigned width, unsigned height, std::string& error) override;
    bool Rows(unsigned first, unsigned count, const uint8_t* bits, size_t stride, std::string& error) override;

private:
    CCanvas& m_canvas;
};

// Renders the fractal's view at job.width x job.height into `sink`. The
// fractal's cells are the last band's afterwards. Progress is the
// fractal's m_progress over all bands, and its m_stop ends the render
// between and within bands (kStopped). Views that do not build in bands
// (CFractal::BuildsInBands) are built whole, at N times the size, when the
// memory `memory` describes holds that; otherwise they are refused (kRefused,
// with the reason), as are failed writes and cells that cannot be had.
BuildOutcome RenderOffscreen(CFractal& fractal, const OffscreenJob& job, ImageSink& sink, const MemoryStatus& memory);

// A fractal of the same rows, for a render that must leave the document's
// own cells alone.
std::unique_ptr<CFractal> CopyOfFractal(CFractal& fractal);
