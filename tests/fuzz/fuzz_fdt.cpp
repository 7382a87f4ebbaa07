// Fuzz target for the computed-data file (".fdt"): open it as the program
// does, Paint, Save Data As into memory, reopen what was saved, then
// Continue with Stop pressed.

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "FuzzCanvas.h"
#include "document/BuildSteps.h"
#include "document/DataFile.h"
#include "model/FractalFactory.h"

namespace {

bool Open(const std::string& bytes, CFractal& fractal, CCanvas& canvas, StoppingView& view, std::string& error)
{
    std::istringstream in(bytes, std::ios::binary);
    // The window takes the size of the stored grid, as the program's does.
    return ReadDataFile(
        in, fractal, canvas,
        [&](unsigned w, unsigned h) {
            view.SetSize(w, h);
            canvas.MeasureView();
        },
        error);
}

// A small file may ask for a large grid, all of it one skip record; the
// reader then allocates it when the machine has the memory, which is right
// for the program but takes the fuzzer seconds and gigabytes per input.
// Larger grids are left to the reader's memory check and its own tests.
constexpr uint64_t kMaxCells = uint64_t(1) << 18;

uint32_t Get32(const uint8_t* b) { return b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= 8 && uint64_t(Get32(data)) * Get32(data + 4) > kMaxCells)
        return 0;
    std::unique_ptr<CFractal> fractal = CreateFractalOfType(kTypeSelfAffine);
    CCanvas canvas;
    StoppingView view(canvas, 1, 1);
    canvas.m_fixedSize = true;
    std::string error;
    if (!Open(std::string(reinterpret_cast<const char*>(data), size), *fractal, canvas, view, error))
        return 0;

    // Paint: the opened grid again, with nothing built.
    RunBuildSteps(*fractal, canvas, kCmdPaint);

    std::ostringstream out(std::ios::binary);
    if (!WriteDataFile(out, *fractal))
        Fail("opened computed data could not be saved");
    const std::string saved = out.str();

    std::unique_ptr<CFractal> again = CreateFractalOfType(kTypeSelfAffine);
    CCanvas canvas2;
    StoppingView view2(canvas2, 1, 1);
    canvas2.m_fixedSize = true;
    if (!Open(saved, *again, canvas2, view2, error))
        Fail(("saved computed data did not reopen: " + error).c_str());

    // Continue: build on the opened grid, with Stop pressed once it starts.
    view2.m_fractal = again.get();
    again->m_stop = false;
    again->m_restart = false;
    RunBuildSteps(*again, canvas2, kCmdContinue);
    return 0;
}
