#include "VideoReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace {

struct Input {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    SwsContext* scaler = nullptr;
    ~Input()
    {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

void Collect(Input& in, VideoFacts& facts)
{
    while (avcodec_receive_frame(in.codec, in.frame) >= 0) {
        const int w = in.frame->width, h = in.frame->height;
        in.scaler = sws_getCachedContext(in.scaler, w, h, AVPixelFormat(in.frame->format), w, h, AV_PIX_FMT_RGB24,
                                         SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
        std::vector<uint8_t> rgb(size_t(w) * h * 3);
        uint8_t* planes[1] = {rgb.data()};
        const int strides[1] = {w * 3};
        sws_scale(in.scaler, in.frame->data, in.frame->linesize, 0, h, planes, strides);
        facts.frames.push_back(std::move(rgb));
    }
}

} // namespace

VideoFacts ReadVideo(const std::string& path)
{
    VideoFacts facts;
    Input in;
    if (avformat_open_input(&in.format, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(in.format, nullptr) < 0) {
        facts.error = "cannot open " + path;
        return facts;
    }
    const int index = av_find_best_stream(in.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0 || in.format->nb_streams != 1) {
        facts.error = "not exactly one video stream";
        return facts;
    }
    const AVStream* stream = in.format->streams[index];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    in.codec = avcodec_alloc_context3(decoder);
    if (!decoder || avcodec_parameters_to_context(in.codec, stream->codecpar) < 0 ||
        avcodec_open2(in.codec, decoder, nullptr) < 0) {
        facts.error = "no decoder";
        return facts;
    }
    facts.opened = true;
    facts.codec = decoder->name;
    facts.width = stream->codecpar->width;
    facts.height = stream->codecpar->height;
    facts.framesPerSecond = av_q2d(stream->avg_frame_rate);
    while (av_read_frame(in.format, in.packet) >= 0) {
        if (in.packet->stream_index == index)
            avcodec_send_packet(in.codec, in.packet);
        av_packet_unref(in.packet);
        Collect(in, facts);
    }
    avcodec_send_packet(in.codec, nullptr);
    Collect(in, facts);
    return facts;
}
