// The executable's --render mode on deep views, rows it cannot read as
// they stand, computed data and outputs it cannot write.
#include "tests/app/HeadlessFixture.h"

// A view past doubles renders without a display too, and the document it
// saves holds the count the view chose, so it renders the same image again.
TEST_F(Headless, ADeepViewRendersAndSavesTheCountItChose)
{
    {
        std::ofstream frc(dir / "deep.frc");
        frc << "Fractal Type=Mandelbrot Set\n[Main]\nName=Cusp\ntype=Mandebrot Set\nx=0.2500001\ny=0\n"
               "radius=1e-20\nprecision=100\n[Colors]\nRed=1\nGreen=1\nBlue=1\nRed   Shift=1\nGreen Shift=1\n"
               "Blue  Shift=1\nBackground=Black\n";
    }
    const Result r = Render({At("deep.frc"), "--size", "48x36", "--output", At("a.bmp"), "--save", At("b.frc")});
    ASSERT_EQ(r.code, 0) << r.err;
    // Just right of the cusp every point escapes after some 9,930 steps.
    EXPECT_NE(r.err.find("Deep view, 10000 iterations"), std::string::npos) << r.err;
    const std::string saved = ReadAll(dir / "b.frc");
    EXPECT_NE(saved.find("\niterations=10000\r\n"), std::string::npos) << saved;
    const std::string a = ReadAll(dir / "a.bmp");
    ASSERT_EQ(a.size(), 54u + 36u * 144u);
    EXPECT_FALSE(IsBlack(Pixel(a, 24, 18)));

    const Result again = Render({At("b.frc"), "--size", "48x36", "--output", At("c.bmp"), "--quiet"});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(ReadAll(dir / "c.bmp"), a);
}

// A view at 1e-40 on the dendrite through c = i: the saved document keeps the centre's
// digits as they were read, and reopened it renders the same image; the
// centre cut to a double's digits shows another place altogether.
TEST_F(Headless, AViewAt1e40SavedAndReopenedKeepsItsDigitsAndImage)
{
    // x is written as the double holds it; y needs all its digits.
    const std::string x = "0.00000000000000000000000000000000000000000314159265358979";
    const std::string y = "1.0000000000000000000000000000000000000000133";
    auto write = [&](const char* name, const std::string& cx, const std::string& cy) {
        std::ofstream frc(dir / name);
        frc << "Fractal Type=Mandelbrot Set\n[Main]\nName=Deep\ntype=Mandebrot Set\nx=" << cx << "\ny=" << cy
            << "\nradius=1e-40\nprecision=100\n[Colors]\nRed=1\nGreen=1\nBlue=1\nRed   Shift=1\nGreen Shift=1\n"
               "Blue  Shift=1\nBackground=Black\n";
    };
    write("deep.frc", x, y);
    const Result r =
        Render({At("deep.frc"), "--size", "64x48", "--output", At("a.bmp"), "--save", At("b.frc"), "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string saved = ReadAll(dir / "b.frc");
    EXPECT_NE(saved.find("\nx=3.14159265358979e-42\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\ny=" + y + "\r\n"), std::string::npos) << saved;

    const Result again = Render({At("b.frc"), "--size", "64x48", "--output", At("c.bmp"), "--quiet"});
    ASSERT_EQ(again.code, 0) << again.err;
    const std::string a = ReadAll(dir / "a.bmp");
    EXPECT_EQ(ReadAll(dir / "c.bmp"), a);
    // Spirals, not one colour.
    int distinct = 0;
    for (int i = 1; i < 64; ++i)
        distinct += std::memcmp(Pixel(a, i, 24), Pixel(a, i - 1, 24), 3) != 0;
    EXPECT_GT(distinct, 20);

    write("cut.frc", x, "1");
    const Result cut = Render({At("cut.frc"), "--size", "64x48", "--output", At("d.bmp"), "--quiet"});
    ASSERT_EQ(cut.code, 0) << cut.err;
    EXPECT_NE(ReadAll(dir / "d.bmp"), a);
}

TEST_F(Headless, ARowNotReadAsItStandsGivesOneWarningNamingTheFileRowAndValue)
{
    const std::string head = "Fractal Type=Mandelbrot Set\r\n[Main]\r\nName=M\r\ntype=Mandebrot Set\r\n";
    const std::string colors = "[Colors]\r\nRed=1\r\nGreen=1\r\nBlue=1\r\nRed   Shift=1\r\nGreen Shift=1\r\n"
                               "Blue  Shift=1\r\nBackground=Black\r\n";
    auto write = [&](const char* name, const std::string& x, const std::string& radius, const std::string& extra) {
        std::ofstream f(dir / name, std::ios::binary);
        f << head << "x=" << x << "\r\ny=0\r\nradius=" << radius << "\r\nprecision=100\r\n" << colors << extra;
    };
    const std::string deep = "-0.75000000000000000000000000000000000001";
    write("fine.frc", "-0.5", "1.5", "iterations=300\r\n");
    const Result fine = Render({At("fine.frc"), "--quiet", "--size", "16x12", "--save", At("fine2.frc")});
    ASSERT_EQ(fine.code, 0) << fine.err;
    EXPECT_EQ(fine.err, "") << "a file that reads as it stands says nothing";
    EXPECT_EQ(ReadAll(dir / "fine.frc"), ReadAll(dir / "fine2.frc"));
    // A radius far below a double's range reads, builds and is saved as it was.
    write("tip.frc", "-2", "1e-1000", "iterations=2000\r\n");
    const Result tip = Render({At("tip.frc"), "--quiet", "--size", "16x12", "--save", At("tip2.frc")});
    ASSERT_EQ(tip.code, 0) << tip.err;
    EXPECT_EQ(tip.err, "");
    EXPECT_EQ(ReadAll(dir / "tip.frc"), ReadAll(dir / "tip2.frc"));

    struct Case {
        std::string x, radius, extra, row, used;
    };
    const Case cases[] = {
        {"-0.5", "1e-100001", "", "radius", "the value stays 2"},
        {"-0.5", "nan", "", "radius", "the value stays 2"},
        {"-0.5", "2,5", "", "radius", "the value is now 2"},
        {"-0.5", "2", "iterations=1e12\r\n", "iterations", "the value is now 1"},
        {"-0.5", "2", "iterations=0\r\n", "iterations", "the value is now 1"},
        {deep + "abc", "1e-35", "", "x", "the value is now " + deep},
    };
    for (const Case& c : cases) {
        write("bad.frc", c.x, c.radius, c.extra);
        const Result r = Render({At("bad.frc"), "--quiet", "--size", "16x12", "--save", At("bad2.frc")});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        const std::string start = "quillion: \"" + (dir / "bad.frc").string() + "\": row \"" + c.row + "\": ";
        EXPECT_EQ(r.err.rfind(start, 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.used + "\n"), std::string::npos) << r.err;
    }
    // The digits before "abc" are the centre, as "%lf" reads its double.
    EXPECT_NE(ReadAll(dir / "bad2.frc").find("\r\nx=" + deep + "\r\n"), std::string::npos) << ReadAll(dir / "bad2.frc");
}

TEST_F(Headless, ComputedDataInDoesWhatItsOptionsSay)
{
    Result r = Render({"--quiet", "--sample", "8", "--size", "48x36", "--data", At("s.fdt"), "--save", At("s.frc"),
                       "--output", At("s.bmp")});
    ASSERT_EQ(r.code, 0) << r.err;
    // The grid's size decides; a --size is said to be unused.
    r = Render({"--quiet", At("s.fdt"), "--size", "10x10", "--save", At("b.frc"), "--data", At("c.fdt"), "--output",
                At("r.bmp")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "quillion: --size 10x10 is not used: the image is the 48x36 grid of \"" +
                         (dir / "s.fdt").string() + "\"\n");
    EXPECT_EQ(ReadAll(dir / "b.frc"), ReadAll(dir / "s.frc")) << "the rows of the data are the document's";
    EXPECT_EQ(fs::file_size(dir / "r.bmp"), fs::file_size(dir / "s.bmp"));
    EXPECT_EQ(fs::file_size(dir / "c.fdt"), fs::file_size(dir / "s.fdt")) << "the same hits, rows and name";
    r = Render({"--quiet", At("c.fdt"), "--output", At("c.bmp")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(fs::file_size(dir / "c.bmp"), fs::file_size(dir / "s.bmp"));

    // An animation builds its frames: computed data cannot give them.
    r = Render({"--quiet", At("s.fdt"), "--animate", "3", "--output", At("t.avi")});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_FALSE(fs::exists(dir / "t.avi"));
}

TEST_F(Headless, AnOutputThatCannotBeWrittenIsSaidBeforeTheBuild)
{
    std::ofstream(dir / "file", std::ios::binary) << "a file";
    fs::create_directories(dir / "folder.frc");
    auto quoted = [&](const char* name) { return std::string(1, '"').append((dir / name).string()).append(1, '"'); };
    const struct {
        QStringList option;
        std::string said;
    } cases[] = {
        {{"--output", At("no/dir/x.bmp")}, "the folder " + quoted("no/dir") + " does not exist"},
        {{"--data", At("file/x.fdt")}, quoted("file") + " is not a folder"},
        {{"--save", At("folder.frc")}, "Is a directory"},
    };
    for (const auto& c : cases) {
        // Seconds of building if it started: the status would say so.
        const Result r = Render(kLongRender + c.option);
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_NE(r.err.find("quillion: Cannot write \"" + c.option[1].toStdString() + "\": " + c.said),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(r.err.find("Building"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Names(dir), (std::vector<std::string>{"file", "folder.frc"}));
}
