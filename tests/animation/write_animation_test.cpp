// Animates a self-affine sample into a file and checks each frame against
// a fresh build at the angle it should show.
#include <gtest/gtest.h>

#include <filesystem>

#include "VideoReader.h"
#include "animation/WriteAnimation.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "tests/AddressLimit.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPyramid = 4; // a 3-D sample

fs::path TempFile(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("quillion-anim-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / name;
}

void Size(CCanvas& canvas, unsigned w, unsigned h)
{
    canvas.m_targetWidth = w;
    canvas.m_targetHeight = h;
}

AnimationJob Job(const fs::path& path, unsigned frames, unsigned step)
{
    AnimationJob job;
    std::string error;
    EXPECT_TRUE(FindVideoEncoder("rawvideo", job.encoder, error)) << error;
    job.path = path.string();
    job.frameCount = frames;
    job.stepAngle = step;
    return job;
}

// The canvas image at `angle`, top row first, as RGB.
std::vector<uint8_t> Reference(double angle, unsigned w, unsigned h)
{
    auto fractal = CreateSample(kPyramid);
    static_cast<CSelfAffineSet&>(*fractal).m_rotationAngle = angle;
    CCanvas canvas;
    Size(canvas, w, h);
    fractal->m_restart = true;
    fractal->Build(canvas);
    fractal->Draw(canvas);
    std::vector<uint8_t> rgb;
    for (unsigned y = 0; y < h; ++y) {
        const uint8_t* row = canvas.Row(h - 1 - y);
        for (unsigned x = 0; x < w; ++x)
            rgb.insert(rgb.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
    }
    return rgb;
}

} // namespace

class TurnAt : public ::testing::TestWithParam<std::pair<unsigned, unsigned>> {};

TEST_P(TurnAt, EachFrameIsTheSetTurnedByTheStepsBeforeIt)
{
    const auto [w, h] = GetParam();
    auto fractal = CreateSample(kPyramid);
    auto& set = static_cast<CSelfAffineSet&>(*fractal);
    const double start = set.m_rotationAngle;
    CCanvas canvas;
    Size(canvas, w, h);
    const fs::path path = TempFile("turn" + std::to_string(w) + ".avi");
    std::vector<unsigned> seen;
    std::stop_source stop;
    const AnimationOutcome out =
        WriteAnimation(*fractal, canvas, Job(path, 3, 40), stop.get_token(), [&](unsigned done, unsigned total) {
            EXPECT_EQ(total, 3u);
            seen.push_back(done);
        });
    ASSERT_EQ(out.result, AnimationOutcome::kDone) << out.error;
    EXPECT_EQ(out.framesWritten, 3u);
    EXPECT_EQ(seen, (std::vector<unsigned>{1, 2, 3}));
    EXPECT_DOUBLE_EQ(set.m_rotationAngle, start + 3 * 40);

    const VideoFacts v = ReadVideo(path);
    ASSERT_TRUE(v.opened) << v.error;
    EXPECT_EQ(v.width, int(w));
    EXPECT_EQ(v.height, int(h));
    EXPECT_EQ(canvas.m_stride, (w * 3 + 3) / 4 * 4);
    EXPECT_DOUBLE_EQ(v.framesPerSecond, 15.0);
    ASSERT_EQ(v.frames.size(), 3u);
    for (unsigned k = 0; k < 3; ++k)
        EXPECT_EQ(v.frames[k], Reference(start + k * 40, w, h)) << "frame " << k;
    // The set really turns, or the comparison above proves little.
    EXPECT_NE(v.frames[0], v.frames[1]);
}

// 101 pixels make rows of 304 bytes, one byte of padding each.
INSTANTIATE_TEST_SUITE_P(Sizes, TurnAt, ::testing::Values(std::pair{64u, 48u}, std::pair{101u, 30u}));

TEST(WriteAnimation, StopEndsAfterTheCurrentFrameAndLeavesAPlayableFile)
{
    auto fractal = CreateSample(kPyramid);
    CCanvas canvas;
    Size(canvas, 32, 24);
    const fs::path path = TempFile("stopped.avi");
    std::stop_source stop;
    const AnimationOutcome out =
        WriteAnimation(*fractal, canvas, Job(path, 6, 10), stop.get_token(), [&](unsigned done, unsigned) {
            if (done == 2)
                stop.request_stop();
        });
    EXPECT_EQ(out.result, AnimationOutcome::kStopped);
    EXPECT_EQ(out.framesWritten, 2u);
    const VideoFacts v = ReadVideo(path);
    ASSERT_TRUE(v.opened) << v.error;
    EXPECT_EQ(v.frames.size(), 2u);
}

TEST(WriteAnimation, KindsWithoutARotationAngleAndBadCountsAreRefused)
{
    auto mandelbrot = CreateFractalOfType(kTypeMandelbrot);
    CCanvas canvas;
    Size(canvas, 16, 16);
    std::stop_source stop;
    const fs::path path = TempFile("refused.avi");
    AnimationOutcome out = WriteAnimation(*mandelbrot, canvas, Job(path, 3, 18), stop.get_token());
    EXPECT_EQ(out.result, AnimationOutcome::kRefused);
    EXPECT_FALSE(out.error.empty());
    EXPECT_FALSE(AnimationRefusal(*mandelbrot).empty());
    EXPECT_FALSE(fs::exists(path)) << "a refused animation writes nothing";

    auto pyramid = CreateSample(kPyramid);
    EXPECT_TRUE(AnimationRefusal(*pyramid).empty());
    for (auto [frames, step] : {std::pair{0u, 18u}, {10001u, 18u}, {3u, 0u}, {3u, 361u}}) {
        out = WriteAnimation(*pyramid, canvas, Job(path, frames, step), stop.get_token());
        EXPECT_EQ(out.result, AnimationOutcome::kRefused) << frames << " " << step;
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(WriteAnimation, AFailedFileIsReportedAsAFailure)
{
    auto pyramid = CreateSample(kPyramid);
    CCanvas canvas;
    Size(canvas, 16, 16);
    std::stop_source stop;
    const AnimationOutcome out =
        WriteAnimation(*pyramid, canvas, Job(TempFile("x") / "no-dir" / "a.avi", 2, 18), stop.get_token());
    EXPECT_EQ(out.result, AnimationOutcome::kFailed);
    EXPECT_NE(out.error.find("a.avi"), std::string::npos) << out.error;
    EXPECT_STREQ(kAnimationWriteError, "An error occurred trying to write the output file.");
}

TEST(WriteAnimation, ASetThatCannotBeBuiltOrHeldIsRefusedWithItsReason)
{
    // The child starts afresh rather than forked from a process with threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto fractal = CreateSample(kPyramid);
    auto& set = static_cast<CSelfAffineSet&>(*fractal);
    const int blank = set.m_maps.count + 1; // the blank map does not shrink
    ++set.m_maps.count;
    CCanvas canvas;
    Size(canvas, 16, 12);
    std::stop_source stop;
    const fs::path path = TempFile("blank.avi");
    AnimationOutcome out = WriteAnimation(*fractal, canvas, Job(path, 3, 18), stop.get_token());
    EXPECT_EQ(out.result, AnimationOutcome::kRefused);
    EXPECT_EQ(out.error.rfind("The maps do not contract: map " + std::to_string(blank) + " ", 0), 0u) << out.error;
    EXPECT_EQ(out.framesWritten, 0u);
    EXPECT_FALSE(fs::exists(path)) << "no video of blank frames";

    // Frames whose cells cannot be had are refused, not a crash.
    --set.m_maps.count;
    if (!kAddressLimitWorks)
        GTEST_SKIP() << "an address-space limit and a sanitizer do not mix";
    Size(canvas, 2000, 2000); // 144 MB of cells
    EXPECT_EXIT(
        {
            if (!LimitAddressSpace(64u << 20))
                std::_Exit(3);
            out = WriteAnimation(*fractal, canvas, Job(path, 3, 18), stop.get_token());
            const bool refused =
                out.result == AnimationOutcome::kRefused && out.error == "Not enough memory for a 2000x2000 image";
            std::_Exit(refused && !fs::exists(path) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
