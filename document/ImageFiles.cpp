#include "document/ImageFiles.h"

#include <zlib.h>

#include <cstring>
#include <vector>

#include "document/DocumentFiles.h"

namespace {

bool EndsWith(const std::string& s, const char* tail)
{
    const size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

class BitmapSink : public ImageFileSink {
public:
    explicit BitmapSink(const std::string& path) : m_path(path), m_file(path) {}
    bool Begin(unsigned width, unsigned height, std::string& error) override
    {
        m_stride = (size_t(width) * 3 + 3) / 4 * 4;
        const uint64_t size = uint64_t(m_stride) * height;
        if (size > UINT32_MAX - 54) {
            error = "Cannot write \"" + m_path + "\": a " + std::to_string(width) + "x" + std::to_string(height) +
                    " image is larger than a bitmap file holds (4 GB); a PNG file holds it.";
            return false;
        }
        const std::string h = BitmapFileHeader(width, height, 24, uint32_t(size));
        m_row.assign(m_stride, 0);
        return m_file.Create(error) && m_file.Write(h.data(), h.size(), error);
    }
    bool Rows(unsigned, unsigned count, const uint8_t* bits, size_t stride, std::string& error) override
    {
        for (unsigned r = 0; r < count; ++r) {
            std::memcpy(m_row.data(), bits + r * stride, std::min(stride, m_stride));
            if (!m_file.Write(m_row.data(), m_stride, error))
                return false;
        }
        return true;
    }
    bool Commit(std::string& error, const ReplaceGate& gate) override { return m_file.Commit(error, gate); }

private:
    std::string m_path;
    FileReplacement m_file;
    size_t m_stride = 0;
    std::vector<uint8_t> m_row;
};

void Put32(std::string& s, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        s += char((v >> shift) & 0xff);
}

// 8-bit RGB, no interlace; the rows are deflated as they come, every
// filled buffer one IDAT chunk.
class PngSink : public ImageFileSink {
public:
    explicit PngSink(const std::string& path) : m_path(path), m_file(path) {}
    ~PngSink() override
    {
        if (m_deflating)
            deflateEnd(&m_z);
    }
    bool TopFirst() const override { return true; }
    bool Begin(unsigned width, unsigned height, std::string& error) override
    {
        m_width = width;
        std::string head("\x89PNG\r\n\x1a\n", 8);
        std::string ihdr;
        Put32(ihdr, width);
        Put32(ihdr, height);
        ihdr += std::string("\x08\x02\x00\x00\x00", 5);
        Chunk(head, "IHDR", ihdr);
        // The fastest level: a poster's pixels come faster than a higher
        // level deflates them, for files a few per cent smaller.
        if (deflateInit(&m_z, 1) != Z_OK) {
            error = "Cannot write \"" + m_path + "\": the compressor could not start.";
            return false;
        }
        m_deflating = true;
        m_line.resize(size_t(width) * 3 + 1);
        m_buffer.resize(size_t(1) << 18);
        return m_file.Create(error) && m_file.Write(head.data(), head.size(), error);
    }
    bool Rows(unsigned, unsigned count, const uint8_t* bits, size_t stride, std::string& error) override
    {
        // The lowest row comes first in `bits`; a PNG goes from the top.
        for (unsigned r = count; r-- > 0;) {
            const uint8_t* in = bits + r * stride;
            m_line[0] = 0; // no filter
            for (unsigned j = 0; j < m_width; ++j) {
                m_line[1 + 3 * j] = in[3 * j + 2];
                m_line[2 + 3 * j] = in[3 * j + 1];
                m_line[3 + 3 * j] = in[3 * j];
            }
            if (!Deflate(m_line.data(), m_line.size(), Z_NO_FLUSH, error))
                return false;
        }
        return true;
    }
    bool Commit(std::string& error, const ReplaceGate& gate) override
    {
        if (!Deflate(nullptr, 0, Z_FINISH, error))
            return false;
        std::string tail;
        Chunk(tail, "IEND", {});
        return m_file.Write(tail.data(), tail.size(), error) && m_file.Commit(error, gate);
    }

private:
    static void Chunk(std::string& out, const char* type, const std::string& data)
    {
        Put32(out, uint32_t(data.size()));
        const std::string body = std::string(type, 4) + data;
        out += body;
        Put32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    }
    bool Deflate(const uint8_t* data, size_t size, int flush, std::string& error)
    {
        m_z.next_in = const_cast<Bytef*>(data);
        m_z.avail_in = uInt(size);
        for (;;) {
            m_z.next_out = m_buffer.data();
            m_z.avail_out = uInt(m_buffer.size());
            const int rc = deflate(&m_z, flush);
            const size_t made = m_buffer.size() - m_z.avail_out;
            if (made > 0) {
                std::string chunk;
                Chunk(chunk, "IDAT", std::string(reinterpret_cast<const char*>(m_buffer.data()), made));
                if (!m_file.Write(chunk.data(), chunk.size(), error))
                    return false;
            }
            if (rc == Z_STREAM_END || (flush == Z_NO_FLUSH && m_z.avail_in == 0 && m_z.avail_out > 0))
                return true;
            if (rc != Z_OK && rc != Z_BUF_ERROR) {
                error = "Cannot write \"" + m_path + "\": the compressor failed.";
                return false;
            }
        }
    }

    std::string m_path;
    FileReplacement m_file;
    unsigned m_width = 0;
    z_stream m_z{};
    bool m_deflating = false;
    std::vector<uint8_t> m_line, m_buffer;
};

} // namespace

std::unique_ptr<ImageFileSink> MakeImageFileSink(const std::string& path)
{
    if (EndsWith(path, ".bmp"))
        return std::make_unique<BitmapSink>(path);
    if (EndsWith(path, ".png"))
        return std::make_unique<PngSink>(path);
    return {};
}

BuildOutcome SaveImageInBands(const std::string& path, CFractal& fractal, const OffscreenJob& job,
                              const MemoryStatus& memory, const ReplaceGate& gate)
{
    const std::unique_ptr<ImageFileSink> sink = MakeImageFileSink(path);
    if (!sink)
        return {BuildOutcome::kRefused, "Cannot write \"" + path + "\": an image file ends in .bmp or .png."};
    BuildOutcome out = RenderOffscreen(fractal, job, *sink, memory);
    std::string error;
    if (out.result == BuildOutcome::kDrawn && !sink->Commit(error, gate))
        out = {BuildOutcome::kRefused, error};
    return out;
}
