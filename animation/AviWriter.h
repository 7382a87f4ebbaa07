#pragma once
// Writes one video stream into an AVI file (15 frames per second unless
// the settings say, every frame a key frame) or into another container
// libavformat names (MP4, WebM, Matroska), where the encoder places its
// own key frames. Frames come in the canvas's layout: 24-bit BGR,
// bottom-up rows, each row padded to a multiple of 4 bytes.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "animation/EncoderCatalogue.h"

struct EncoderSettings {
    std::map<std::string, std::string> options; // the encoder's own options
    int64_t bitRate = 0;                        // bits per second; 0 = encoder default
    int quality = 0;                            // fixed quantiser 1..31; 0 = none
    std::string container = "avi";              // libavformat's name of the file's format
    int framesPerSecond = 15;
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

// The container a video file's name ends in: "avi", "mp4", "webm" or
// "matroska" (".mkv"); empty for any other name.
std::string ContainerOfPath(const std::string& path);
// The encoder a container gets unless one is named: libx264 for MP4 and
// Matroska, libvpx-vp9 for WebM, rawvideo for AVI.
std::string DefaultVideoEncoder(const std::string& container);
// The encoder and settings a video file gets: `codec`, or when empty the
// container's default, at `fps` frames a second, `settings` holding what
// the user set. libx264 and libvpx-vp9 get a quality-based rate (crf)
// unless the settings name a rate of their own.
// False with a sentence when the name ends in no container or the encoder
// does not go into it.
bool VideoForPath(const std::string& path, const std::string& codec, int fps, VideoEncoder& encoder,
                  EncoderSettings& settings, std::string& error);
