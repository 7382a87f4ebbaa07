#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <random>
#include <set>

#include "imaging/Gradient.h"
#include "imaging/GradientGallery.h"

namespace {

constexpr Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255}, kRed{255, 0, 0}, kBlue{0, 0, 255};

TEST(Gradient, ColoursAtStopsBetweenThemAndAcrossAHardEdge)
{
    // Listed out of order: red and blue share 0.5, red first.
    const Gradient g({{1.0, kWhite}, {0.5, kRed}, {0.0, kBlack}, {0.5, kBlue}});
    ASSERT_EQ(g.Stops().size(), 4u);
    EXPECT_EQ(g.Stops()[1].color, kRed);
    EXPECT_EQ(g.Stops()[2].color, kBlue);
    EXPECT_EQ(g.At(0), kBlack);
    EXPECT_EQ(g.At(1), kWhite);
    EXPECT_EQ(g.At(-3), kBlack);
    EXPECT_EQ(g.At(7), kWhite);
    // Halfway from black to red is 127.5, which rounds up.
    EXPECT_EQ(g.At(0.25), (Rgb{128, 0, 0}));
    EXPECT_EQ(g.At(0.1), (Rgb{51, 0, 0}));
    // The edge shows its later colour; just before it, almost red.
    EXPECT_EQ(g.At(0.5), kBlue);
    EXPECT_EQ(g.At(std::nextafter(0.5, 0.0)), kRed);
    EXPECT_EQ(g.At(0.75), (Rgb{128, 128, 255}));
    // An edge at the first stop, and at the last, alike.
    const Gradient edges({{0.25, kRed}, {0.25, kBlue}, {0.75, kBlack}, {0.75, kWhite}});
    EXPECT_EQ(edges.At(0.1), kRed);
    EXPECT_EQ(edges.At(0.25), kBlue);
    EXPECT_EQ(edges.At(0.75), kWhite);
    EXPECT_EQ(edges.At(0.5), (Rgb{0, 0, 128}));
    uint16_t deep[3];
    g.At16(1, deep);
    EXPECT_EQ(deep[0], 65535);
    g.At16(0.25, deep);
    EXPECT_EQ(deep[0], 32768); // 127.5 * 257 = 32767.5
    EXPECT_EQ(deep[1], 0);
}

TEST(Gradient, TextReadsBackToTheSameStops)
{
    std::mt19937 random(25);
    std::uniform_real_distribution<double> position(0, 1);
    std::uniform_int_distribution<int> level(0, 255);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<GradientStop> stops(size_t(1 + trial % 40));
        for (GradientStop& s : stops)
            s = {trial % 3 ? position(random) : std::round(position(random) * 4) / 4,
                 {uint8_t(level(random)), uint8_t(level(random)), uint8_t(level(random))}};
        const Gradient g(stops);
        Gradient back({{0.3, kRed}});
        std::string why;
        ASSERT_TRUE(back.SetText(g.Text(), &why)) << g.Text() << ": " << why;
        EXPECT_EQ(back, g) << g.Text();
    }
    EXPECT_EQ(Gradient().Text(), "0 #000000;1 #ffffff");
}

TEST(Gradient, AMalformedTextIsRefusedWithAReasonAndChangesNothing)
{
    const Gradient before({{0, kRed}, {1, kBlue}});
    for (const char* text :
         {"", " ; ", "0", "0 #ff0000;1", "x #ff0000", "0.5x #ff0000", "1.5 #ff0000", "-0.1 #ff0000", "nan #ff0000",
          "0 ff0000", "0 #ff00", "0 #ff00001", "0 #gg0000", "0 #ff0000;;1 red", "inf #000000"}) {
        Gradient g = before;
        std::string why;
        EXPECT_FALSE(g.SetText(text, &why)) << text;
        EXPECT_FALSE(why.empty()) << text;
        EXPECT_EQ(g, before) << text;
    }
    std::string many;
    for (size_t i = 0; i <= Gradient::kMaxStops; ++i)
        many += "0.5 #102030;";
    Gradient g = before;
    EXPECT_FALSE(g.SetText(many));
    EXPECT_EQ(g, before);
}

// CIE lightness of an sRGB colour.
double Lightness(Rgb c)
{
    auto linear = [](uint8_t v) {
        const double x = v / 255.0;
        return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    };
    const double y = 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
    const double f = y > 216.0 / 24389 ? std::cbrt(y) : (24389.0 / 27 * y + 16) / 116;
    return 116 * f - 16;
}

TEST(GradientGallery, ADozenNamedGradientsCyclicOnesWithoutASeam)
{
    const auto gallery = GradientGallery();
    EXPECT_GE(gallery.size(), 12u);
    std::set<std::string> names;
    int cyclic = 0;
    for (const GalleryGradient& g : gallery) {
        std::string lower = g.name;
        for (char& c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(names.insert(lower).second) << g.name;
        EXPECT_EQ(FindGalleryGradient(lower), &g);
        const auto& stops = g.gradient.Stops();
        EXPECT_GE(stops.size(), 2u) << g.name;
        EXPECT_EQ(stops.front().position, 0) << g.name;
        EXPECT_EQ(stops.back().position, 1) << g.name;
        if (g.cyclic) {
            ++cyclic;
            EXPECT_EQ(stops.front().color, stops.back().color) << g.name;
        }
    }
    EXPECT_GE(cyclic, 8);
    EXPECT_EQ(FindGalleryGradient("no such gradient"), nullptr);
}

TEST(GradientGallery, PerceptuallyUniformOnesRiseInLightnessAtASteadyPace)
{
    for (const char* name : {"Viridis", "Magma", "Inferno", "Plasma", "Cividis"}) {
        const GalleryGradient* g = FindGalleryGradient(name);
        ASSERT_NE(g, nullptr) << name;
        EXPECT_FALSE(g->cyclic);
        const auto& stops = g->gradient.Stops();
        EXPECT_GE(stops.size(), 10u) << name;
        double low = 1e9, high = 0;
        for (size_t i = 1; i < stops.size(); ++i) {
            const double pace = (Lightness(stops[i].color) - Lightness(stops[i - 1].color)) /
                                (stops[i].position - stops[i - 1].position);
            low = std::min(low, pace);
            high = std::max(high, pace);
        }
        EXPECT_GT(low, 0) << name;
        EXPECT_GT(low, high / 3) << name;
        EXPECT_GT(Lightness(stops.back().color) - Lightness(stops.front().color), 70) << name;
    }
}

} // namespace
