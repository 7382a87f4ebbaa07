#include "document/DataFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
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

constexpr char kNameTag[4] = {'N', 'a', 'm', 'e'};
constexpr uint32_t kMaxName = 299; // what a document file line holds

// Counts past the arrays would leave most of the file unread, or read
// rows that do not exist; the file is refused rather than shown blank.
bool CountsFit(int32_t maps, int32_t lights, std::string& error)
{
    if (maps < 0 || maps > MapSet::kMaxMaps) {
        error = "it holds " + std::to_string(maps) + " maps, and a set has 0 to " +
                std::to_string(MapSet::kMaxMaps);
        return false;
    }
    if (lights < 0 || lights > CColorMap::kMaxLights) {
        error = "it holds " + std::to_string(lights) + " lights, and a set has 0 to " +
                std::to_string(CColorMap::kMaxLights);
        return false;
    }
    return true;
}

// Runs the passes: PassCount is asked again after every pass. Every pass
// must keep the counts of the first, or the rows would be read out of step.
bool Passes(CSelfAffineSet& f, PropertyStream& s, int32_t maps, int32_t lights, std::string& error)
{
    for (int i = 0; i < f.PassCount(); ++i) {
        s.m_pass = i;
        f.FillProperties(s);
        if (s.Exhausted()) {
            error = "the file ends inside its parameters";
            return false;
        }
        if (f.m_maps.count != maps || f.m_colorMap.m_lightCount != lights) {
            error = "its parameter passes disagree on the number of maps or lights";
            return false;
        }
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
    auto skip = [&] {
        if (run) {
            PutFloat(records, marker);
            Put32(records, run);
            run = 0;
        }
    };
    for (unsigned x = 0; x < w; ++x)
        for (unsigned y = 0; y < h; ++y) {
            const PixelRecord& c = *map.Cell(int(y), int(x));
            if (!(std::fabs(c.value) >= 0.00001f)) {
                ++run;
                continue;
            }
            skip();
            PutFloat(records, c.z);
            PutShort(records, ToShort(std::atan2(double(c.ny), double(c.nx)) * 10430.378350470453));
            PutShort(records, ToShort(std::asin(std::clamp(double(c.nz), -1.0, 1.0)) * 20860.756700940907));
        }
    // The records cover the whole grid, so a reader stops before the name
    // that follows them instead of taking it for cells.
    skip();
    PropertyStream s(out, true);
    for (int i = 0; i < f->PassCount(); ++i) {
        s.m_pass = i;
        f->FillProperties(s);
    }
    const std::string bytes = records.str();
    out.write(bytes.data(), std::streamsize(bytes.size()));
    // The binary rows carry no text, so the set's name follows the records.
    const std::string name = fractal.m_name.substr(0, kMaxName);
    out.write(kNameTag, 4);
    Put32(out, uint32_t(name.size()));
    out.write(name.data(), std::streamsize(name.size()));
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
    const int32_t maps = int32_t(Get32(counts + 28)), lights = int32_t(Get32(counts + 32));
    if (!CountsFit(maps, lights, error))
        return false;
    // The file is a three-dimensional grid: its rows are the lit kind's.
    f->m_threeD = 1;
    f->m_maps.count = maps;
    f->m_colorMap.m_lightCount = lights;
    PropertyStream s(in, true);
    if (!Passes(*f, s, maps, lights, error))
        return false;

    // The records and what follows them, checked before the grid is touched.
    const uint64_t most = uint64_t(w) * h * 8 + 8 + kMaxName;
    std::string rest(size_t(std::min<uint64_t>(most, 1 << 20)), '\0');
    size_t got = 0;
    for (;;) {
        in.read(rest.data() + got, std::streamsize(rest.size() - got));
        got += size_t(in.gcount());
        if (got < rest.size() || rest.size() >= most)
            break;
        rest.resize(size_t(std::min<uint64_t>(most, uint64_t(rest.size()) * 2)));
    }
    rest.resize(got);
    const auto* bytes = reinterpret_cast<const unsigned char*>(rest.data());
    auto isSkip = [&](size_t at) {
        float z;
        const uint32_t bits = Get32(bytes + at);
        std::memcpy(&z, &bits, 4);
        return !(double(z) > f->m_centerZ);
    };
    uint64_t cells = 0;
    size_t used = 0;
    while (cells < uint64_t(w) * h && used < got) {
        if (got - used < 8) {
            error = "the file ends inside a cell record";
            return false;
        }
        cells += isSkip(used) ? std::max<uint32_t>(Get32(bytes + used + 4), 1) : 1;
        used += 8;
    }
    if (got - used >= 8 && std::memcmp(bytes + used, kNameTag, 4) == 0) {
        const uint32_t n = Get32(bytes + used + 4);
        if (n <= kMaxName && got - used - 8 >= n)
            f->m_name.assign(rest.data() + used + 8, n);
    }

    if (sized)
        sized(w, h);
    canvas.MeasureView();
    canvas.m_fixedSize = false;
    canvas.Resize(w, h, 24);
    CColorMap& map = f->m_colorMap;
    map.AllocateGrid(int(w), int(h));
    const unsigned m = std::max(1u, std::min(canvas.m_targetWidth.load(), canvas.m_targetHeight.load()));
    const double g = 2 * f->m_halfSize / m;
    uint64_t pending = 0;
    size_t at = 0;
    for (unsigned x = 0; x < w; ++x)
        for (unsigned y = 0; y < h; ++y) {
            PixelRecord& c = *map.Cell(int(y), int(x));
            c = PixelRecord{};
            if (pending > 0) {
                --pending;
                continue;
            }
            if (at >= used)
                continue; // the records ran out: the rest is empty
            const unsigned char* r = bytes + at;
            at += 8;
            if (isSkip(at - 8)) {
                pending = std::max<uint32_t>(Get32(r + 4), 1) - 1;
                continue;
            }
            float z;
            const uint32_t bits = Get32(r);
            std::memcpy(&z, &bits, 4);
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
    // Files that carry no name are called after themselves.
    fractal.m_name = std::filesystem::path(path).stem().string();
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
