#pragma once
// The video encoders of the linked FFmpeg that can go into an AVI file and
// take 24-bit pixels, directly or through libswscale. Plain C++ over FFmpeg,
// so the writer and a settings dialog can share it.

#include <cstdint>
#include <string>
#include <vector>

struct VideoEncoder {
    int codecId = 0;                                // AVCodecID
    std::string name;                               // as --codec takes it, e.g. "mjpeg"
    std::string longName;                           // the list entry
    int pixelFormat = -1;                           // AVPixelFormat the frames are converted to
    unsigned widthMultiple = 1, heightMultiple = 1; // frames are padded to these
    bool hasOptions = false;                        // private options exist: a settings dialog helps
    bool lossless = false;
};

// One private option of an encoder, for a settings dialog.
struct EncoderOption {
    enum Type { kInteger, kDouble, kString, kBoolean, kChoice, kOther };
    std::string name, help;
    Type type = kOther;
    std::string defaultValue;
    double minimum = 0, maximum = 0;
    std::vector<std::string> choices; // named constants of kChoice options
};

// In the order FFmpeg lists them, for a container libavformat names
// ("avi", "mp4", "webm", "matroska"). Outside AVI an encoder that takes
// yuv420p is given it: it is what players everywhere take.
std::vector<VideoEncoder> ListVideoEncoders(const std::string& container = "avi");

// The catalogue entry named `name`; false with a message naming the
// accepted encoders when there is none, which says whether FFmpeg has no
// such encoder or the container cannot take it.
bool FindVideoEncoder(const std::string& name, VideoEncoder& out, std::string& error,
                      const std::string& container = "avi");

std::vector<EncoderOption> ListEncoderOptions(const VideoEncoder& encoder);

// Full name, libavcodec version and licence, one per line.
std::string AboutEncoder(const VideoEncoder& encoder);

// Whether the libavformat and libavcodec found at run time are at least
// the ones this program was compiled against; a message when not.
bool VideoLibrariesRecentEnough(std::string& error);
