#pragma once
// Writes one video stream of 15 frames per second into an AVI file. Frames
// come in the canvas's layout: 24-bit BGR, bottom-up rows, each row padded
// to a multiple of 4 bytes. Every frame is a key frame.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "animation/EncoderCatalogue.h"

struct EncoderSettings {
    std::map<std::string, std::string> options; // the encoder's own options
    int64_t bitRate = 0;                        // bits per second; 0 = encoder default
    int quality = 0;                            // fixed quantiser 1..31; 0 = none
};

class AviWriter {
public:
    static constexpr int kFramesPerSecond = 15;

    AviWriter();
    // Finishes a file still open, so the frames written stay playable.
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Bytes in one canvas row of `width` 24-bit pixels.
    static unsigned RowBytes(unsigned width) { return (width * 3 + 3) & ~3u; }

    // Creates `path`. Sizes the encoder cannot take (odd widths for a
    // chroma-subsampled format) are padded by repeating the last column or
    // row; PaddedWidth/PaddedHeight give the stored size.
    bool Open(const std::string& path, const VideoEncoder& encoder, unsigned width, unsigned height,
              const EncoderSettings& settings, std::string& error);
    // `bits` holds height * RowBytes(width) bytes.
    bool WriteFrame(const uint8_t* bits, std::string& error);
    // Drains the encoder and writes the index; the file is complete.
    bool Close(std::string& error);

    bool IsOpen() const;
    unsigned FramesWritten() const { return m_frames; }
    unsigned PaddedWidth() const { return m_paddedWidth; }
    unsigned PaddedHeight() const { return m_paddedHeight; }

private:
    struct State;
    bool Encode(bool flush, std::string& error);
    std::unique_ptr<State> m_state;
    unsigned m_width = 0, m_height = 0, m_paddedWidth = 0, m_paddedHeight = 0;
    unsigned m_frames = 0;
};
