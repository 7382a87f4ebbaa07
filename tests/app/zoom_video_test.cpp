// Zoom videos and frame ranges through the real executable: --zoom-video,
// --frames, --print-frames and --assemble.
#include <sys/stat.h>

#include <QImage>

#include <cmath>
#include <map>
#include <set>
#include <sstream>

#include "numbers/Coordinate.h"
#include "numbers/WideSize.h"
#include "tests/app/HeadlessFixture.h"

namespace {

// A Mandelbrot view 1e-20 wide by the spirals near -0.7436 + 0.1318 i,
// past what doubles tell apart, so the frames' centres carry digits.
constexpr const char* kDeepX = "-0.74364451097328589583078559144868670983576730650589208411455588827997893996620837";
constexpr const char* kDeepY = "0.131847068880488927100117352916508203812153239242165867507417379120461872334112709";

class ZoomVideo : public Headless {
protected:
    // The default Mandelbrot document with the view moved to x, y, radius.
    QString EndDocument(const char* name, const std::string& x, const std::string& y, const std::string& radius)
    {
        const Result saved = Render({"--type", "2", "--size", "8x8", "--save", At("base.frc"), "--quiet"});
        EXPECT_EQ(saved.code, 0) << saved.err;
        std::string text = ReadAll(dir / "base.frc");
        auto put = [&](const std::string& key, const std::string& value) {
            const size_t at = text.find("\r\n" + key + "=") + 2;
            text.replace(at, text.find("\r\n", at) - at, key + "=" + value);
        };
        put("x", x);
        put("y", y);
        put("radius", radius);
        std::ofstream(dir / name, std::ios::binary) << text;
        return At(name);
    }
    QString Deep() { return EndDocument("deep.frc", kDeepX, kDeepY, "1e-20"); }
    QString Shallow() { return EndDocument("shallow.frc", "-0.7436447", "0.1318471", "1e-3"); }

    // Every file of a folder by name, with its bytes.
    std::map<std::string, std::string> Files(const fs::path& folder)
    {
        std::map<std::string, std::string> files;
        for (const std::string& name : Names(folder))
            files[name] = ReadAll(folder / name);
        return files;
    }
};

std::map<std::string, std::string> Probe(const QString& video)
{
    const RunResult r = RunWithoutDisplay(
        "ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                    "stream=codec_name,width,height,r_frame_rate,nb_read_frames", "-of", "default=nw=1", video});
    EXPECT_EQ(r.code, 0) << r.err;
    std::map<std::string, std::string> keys;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (const size_t eq = line.find('='); eq != std::string::npos)
            keys[line.substr(0, eq)] = line.substr(eq + 1);
    return keys;
}

const QStringList kSmall = {"--size", "64x48", "--quiet"};

TEST_F(ZoomVideo, RangesSplitAnyWayGiveTheSameFiles)
{
    const QString end = Shallow();
    const QStringList zoom = QStringList{end, "--zoom-video", "1", "--fps", "8"} + kSmall;
    const Result count = Render(zoom + QStringList{"--print-frames"});
    ASSERT_EQ(count.code, 0) << count.err;
    // Overview (half size 2) to 1e-3: 11 doublings, 12 keyframes.
    EXPECT_EQ(count.out, "12\n");
    const Result whole = Render(zoom + QStringList{"--frames", "0-99", "--output", At("one/k-%03d.png")});
    ASSERT_EQ(whole.code, 0) << whole.err;
    for (const char* range : {"7-11", "0-2", "3-6"}) {
        const Result part = Render(zoom + QStringList{"--frames", range, "--output", At("split/k-%03d.png")});
        ASSERT_EQ(part.code, 0) << range << ": " << part.err;
    }
    const auto one = Files(dir / "one"), split = Files(dir / "split");
    EXPECT_EQ(one.size(), 12u + 1u) << "the keyframes and the plan";
    EXPECT_TRUE(one == split) << "a split range wrote other bytes";
    // Another video is not mixed into the folder.
    const Result other = Render({end, "--zoom-video", "2", "--fps", "8", "--size", "64x48", "--frames", "0-1",
                                 "--output", At("one/k-%03d.png")});
    EXPECT_EQ(other.code, 1);
    EXPECT_NE(other.err.find("holds the frames of another video"), std::string::npos) << other.err;
    EXPECT_TRUE(Files(dir / "one") == one);
}

TEST_F(ZoomVideo, AResumedRangeRendersOnlyTheMissingFrames)
{
    const QStringList zoom = QStringList{Shallow(), "--zoom-video", "0.6", "--fps", "10", "--exact", "--size", "64x48",
                                         "--frames", "0-5", "--output", At("f/frame-%05d.png")};
    const Result made = Render(zoom + QStringList{"--quiet"});
    ASSERT_EQ(made.code, 0) << made.err;
    const auto first = Files(dir / "f");
    ASSERT_EQ(first.size(), 7u);
    fs::remove(dir / "f/frame-00001.png");
    fs::remove(dir / "f/frame-00004.png");
    std::map<std::string, ino_t> inodes;
    for (const char* kept : {"frame-00000.png", "frame-00002.png", "frame-00003.png", "frame-00005.png"}) {
        struct stat st {};
        ASSERT_EQ(stat((dir / "f" / kept).c_str(), &st), 0);
        inodes[kept] = st.st_ino;
    }
    const Result resumed = Render(zoom);
    ASSERT_EQ(resumed.code, 0) << resumed.err;
    EXPECT_NE(resumed.err.find("4 of the 6 frames asked for are there already"), std::string::npos) << resumed.err;
    EXPECT_EQ(Lines(resumed.err), 3) << "that line and one per frame rendered:\n" << resumed.err;
    for (const auto& [name, inode] : inodes) {
        struct stat st {};
        ASSERT_EQ(stat((dir / "f" / name).c_str(), &st), 0);
        EXPECT_EQ(st.st_ino, inode) << name << " was written again";
    }
    EXPECT_TRUE(Files(dir / "f") == first);
}

// Read back from the documents the frames carry: the half size of frame k
// is 2 x ratio^k down to the end's 1e-20, and the centre keeps the end
// point where it was in the frame, (c_k - E) / (h_k - h_end) being the
// same for every frame; the last is the end's own digits.
TEST_F(ZoomVideo, HalfSizeShrinksByOneRatioPerFrame)
{
    const unsigned n = 12;
    const Result r = Render({Deep(), "--zoom-video", "1.2", "--fps", "10", "--exact", "--size", "32x24", "--frames",
                             "0-11", "--output", At("f/%d.png"), "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<double> half, x;
    std::vector<std::string> xText;
    for (unsigned k = 0; k < n; ++k) {
        const QString text = QImage(At(("f/" + std::to_string(k) + ".png").c_str())).text("Quillion document");
        ASSERT_FALSE(text.isEmpty()) << k;
        std::map<std::string, std::string> rows;
        for (const QString& line : text.split("\r\n"))
            if (const qsizetype eq = line.indexOf('='); eq > 0)
                rows.emplace(line.left(eq).toStdString(), line.mid(eq + 1).toStdString());
        half.push_back(std::stod(rows["radius"]));
        x.push_back(std::stod(rows["x"]));
        xText.push_back(rows["x"]);
    }
    EXPECT_EQ(half.front(), 2.0);
    EXPECT_EQ(half.back(), 1e-20);
    EXPECT_EQ(xText.back(), kDeepX);
    const double ratio = std::pow(1e-20 / 2.0, 1.0 / (n - 1));
    const double pace = (x[0] - x[n - 1]) / (half[0] - half[n - 1]);
    for (unsigned k = 0; k < n; ++k) {
        EXPECT_NEAR(half[k] / (2.0 * std::pow(ratio, k)), 1.0, 1e-12) << "frame " << k;
        // Doubles tell the centres apart down to about 1e-12; a centre is
        // written to a thousandth of its pixel.
        if (half[k] > 1e-9) {
            const double pixel = 2 * half[k] / 24;
            EXPECT_NEAR(x[k], x[n - 1] + pace * (half[k] - half[n - 1]), pixel / 1000) << "frame " << k;
        }
    }
}

// Past the normal doubles, by hand: from 1e-300 at (1e-301, 1) to 1e-330
// at i, a point of detail at every scale, in 4 frames the documents the
// frames carry hold the radii 1e-300, 1e-310, 1e-320, 1e-330 and the
// centres 1e-301 (h_k - h_end) / (h_start - h_end); no frame is flat; the
// plan file keeps the wide radius, and keyframes halve the size
// ceil(30 log2 10) = 100 times.
TEST_F(ZoomVideo, FramesPastTheDoublesCarryTheirRadii)
{
    const QString start = EndDocument("start.frc", "1e-301", "1", "1e-300");
    const QString end = EndDocument("end.frc", "0", "1", "1e-330");
    const QStringList zoom = {end, "--from", start, "--zoom-video", "1", "--fps", "4", "--size", "32x24"};
    const Result r = Render(zoom + QStringList{"--exact", "--frames", "0-3", "--output", At("f/%d.png"), "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    auto size = [](const std::string& text) {
        FloatExp v;
        EXPECT_EQ(ReadSize(text, v), SizeRead::kRead) << text;
        return v;
    };
    auto ln = [](FloatExp a) { return std::log(a.m) + double(a.e) * std::log(2.0); };
    for (unsigned k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const QImage frame(At(("f/" + std::to_string(k) + ".png").c_str()));
        std::map<std::string, std::string> rows;
        for (const QString& line : frame.text("Quillion document").split("\r\n"))
            if (const qsizetype eq = line.indexOf('='); eq > 0)
                rows.emplace(line.left(eq).toStdString(), line.mid(eq + 1).toStdString());
        const FloatExp half = size(rows["radius"]), hand = size("1e-" + std::to_string(300 + 10 * k));
        EXPECT_NEAR(ln(half / hand), 0, 1e-9) << rows["radius"];
        // A centre is written to a thousandth of its pixel, and read as the
        // program reads it: a bare double means its shortest text.
        const double f = (std::pow(10.0, -10.0 * k) - 1e-30) / (1 - 1e-30);
        const double value = std::strtod(rows["x"].c_str(), nullptr);
        const FloatExp x = size(CoordinateText(value, WholeDigits(rows["x"], value)));
        const FloatExp off = Abs(x - size("1e-301") * FloatExp(f));
        EXPECT_LE(off, hand / FloatExp(12000.0)) << rows["x"];
        std::set<QRgb> colours;
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                colours.insert(frame.pixel(x, y));
        EXPECT_GE(colours.size(), 8u) << "a flat frame";
    }
    EXPECT_NE(ReadAll(dir / "f" / "quillion-plan.txt").find("\nend radius=1e-330\n"), std::string::npos);
    const Result units = Render(zoom + QStringList{"--print-frames"});
    ASSERT_EQ(units.code, 0) << units.err;
    EXPECT_EQ(units.out, "101\n");
}

TEST_F(ZoomVideo, VideosPlayInEveryContainer)
{
    const QString end = Shallow();
    // Odd sizes are made even for the sharing formats' yuv420p.
    const QStringList zoom = {end, "--zoom-video", "1", "--fps", "12", "--size", "63x47", "--quiet"};
    const std::map<std::string, std::string> codecs = {{"mp4", "h264"}, {"webm", "vp9"}, {"mkv", "h264"}};
    for (const auto& [ending, codec] : codecs) {
        const QString video = At(("zoom." + ending).c_str());
        const Result r = Render(zoom + QStringList{"--output", video});
        ASSERT_EQ(r.code, 0) << ending << ": " << r.err;
        auto keys = Probe(video);
        EXPECT_EQ(keys["codec_name"], codec);
        EXPECT_EQ(keys["nb_read_frames"], "12") << ending;
        EXPECT_EQ(keys["width"], "64");
        EXPECT_EQ(keys["height"], "48");
        EXPECT_EQ(keys["r_frame_rate"], "12/1");
    }
    // Frames rendered apart, then joined; the plan says the rate.
    ASSERT_EQ(Render({end, "--zoom-video", "1", "--fps", "9", "--exact", "--size", "40x30", "--frames", "0-8",
                      "--output", At("frames/f%02d.png"), "--quiet"})
                  .code,
              0);
    fs::remove(dir / "frames/f04.png");
    const Result lacking = RunWithoutDisplay(QUILLION_EXE, {"--assemble", At("frames"), "--output", At("j.mkv")});
    EXPECT_EQ(lacking.code, 1);
    EXPECT_NE(lacking.err.find("f04.png"), std::string::npos) << lacking.err;
    EXPECT_FALSE(fs::exists(dir / "j.mkv"));
    ASSERT_EQ(Render({end, "--zoom-video", "1", "--fps", "9", "--exact", "--size", "40x30", "--frames", "4",
                      "--output", At("frames/f%02d.png"), "--quiet"})
                  .code,
              0);
    const Result joined = RunWithoutDisplay(QUILLION_EXE, {"--assemble", At("frames"), "--output", At("j.mkv")});
    ASSERT_EQ(joined.code, 0) << joined.err;
    auto keys = Probe(At("j.mkv"));
    EXPECT_EQ(keys["codec_name"], "h264");
    EXPECT_EQ(keys["nb_read_frames"], "9");
    EXPECT_EQ(keys["width"], "40");
    EXPECT_EQ(keys["r_frame_rate"], "9/1");
    // The turning animation takes the same containers and ranges.
    const QStringList turn = {"--sample", "0", "--animate", "3", "--size", "40x30", "--quiet"};
    ASSERT_EQ(Render(turn + QStringList{"--output", At("turn.webm")}).code, 0);
    EXPECT_EQ(Probe(At("turn.webm"))["nb_read_frames"], "3");
    ASSERT_EQ(Render(turn + QStringList{"--frames", "0-2", "--output", At("turn/%d.png")}).code, 0);
    ASSERT_EQ(RunWithoutDisplay(QUILLION_EXE, {"--assemble", At("turn"), "--output", At("turn.mp4")}).code, 0);
    keys = Probe(At("turn.mp4"));
    EXPECT_EQ(keys["nb_read_frames"], "3");
    EXPECT_EQ(keys["r_frame_rate"], "15/1");
}

// --codec picks among the encoders the container takes, for a zoom and
// for its assembly; one FFmpeg lacks, or one the container cannot take, is
// a usage error that writes nothing.
TEST_F(ZoomVideo, TheCodecIsOneTheContainerTakes)
{
    const QStringList zoom = {Shallow(), "--zoom-video", "0.5", "--fps", "4", "--exact", "--size", "32x24", "--quiet"};
    ASSERT_EQ(Render(zoom + QStringList{"--codec", "mpeg4", "--output", At("z.mkv")}).code, 0);
    EXPECT_EQ(Probe(At("z.mkv"))["codec_name"], "mpeg4");
    ASSERT_EQ(Render(zoom + QStringList{"--frames", "0-1", "--output", At("f/%d.png")}).code, 0);
    const Result joined =
        RunWithoutDisplay(QUILLION_EXE, {"--assemble", At("f"), "--codec", "mpeg4", "--output", At("j.mp4")});
    ASSERT_EQ(joined.code, 0) << joined.err;
    EXPECT_EQ(Probe(At("j.mp4"))["codec_name"], "mpeg4");
    const auto before = Names(dir);
    struct Case {
        const char *codec, *file, *message;
    } cases[] = {
        {"nosuch", "bad.mp4", "unknown video encoder \"nosuch\""},
        {"mjpeg", "bad.webm", "\"mjpeg\" cannot go into webm files (they take: "},
    };
    for (const Case& c : cases) {
        const Result r = Render(zoom + QStringList{"--codec", c.codec, "--output", At(c.file)});
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        const Result a =
            RunWithoutDisplay(QUILLION_EXE, {"--assemble", At("f"), "--codec", c.codec, "--output", At(c.file)});
        EXPECT_EQ(a.code, 2) << a.err;
        EXPECT_NE(a.err.find(c.message), std::string::npos) << a.err;
    }
    EXPECT_EQ(Names(dir), before) << "a refused encoder writes nothing";
}

} // namespace
