// Drives the real executable's --render mode as a script would.

#include "tests/app/HeadlessFixture.h"

#include "document/CanvasImage.h"

namespace {

TEST_F(Headless, DefaultMandelbrotCenterdAtMinusHalf)
{
    const Result r = Render({"--size", "160x120", "--output", At("m.bmp"), "--save", At("m.frc")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Building..."), std::string::npos);
    EXPECT_NE(r.err.find("Ready"), std::string::npos);
    const std::string bmp = ReadAll(dir / "m.bmp");
    ASSERT_EQ(bmp.size(), 54u + 480 * 120);
    EXPECT_EQ(U32(bmp, 18), 160u);
    // The height spans 4 units, so one pixel is 1/30. The centre (-0.5, 0)
    // and (-1, 0) lie inside; (0.5, 0) and the corners (-3.17, +-2) escape.
    EXPECT_TRUE(IsBlack(Pixel(bmp, 80, 60)));
    EXPECT_TRUE(IsBlack(Pixel(bmp, 80 - 15, 60)));
    EXPECT_FALSE(IsBlack(Pixel(bmp, 80 + 30, 60)));
    EXPECT_FALSE(IsBlack(Pixel(bmp, 0, 0)));
    EXPECT_FALSE(IsBlack(Pixel(bmp, 0, 119)));
    // Up and down mirror each other.
    for (int y = 1; y < 60; y += 7)
        EXPECT_EQ(IsBlack(Pixel(bmp, 70, 60 - y)), IsBlack(Pixel(bmp, 70, 60 + y))) << y;
    EXPECT_EQ(ReadAll(dir / "m.frc").substr(0, 29), "Fractal Type=Mandelbrot Set\r\n");
}

TEST_F(Headless, JuliaFileRendersItsOwnConstant)
{
    // c = 0 gives the unit disc, since the Julia plane is then the view.
    {
        std::ofstream f(dir / "disc.frc", std::ios::binary);
        f << "Fractal Type=Mandelbrot Set\r\n[Main]\r\nName=Disc\r\ntype=Julia Set\r\nx=0\r\ny=0\r\n"
             "radius=2\r\nprecision=100\r\nRe c=0\r\nIm c=0\r\n";
    }
    const Result r = Render({"--quiet", At("disc.frc"), "--size", "100x100", "--output", At("d.bmp")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string bmp = ReadAll(dir / "d.bmp");
    // One pixel is 0.04 units: radius 1 is 25 pixels.
    EXPECT_TRUE(IsBlack(Pixel(bmp, 50, 50)));
    EXPECT_TRUE(IsBlack(Pixel(bmp, 50 + 23, 50)));
    EXPECT_FALSE(IsBlack(Pixel(bmp, 50 + 27, 50)));
    EXPECT_FALSE(IsBlack(Pixel(bmp, 50, 50 - 27)));
}

TEST_F(Headless, PngOutputAndDocumentRoundTrip)
{
    ASSERT_EQ(Render({"--quiet", "--size", "64x48", "--output", At("a.png"), "--save", At("a.frc")}).code, 0);
    const std::string png = ReadAll(dir / "a.png");
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    ASSERT_EQ(Render({"--quiet", At("a.frc"), "--size", "64x48", "--save", At("b.frc")}).code, 0);
    EXPECT_EQ(ReadAll(dir / "a.frc"), ReadAll(dir / "b.frc"));
}

TEST_F(Headless, APngHoldsTheDocumentItWasRenderedFrom)
{
    ASSERT_EQ(
        Render({"--quiet", "--type", "3", "--size", "40x30", "--output", At("s.png"), "--save", At("s.frc")}).code, 0);
    std::string text, error;
    ASSERT_TRUE(ReadPngDocument(At("s.png").toStdString(), text, error)) << error;
    EXPECT_EQ(text, ReadAll(dir / "s.frc"));
    // 16 bits per channel: the same levels, each v as v * 257.
    ASSERT_EQ(Render({"--quiet", "--type", "3", "--size", "40x30", "--output", At("w.png"), "--png16"}).code, 0);
    const std::string wide = ReadAll(dir / "w.png");
    ASSERT_GT(wide.size(), 25u);
    EXPECT_EQ(int(uint8_t(wide[24])), 16);
    const QImage w = QImage(At("w.png")).convertToFormat(QImage::Format_RGBX64);
    const QImage n = QImage(At("s.png")).convertToFormat(QImage::Format_RGBX64);
    EXPECT_EQ(w, n);
    ASSERT_TRUE(ReadPngDocument(At("w.png").toStdString(), text, error)) << error;
    EXPECT_EQ(text, ReadAll(dir / "s.frc"));
    // Sampled, the image is written in bands, and holds the same.
    ASSERT_EQ(
        Render({"--quiet", "--size", "40x30", "--supersample", "2", "--output", At("b.png"), "--save", At("b.frc")})
            .code,
        0);
    ASSERT_EQ(Render({"--quiet", "--size", "40x30", "--supersample", "2", "--output", At("b16.png"), "--png16"}).code,
              0);
    const std::string banded = ReadAll(dir / "b16.png");
    ASSERT_GT(banded.size(), 25u);
    EXPECT_EQ(int(uint8_t(banded[24])), 16);
    EXPECT_EQ(QImage(At("b16.png")).convertToFormat(QImage::Format_RGBX64),
              QImage(At("b.png")).convertToFormat(QImage::Format_RGBX64));
    for (const char* name : {"b.png", "b16.png"}) {
        ASSERT_TRUE(ReadPngDocument(At(name).toStdString(), text, error)) << error;
        EXPECT_EQ(text, ReadAll(dir / "b.frc")) << name;
    }
    EXPECT_EQ(Render({"--quiet", "--output", At("w.bmp"), "--png16"}).code, 2);
    EXPECT_EQ(Render({"--quiet", "--png16"}).code, 2);
}

TEST_F(Headless, UsageErrorsExitTwo)
{
    for (const QStringList& args :
         {QStringList{"--bogus"}, QStringList{"--size", "12"}, QStringList{"--size", "0x10"},
          QStringList{"--size", "axb"}, QStringList{"--size", "99999999x2"}, QStringList{"--type", "x"},
          QStringList{"--type", "2", "--sample", "12"}, QStringList{"--output", At("a.gif")},
          QStringList{"--timeout", "0"}, QStringList{"--timeout", "-1"}, QStringList{"--timeout", "nan"},
          QStringList{"--timeout", "inf"}, QStringList{"--timeout", "1e999"}, QStringList{"--timeout", "soon"}}) {
        const Result r = Render(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_NE(r.err.find("quillion: "), std::string::npos);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST_F(Headless, FileErrorsExitOneNamingTheFile)
{
    Result r = Render({At("missing.frc")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("missing.frc"), std::string::npos);
    r = Render({At("picture.jpg")});
    EXPECT_EQ(r.code, 1);
    r = Render({"--quiet", "--size", "8x8", "--output", At("no/dir/x.bmp")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("x.bmp"), std::string::npos);
    r = Render({"--quiet", "--size", "8x8", "--data", At("x.fdt")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("x.fdt"), std::string::npos);
}

TEST_F(Headless, BadFilesGiveAMessageNotACrash)
{
    {
        std::ofstream f(dir / "junk.frc", std::ios::binary);
        std::mt19937 gen(7);
        for (int i = 0; i < 20000; ++i)
            f.put(char(gen()));
    }
    {
        std::ofstream f(dir / "long.frc", std::ios::binary);
        f << "Fractal Type=Mandelbrot Set\r\n" << std::string(200000, 'z');
    }
    {
        std::ofstream f(dir / "nan.frc", std::ios::binary);
        f << "Fractal Type=Mandelbrot Set\n[Main]\nName=n\ntype=Mandebrot Set\nx=nan\ny=inf\nradius=1e308\n"
             "precision=-1e308\n";
    }
    {
        std::ofstream f(dir / "empty.frc", std::ios::binary);
    }
    for (const char* name : {"junk.frc", "long.frc", "nan.frc", "empty.frc"}) {
        const Result r = Render({"--quiet", At(name), "--size", "16x16", "--output", At("o.bmp")});
        EXPECT_TRUE(r.code == 0 || r.code == 1) << name << ": " << r.err;
        if (r.code == 1) {
            EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
        }
    }
}

} // namespace

TEST_F(Headless, SampleDataFileOpensAndRenders)
{
    Result r = Render({"--quiet", "--sample", "9", "--size", "32x24", "--data", At("s.fdt")});
    ASSERT_EQ(r.code, 0) << r.err;
    r = Render({"--quiet", At("s.fdt"), "--output", At("s.bmp")});
    ASSERT_EQ(r.code, 0) << r.err;
    // 32 x 24 at 24 bits: rows of 96 bytes.
    EXPECT_EQ(std::filesystem::file_size(dir / "s.bmp"), 54u + 96u * 24u);
    {
        std::ofstream f(dir / "huge.fdt", std::ios::binary);
        f.write("\xff\xff\xff\xff\xff\xff\xff\xff", 8);
    }
    r = Render({"--quiet", At("huge.fdt")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("huge.fdt"), std::string::npos);
}

namespace {

uint16_t U16(const std::string& s, size_t at)
{
    uint16_t v;
    std::memcpy(&v, s.data() + at, 2);
    return v;
}

// True when the image holds more than one colour.
bool HasSeveralColors(const QImage& image)
{
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}

QImage Load(const fs::path& p)
{
    return QImage(QString::fromStdString(p.string())).convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST_F(Headless, TileSetWrites32BitBitmapsAndReopensFromItsFile)
{
    Result r = Render({"--quiet", "--type", "1", "--size", "101x80", "--output", At("t.bmp"), "--save", At("t.frc")});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string bmp = ReadAll(dir / "t.bmp");
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(U16(bmp, 28), 32u);
    EXPECT_EQ(U32(bmp, 18), 101u);
    EXPECT_EQ(U32(bmp, 22), 80u);
    // Four bytes a pixel: rows need no padding.
    EXPECT_EQ(bmp.size(), 54u + 404u * 80u);
    EXPECT_EQ(U32(bmp, 2), bmp.size());
    EXPECT_EQ(ReadAll(dir / "t.frc").substr(0, 23), "Fractal Type=Tile Set\r\n");

    r = Render({"--quiet", At("t.frc"), "--size", "101x80", "--output", At("t.png")});
    ASSERT_EQ(r.code, 0) << r.err;
    const QImage fromBmp = Load(dir / "t.bmp"), fromPng = Load(dir / "t.png");
    ASSERT_EQ(fromPng.size(), QSize(101, 80));
    EXPECT_TRUE(HasSeveralColors(fromPng));
    EXPECT_TRUE(fromPng == fromBmp) << "the reopened file draws another tile";
}

TEST_F(Headless, AppolonySetRendersAndReopensFromItsFile)
{
    Result r = Render({"--type", "3", "--size", "120x90", "--output", At("a.bmp"), "--save", At("a.frc")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Ready"), std::string::npos);
    const std::string bmp = ReadAll(dir / "a.bmp");
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ(U16(bmp, 28), 24u);
    EXPECT_EQ(bmp.size(), 54u + 360u * 90u);
    EXPECT_EQ(ReadAll(dir / "a.frc").substr(0, 27), "Fractal Type=Appolony Set\r\n");

    r = Render({"--quiet", At("a.frc"), "--size", "120x90", "--output", At("a.png")});
    ASSERT_EQ(r.code, 0) << r.err;
    const QImage fromBmp = Load(dir / "a.bmp"), fromPng = Load(dir / "a.png");
    ASSERT_EQ(fromPng.size(), QSize(120, 90));
    EXPECT_TRUE(HasSeveralColors(fromPng));
    EXPECT_TRUE(fromPng == fromBmp);
    // Circles below a pixel are marked in the background colour (black).
    int black = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x)
            black += fromPng.pixel(x, y) == qRgb(0, 0, 0);
    EXPECT_GT(black, 50);

    // Type 4 is the Appolony set as well, and its file says so.
    r = Render({"--quiet", "--type", "4", "--size", "16x12", "--save", At("four.frc")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadAll(dir / "four.frc"), ReadAll(dir / "a.frc"));

    // An absurd precision in a file is clamped, so the build still ends.
    {
        std::ofstream f(dir / "wild.frc", std::ios::binary);
        f << "Fractal Type=Appolony Set\r\n[Main]\r\nName=w\r\nprecision=1e300\r\nx=nan\r\ny=0\r\n"
             "radius=0\r\n";
    }
    r = Render({"--quiet", At("wild.frc"), "--size", "64x48", "--output", At("w.png")});
    EXPECT_TRUE(r.code == 0 || r.code == 1) << r.err;
}

TEST_F(Headless, AnImageTheProcessCannotHoldIsOneLineAndExitOne)
{
    if (!kAddressLimitWorks)
        GTEST_SKIP() << "an address-space limit and a sanitizer do not mix";
    // 20000 x 20000 cells of 36 bytes are 14 GB; 3 GB of address space are
    // left. Computed data holds the whole image's cells, so that build is
    // refused before anything is built.
    Result r = RenderLimited(3000000, {"--type", "0", "--size", "20000x20000", "--data", At("big.fdt"), "--output",
                                       At("big.bmp")});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("quillion: a 20000x20000 image needs 14062500Kb of memory", 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists(dir / "big.bmp"));
    EXPECT_FALSE(fs::exists(dir / "big.fdt"));
    // A tile set claims no grid and meets the limit only when it sizes its
    // 1.6 GB of pixels inside the build.
    r = RenderLimited(1000000, {"--quiet", "--type", "1", "--size", "20000x20000", "--output", At("t.bmp")});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err, "quillion: Not enough memory for a 20000x20000 image\n");
    EXPECT_FALSE(fs::exists(dir / "t.bmp"));
    // The same limit leaves room for a small image.
    r = RenderLimited(1000000, {"--quiet", "--type", "1", "--size", "64x48", "--output", At("s.bmp")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "s.bmp"));
}

TEST_F(Headless, AViewThatBuildsInBandsNeedsNoRoomForTheWholeImagesCells)
{
    if (!kAddressLimitWorks)
        GTEST_SKIP() << "an address-space limit and a sanitizer do not mix";
    // 5000 x 5000 cells are 900 MB, over the 700 MB left; in bands of at
    // most 256 MB the file is written whole.
    const Result r = RenderLimited(700000, {"--quiet", "--size", "5000x5000", "--output", At("poster.bmp")});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string bmp = ReadAll(dir / "poster.bmp");
    ASSERT_EQ(bmp.size(), 54u + 5000u * 15000u);
    EXPECT_EQ(U32(bmp, 18), 5000u);
    EXPECT_EQ(U32(bmp, 22), 5000u);
    // The middle of the view is inside the set, a corner far outside it.
    EXPECT_TRUE(IsBlack(Pixel(bmp, 2500, 2500)));
    EXPECT_FALSE(IsBlack(Pixel(bmp, 0, 0)));
}

TEST_F(Headless, SupersampleIsTheMeanOfTheImageAtNTimesTheSize)
{
    const QStringList view{"--quiet", "--sample", "12", "--size"};
    ASSERT_EQ(Render(view + QStringList{"126x96", "--output", At("big.bmp")}).code, 0);
    ASSERT_EQ(Render(view + QStringList{"42x32", "--output", At("p.bmp")}).code, 0);
    ASSERT_EQ(Render(view + QStringList{"42x32", "--supersample", "3", "--output", At("s.bmp")}).code, 0);
    ASSERT_EQ(Render(view + QStringList{"42x32", "--adaptive", "--output", At("a.bmp")}).code, 0);
    const std::string big = ReadAll(dir / "big.bmp"), plain = ReadAll(dir / "p.bmp");
    const std::string sampled = ReadAll(dir / "s.bmp"), adaptive = ReadAll(dir / "a.bmp");
    ASSERT_EQ(sampled.size(), adaptive.size());
    int wrong = 0, neither = 0, refined = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 42; ++x) {
            for (int ch = 0; ch < 3; ++ch) {
                int sum = 0;
                for (int b = 0; b < 3; ++b)
                    for (int a = 0; a < 3; ++a)
                        sum += Pixel(big, 3 * x + a, 3 * y + b)[ch];
                wrong += Pixel(sampled, x, y)[ch] != (2 * sum + 9) / 18;
            }
            // Adaptive: each pixel the plain one or the sampled one.
            const bool isSampled = std::equal(Pixel(adaptive, x, y), Pixel(adaptive, x, y) + 3, Pixel(sampled, x, y));
            const bool isPlain = std::equal(Pixel(adaptive, x, y), Pixel(adaptive, x, y) + 3, Pixel(plain, x, y));
            neither += !isSampled && !isPlain;
            refined += isSampled && !isPlain;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(neither, 0);
    EXPECT_GT(refined, 0);

    const Result bad = Render({"--size", "42x32", "--supersample", "9", "--output", At("x.bmp")});
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("malformed --supersample \"9\" (expected 1 to 8)"), std::string::npos) << bad.err;
    EXPECT_EQ(Render({"--supersample", "2", "--data", At("x.fdt")}).code, 2);
}

namespace {

// The document text of sample 0 with one line changed.
std::string EditedSample(const std::string& text, const std::string& line, const std::string& by)
{
    const size_t at = text.find(line);
    EXPECT_NE(at, std::string::npos) << line;
    if (at == std::string::npos)
        return text;
    return text.substr(0, at) + by + text.substr(at + line.size());
}

} // namespace

TEST_F(Headless, ARefusedBuildWritesNothingAndExitsOne)
{
    ASSERT_EQ(Render({"--quiet", "--sample", "0", "--size", "8x8", "--save", At("s.frc")}).code, 0);
    const std::string sample = ReadAll(dir / "s.frc");
    ASSERT_NE(sample.find("Number of maps=3\r\n"), std::string::npos);
    {
        // A fourth map: the blank one, which does not shrink.
        std::ofstream f(dir / "four.frc", std::ios::binary);
        f << EditedSample(sample, "Number of maps=3\r\n", "Number of maps=4\r\n");
        std::ofstream g(dir / "flat.frc", std::ios::binary);
        g << EditedSample(sample, "Screen size=1\r\n", "Screen size=0\r\n");
    }
    Result r = Render({"--quiet", At("four.frc"), "--size", "16x16", "--output", At("four.bmp"), "--save",
                       At("again.frc"), "--data", At("four.fdt")});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("quillion: The maps do not contract: map 4 "), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "four.bmp"));
    EXPECT_FALSE(fs::exists(dir / "again.frc"));
    EXPECT_FALSE(fs::exists(dir / "four.fdt"));
    // Without --quiet the status says it too, and never "Ready".
    r = Render({At("four.frc"), "--size", "16x16", "--output", At("four.bmp")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("\nThe maps do not contract: map 4 "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Ready"), std::string::npos) << r.err;

    r = Render({"--quiet", At("flat.frc"), "--size", "16x16", "--output", At("flat.png")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "quillion: The view is not finite\n");
    EXPECT_FALSE(fs::exists(dir / "flat.png"));
}

TEST_F(Headless, SavesOnAFullDiskExitOneAndKeepTheOldFiles)
{
    const fs::path disk = dir / "disk";
    fs::create_directories(disk);
    SmallDisk small(disk);
    const char* names[] = {"doc.frc", "data.fdt", "image.bmp", "image.png"};
    for (const char* name : names)
        std::ofstream(disk / name, std::ios::binary) << "old " << name;
    small.Fill();
    // One run per option: each is the last thing a render does.
    const QStringList options[] = {{"--save", At("disk/doc.frc")},
                                   {"--data", At("disk/data.fdt")},
                                   {"--output", At("disk/image.bmp")},
                                   {"--output", At("disk/image.png")}};
    for (size_t i = 0; i < std::size(names); ++i) {
        const Result r = Render(QStringList{"--quiet", "--sample", "4", "--size", "24x16"} + options[i]);
        EXPECT_EQ(r.code, 1) << names[i];
        EXPECT_NE(r.err.find((disk / names[i]).string()), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(small.Reason()), std::string::npos) << r.err;
    }
    for (const char* name : names)
        EXPECT_EQ(ReadAll(disk / name), std::string("old ") + name);

    small.Free();
    Result r = Render({"--quiet", "--sample", "4", "--size", "24x16", "--save", At("disk/doc.frc")});
    ASSERT_EQ(r.code, 0) << r.err;
    r = Render({"--quiet", At("disk/doc.frc"), "--size", "24x16", "--save", At("disk/again.frc")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadAll(disk / "again.frc"), ReadAll(disk / "doc.frc"));
}

TEST_F(Headless, AnOversizedDocumentFileIsRefusedNamingIt)
{
    {
        std::ofstream(dir / "big.frc", std::ios::binary) << "Fractal Type=Mandelbrot Set\r\n";
    }
    fs::resize_file(dir / "big.frc", uint64_t(1536) << 20); // sparse: nothing on disk
    const Result r = Render({"--quiet", At("big.frc"), "--size", "8x8", "--output", At("big.bmp")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find((dir / "big.frc").string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("too large"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "big.bmp"));
}
