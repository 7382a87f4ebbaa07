// Drives `quillion --render --animate` as a script would and checks the
// file with ffprobe when it is installed, else with libavformat.
#include <gtest/gtest.h>

#include <QStandardPaths>

#include <filesystem>

#include "VideoReader.h"
#include "tests/app/RunProgram.h"

namespace {

namespace fs = std::filesystem;

using Result = RunResult;

// Videos of many frames take a while under the sanitizers.
Result RunProgram(const QString& program, const QStringList& args) { return RunWithoutDisplay(program, args, 180000); }

Result Animate(const QStringList& args) { return RunProgram(QUILLION_EXE, QStringList{"--render"} + args); }

QString TempAvi(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("quillion-cli-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return QString::fromStdString((dir / name).string());
}

} // namespace

TEST(HeadlessAnimate, WritesAPlayableTurningVideo)
{
    const QString path = TempAvi("pyramid.avi");
    const Result r = Animate(
        {"--sample", "4", "--size", "64x48", "--animate", "3", "--step", "30", "--codec", "mjpeg", "--output", path});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Frame 3 of 3 written"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("[100.0%]"), std::string::npos) << r.err;

    const QString ffprobe = QStandardPaths::findExecutable("ffprobe");
    if (ffprobe.isEmpty()) {
        const VideoFacts v = ReadVideo(path.toStdString());
        EXPECT_EQ(v.frames.size(), 3u);
        GTEST_SKIP() << "no ffprobe; checked with libavformat only";
    }
    const Result probe = RunProgram(ffprobe, {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                              "stream=codec_name,width,height,avg_frame_rate,nb_read_frames", "-of",
                                              "default=noprint_wrappers=1", path});
    ASSERT_EQ(probe.code, 0) << probe.err;
    EXPECT_NE(probe.out.find("codec_name=mjpeg"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("width=64"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("height=48"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("avg_frame_rate=15/1"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("nb_read_frames=3"), std::string::npos) << probe.out;
}

TEST(HeadlessAnimate, BadValuesAreUsageErrors)
{
    const QString path = TempAvi("bad.avi");
    const QStringList base{"--sample", "4", "--size", "16x16", "--output", path};
    struct Case {
        QStringList args;
        const char* message;
    } cases[] = {
        {{"--animate", "0"}, "--animate \"0\""},
        {{"--animate", "10001"}, "1 to 10000"},
        {{"--animate", "x"}, "--animate \"x\""},
        {{"--animate", "2", "--step", "361"}, "1 to 360"},
        {{"--animate", "2", "--step", "-5"}, "--step \"-5\""},
        {{"--animate", "2", "--codec", "nosuch"}, "\"nosuch\""},
        {{"--step", "5"}, "need --animate"},
    };
    for (const Case& c : cases) {
        const Result r = Animate(base + c.args);
        EXPECT_EQ(r.code, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    const Result png = Animate({"--sample", "4", "--animate", "2", "--output", TempAvi("x.png")});
    EXPECT_EQ(png.code, 2);
    EXPECT_NE(png.err.find(".avi"), std::string::npos) << png.err;
    EXPECT_FALSE(fs::exists(path.toStdString()));
}

TEST(HeadlessAnimate, KindsWithoutARotationAngleAreRefused)
{
    const QString path = TempAvi("mandelbrot.avi");
    const Result r = Animate({"--type", "2", "--size", "16x16", "--animate", "2", "--output", path});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("rotation angle"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(path.toStdString()));
}
