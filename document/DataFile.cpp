#include "document/DataFile.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>
#include <vector>

#include "document/DocumentFiles.h"
#include "document/MemoryStatus.h"
#include "imaging/Canvas.h"
#include "model/FractalKinds.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "rows/PropertyStream.h"

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
        error = "it holds " + std::to_string(maps) + " maps, and a set has 0 to " + std::to_string(MapSet::kMaxMaps);
        return false;
    }
    if (lights < 0 || lights > CColorMap::kMaxLights) {
        error = "it holds " + std::to_string(lights) + " lights, and a set has 0 to " +
                std::to_string(CColorMap::kMaxLights);
        return false;
    }
    return true;
}

// The smallest float beyond `zc` in the reader's comparison (in double),
// or none when nothing is beyond it (an infinite or undefined "Screen z").
std::optional<float> FloatBeyond(double zc)
{
    if (!(zc < double(HUGE_VALF)))
        return std::nullopt;
    if (zc < -double(FLT_MAX))
        return -FLT_MAX;
    if (zc >= double(FLT_MAX))
        return HUGE_VALF;
    float z = float(zc);
    while (!(double(z) > zc))
        z = std::nextafter(z, HUGE_VALF);
    return z;
}

// A skip record's first float is not beyond the centre in z (unordered
// counts as not beyond).
bool IsSkip(const unsigned char* record, double centerZ)
{
    float z;
    const uint32_t bits = Get32(record);
    std::memcpy(&z, &bits, 4);
    return !(double(z) > centerZ);
}

// Hands out the 8-byte records of a stream through a small buffer.
class RecordReader {
public:
    explicit RecordReader(std::istream& in) : m_in(in) {}
    // The next record, or null at the end of the stream.
    const unsigned char* Next()
    {
        if (m_size - m_at < 8 && !Fill())
            return nullptr;
        m_at += 8;
        return m_buffer.data() + m_at - 8;
    }
    // True when the stream ended inside a record.
    bool Partial() const { return m_size > m_at; }
    bool Read(char* out, size_t n)
    {
        const size_t held = std::min(n, m_size - m_at);
        std::memcpy(out, m_buffer.data() + m_at, held);
        m_at += held;
        return held == n || bool(m_in.read(out + held, std::streamsize(n - held)));
    }

private:
    bool Fill()
    {
        std::memmove(m_buffer.data(), m_buffer.data() + m_at, m_size - m_at);
        m_size -= m_at;
        m_at = 0;
        m_in.read(reinterpret_cast<char*>(m_buffer.data()) + m_size, std::streamsize(m_buffer.size() - m_size));
        m_size += size_t(m_in.gcount());
        return m_size >= 8;
    }
    std::istream& m_in;
    std::vector<unsigned char> m_buffer = std::vector<unsigned char>(size_t(1) << 16);
    size_t m_at = 0, m_size = 0;
};

// The bytes one pass of the rows takes, for a set of either kind with
// these counts: the rows themselves say, written once.
size_t PassBytes(bool threeD, int32_t maps, int32_t lights)
{
    CSelfAffineSet probe;
    probe.m_threeD = threeD ? 1 : 0;
    probe.m_maps.count = maps;
    probe.m_colorMap.m_lightCount = lights;
    std::ostringstream out;
    PropertyStream s(out, true);
    probe.FillProperties(s);
    return out.str().size();
}

// How many blocks of `size` bytes at the start of `head`, up to `most`,
// are the first one again.
int Repeats(const std::string& head, size_t size, int most)
{
    int n = 0;
    while (size > 0 && n < most && (size_t(n) + 1) * size <= head.size() &&
           head.compare(size_t(n) * size, size, head, 0, size) == 0)
        ++n;
    return n;
}

// The kind and the counts the passes were written with.
struct Layout {
    bool threeD = true;
    int32_t maps = 0, lights = 0;
};

// Every pass holds all the rows, so the counts in the file must be in
// force from the first pass on, or the passes would read out of step.
// They sit after "Power", "Precision", "Level" and "Iterations"; only a
// solid set's rows go on with the number of lights, while a plane set's
// passes are as many as its maps, its lights and 3 all the same. Which
// kind wrote the file is told by its passes, which repeat the same bytes:
// the rows of the two kinds differ in length. Leaves `in` where it was.
bool ReadLayout(std::istream& in, Layout& layout, std::string& error)
{
    constexpr size_t kHeadBytes = size_t(1) << 18; // more than the longest passes need
    std::string rows(kHeadBytes, '\0');
    const std::streampos start = in.tellg();
    in.read(rows.data(), std::streamsize(rows.size()));
    rows.resize(size_t(in.gcount()));
    in.clear();
    in.seekg(start);
    if (rows.size() < 36 || !in) {
        error = "the file ends inside its parameters";
        return false;
    }
    const auto* counts = reinterpret_cast<const unsigned char*>(rows.data());
    const int32_t maps = int32_t(Get32(counts + 28));
    int32_t lights = int32_t(Get32(counts + 32));
    std::string unused;
    bool threeD = true;
    if (maps >= 0 && maps <= MapSet::kMaxMaps &&
        !(CountsFit(maps, lights, unused) && Repeats(rows, PassBytes(true, maps, lights), 2) == 2)) {
        const size_t plane = PassBytes(false, maps, 0);
        const int passes = Repeats(rows, plane, maps + 3 + CColorMap::kMaxLights);
        if (passes >= maps + 3) {
            threeD = false;
            lights = passes - maps - 3;
        } else if (passes >= 2 && (size_t(passes) + 1) * plane > rows.size()) {
            // Plane passes, fewer than a set has, and then the end.
            error = "the file ends inside its parameters";
            return false;
        }
    }
    if (!CountsFit(maps, lights, error))
        return false;
    layout = {threeD, maps, lights};
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

bool WriteDataFile(std::ostream& out, CFractal& fractal, std::string* why)
{
    // The cells, the centre and the passes are the base's; only a kind
    // whose cells are a set's points gives data worth storing.
    if (!AbilitiesOf(fractal).computedData) {
        if (why)
            *why = "computed data exists only for self-affine sets";
        return false;
    }
    const CColorMap& map = fractal.m_colorMap;
    const unsigned w = unsigned(std::max(0, map.m_gridWidth)), h = unsigned(std::max(0, map.m_gridHeight));
    Put32(out, w);
    Put32(out, h);
    std::ostringstream records;
    // The reader takes any record whose float is not beyond "Screen z" for
    // a run of empty cells, comparing in double. A centre too close to zero
    // for a float would turn the marker into -0, beyond a negative centre,
    // and the runs would come back as hits; step it below the centre then.
    const double zc = fractal.m_centerZ;
    float marker = float(zc - std::fabs(zc));
    if (double(marker) > zc)
        marker = std::nextafter(marker, -HUGE_VALF);
    // A hit is told from a skip by lying beyond "Screen z"; one on the
    // screen plane (every marked cell of a plane set is) or before it
    // would read back as a run and put the rest of the file out of step.
    // It is stored at the nearest float beyond the plane instead.
    const std::optional<float> beyond = FloatBeyond(zc);
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
            float z = c.z;
            if (!(double(z) > zc)) {
                if (!beyond) {
                    if (why)
                        *why = "no hit can be stored beyond a \"Screen z\" of " + std::to_string(zc);
                    return false;
                }
                z = *beyond;
            }
            skip();
            PutFloat(records, z);
            PutShort(records, ToShort(std::atan2(double(c.ny), double(c.nx)) * 10430.378350470453));
            PutShort(records, ToShort(std::asin(std::clamp(double(c.nz), -1.0, 1.0)) * 20860.756700940907));
        }
    // The records cover the whole grid, so a reader stops before the name
    // that follows them instead of taking it for cells.
    skip();
    PropertyStream s(out, true);
    for (int i = 0; i < fractal.PassCount(); ++i) {
        s.m_pass = i;
        fractal.FillProperties(s);
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
    // The rows' layout in the file (plane or solid, maps, lights) is the
    // self-affine set's own.
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
    Layout layout;
    if (!ReadLayout(in, layout, error))
        return false;
    const int32_t maps = layout.maps, lights = layout.lights;
    f->m_threeD = layout.threeD ? 1 : 0;
    f->m_maps.count = maps;
    f->m_colorMap.m_lightCount = lights;
    PropertyStream s(in, true);
    if (!Passes(*f, s, maps, lights, error))
        return false;

    // The records are walked twice, straight from the file: once to check
    // them before anything is allocated, once to fill the grid. At most
    // W x H records are read, so a file cannot make the reader hold more
    // than its grid.
    const std::streampos first = in.tellg();
    const uint64_t total = uint64_t(w) * h;
    const double zc = f->m_centerZ;
    RecordReader records(in);
    uint64_t cells = 0;
    uint64_t count = 0;
    while (cells < total) {
        const unsigned char* r = records.Next();
        if (!r) {
            if (records.Partial()) {
                error = "the file ends inside a cell record";
                return false;
            }
            break; // the rest of the grid is empty
        }
        ++count;
        cells += IsSkip(r, zc) ? std::max<uint32_t>(Get32(r + 4), 1) : 1;
    }
    if (const unsigned char* tag = records.Next(); tag && std::memcmp(tag, kNameTag, 4) == 0) {
        const uint32_t n = Get32(tag + 4);
        std::string name(std::min(n, kMaxName), '\0');
        if (n <= kMaxName && records.Read(name.data(), n))
            f->m_name = std::move(name);
    }

    // The grid and the canvas's pixels must fit in what the process may
    // still take, or the allocation would end the program.
    const uint64_t need = total * sizeof(PixelRecord) + uint64_t((w * 3 + 3) & ~3u) * h;
    const uint64_t available = MemoryAvailableToProcess();
    if (need > available) {
        error = "a " + std::to_string(w) + "x" + std::to_string(h) + " grid needs " + std::to_string(need >> 20) +
                " MB of memory, and only " + std::to_string(available >> 20) + " MB are available";
        return false;
    }
    in.clear();
    in.seekg(first);
    if (!in) {
        error = "the file cannot be read again";
        return false;
    }

    if (sized)
        sized(w, h);
    CColorMap& map = f->m_colorMap;
    try {
        canvas.MeasureView();
        canvas.m_fixedSize = false;
        canvas.Resize(w, h, 24);
        map.AllocateGrid(int(w), int(h));
    } catch (const std::bad_alloc&) {
        error = "there is not enough memory for a " + std::to_string(w) + "x" + std::to_string(h) + " grid";
        return false;
    }
    const unsigned m = std::max(1u, std::min(canvas.m_targetWidth.load(), canvas.m_targetHeight.load()));
    const double g = 2 * f->m_halfSize / m;
    const double eyeX = map.m_observerX, eyeY = map.m_observerY, eyeZ = map.m_observerZ;
    RecordReader again(in);
    uint64_t pending = 0;
    for (unsigned x = 0; x < w; ++x)
        for (unsigned y = 0; y < h; ++y) {
            PixelRecord& c = *map.Cell(int(y), int(x));
            c = PixelRecord{};
            if (pending > 0) {
                --pending;
                continue;
            }
            if (count == 0)
                continue; // the records ran out: the rest is empty
            const unsigned char* r = again.Next();
            if (!r) {
                count = 0; // the file changed under us: what is left stays empty
                continue;
            }
            --count;
            if (IsSkip(r, zc)) {
                pending = std::max<uint32_t>(Get32(r + 4), 1) - 1;
                continue;
            }
            float z;
            const uint32_t bits = Get32(r);
            std::memcpy(&z, &bits, 4);
            const int16_t az = int16_t(uint16_t(r[4] | r[5] << 8));
            const int16_t el = int16_t(uint16_t(r[6] | r[7] << 8));
            const double a = az * 0.00009587379924285257, e = el * 0.000047936899621426287;
            // The hit lies on the ray from the observer through its pixel
            // on the screen plane, as far along it as its z says; lit where
            // it was found, it shades as it did when it was built.
            const double px = f->m_centerX + g * (double(x) - double(w / 2));
            const double py = f->m_centerY + g * (double(y) - double(h / 2));
            double t = (double(z) - zc) / (zc - eyeZ);
            if (!std::isfinite(t))
                t = 0; // no ray through the plane: the pixel's own point
            c.x = float(px + t * (px - eyeX));
            c.y = float(py + t * (py - eyeY));
            c.z = z;
            c.nx = float(std::cos(a) * std::cos(e));
            c.ny = float(std::sin(a) * std::cos(e));
            c.nz = float(std::sin(e));
            c.value = 1.0f;
        }
    map.Render(canvas, f->m_polarAngle, f->m_axialAngle, f->m_rotationAngle);
    return true;
}

bool SaveDataFile(const std::string& path, CFractal& fractal, std::string& error, const ReplaceGate& gate)
{
    std::ostringstream out;
    std::string why;
    if (!WriteDataFile(out, fractal, &why)) {
        error = "cannot write \"" + path + "\": " + why;
        return false;
    }
    return WriteFileAtomically(path, out.str(), error, gate);
}

bool OpenDataFile(const std::string& path, CFractal& fractal, CCanvas& canvas,
                  const std::function<void(unsigned, unsigned)>& sized, std::string& error)
{
    // A pipe would wait in the open for a writer that never comes.
    if (const std::string why = NotARegularFile(path); !why.empty()) {
        error = "cannot open \"" + path + "\": " + why;
        return false;
    }
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
