// The colouring rows in the files: a document that does not use them keeps
// the bytes the program wrote before they existed (the seed files of the
// readers' fuzzers, saved by it for every kind and sample), and one that
// does carries them through a save and an open.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "document/BuildSteps.h"
#include "document/DataFile.h"
#include "document/DocumentFiles.h"
#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "rows/PropertyStream.h"

namespace {

const std::filesystem::path kCorpus = std::filesystem::path(QUILLION_TEST_DATA) / ".." / "fuzz" / "corpus";

std::string FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Written(CFractal& f, int type)
{
    std::ostringstream out(std::ios::binary);
    WriteDocumentFile(out, type, f);
    return out.str();
}

LoadedDocument Read(const std::string& text)
{
    std::istringstream in(text);
    return ReadDocumentFile(in);
}

// As the seeds were made: the document saved after a 12 x 9 build.
std::unique_ptr<CFractal> Built(std::unique_ptr<CFractal> f)
{
    CCanvas canvas;
    canvas.SetTargetSize(12, 9);
    f->m_restart = true;
    RunBuildSteps(*f, canvas, kCmdRebuild);
    return f;
}

TEST(ColoringRows, EveryKindAndSampleWritesTheBytesItAlwaysHas)
{
    for (int type = 0; type < 4; ++type) {
        auto f = Built(CreateFractalOfType(type));
        EXPECT_EQ(Written(*f, type), FileBytes(kCorpus / "frc" / ("type" + std::to_string(type) + ".frc")))
            << "type " << type;
    }
    for (int n = 0; n <= 12; ++n) {
        auto f = Built(CreateSample(n));
        const std::string seed = FileBytes(kCorpus / "frc" / ("sample" + std::to_string(n) + ".frc"));
        EXPECT_EQ(Written(*f, KindOf(*f).type), seed) << "sample " << n;
        // Read and written again: still those bytes.
        const LoadedDocument doc = Read(seed);
        ASSERT_TRUE(doc.fractal) << n;
        EXPECT_TRUE(doc.notes.empty()) << n;
        EXPECT_EQ(Written(*doc.fractal, doc.fractalType), seed) << "sample " << n;
    }
}

TEST(ColoringRows, DataFilesReadAndWrittenKeepTheirParameters)
{
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus / "fdt")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("sample", 0) != 0)
            continue;
        const std::string bytes = FileBytes(entry.path());
        auto f = CreateFractalOfType(kTypeSelfAffine);
        CCanvas canvas;
        std::istringstream in(bytes);
        std::string error;
        ASSERT_TRUE(ReadDataFile(
            in, *f, canvas, [](unsigned, unsigned) {}, error))
            << name << ": " << error;
        std::ostringstream out(std::ios::binary);
        ASSERT_TRUE(WriteDataFile(out, *f)) << name;
        // The size and the parameters come back byte for byte (a cell's
        // normal, stored in 16-bit angles, may move by one step).
        std::ostringstream rows(std::ios::binary);
        PropertyStream passes(rows, true);
        for (int i = 0; i < f->PassCount(); ++i) {
            passes.m_pass = i;
            f->FillProperties(passes);
        }
        const size_t head = 8 + rows.str().size();
        ASSERT_GT(bytes.size(), head);
        EXPECT_EQ(out.str().substr(0, head), bytes.substr(0, head)) << name;
        ++files;
    }
    EXPECT_GE(files, 8);
}

TEST(ColoringRows, ChosenRowsComeBackWholeAfterTheRowsOfBefore)
{
    for (int type : {kTypeMandelbrot, kTypeAppolony, kTypeSelfAffine}) {
        auto f = type == kTypeSelfAffine ? CreateSample(0) : CreateFractalOfType(type);
        const std::string before = Written(*f, type);
        CColorMap& map = f->m_colorMap;
        map.m_coloring = kColoringAngleGradient;
        // A 256-colour palette's worth of stops, as long as such a row gets.
        std::vector<GradientStop> stops;
        for (int i = 0; i < 256; ++i)
            stops.push_back({i / 255.0 + (i % 7) * 1e-17, {uint8_t(i), uint8_t(255 - i), uint8_t(i * 37)}});
        map.m_gradient = Gradient(stops);
        map.m_gradientOffset = 0.125;
        map.m_gradientRepetitions = 2.5;
        map.m_insideColor = "#12ab9f";
        const std::string text = Written(*f, type);
        ASSERT_GT(text.size(), before.size() + 3000);
        EXPECT_EQ(text.substr(0, before.size()), before) << type;

        const LoadedDocument doc = Read(text);
        ASSERT_TRUE(doc.fractal);
        EXPECT_TRUE(doc.notes.empty()) << (doc.notes.empty() ? "" : doc.notes[0]);
        const CColorMap& back = doc.fractal->m_colorMap;
        EXPECT_EQ(back.m_coloring, kColoringAngleGradient) << type;
        EXPECT_EQ(back.m_gradient, map.m_gradient) << type;
        EXPECT_EQ(back.m_gradientOffset, 0.125);
        EXPECT_EQ(back.m_gradientRepetitions, 2.5);
        EXPECT_EQ(back.m_insideColor, "#12ab9f");
        EXPECT_EQ(Written(*doc.fractal, type), text);
    }
}

TEST(ColoringRows, OnlyTheMandelbrotKindOffersTheColoringsOfCounts)
{
    CMandelbrotSet m;
    m.m_colorMap.m_coloring = kColoringDistance;
    const LoadedDocument doc = Read(Written(m, kTypeMandelbrot));
    ASSERT_TRUE(doc.fractal);
    EXPECT_EQ(doc.fractal->m_colorMap.m_coloring, kColoringDistance);
    // The same line in an Appolony document names no choice it has.
    auto a = CreateFractalOfType(kTypeAppolony);
    const LoadedDocument other = Read(Written(*a, kTypeAppolony) + "coloring=Distance\r\n");
    ASSERT_TRUE(other.fractal);
    EXPECT_EQ(other.fractal->m_colorMap.m_coloring, kColoringAngle);
}

TEST(ColoringRows, AMalformedGradientOrColourIsNamedAndTheValueStays)
{
    CMandelbrotSet m;
    const std::string text =
        Written(m, kTypeMandelbrot) + "gradient=0 #000000;0.5 #zz0000;1 #ffffff\r\ninside color=red\r\n";
    const LoadedDocument doc = Read(text);
    ASSERT_TRUE(doc.fractal);
    ASSERT_EQ(doc.notes.size(), 2u);
    EXPECT_NE(doc.notes[0].find("\"gradient\""), std::string::npos) << doc.notes[0];
    EXPECT_NE(doc.notes[0].find("#zz0000"), std::string::npos) << doc.notes[0];
    EXPECT_NE(doc.notes[1].find("\"inside color\""), std::string::npos) << doc.notes[1];
    EXPECT_EQ(doc.fractal->m_colorMap.m_gradient, DefaultColoringGradient());
    EXPECT_EQ(doc.fractal->m_colorMap.m_insideColor, "");
}

} // namespace
