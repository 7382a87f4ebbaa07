#include "animation/EncoderCatalogue.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cstdio>

namespace {

// The encoder's pixel format nearest to 24-bit BGR that libswscale can
// write; AV_PIX_FMT_NONE when there is none.
AVPixelFormat TargetFormat(const AVCodec* codec)
{
    if (!codec->pix_fmts)
        return AV_PIX_FMT_BGR24; // takes anything, rawvideo among them
    std::vector<AVPixelFormat> usable;
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(*p);
        if (d && !(d->flags & AV_PIX_FMT_FLAG_HWACCEL) && sws_isSupportedOutput(*p))
            usable.push_back(*p);
    }
    if (usable.empty())
        return AV_PIX_FMT_NONE;
    usable.push_back(AV_PIX_FMT_NONE);
    return avcodec_find_best_pix_fmt_of_list(usable.data(), AV_PIX_FMT_BGR24, 0, nullptr);
}

bool TakesYuv420(const AVCodec* codec)
{
    for (const AVPixelFormat* p = codec->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
        if (*p == AV_PIX_FMT_YUV420P)
            return true;
    return false;
}

bool HasPrivateOptions(const AVCodec* codec)
{
    const AVClass* cls = codec->priv_class;
    return cls && av_opt_next(&cls, nullptr) != nullptr;
}

std::string VersionText(unsigned v)
{
    return std::to_string(v >> 16) + "." + std::to_string((v >> 8) & 0xff) + "." + std::to_string(v & 0xff);
}

std::string DefaultText(const AVOption* o)
{
    char text[64];
    switch (o->type) {
    case AV_OPT_TYPE_INT:
    case AV_OPT_TYPE_INT64:
    case AV_OPT_TYPE_UINT64:
    case AV_OPT_TYPE_FLAGS:
    case AV_OPT_TYPE_BOOL:
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(o->default_val.i64));
        return text;
    case AV_OPT_TYPE_DOUBLE:
    case AV_OPT_TYPE_FLOAT: std::snprintf(text, sizeof text, "%g", o->default_val.dbl); return text;
    case AV_OPT_TYPE_STRING: return o->default_val.str ? o->default_val.str : "";
    default: return "";
    }
}

EncoderOption::Type OptionType(const AVOption* o)
{
    switch (o->type) {
    case AV_OPT_TYPE_INT:
    case AV_OPT_TYPE_INT64:
    case AV_OPT_TYPE_UINT64: return o->unit ? EncoderOption::kChoice : EncoderOption::kInteger;
    case AV_OPT_TYPE_DOUBLE:
    case AV_OPT_TYPE_FLOAT: return EncoderOption::kDouble;
    case AV_OPT_TYPE_STRING: return EncoderOption::kString;
    case AV_OPT_TYPE_BOOL: return EncoderOption::kBoolean;
    default: return EncoderOption::kOther;
    }
}

} // namespace

std::vector<VideoEncoder> ListVideoEncoders(const std::string& container)
{
    std::vector<VideoEncoder> list;
    const AVOutputFormat* avi = av_guess_format(container.c_str(), nullptr, nullptr);
    if (!avi)
        return list;
    const bool sharing = container != "avi";
    void* it = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&it)) {
        if (codec->type != AVMEDIA_TYPE_VIDEO || !av_codec_is_encoder(codec))
            continue;
        // Hardware encoders need a device and frames made on it.
        if (codec->capabilities & (AV_CODEC_CAP_EXPERIMENTAL | AV_CODEC_CAP_HARDWARE | AV_CODEC_CAP_HYBRID))
            continue;
        if (avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) != 1)
            continue;
        const AVPixelFormat format = sharing && TakesYuv420(codec) ? AV_PIX_FMT_YUV420P : TargetFormat(codec);
        if (format == AV_PIX_FMT_NONE)
            continue;
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
        VideoEncoder e;
        e.codecId = codec->id;
        e.name = codec->name;
        e.longName = codec->long_name ? codec->long_name : codec->name;
        e.pixelFormat = format;
        e.widthMultiple = 1u << d->log2_chroma_w;
        e.heightMultiple = 1u << d->log2_chroma_h;
        e.hasOptions = HasPrivateOptions(codec);
        list.push_back(std::move(e));
    }
    return list;
}

bool FindVideoEncoder(const std::string& name, VideoEncoder& out, std::string& error, const std::string& container)
{
    std::string names;
    for (VideoEncoder& e : ListVideoEncoders(container)) {
        if (e.name == name) {
            out = std::move(e);
            return true;
        }
        names += (names.empty() ? "" : ", ") + e.name;
    }
    const AVCodec* known = avcodec_find_encoder_by_name(name.c_str());
    if (known && known->type == AVMEDIA_TYPE_VIDEO)
        error = "the video encoder \"" + name + "\" cannot go into " + container + " files (they take: " + names + ")";
    else
        error = "unknown video encoder \"" + name + "\" (this build offers: " + names + ")";
    return false;
}

std::vector<EncoderOption> ListEncoderOptions(const VideoEncoder& encoder)
{
    std::vector<EncoderOption> list;
    std::vector<std::string> units; // beside `list`: the unit of each choice option
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder.name.c_str());
    if (!codec || !codec->priv_class)
        return list;
    const AVClass* cls = codec->priv_class;
    const AVOption* o = nullptr;
    while ((o = av_opt_next(&cls, o))) {
        if (o->type == AV_OPT_TYPE_CONST) {
            // A named value belongs to the options sharing its unit.
            for (size_t i = 0; i < list.size(); ++i)
                if (o->unit && units[i] == o->unit)
                    list[i].choices.push_back(o->name);
            continue;
        }
        if (!(o->flags & AV_OPT_FLAG_ENCODING_PARAM))
            continue;
        EncoderOption option;
        option.name = o->name;
        option.help = o->help ? o->help : "";
        option.type = OptionType(o);
        option.defaultValue = DefaultText(o);
        option.minimum = o->min;
        option.maximum = o->max;
        units.push_back(option.type == EncoderOption::kChoice ? o->unit : "");
        list.push_back(std::move(option));
    }
    // A choice without named values is a plain integer.
    for (EncoderOption& option : list)
        if (option.type == EncoderOption::kChoice && option.choices.empty())
            option.type = EncoderOption::kInteger;
    return list;
}

std::string AboutEncoder(const VideoEncoder& encoder)
{
    return encoder.longName + " (" + encoder.name + ")\n" + "libavcodec " + VersionText(avcodec_version()) +
           ", FFmpeg " + av_version_info() + "\n" + avcodec_license();
}

bool VideoLibrariesRecentEnough(std::string& error)
{
    const unsigned built[] = {LIBAVFORMAT_VERSION_INT, LIBAVCODEC_VERSION_INT};
    const unsigned found[] = {avformat_version(), avcodec_version()};
    const char* names[] = {"libavformat", "libavcodec"};
    for (int i = 0; i < 2; ++i) {
        // The major number changes the binary interface; a lower minor
        // number lacks what the headers promised.
        if ((found[i] >> 16) != (built[i] >> 16) || (found[i] >> 8) < (built[i] >> 8)) {
            error = std::string(names[i]) + " " + VersionText(found[i]) + " is older than or incompatible with " +
                    VersionText(built[i]) + ", which this program needs";
            return false;
        }
    }
    return true;
}
