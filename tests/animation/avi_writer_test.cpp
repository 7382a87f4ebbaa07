// Writes short videos with the encoders of this FFmpeg and reads them back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "VideoReader.h"
#include "animation/AviWriter.h"
#include "tests/SmallDisk.h"

namespace {

namespace fs = std::filesystem;

fs::path TempFile(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("quillion-avi-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / name;
}

// A canvas-layout picture: bottom half red on the left and blue on the
// right, top half green. Row 0 of the buffer is the bottom row.
std::vector<uint8_t> Quadrants(unsigned w, unsigned h)
{
    const unsigned stride = AviWriter::RowBytes(w);
    std::vector<uint8_t> bits(size_t(stride) * h, 0);
    for (unsigned r = 0; r < h; ++r)
        for (unsigned x = 0; x < w; ++x) {
            uint8_t* p = bits.data() + size_t(r) * stride + x * 3; // B, G, R
            if (r >= h / 2)
                p[1] = 255;
            else if (x < w / 2)
                p[2] = 255;
            else
                p[0] = 255;
        }
    return bits;
}

// The colour at (x, y), y counted from the top.
struct Rgb {
    int r, g, b;
};
Rgb At(const VideoFacts& v, size_t frame, int x, int y)
{
    const uint8_t* p = v.frames[frame].data() + (size_t(y) * v.width + x) * 3;
    return {p[0], p[1], p[2]};
}

bool Find(const std::string& name, VideoEncoder& e)
{
    std::string error;
    return FindVideoEncoder(name, e, error);
}

} // namespace

TEST(EncoderCatalogue, ListsTheAviEncodersWithWhatOpensThem)
{
    const auto list = ListVideoEncoders();
    ASSERT_FALSE(list.empty());
    bool raw = false;
    for (const VideoEncoder& e : list) {
        EXPECT_FALSE(e.name.empty());
        EXPECT_FALSE(e.longName.empty());
        EXPECT_GE(e.pixelFormat, 0) << e.name;
        EXPECT_GE(e.widthMultiple, 1u);
        raw = raw || e.name == "rawvideo";
        const std::string about = AboutEncoder(e);
        EXPECT_NE(about.find(e.longName), std::string::npos);
        EXPECT_NE(about.find("libavcodec "), std::string::npos);
        EXPECT_NE(about.find("GPL"), std::string::npos) << about; // the licence line
    }
    EXPECT_TRUE(raw) << "the uncompressed encoder goes into every AVI file";
}

TEST(EncoderCatalogue, UnknownNamesAreRefusedWithTheChoices)
{
    VideoEncoder e;
    std::string error;
    EXPECT_FALSE(FindVideoEncoder("no-such-codec", e, error));
    EXPECT_NE(error.find("\"no-such-codec\""), std::string::npos);
    EXPECT_NE(error.find("rawvideo"), std::string::npos);
    // An audio encoder is not a video encoder for AVI files.
    EXPECT_FALSE(FindVideoEncoder("pcm_s16le", e, error));
}

TEST(EncoderCatalogue, PrivateOptionsAreListedForTheSettingsDialog)
{
    VideoEncoder e;
    if (!Find("mpeg4", e))
        GTEST_SKIP() << "no mpeg4 encoder";
    EXPECT_TRUE(e.hasOptions);
    const auto options = ListEncoderOptions(e);
    ASSERT_FALSE(options.empty());
    for (const EncoderOption& o : options)
        EXPECT_FALSE(o.name.empty());
}

TEST(EncoderCatalogue, TheLinkedLibrariesAreRecentEnough)
{
    std::string error;
    EXPECT_TRUE(VideoLibrariesRecentEnough(error)) << error;
}

class WriteWith : public ::testing::TestWithParam<const char*> {};

TEST_P(WriteWith, ThreeFramesReadBackTheRightWayUp)
{
    VideoEncoder e;
    if (!Find(GetParam(), e))
        GTEST_SKIP() << GetParam() << " is not in this FFmpeg";
    const fs::path path = TempFile(std::string(GetParam()) + ".avi");
    const auto bits = Quadrants(64, 48);
    {
        AviWriter writer;
        std::string error;
        ASSERT_TRUE(writer.Open(path, e, 64, 48, {}, error)) << error;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(writer.WriteFrame(bits.data(), error)) << error;
        ASSERT_TRUE(writer.Close(error)) << error;
        EXPECT_FALSE(writer.IsOpen());
    }
    const VideoFacts v = ReadVideo(path);
    ASSERT_TRUE(v.opened) << v.error;
    EXPECT_EQ(v.codec, e.name);
    EXPECT_EQ(v.width, 64);
    EXPECT_EQ(v.height, 48);
    EXPECT_DOUBLE_EQ(v.framesPerSecond, 15.0);
    ASSERT_EQ(v.frames.size(), 3u);
    for (size_t f = 0; f < 3; ++f) {
        const Rgb top = At(v, f, 10, 5), left = At(v, f, 10, 40), right = At(v, f, 54, 40);
        EXPECT_GT(top.g, 200) << "top must be green";
        EXPECT_LT(top.r, 60);
        EXPECT_GT(left.r, 200) << "bottom left must be red";
        EXPECT_LT(left.b, 60);
        EXPECT_GT(right.b, 200) << "bottom right must be blue";
        EXPECT_LT(right.r, 60);
    }
}

INSTANTIATE_TEST_SUITE_P(Encoders, WriteWith, ::testing::Values("rawvideo", "mjpeg", "mpeg4", "ffv1"));

TEST(AviWriter, RawFramesAreExactAtAnOddWidth)
{
    VideoEncoder e;
    ASSERT_TRUE(Find("rawvideo", e));
    EXPECT_EQ(AviWriter::RowBytes(101), 304u);
    const fs::path path = TempFile("odd-raw.avi");
    std::vector<uint8_t> bits(size_t(AviWriter::RowBytes(101)) * 7);
    for (size_t i = 0; i < bits.size(); ++i)
        bits[i] = uint8_t(i * 7 + 3);
    AviWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(path, e, 101, 7, {}, error)) << error;
    EXPECT_EQ(writer.PaddedWidth(), 101u);
    ASSERT_TRUE(writer.WriteFrame(bits.data(), error)) << error;
    ASSERT_TRUE(writer.Close(error)) << error;
    const VideoFacts v = ReadVideo(path);
    ASSERT_EQ(v.frames.size(), 1u);
    ASSERT_EQ(v.width, 101);
    ASSERT_EQ(v.height, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 101; ++x) {
            const uint8_t* p = bits.data() + size_t(6 - y) * 304 + x * 3;
            const Rgb c = At(v, 0, x, y);
            ASSERT_EQ(c.r, p[2]);
            ASSERT_EQ(c.g, p[1]);
            ASSERT_EQ(c.b, p[0]);
        }
}

TEST(AviWriter, SubsampledEncodersGetOddSizesPadded)
{
    VideoEncoder e;
    if (!Find("mpeg4", e))
        GTEST_SKIP() << "no mpeg4 encoder";
    const fs::path path = TempFile("odd-mpeg4.avi");
    const auto bits = Quadrants(101, 47);
    AviWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(path, e, 101, 47, {}, error)) << error;
    EXPECT_EQ(writer.PaddedWidth(), 102u);
    EXPECT_EQ(writer.PaddedHeight(), 48u);
    ASSERT_TRUE(writer.WriteFrame(bits.data(), error)) << error;
    ASSERT_TRUE(writer.Close(error)) << error;
    const VideoFacts v = ReadVideo(path);
    ASSERT_EQ(v.frames.size(), 1u);
    EXPECT_EQ(v.width, 102);
    EXPECT_EQ(v.height, 48);
    // The repeated last column and row continue the picture's edge.
    EXPECT_GT(At(v, 0, 101, 46).b, 200);
    EXPECT_GT(At(v, 0, 101, 47).b, 200);
}

TEST(AviWriter, BadSettingsAndPathsAreRefusedWithAMessage)
{
    VideoEncoder e;
    ASSERT_TRUE(Find("rawvideo", e));
    std::string error;
    {
        AviWriter writer;
        EXPECT_FALSE(writer.Open((TempFile("none") / "missing-dir" / "x.avi").string(), e, 8, 8, {}, error));
        EXPECT_NE(error.find("x.avi"), std::string::npos) << error;
        EXPECT_FALSE(writer.IsOpen());
        EXPECT_FALSE(writer.WriteFrame(nullptr, error));
    }
    VideoEncoder mjpeg;
    if (Find("mjpeg", mjpeg)) {
        AviWriter writer;
        EncoderSettings s;
        s.options["no_such_option"] = "1";
        EXPECT_FALSE(writer.Open(TempFile("opt.avi"), mjpeg, 8, 8, s, error));
        EXPECT_NE(error.find("no_such_option"), std::string::npos) << error;
    }
    AviWriter writer;
    EXPECT_FALSE(writer.Open(TempFile("big.avi"), e, 0, 8, {}, error));
    EXPECT_FALSE(writer.Open(TempFile("big.avi"), e, 100000, 8, {}, error));
}

TEST(AviWriter, AWriterLeftOpenFinishesItsFileWhenDestroyed)
{
    VideoEncoder e;
    ASSERT_TRUE(Find("rawvideo", e));
    const fs::path path = TempFile("abandoned.avi");
    const auto bits = Quadrants(16, 16);
    {
        AviWriter writer;
        std::string error;
        ASSERT_TRUE(writer.Open(path, e, 16, 16, {}, error)) << error;
        ASSERT_TRUE(writer.WriteFrame(bits.data(), error));
        ASSERT_TRUE(writer.WriteFrame(bits.data(), error));
    }
    EXPECT_EQ(ReadVideo(path).frames.size(), 2u);
}

TEST(AviWriter, QualityAndBitRateReachTheEncoder)
{
    VideoEncoder e;
    if (!Find("mpeg4", e))
        GTEST_SKIP() << "no mpeg4 encoder";
    auto sizeWith = [&](int quality) {
        const fs::path path = TempFile("q" + std::to_string(quality) + ".avi");
        std::vector<uint8_t> bits(size_t(AviWriter::RowBytes(64)) * 64);
        for (size_t i = 0; i < bits.size(); ++i)
            bits[i] = uint8_t((i * 2654435761u) >> 13); // noise compresses badly
        AviWriter writer;
        EncoderSettings s;
        s.quality = quality;
        std::string error;
        EXPECT_TRUE(writer.Open(path, e, 64, 64, s, error)) << error;
        EXPECT_TRUE(writer.WriteFrame(bits.data(), error)) << error;
        EXPECT_TRUE(writer.Close(error)) << error;
        return fs::file_size(path);
    };
    EXPECT_GT(sizeWith(2), sizeWith(31));
}

TEST(AviWriter, AFullDiskKeepsTheOldVideoAndSaysWhy)
{
    VideoEncoder e;
    ASSERT_TRUE(Find("rawvideo", e));
    const fs::path disk = TempFile("disk");
    fs::create_directories(disk);
    const fs::path path = disk / "turn.avi";
    const auto bits = Quadrants(16, 16);
    auto readAll = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    {
        SmallDisk small(disk);
        std::ofstream(path, std::ios::binary) << "the old video";
        small.Fill();
        AviWriter writer;
        std::string error;
        // Where the first write fails depends on the buffering: the open,
        // a frame or the close reports it.
        bool ok = writer.Open(path, e, 16, 16, {}, error);
        for (int i = 0; ok && i < 3; ++i)
            ok = writer.WriteFrame(bits.data(), error);
        if (ok)
            ok = writer.Close(error);
        EXPECT_FALSE(ok);
        EXPECT_NE(error.find(path.string()), std::string::npos) << error;
        EXPECT_NE(error.find(small.Reason()), std::string::npos) << error;
        writer.Close(error);
        EXPECT_TRUE(readAll() == "the old video") << readAll().size() << " bytes";
        size_t files = 0;
        for (const auto& entry : fs::directory_iterator(disk))
            files += entry.path() != small.Filler();
        EXPECT_EQ(files, 1u);

        small.Free();
        ASSERT_TRUE(writer.Open(path, e, 16, 16, {}, error)) << error;
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(writer.WriteFrame(bits.data(), error)) << error;
        ASSERT_TRUE(writer.Close(error)) << error;
        EXPECT_EQ(ReadVideo(path).frames.size(), 3u);
    }
    fs::remove_all(disk);
}
