#include "animation/AviWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "document/FileReplacement.h"

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* f) const
    {
        if (f->pb)
            avio_closep(&f->pb);
        avformat_free_context(f);
    }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct DictFree {
    AVDictionary* dict = nullptr;
    ~DictFree() { av_dict_free(&dict); }
};

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

unsigned RoundUp(unsigned n, unsigned multiple) { return (n + multiple - 1) / multiple * multiple; }

} // namespace

struct AviWriter::State {
    std::string path;
    // The video is written beside `path` and replaces it when closed, so a
    // failed write keeps the file that was there.
    std::unique_ptr<FileReplacement> file;
    bool existed = false; // `path` named a file when the writer opened
    bool frameFailed = false;
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFree> codec;
    std::unique_ptr<AVFrame, FrameFree> frame;
    std::unique_ptr<AVPacket, PacketFree> packet;
    std::unique_ptr<SwsContext, SwsFree> scaler;
    std::vector<uint8_t> staging; // the frame top-down and padded, 24-bit BGR
    AVStream* stream = nullptr;
    bool headerWritten = false;
    bool allKeys = true; // AVI: every frame a key frame

    bool Fail(std::string& error, const std::string& what, int code = 0) const
    {
        error = "cannot write \"" + path + "\": " + what;
        if (code < 0)
            error += ": " + AvError(code);
        return false;
    }
};

AviWriter::AviWriter() = default;

AviWriter::~AviWriter()
{
    std::string ignored;
    Close(ignored);
}

bool AviWriter::IsOpen() const { return m_state && m_state->headerWritten; }

bool AviWriter::Open(const std::string& path, const VideoEncoder& encoder, unsigned width, unsigned height,
                     const EncoderSettings& settings, std::string& error)
{
    if (IsOpen())
        return (error = "a video file is already open"), false;
    if (!VideoLibrariesRecentEnough(error))
        return false;
    auto s = std::make_unique<State>();
    s->path = path;
    if (width == 0 || height == 0 || width > 16384 || height > 16384)
        return s->Fail(error, "a frame of " + std::to_string(width) + "x" + std::to_string(height) +
                                  " pixels is outside 1x1 to 16384x16384");
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.name.c_str());
    if (!codec)
        return s->Fail(error, "this FFmpeg has no video encoder \"" + encoder.name + "\"");
    const unsigned pw = RoundUp(width, std::max(1u, encoder.widthMultiple));
    const unsigned ph = RoundUp(height, std::max(1u, encoder.heightMultiple));

    AVFormatContext* raw = nullptr;
    const bool avi = settings.container == "avi";
    // The sharing encoders print their statistics at every close.
    if (!avi)
        av_log_set_level(AV_LOG_ERROR);
    s->allKeys = avi;
    if (settings.framesPerSecond < 1 || settings.framesPerSecond > 1000)
        return s->Fail(error, "the frame rate must be 1 to 1000 frames a second");
    int rc = avformat_alloc_output_context2(&raw, nullptr, settings.container.c_str(), nullptr);
    if (rc < 0 || !raw)
        return s->Fail(error, settings.container.empty() ? "no file format is named" : "this FFmpeg cannot write " + settings.container + " files", rc);
    s->format.reset(raw);
    s->stream = avformat_new_stream(raw, nullptr);
    s->codec.reset(avcodec_alloc_context3(codec));
    s->frame.reset(av_frame_alloc());
    s->packet.reset(av_packet_alloc());
    if (!s->stream || !s->codec || !s->frame || !s->packet)
        return s->Fail(error, "out of memory", AVERROR(ENOMEM));

    AVCodecContext* c = s->codec.get();
    c->width = int(pw);
    c->height = int(ph);
    c->pix_fmt = AVPixelFormat(encoder.pixelFormat);
    c->time_base = AVRational{1, settings.framesPerSecond};
    c->framerate = AVRational{settings.framesPerSecond, 1};
    if (avi) {
        c->gop_size = 0; // every frame a key frame
        c->max_b_frames = 0;
    } else {
        // For sharing: the encoder's own key frames, every core, and the
        // colours tagged as libswscale makes them below.
        c->thread_count = 0;
        c->colorspace = AVCOL_SPC_BT709;
        c->color_primaries = AVCOL_PRI_BT709;
        c->color_trc = AVCOL_TRC_BT709;
        c->color_range = AVCOL_RANGE_MPEG;
    }
    if (settings.bitRate > 0)
        c->bit_rate = settings.bitRate;
    if (settings.quality > 0) {
        c->flags |= AV_CODEC_FLAG_QSCALE;
        c->global_quality = FF_QP2LAMBDA * settings.quality;
    }
    if (raw->oformat->flags & AVFMT_GLOBALHEADER)
        c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    DictFree options;
    for (const auto& [key, value] : settings.options)
        av_dict_set(&options.dict, key.c_str(), value.c_str(), 0);
    if ((rc = avcodec_open2(c, codec, &options.dict)) < 0)
        return s->Fail(error, "the " + encoder.name + " encoder refused the settings", rc);
    if (const AVDictionaryEntry* left = av_dict_get(options.dict, "", nullptr, AV_DICT_IGNORE_SUFFIX))
        return s->Fail(error, "the " + encoder.name + " encoder has no option \"" + left->key + "\"");
    if ((rc = avcodec_parameters_from_context(s->stream->codecpar, c)) < 0)
        return s->Fail(error, "the stream format", rc);
    s->stream->time_base = c->time_base;
    s->stream->avg_frame_rate = c->framerate;

    s->frame->format = c->pix_fmt;
    s->frame->width = c->width;
    s->frame->height = c->height;
    if ((rc = av_frame_get_buffer(s->frame.get(), 0)) < 0)
        return s->Fail(error, "out of memory", rc);
    s->scaler.reset(sws_getContext(c->width, c->height, AV_PIX_FMT_BGR24, c->width, c->height, c->pix_fmt,
                                   SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    if (!s->scaler)
        return s->Fail(error, "no conversion from 24-bit pixels to the encoder's format");
    if (!avi)
        sws_setColorspaceDetails(s->scaler.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    s->staging.resize(size_t(pw) * ph * 3);

    std::error_code ec;
    s->existed = std::filesystem::exists(path, ec);
    s->file = std::make_unique<FileReplacement>(path);
    if (!s->file->Create(error))
        return false;
    // "file:" keeps a name with a colon from being read as a protocol.
    const std::string url = "file:" + s->file->TemporaryPath();
    // The MP4 muxer opens the file again by this name to put its index first.
    raw->url = av_strdup(url.c_str());
    if (!raw->url)
        return s->Fail(error, "out of memory", AVERROR(ENOMEM));
    if ((rc = avio_open(&raw->pb, url.c_str(), AVIO_FLAG_WRITE)) < 0)
        return s->Fail(error, "cannot create the file", rc);
    DictFree muxing;
    if (settings.container == "mp4")
        av_dict_set(&muxing.dict, "movflags", "+faststart", 0); // plays while it downloads
    if ((rc = avformat_write_header(raw, &muxing.dict)) < 0) {
        avio_closep(&raw->pb);
        return s->Fail(error, "the file header", rc); // the new file goes with `s`
    }
    s->headerWritten = true;
    m_state = std::move(s);
    m_width = width;
    m_height = height;
    m_paddedWidth = pw;
    m_paddedHeight = ph;
    m_frames = 0;
    return true;
}

bool AviWriter::WriteFrame(const uint8_t* bits, std::string& error)
{
    if (!IsOpen())
        return (error = "no video file is open"), false;
    State& s = *m_state;
    // Turn the rows top-down and repeat the last column and row into the
    // padding, so the encoder sees no seam.
    const size_t stride = RowBytes(m_width), out = size_t(m_paddedWidth) * 3;
    for (unsigned r = 0; r < m_paddedHeight; ++r) {
        const uint8_t* src = bits + size_t(m_height - 1 - std::min(r, m_height - 1)) * stride;
        uint8_t* dst = s.staging.data() + r * out;
        std::memcpy(dst, src, size_t(m_width) * 3);
        for (unsigned x = m_width; x < m_paddedWidth; ++x)
            std::memcpy(dst + size_t(x) * 3, src + size_t(m_width - 1) * 3, 3);
    }
    int rc = av_frame_make_writable(s.frame.get());
    if (rc < 0) {
        s.frameFailed = true;
        return s.Fail(error, "frame " + std::to_string(m_frames), rc);
    }
    const uint8_t* planes[1] = {s.staging.data()};
    const int strides[1] = {int(out)};
    sws_scale(s.scaler.get(), planes, strides, 0, int(m_paddedHeight), s.frame->data, s.frame->linesize);
    s.frame->pts = m_frames;
    s.frame->pict_type = s.allKeys ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (s.codec->flags & AV_CODEC_FLAG_QSCALE)
        s.frame->quality = s.codec->global_quality;
    if ((rc = avcodec_send_frame(s.codec.get(), s.frame.get())) < 0) {
        s.frameFailed = true;
        return s.Fail(error, "encoding frame " + std::to_string(m_frames), rc);
    }
    if (!Encode(false, error)) {
        s.frameFailed = true;
        return false;
    }
    ++m_frames;
    return true;
}

bool AviWriter::Encode(bool flush, std::string& error)
{
    State& s = *m_state;
    for (;;) {
        int rc = avcodec_receive_packet(s.codec.get(), s.packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0)
            return s.Fail(error, flush ? "draining the encoder" : "encoding", rc);
        av_packet_rescale_ts(s.packet.get(), s.codec->time_base, s.stream->time_base);
        s.packet->stream_index = s.stream->index;
        if (s.allKeys)
            s.packet->flags |= AV_PKT_FLAG_KEY;
        rc = av_interleaved_write_frame(s.format.get(), s.packet.get());
        av_packet_unref(s.packet.get());
        if (rc < 0)
            return s.Fail(error, "writing a frame", rc);
    }
}

bool AviWriter::Close(std::string& error)
{
    if (!IsOpen())
        return true;
    State& s = *m_state;
    bool ok = true;
    const int sent = avcodec_send_frame(s.codec.get(), nullptr);
    if (sent < 0 && sent != AVERROR_EOF)
        ok = s.Fail(error, "draining the encoder", sent);
    else
        ok = Encode(true, error);
    // The index is written even after a failed frame, so what was written
    // plays; it replaces an older file only when every write succeeded.
    const int rc = av_write_trailer(s.format.get());
    if (rc < 0 && ok)
        ok = s.Fail(error, "the file index", rc);
    avio_flush(s.format->pb);
    if (s.format->pb->error < 0 && ok)
        ok = s.Fail(error, "writing the file", s.format->pb->error);
    const int closed = avio_closep(&s.format->pb);
    if (closed < 0 && ok)
        ok = s.Fail(error, "closing the file", closed);
    if (ok && (!s.frameFailed || !s.existed)) {
        std::string why;
        if (!s.file->Commit(why))
            ok = (error = why, false);
    }
    m_state.reset();
    return ok;
}

std::string ContainerOfPath(const std::string& path)
{
    static const std::pair<const char*, const char*> kEndings[] = {
        {".avi", "avi"}, {".mp4", "mp4"}, {".webm", "webm"}, {".mkv", "matroska"}};
    for (const auto& [ending, container] : kEndings) {
        const size_t n = std::strlen(ending);
        if (path.size() > n && path.compare(path.size() - n, n, ending) == 0)
            return container;
    }
    return {};
}

std::string DefaultVideoEncoder(const std::string& container)
{
    return container == "webm" ? "libvpx-vp9" : container == "avi" ? "rawvideo" : "libx264";
}

bool VideoForPath(const std::string& path, const std::string& codec, int fps, VideoEncoder& encoder,
                  EncoderSettings& settings, std::string& error)
{
    const std::string container = ContainerOfPath(path);
    if (container.empty())
        return (error = "a video file must end in .mp4, .webm, .mkv or .avi"), false;
    const std::string name = codec.empty() ? DefaultVideoEncoder(container) : codec;
    if (!FindVideoEncoder(name, encoder, error, container))
        return false;
    settings.container = container;
    settings.framesPerSecond = fps;
    // A rate the user named (a bit rate, a quantiser, a crf or qp of the
    // encoder's own) replaces the quality-based one.
    const bool ownRate = settings.bitRate > 0 || settings.quality > 0 || settings.options.count("crf") ||
                         settings.options.count("qp") || settings.options.count("b");
    if (name == "libx264" && !ownRate)
        settings.options.emplace("crf", "20");
    if (name == "libvpx-vp9") {
        // Constant quality needs the bit rate's ceiling off; the default
        // speed of libvpx takes minutes a frame at large sizes.
        if (!ownRate) {
            settings.options.emplace("crf", "32");
            settings.options.emplace("b", "0");
        }
        settings.options.emplace("cpu-used", "4");
        settings.options.emplace("row-mt", "1");
    }
    return true;
}
