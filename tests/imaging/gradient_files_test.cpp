#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>

#include "imaging/GradientFiles.h"
#include "imaging/GradientGallery.h"

namespace {

constexpr Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255}, kRed{255, 0, 0}, kBlue{0, 0, 255};

GradientFileResult Ggr(const std::string& segments, int count = 1)
{
    return ReadGgr("GIMP Gradient\nName: Test\n" + std::to_string(count) + "\n" + segments);
}

TEST(GimpGradient, TwoSegmentsWorkedByHand)
{
    const GradientFileResult r = ReadGgr("GIMP Gradient\r\n"
                                         "Name: Red, blue and white\r\n"
                                         "2\r\n"
                                         "0.000000 0.250000 0.500000 1 0 0 1 0 0 1 1 0 0\r\n"
                                         "0.500000 0.750000 1.000000 0 0 1 1 1 1 1 1 0 0 0 0\r\n");
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.name, "Red, blue and white");
    EXPECT_EQ(r.gradient.Stops(), (std::vector<GradientStop>{{0, kRed}, {0.5, kBlue}, {1, kWhite}}));
    EXPECT_EQ(r.gradient.At(0.25), (Rgb{128, 0, 128}));
    EXPECT_EQ(r.gradient.At(0.75), (Rgb{128, 128, 255}));
}

TEST(GimpGradient, AnOffCentreMiddleIsHalfwayThere)
{
    // Black to white, halfway at 0.25: a quarter further along the second
    // part (0.625) is three quarters of the way.
    const GradientFileResult r = Ggr("0 0.25 1 0 0 0 1 1 1 1 1 0 0\n");
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.gradient.At(0.25), (Rgb{128, 128, 128}));
    EXPECT_NEAR(r.gradient.At(0.625).red, 191.25, 1.0);
    EXPECT_EQ(r.gradient.At(0.125).red, 64);
}

// Black to white with the middle at the centre, through each blend: the
// gradient lies within a level of the blend's closed form everywhere.
TEST(GimpGradient, EveryBlendIsSampledWithinALevel)
{
    const std::function<double(double)> blends[] = {
        [](double t) { return t; },
        [](double t) { return t; }, // curved with its middle centred is straight
        [](double t) { return (1 - std::cos(std::numbers::pi * t)) / 2; },
        [](double t) { return std::sqrt(1 - (t - 1) * (t - 1)); },
        [](double t) { return 1 - std::sqrt(1 - t * t); },
    };
    for (int blend = 0; blend < 5; ++blend) {
        const GradientFileResult r = Ggr("0 0.5 1 0 0 0 1 1 1 1 1 " + std::to_string(blend) + " 0\n");
        ASSERT_TRUE(r.ok) << r.why;
        EXPECT_LT(r.gradient.Stops().size(), 200u);
        for (int i = 0; i <= 2000; ++i) {
            const double t = i / 2000.0;
            EXPECT_LE(std::abs(r.gradient.At(t).green - 255 * blends[blend](t)), 1.0) << blend << " at " << t;
        }
    }
    // The sine at its midpoint is halfway, and a quarter in (1 - cos 45) / 2.
    const GradientFileResult sine = Ggr("0 0.5 1 0 0 0 1 1 1 1 1 2 0\n");
    EXPECT_NEAR(sine.gradient.At(0.5).red, 127.5, 0.5);
    EXPECT_NEAR(sine.gradient.At(0.25).red, 37.34, 1.0);
    // Curved with its middle at a quarter is the square root.
    const GradientFileResult curved = Ggr("0 0.25 1 0 0 0 1 1 1 1 1 1 0\n");
    for (double t : {0.04, 0.25, 0.5625, 0.81})
        EXPECT_NEAR(curved.gradient.At(t).red, 255 * std::sqrt(t), 1.0) << t;
    // A step changes at its middle.
    const GradientFileResult step = Ggr("0 0.3 1 0 0 0 1 1 1 1 1 5 0\n");
    ASSERT_TRUE(step.ok) << step.why;
    EXPECT_EQ(step.gradient.At(0.29), kBlack);
    EXPECT_EQ(step.gradient.At(0.3), kWhite);
}

TEST(GimpGradient, HsvSegmentsGoRoundTheHueCircleEitherWay)
{
    // Red (hue 0) to blue (hue 2/3): counter-clockwise through yellow and
    // green, clockwise through magenta.
    const GradientFileResult ccw = Ggr("0 0.5 1 1 0 0 1 0 0 1 1 0 1\n");
    const GradientFileResult cw = Ggr("0 0.5 1 1 0 0 1 0 0 1 1 0 2\n");
    ASSERT_TRUE(ccw.ok && cw.ok) << ccw.why << cw.why;
    auto near = [](Rgb a, Rgb b) {
        return std::abs(a.red - b.red) <= 1 && std::abs(a.green - b.green) <= 1 && std::abs(a.blue - b.blue) <= 1;
    };
    EXPECT_TRUE(near(ccw.gradient.At(0.25), {255, 255, 0}));
    EXPECT_TRUE(near(ccw.gradient.At(0.5), {0, 255, 0}));
    EXPECT_TRUE(near(ccw.gradient.At(0.75), {0, 255, 255}));
    EXPECT_TRUE(near(cw.gradient.At(0.5), {255, 0, 255}));
    // Full saturation and value all along: one channel is always at 255
    // and one at 0.
    for (int i = 0; i <= 1000; ++i) {
        for (const Gradient* g : {&ccw.gradient, &cw.gradient}) {
            const Rgb c = g->At(i / 1000.0);
            EXPECT_GE(std::max({c.red, c.green, c.blue}), 254);
            EXPECT_LE(std::min({c.red, c.green, c.blue}), 1);
        }
    }
}

TEST(GimpGradient, WrittenGradientsReadBackToTheSameStops)
{
    std::vector<Gradient> gradients;
    for (const GalleryGradient& g : GradientGallery())
        gradients.push_back(g.gradient);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> position(0, 1);
    std::uniform_int_distribution<int> level(0, 255);
    for (int trial = 0; trial < 50; ++trial) {
        std::vector<GradientStop> stops{{0, kBlack}, {1, kWhite}};
        for (int k = 0; k < 1 + trial % 12; ++k) {
            const Rgb c{uint8_t(level(random)), uint8_t(level(random)), uint8_t(level(random))};
            // Every third a hard edge.
            const double p = position(random);
            stops.push_back({p, c});
            if (k % 3 == 2)
                stops.push_back({p, {c.blue, c.red, c.green}});
        }
        gradients.emplace_back(stops);
    }
    for (const Gradient& g : gradients) {
        const GradientFileResult r = ReadGgr(WriteGgr(g, "Round trip"));
        ASSERT_TRUE(r.ok) << r.why;
        EXPECT_EQ(r.name, "Round trip");
        EXPECT_EQ(r.gradient, g) << g.Text() << "\n" << r.gradient.Text();
    }
    // Stops short of the ends: the file covers 0 .. 1 and shows the same.
    const Gradient inner({{0.2, kRed}, {0.7, kBlue}});
    const GradientFileResult r = ReadGgr(WriteGgr(inner, "a\nb"));
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.name, "a b");
    for (int i = 0; i <= 100; ++i)
        EXPECT_EQ(r.gradient.At(i / 100.0), inner.At(i / 100.0)) << i;
}

TEST(GimpGradient, MalformedFilesAreRefusedWithTheirLine)
{
    const std::string good = "0 0.5 1 0 0 0 1 1 1 1 1 0 0\n";
    const std::pair<std::string, const char*> cases[] = {
        {"", "line 1"},
        {"GIMP Palette\n1\n" + good, "line 1"},
        {"GIMP Gradient\nName: x\n", "line 3"},
        {"GIMP Gradient\nName: x\n0\n", "line 3"},
        {"GIMP Gradient\nName: x\n4097\n", "line 3"},
        {"GIMP Gradient\nName: x\n1.5\n" + good, "line 3"},
        {"GIMP Gradient\nName: x\n2\n" + good, "line 5"},
        {"GIMP Gradient\nName: x\n1\n0 0.5 1 0 0 0 1 1 1 1 1\n", "line 4"},
        {"GIMP Gradient\nName: x\n1\n0 0.5 1 0 0 0 1 1 1 1 one 0 0\n", "line 4"},
        {"GIMP Gradient\nName: x\n1\n0 0.5 1 0 0 0 1 1 1 1 1 6 0\n", "line 4"},
        {"GIMP Gradient\nName: x\n1\n0 0.5 1 0 0 0 1 1 1 1 1 0 3\n", "line 4"},
        {"GIMP Gradient\nName: x\n1\n0 0.5 1 0 0 0 1 1 1 1 1 0.5 0\n", "line 4"},
        {"GIMP Gradient\nName: x\n1\n0 0.5 1 0 0 0 1 1 1 1 1 2e72 0\n", "line 4"},
        {"GIMP Gradient\nName: x\n1\n0 0.5 1 0 0 0 1 1 1 1 1 0 0 9 0\n", "line 4"},
        {"GIMP Gradient\nName: x\n1\n0.6 0.5 1 0 0 0 1 1 1 1 1 0 0\n", "line 4"},
        {"GIMP Gradient\nName: x\n1\n0 0.5 1.5 0 0 0 1 1 1 1 1 0 0\n", "line 4"},
        {"GIMP Gradient\nName: x\n1\n0 nan 1 0 0 0 1 1 1 1 1 0 0\n", "line 4"},
        {"GIMP Gradient\nName: x\n2\n0 0.4 0.8 0 0 0 1 1 1 1 1 0 0\n0.5 0.7 1 0 0 0 1 1 1 1 1 0 0\n", "line 5"},
    };
    for (const auto& [text, line] : cases) {
        const GradientFileResult r = ReadGgr(text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_TRUE(r.why.starts_with(line)) << text << " -> " << r.why;
    }
    // A file needing more stops than a gradient holds.
    std::string many = "GIMP Gradient\n2000\n";
    for (int k = 0; k < 2000; ++k)
        many += std::to_string(k / 2000.0) + ' ' + std::to_string((k + 0.5) / 2000.0) + ' ' +
                std::to_string((k + 1) / 2000.0) + " 0 0 0 1 1 1 1 1 2 1\n";
    EXPECT_FALSE(ReadGgr(many).ok);
    // Every cut of a good file is read or refused, never more.
    const std::string whole = WriteGgr(FindGalleryGradient("Ultra")->gradient, "Ultra");
    for (size_t n = 0; n < whole.size(); ++n) {
        const GradientFileResult r = ReadGgr(whole.substr(0, n));
        EXPECT_TRUE(r.ok || !r.why.empty()) << n;
    }
}

TEST(MapPalette, LinesWithCommentsSpreadOverTheGradient)
{
    const GradientFileResult r = ReadMap("0 0 0 black\r\n"
                                         "\n"
                                         "  255   0 0 red; the rest of the line is a comment 1 2 3\n"
                                         "0 0 255\n");
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.gradient.Stops(), (std::vector<GradientStop>{{0, kBlack}, {0.5, kRed}, {1, kBlue}}));
    EXPECT_EQ(r.gradient.At(0.25), (Rgb{128, 0, 0}));
    const GradientFileResult one = ReadMap("10 20 30\n");
    ASSERT_TRUE(one.ok);
    EXPECT_EQ(one.gradient.At(0.7), (Rgb{10, 20, 30}));
}

TEST(MapPalette, TwoHundredFiftySixLinesReadAndWriteUnchanged)
{
    std::mt19937 random(3);
    std::uniform_int_distribution<int> level(0, 255);
    std::string text;
    for (int i = 0; i < 256; ++i)
        text += std::to_string(level(random)) + ' ' + std::to_string(level(random)) + ' ' +
                std::to_string(level(random)) + '\n';
    const GradientFileResult r = ReadMap(text);
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(WriteMap(r.gradient), text);
    // A gradient written out is sampled at 256 even places.
    const Gradient& ultra = FindGalleryGradient("Ultra")->gradient;
    const GradientFileResult back = ReadMap(WriteMap(ultra));
    ASSERT_TRUE(back.ok);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(back.gradient.At(i / 255.0), ultra.At(i / 255.0)) << i;
}

TEST(MapPalette, MalformedPalettesAreRefusedWithTheirLine)
{
    std::string long_;
    for (int i = 0; i < 257; ++i)
        long_ += "1 2 3\n";
    const std::pair<std::string, const char*> cases[] = {
        {"", "the palette"},    {"\n  \n", "the palette"}, {"1 2\n", "line 1"},   {"0 0 0\n1 2 256\n", "line 2"},
        {"1 -2 3\n", "line 1"}, {"1x 2 3\n", "line 1"},    {"a b c\n", "line 1"}, {long_, "line 257"},
    };
    for (const auto& [text, start] : cases) {
        const GradientFileResult r = ReadMap(text);
        EXPECT_FALSE(r.ok) << text;
        EXPECT_TRUE(r.why.starts_with(start)) << text << " -> " << r.why;
    }
}

TEST(GradientFile, ReadByExtensionAndRefusedPastTheLimit)
{
    const std::string folder = testing::TempDir();
    auto write = [&](const std::string& name, const std::string& bytes) {
        const std::string path = folder + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    const GradientFileResult ggr =
        ReadGradientFile(write("grad-test.GGR", WriteGgr(Gradient({{0, kRed}, {1, kBlue}}), "Two")));
    ASSERT_TRUE(ggr.ok) << ggr.why;
    EXPECT_EQ(ggr.name, "Two");
    const GradientFileResult map = ReadGradientFile(write("grad-test.map", "1 2 3\n4 5 6\n"));
    ASSERT_TRUE(map.ok) << map.why;
    EXPECT_EQ(map.gradient.At(1), (Rgb{4, 5, 6}));
    const GradientFileResult notGgr = ReadGradientFile(write("grad-test-bad.ggr", "1 2 3\n"));
    EXPECT_FALSE(notGgr.ok);
    EXPECT_NE(notGgr.why.find("line 1"), std::string::npos) << notGgr.why;
    const GradientFileResult big = ReadGradientFile(write("grad-test-big.map", std::string((1 << 20) + 1, '\n')));
    EXPECT_FALSE(big.ok);
    EXPECT_NE(big.why.find("1 MB"), std::string::npos) << big.why;
    const GradientFileResult none = ReadGradientFile(folder + "grad-test-none.map");
    EXPECT_FALSE(none.ok);
    EXPECT_NE(none.why.find("Cannot read"), std::string::npos) << none.why;
    for (const char* name : {"grad-test.GGR", "grad-test.map", "grad-test-bad.ggr", "grad-test-big.map"})
        std::remove((folder + name).c_str());
}

} // namespace
