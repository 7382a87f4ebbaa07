#include "document/ImageFiles.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
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
        if (h.size() != kHeaderBytes) {
            error = "Cannot write \"" + m_path + "\": the bitmap header is not " + std::to_string(kHeaderBytes) + " bytes.";
            return false;
        }
        m_row.assign(m_stride, 0);
        return m_file.Create(error) && m_file.Write(h.data(), h.size(), error);
    }
    // The bands come from the top and the file holds its rows from the
    // bottom: each band goes to its place.
    bool Rows(unsigned first, unsigned count, const uint8_t* bits, size_t stride, std::string& error) override
    {
        for (unsigned r = 0; r < count; ++r) {
            std::memcpy(m_row.data(), bits + r * stride, std::min(stride, m_stride));
            if (!m_file.WriteAt(kHeaderBytes + uint64_t(first + r) * m_stride, m_row.data(), m_stride, error))
                return false;
        }
        return true;
    }
    bool Commit(std::string& error, const ReplaceGate& gate) override { return m_file.Commit(error, gate); }

private:
    static constexpr uint64_t kHeaderBytes = 54;
    std::string m_path;
    FileReplacement m_file;
    size_t m_stride = 0;
    std::vector<uint8_t> m_row;
};

// 8 or 16 bits a channel RGB through libpng, rows streamed as they come.
// libpng reports a failure by calling OnError, which must not return: it
// keeps the message and jumps back to the setjmp in Guarded, over libpng's
// frames and the step's, none of which holds an object with a destructor.
class PngSink : public ImageFileSink {
public:
    PngSink(const std::string& path, const PngExtras& extras) : m_path(path), m_file(path), m_extras(extras) {}
    ~PngSink() override
    {
        if (m_png)
            png_destroy_write_struct(&m_png, m_info ? &m_info : nullptr);
    }
    bool Begin(unsigned width, unsigned height, std::string& error) override
    {
        m_width = width;
        m_line.resize(size_t(width) * (m_extras.sixteenBits ? 6 : 3));
        m_buffer.reserve(kBufferBytes);
        if (!m_file.Create(error))
            return false;
        m_png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning);
        if (m_png)
            m_info = png_create_info_struct(m_png);
        if (!m_info) {
            error = "Cannot write \"" + m_path + "\": the PNG library could not start.";
            return false;
        }
        png_text text{};
        text.key = const_cast<char*>(kPngDocumentKey);
        text.text = m_extras.document.data();
        // Readers take a plain text chunk as Latin-1 and an international
        // one as UTF-8: only the latter keeps a name in another alphabet.
        const bool ascii =
            std::all_of(m_extras.document.begin(), m_extras.document.end(), [](char c) { return uint8_t(c) < 0x80; });
        if (ascii) {
            text.compression = PNG_TEXT_COMPRESSION_zTXt;
            text.text_length = m_extras.document.size();
        } else {
            text.compression = PNG_ITXT_COMPRESSION_zTXt;
            text.itxt_length = m_extras.document.size();
        }
        const bool withText = !m_extras.document.empty();
        const int depth = m_extras.sixteenBits ? 16 : 8;
        return Guarded(error, [&] {
            png_set_write_fn(m_png, this, OnWrite, nullptr);
            // The largest image a PNG holds, not libpng's guard for readers.
            png_set_user_limits(m_png, 0x7fffffff, 0x7fffffff);
            // The fastest level, unfiltered: a poster's pixels come faster
            // than a higher level deflates them, for files a little smaller.
            png_set_compression_level(m_png, 1);
            png_set_filter(m_png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
            png_set_compression_buffer_size(m_png, kBufferBytes);
            png_set_IHDR(m_png, m_info, width, height, depth, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                         PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
            if (withText)
                png_set_text(m_png, m_info, &text, 1);
            png_write_info(m_png, m_info);
        });
    }
    bool Rows(unsigned, unsigned count, const uint8_t* bits, size_t stride, std::string& error) override
    {
        // The lowest row comes first in `bits`; a PNG goes from the top.
        for (unsigned r = count; r-- > 0;) {
            const uint8_t* in = bits + r * stride;
            uint8_t* out = m_line.data();
            if (m_extras.sixteenBits) {
                // A 16-bit sample is big-endian, so v * 257 is the byte v twice.
                for (unsigned j = 0; j < m_width; ++j, in += 3, out += 6) {
                    out[0] = out[1] = in[2];
                    out[2] = out[3] = in[1];
                    out[4] = out[5] = in[0];
                }
            } else {
                for (unsigned j = 0; j < m_width; ++j, in += 3, out += 3) {
                    out[0] = in[2];
                    out[1] = in[1];
                    out[2] = in[0];
                }
            }
            if (!Guarded(error, [&] { png_write_row(m_png, m_line.data()); }))
                return false;
        }
        return true;
    }
    bool Commit(std::string& error, const ReplaceGate& gate) override
    {
        return Guarded(error, [&] { png_write_end(m_png, nullptr); }) && Flush(error) && m_file.Commit(error, gate);
    }

private:
    static constexpr size_t kBufferBytes = size_t(1) << 18;

    // Runs `step`, false with the sentence naming the file when libpng or
    // the file gave up on it. libpng is done with once it has.
    template <class Step>
    bool Guarded(std::string& error, const Step& step)
    {
        if (m_failed || !m_png)
            return Failed(error);
        if (setjmp(png_jmpbuf(m_png)))
            return Failed(error);
        step();
        return true;
    }
    bool Failed(std::string& error)
    {
        m_failed = true;
        if (!m_writeError.empty())
            error = m_writeError;
        else
            error = "Cannot write \"" + m_path +
                    "\": " + (m_libraryError.empty() ? std::string("the PNG library failed") : m_libraryError) + ".";
        return false;
    }
    bool Flush(std::string& error)
    {
        const bool ok = m_buffer.empty() || m_file.Write(m_buffer.data(), m_buffer.size(), error);
        m_buffer.clear();
        return ok;
    }
    // libpng hands over a chunk in pieces of a few bytes and one of its
    // deflate buffer: gathered, they reach the file in large writes.
    static void OnWrite(png_structp png, png_bytep data, size_t size)
    {
        auto* self = static_cast<PngSink*>(png_get_io_ptr(png));
        bool ok = false;
        // Nothing may be thrown through libpng's frames.
        try {
            if (self->m_buffer.size() + size > kBufferBytes && !self->Flush(self->m_writeError))
                ok = false;
            else if (size >= kBufferBytes)
                ok = self->m_file.Write(data, size, self->m_writeError);
            else {
                self->m_buffer.insert(self->m_buffer.end(), data, data + size);
                ok = true;
            }
        } catch (...) {}
        if (!ok)
            png_error(png, "the file could not be written");
    }
    [[noreturn]] static void OnError(png_structp png, png_const_charp message)
    {
        auto* self = static_cast<PngSink*>(png_get_error_ptr(png));
        try {
            if (self->m_libraryError.empty())
                self->m_libraryError = message;
        } catch (...) {}
        png_longjmp(png, 1);
    }
    static void OnWarning(png_structp, png_const_charp) {}

    std::string m_path;
    FileReplacement m_file;
    PngExtras m_extras;
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
    unsigned m_width = 0;
    bool m_failed = false;
    std::string m_writeError, m_libraryError;
    std::vector<uint8_t> m_line, m_buffer;
};

} // namespace

std::unique_ptr<ImageFileSink> MakeImageFileSink(const std::string& path, const PngExtras& extras)
{
    if (EndsWith(path, ".bmp"))
        return std::make_unique<BitmapSink>(path);
    if (EndsWith(path, ".png"))
        return std::make_unique<PngSink>(path, extras);
    return {};
}

BuildOutcome SaveImageInBands(const std::string& path, CFractal& fractal, const OffscreenJob& job,
                              const MemoryStatus& memory, const ReplaceGate& gate, const PngExtras& extras)
{
    const std::unique_ptr<ImageFileSink> sink = MakeImageFileSink(path, extras);
    if (!sink)
        return {BuildOutcome::kRefused, "Cannot write \"" + path + "\": an image file ends in .bmp or .png."};
    BuildOutcome out = RenderOffscreen(fractal, job, *sink, memory);
    std::string error;
    if (out.result == BuildOutcome::kDrawn && !sink->Commit(error, gate))
        out = {BuildOutcome::kRefused, error};
    return out;
}
