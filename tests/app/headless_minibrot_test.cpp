// --nearest-minibrot: the headless renderer moves the view to the nucleus
// before it builds, and says why when it cannot.
#include "tests/app/HeadlessFixture.h"

#include <cstdlib>

namespace {

std::string Row(const std::string& doc, const std::string& label)
{
    const auto at = doc.find("\n" + label + "=");
    if (at == std::string::npos)
        return {};
    const auto begin = at + label.size() + 2;
    return doc.substr(begin, doc.find('\r', begin) - begin);
}

} // namespace

TEST_F(Headless, NearestMinibrotSavesTheViewOfThePeriod4Nucleus)
{
    {
        std::ofstream frc(dir / "near.frc");
        frc << "Fractal Type=Mandelbrot Set\n[Main]\nName=Near\ntype=Mandebrot Set\nx=-1.94\ny=0\n"
               "radius=0.002\nprecision=100\n";
    }
    const Result r = Render({At("near.frc"), "--size", "32x24", "--nearest-minibrot", "--save", At("b.frc"), "--output",
                             At("b.bmp"), "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string saved = ReadAll(dir / "b.frc");
    const double x = std::strtod(Row(saved, "x").c_str(), nullptr);
    const double radius = std::strtod(Row(saved, "radius").c_str(), nullptr);
    EXPECT_GT(radius, 1e-4) << saved;
    EXPECT_LT(radius, 1e-2) << saved;
    EXPECT_NEAR(x, -1.9407998065294848, radius * 1e-9) << saved;
    EXPECT_EQ(Row(saved, "y"), "0");
    EXPECT_EQ(Row(saved, "iterations"), "") << "period 4 needs no more than the default count";
    // The copy itself is there: its nucleus is inside, the corner outside.
    const std::string image = ReadAll(dir / "b.bmp");
    EXPECT_TRUE(IsBlack(Pixel(image, 16, 12)));
    EXPECT_FALSE(IsBlack(Pixel(image, 0, 0)));
}

TEST_F(Headless, NearestMinibrotNeedsSaveAMandelbrotViewAndOneWithACopy)
{
    EXPECT_EQ(Render({"--nearest-minibrot", "--output", At("a.bmp"), "--quiet"}).code, 2);
    const Result julia = Render({"--type", "2", "--save", At("a.frc"), "--quiet", "--nearest-minibrot", At("j.frc")});
    EXPECT_EQ(julia.code, 2) << "a FILE excludes --type";
    {
        std::ofstream frc(dir / "j.frc");
        frc << "Fractal Type=Mandelbrot Set\n[Main]\nName=J\ntype=Julia Set\nx=0\ny=0\nradius=2\nprecision=100\n";
    }
    const Result j = Render({At("j.frc"), "--nearest-minibrot", "--save", At("b.frc"), "--quiet"});
    EXPECT_EQ(j.code, 1);
    EXPECT_NE(j.err.find("Julia"), std::string::npos) << j.err;
    {
        std::ofstream frc(dir / "out.frc");
        frc << "Fractal Type=Mandelbrot Set\n[Main]\nName=Out\ntype=Mandebrot Set\nx=1\ny=1\nradius=0.01\n";
    }
    const Result out = Render({At("out.frc"), "--nearest-minibrot", "--save", At("c.frc"), "--quiet"});
    EXPECT_EQ(out.code, 1);
    EXPECT_NE(out.err.find("no point of the Mandelbrot set"), std::string::npos) << out.err;
    EXPECT_FALSE(fs::exists(dir / "c.frc"));
}
