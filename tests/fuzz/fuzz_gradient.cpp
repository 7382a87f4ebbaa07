// Fuzz target for the gradient files (".ggr" and ".map"): read the bytes as
// each; a gradient read is written out and read back, and must come back
// the same (a ".ggr") or sample to the same colours (a ".map").

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "imaging/GradientFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxGradientFileBytes)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const GradientFileResult ggr = ReadGgr(text);
    if (ggr.ok) {
        const GradientFileResult again = ReadGgr(WriteGgr(ggr.gradient, ggr.name));
        if (!again.ok || !(again.gradient == ggr.gradient))
            std::abort();
    }
    const GradientFileResult map = ReadMap(text);
    if (map.ok) {
        const GradientFileResult again = ReadMap(WriteMap(map.gradient));
        if (!again.ok)
            std::abort();
        for (int i = 0; i < 256; ++i)
            if (!(again.gradient.At(i / 255.0) == map.gradient.At(i / 255.0)))
                std::abort();
    }
    return 0;
}
