#include "document/DataFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>
#include <vector>

#include "document/DocumentFiles.h"
#include "document/MemoryStatus.h"
#include "imaging/Canvas.h"
#include "model/PropertyStream.h"
#include "model/SelfAffineSet.h"

namespace {

constexpr unsigned kMaxSide = 65536;

void Put32(std::ostream& out, uint32_t v)
{
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    out.write(b, 4);
}

uint32_t Get32(const unsigned char* b) { return b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24; }

void PutFloat(std::ostream& out, float f)
{
    uint32_t v;
    std::memcpy(&v, &f, 4);
    Put32(out, v);
}

void PutShort(std::ostream& out, int16_t s)
{
    const char b[2] = {char(uint16_t(s)), char(uint16_t(s) >> 8)};
    out.write(b, 2);
}

int16_t ToShort(double v)
{
    if (!(v > -32768))
        return -32768;
    return v >= 32767 ? int16_t(32767) : int16_t(v);
}

// Runs the passes: PassCount is asked again after every pass.
bool Passes(CSelfAffineSet& f, PropertyStream& s)
{
    for (int i = 0; i < f.PassCount(); ++i) {
        s.m_pass = i;
        f.FillProperties(s);
        if (s.Exhausted())
            return false;
    }
    return true;
}

} // namespace

bool WriteDataFile(std::ostream& out, CFractal& fractal)
{
    auto* f = dynamic_cast<CSelfAffineSet*>(&fractal);
    if (!f || fractal.m_kind != CFractal::kSelfAffine || f->m_threeD != 1)
        return false;
    const CColorMap& map = f->m_colorMap;
    const unsigned w = unsigned(std::max(0, map.m_gridWidth)), h = unsigned(std::max(0, map.m_gridHeight));
    Put32(out, w);
    Put32(out, h);
    std::ostringstream records;
    const float zc = float(f->m_centerZ);
    const float marker = zc - std::fabs(zc);
    uint32_t run = 0;
    for (unsigned x = 0; x < w; ++x)
        for (unsigned y = 0; y < h; ++y) {
            const PixelRecord& c = *map.Cell(int(y), int(x));
            if (!(std::fabs(c.value) >= 0.00001f)) {
                ++run;
                continue;
            }
            if (run) {
                PutFloat(records, marker);
                Put32(records, run);
                run = 0;
            }
            PutFloat(records, c.z);
            PutShort(records, ToShort(std::atan2(double(c.ny), double(c.nx)) * 10430.378350470453));
            PutShort(records, ToShort(std::asin(std::clamp(double(c.nz), -1.0, 1.0)) * 20860.756700940907));
        }
    PropertyStream s(out, true);
    for (int i = 0; i < f->PassCount(); ++i) {
        s.m_pass = i;
        f->FillProperties(s);
    }
    const std::string bytes = records.str();
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

bool ReadDataFile(std::istream& in, CFractal& fractal, CCanvas& canvas,
                  const std::function<void(unsigned, unsigned)>& sized, std::string& error)
{
    auto* f = dynamic_cast<CSelfAffineSet*>(&fractal);
    if (!f) {
        error = "computed data opens only into a self-affine set";
        return false;
    }
    unsigned char head[8];
    if (!in.read(reinterpret_cast<char*>(head), 8)) {
        error = "the file is too short for a computed-data header";
        return false;
    }
    const uint32_t w = Get32(head), h = Get32(head + 4);
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide) {
        error = "the grid size " + std::to_string(w) + "x" + std::to_string(h) + " is not a usable image size";
        return false;
    }
    const uint64_t need = uint64_t(w) * h * (sizeof(PixelRecord) + 3);
    const MemoryStatus memory = QueryMemoryStatus();
    if (memory.totalPhysical && need > memory.totalPhysical) {
        error = "a " + std::to_string(w) + "x" + std::to_string(h) + " grid needs more memory than this machine has";
        return false;
    }
    // The file is a three-dimensional grid: its rows are the lit kind's.
    f->m_threeD = 1;
    if (sized)
        sized(w, h);
    canvas.MeasureView();
    canvas.m_fixedSize = false;
    canvas.Resize(w, h, 24);
    CColorMap& map = f->m_colorMap;
    map.AllocateGrid(int(w), int(h));
    // Every pass holds all the rows, so the counts in the file must be in
    // force from the first pass on, or the passes would read out of step.
    // They sit after "Power", "Precision", "Level" and "Iterations".
    unsigned char counts[36];
    const std::streampos start = in.tellg();
    if (!in.read(reinterpret_cast<char*>(counts), sizeof counts)) {
        error = "the file ends inside its parameters";
        return false;
    }
    in.seekg(start);
    f->m_maps.count = int32_t(Get32(counts + 28));
    f->m_colorMap.m_lightCount = int32_t(Get32(counts + 32));
    f->ClampCounts();
    PropertyStream s(in, true);
    if (!Passes(*f, s)) {
        error = "the file ends inside its parameters";
        return false;
    }
    const unsigned m = std::max(1u, std::min(canvas.m_targetWidth.load(), canvas.m_targetHeight.load()));
    const double g = 2 * f->m_halfSize / m;
    uint64_t pending = 0;
    bool more = true;
    for (unsigned x = 0; x < w; ++x)
        for (unsigned y = 0; y < h; ++y) {
            PixelRecord& c = *map.Cell(int(y), int(x));
            c = PixelRecord{};
            if (pending > 0) {
                --pending;
                continue;
            }
            unsigned char r[8];
            if (!more || !in.read(reinterpret_cast<char*>(r), 8)) {
                if (more && in.gcount() != 0) {
                    error = "the file ends inside a cell record";
                    return false;
                }
                more = false;
                continue;
            }
            float z;
            const uint32_t bits = Get32(r);
            std::memcpy(&z, &bits, 4);
            if (!(double(z) > f->m_centerZ)) {
                pending = std::max<uint32_t>(Get32(r + 4), 1) - 1;
                continue;
            }
            const int16_t az = int16_t(uint16_t(r[4] | r[5] << 8));
            const int16_t el = int16_t(uint16_t(r[6] | r[7] << 8));
            const double a = az * 0.00009587379924285257, e = el * 0.000047936899621426287;
            c.x = float(f->m_centerX + g * (double(x) - double(w / 2)));
            c.y = float(f->m_centerY + g * (double(y) - double(h / 2)));
            c.z = z;
            c.nx = float(std::cos(a) * std::cos(e));
            c.ny = float(std::sin(a) * std::cos(e));
            c.nz = float(std::sin(e));
            c.value = 1.0f;
        }
    map.Render(canvas, f->m_polarAngle, f->m_axialAngle, f->m_rotationAngle);
    return true;
}

bool SaveDataFile(const std::string& path, CFractal& fractal, std::string& error)
{
    std::ostringstream out;
    if (!WriteDataFile(out, fractal)) {
        error = "cannot write \"" + path + "\": computed data exists only for three-dimensional self-affine sets";
        return false;
    }
    return WriteFileAtomically(path, out.str(), error);
}

bool OpenDataFile(const std::string& path, CFractal& fractal, CCanvas& canvas,
                  const std::function<void(unsigned, unsigned)>& sized, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open \"" + path + "\"";
        return false;
    }
    std::string why;
    bool read = false;
    try {
        read = ReadDataFile(in, fractal, canvas, sized, why);
    } catch (const std::bad_alloc&) {
        // The grid and the buffer are left empty, not half made.
        why = "not enough memory for its grid";
    }
    if (!read) {
        error = "cannot open \"" + path + "\": " + why;
        return false;
    }
    // The grid now holds the file's image, whatever the last build refused.
    fractal.m_refusal.clear();
    return true;
}
