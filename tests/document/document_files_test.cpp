#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "document/DocumentFiles.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/Samples.h"
#include "model/appolony/AppolonySet.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "model/tile/TileSet.h"

namespace {

namespace fs = std::filesystem;

uint32_t U32(const std::string& s, size_t at)
{
    uint32_t v;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}

uint16_t U16(const std::string& s, size_t at)
{
    uint16_t v;
    std::memcpy(&v, s.data() + at, 2);
    return v;
}

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("quillion-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST(DocumentFile, NewMandelbrotDocumentText)
{
    CMandelbrotSet m;
    std::ostringstream out(std::ios::binary);
    WriteDocumentFile(out, kTypeMandelbrot, m);
    EXPECT_EQ(out.str(), "Fractal Type=Mandelbrot Set\r\n[Main]\r\nName=Mandelbrot Set\r\ntype=Mandebrot Set\r\n"
                         "x=-0.5\r\ny=0\r\nradius=2\r\nprecision=100\r\n[Colors]\r\nRed=1\r\nGreen=1\r\nBlue=1\r\n"
                         "Red   Shift=1\r\nGreen Shift=1\r\nBlue  Shift=1\r\nBackground=Black\r\n");
}

TEST(DocumentFile, ReadsBackTheSameRows)
{
    CMandelbrotSet a;
    a.m_name = "Seahorse valley";
    a.m_centerX = -0.7436447;
    a.m_centerY = 0.131825;
    a.m_halfSize = 0.001;
    a.m_colorMap.m_red = 3;
    a.m_colorMap.m_background = 1;
    std::ostringstream out(std::ios::binary);
    WriteDocumentFile(out, kTypeMandelbrot, a);
    std::istringstream in(out.str());
    LoadedDocument doc = ReadDocumentFile(in);
    ASSERT_TRUE(doc.fractal);
    EXPECT_FALSE(doc.truncated);
    EXPECT_EQ(doc.fractalType, kTypeMandelbrot);
    auto* b = dynamic_cast<CMandelbrotSet*>(doc.fractal.get());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->m_name, "Seahorse valley");
    EXPECT_EQ(b->m_centerX, -0.7436447);
    EXPECT_EQ(b->m_centerY, 0.131825);
    EXPECT_EQ(b->m_halfSize, 0.001);
    EXPECT_EQ(b->m_colorMap.m_red, 3);
    EXPECT_EQ(b->m_colorMap.m_background, 1);
}

std::string DocumentText(int type, CFractal& f)
{
    std::ostringstream out(std::ios::binary);
    WriteDocumentFile(out, type, f);
    return out.str();
}

// Every self-affine sample differs from sample 0 in its map count, its
// light count or its 3-D switch, so reopening must reach the same rows.
TEST(DocumentFile, EverySelfAffineSampleReopensUnchanged)
{
    for (int n = 0; n <= 13; ++n) {
        if (n == 12)
            continue; // the Mandelbrot set
        SCOPED_TRACE("sample " + std::to_string(n));
        auto sample = MakeSample(n);
        auto& a = static_cast<CSelfAffineSet&>(*sample);
        const std::string text = DocumentText(kTypeSelfAffine, a);
        std::istringstream in(text);
        LoadedDocument doc = ReadDocumentFile(in);
        ASSERT_TRUE(doc.fractal);
        EXPECT_FALSE(doc.truncated);
        auto& b = static_cast<CSelfAffineSet&>(*doc.fractal);
        EXPECT_EQ(b.m_threeD, a.m_threeD);
        EXPECT_EQ(b.m_maps.count, a.m_maps.count);
        if (a.m_threeD == 1) {
            EXPECT_EQ(b.m_colorMap.m_lightCount, a.m_colorMap.m_lightCount);
        }
        EXPECT_EQ(b.m_name, a.m_name);
        EXPECT_EQ(DocumentText(kTypeSelfAffine, b), text);
    }
}

TEST(DocumentFile, ASampleInAnotherDocumentTypeIsSavedAsItsOwnKind)
{
    auto sample = MakeSample(4);
    const std::string text = DocumentText(kTypeMandelbrot, *sample);
    EXPECT_EQ(text.rfind("Fractal Type=Self-Affine Set\r\n", 0), 0u);
    std::istringstream in(text);
    LoadedDocument doc = ReadDocumentFile(in);
    ASSERT_TRUE(doc.fractal);
    EXPECT_EQ(doc.fractal->m_kind, CFractal::kSelfAffine);
    EXPECT_EQ(DocumentText(kTypeSelfAffine, *doc.fractal), text);
}

TEST(DocumentFile, TileSetReopensWithItsDigits)
{
    // The default has three digits; a file with five must bring all five.
    CTileSet a;
    a.m_determinant = -5;
    a.m_track = 1;
    for (int k = 0; k < 5; ++k) {
        a.m_digitX[k] = k;
        a.m_digitY[k] = -k;
        a.m_digitSymmetry[k] = k % 2;
    }
    const std::string text = DocumentText(kTypeTile, a);
    std::istringstream in(text);
    LoadedDocument doc = ReadDocumentFile(in);
    ASSERT_TRUE(doc.fractal);
    EXPECT_FALSE(doc.truncated);
    auto& b = static_cast<CTileSet&>(*doc.fractal);
    EXPECT_EQ(b.m_determinant, -5);
    EXPECT_EQ(b.m_digitX[4], 4);
    EXPECT_EQ(b.m_digitY[4], -4);
    EXPECT_EQ(DocumentText(kTypeTile, b), text);
}

TEST(DocumentFile, AppolonySetText)
{
    CAppolonySet a;
    std::ostringstream out(std::ios::binary);
    WriteDocumentFile(out, kTypeAppolony, a);
    EXPECT_EQ(out.str(), "Fractal Type=Appolony Set\r\n[Main]\r\nName=Appolony Set\r\nprecision=5\r\nx=0\r\ny=0\r\n"
                         "radius=0.5\r\n[Colors]\r\nRed=1\r\nGreen=1\r\nBlue=1\r\nRed   Shift=1\r\nGreen Shift=1\r\n"
                         "Blue  Shift=1\r\nBackground=Black\r\n");
}

// The image of a Mandelbrot view, built and drawn as a build does.
std::vector<uint8_t> Pixels(CFractal& f)
{
    CCanvas c;
    c.m_targetWidth = 64;
    c.m_targetHeight = 48;
    f.Build(c);
    f.Draw(c);
    return c.m_bits;
}

TEST(DocumentFile, ASavedZoomReopensWithTheSameViewAndPixels)
{
    struct View {
        double x, y, half;
    };
    // Deep views near the seahorse valley and the tip of the needle.
    for (const View v : {View{-0.74364388703715904, 0.13182590420531198, 1e-6 * 1.0000000123},
                         View{-1.99999999913827, 0, 1e-9}, View{-1.99999999913827, 1e-13, 1e-12}}) {
        SCOPED_TRACE(v.half);
        CMandelbrotSet a;
        a.m_centerX = v.x;
        a.m_centerY = v.y;
        a.m_halfSize = v.half;
        const std::string text = DocumentText(kTypeMandelbrot, a);
        std::istringstream in(text);
        LoadedDocument doc = ReadDocumentFile(in);
        ASSERT_TRUE(doc.fractal);
        auto& b = static_cast<CMandelbrotSet&>(*doc.fractal);
        EXPECT_EQ(b.m_centerX, a.m_centerX);
        EXPECT_EQ(b.m_centerY, a.m_centerY);
        EXPECT_EQ(b.m_halfSize, a.m_halfSize);
        EXPECT_EQ(DocumentText(kTypeMandelbrot, b), text);
        const std::vector<uint8_t> before = Pixels(a);
        EXPECT_EQ(Pixels(b), before);
        // The same view kept to six significant digits shows another
        // picture: the test would see a rounded save.
        CMandelbrotSet rounded;
        char buf[3][32];
        std::snprintf(buf[0], sizeof buf[0], "%g", v.x);
        std::snprintf(buf[1], sizeof buf[1], "%g", v.y);
        std::snprintf(buf[2], sizeof buf[2], "%g", v.half);
        rounded.m_centerX = std::strtod(buf[0], nullptr);
        rounded.m_centerY = std::strtod(buf[1], nullptr);
        rounded.m_halfSize = std::strtod(buf[2], nullptr);
        EXPECT_NE(Pixels(rounded), before);
    }
}

TEST_F(TempDir, AFileThatNamesNoKindIsNotADocument)
{
    // Each once opened as a Sierpinsky triangle with its defaults.
    std::string random(3000, '\0');
    for (size_t i = 0; i < random.size(); ++i)
        random[i] = char((i * 2654435761u) >> 13);
    const std::pair<const char*, std::string> files[] = {
        {"empty.frc", ""},
        {"hello.frc", "hello\n"},
        {"random.frc", random},
        {"data.frc", std::string("\x10\0\0\0\x0c\0\0\0", 8) + std::string(64, '\0')},
        {"unknown.frc", "Fractal Type=Cantor Dust\r\n[Main]\r\nName=x\r\n"},
        {"lower.frc", "Fractal Type=mandelbrot set\r\n"},
    };
    for (const auto& [name, bytes] : files) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        LoadedDocument doc;
        std::string error;
        EXPECT_FALSE(OpenDocumentFile((dir / name).string(), doc, error)) << name;
        EXPECT_EQ(error, "Cannot open \"" + (dir / name).string() +
                             "\": it is not a fractal document (its first line names no known \"Fractal Type\").");
        EXPECT_FALSE(doc.fractal) << name;
    }
    // Each of the four names opens its kind, with a line end of either form.
    for (int type = 0; type < 4; ++type) {
        std::istringstream in(std::string("Fractal Type=") + KindTypeNames()[type] + (type % 2 ? "\n" : "\r\n"));
        LoadedDocument doc = ReadDocumentFile(in);
        EXPECT_TRUE(doc.typeKnown);
        ASSERT_TRUE(doc.fractal) << type;
        EXPECT_EQ(doc.fractalType, type);
    }
}

TEST(DocumentFile, TruncatedFileKeepsDefaultsAndSaysSo)
{
    std::istringstream in("Fractal Type=Mandelbrot Set\n[Main]\nName=Cut\ntype=Mandebrot Set\nx=0.25\n");
    LoadedDocument doc = ReadDocumentFile(in);
    ASSERT_TRUE(doc.fractal);
    EXPECT_TRUE(doc.truncated);
    EXPECT_EQ(doc.fractal->m_name, "Cut");
    EXPECT_EQ(doc.fractal->m_centerX, 0.25);
    EXPECT_EQ(doc.fractal->m_halfSize, 2.0);
}

TEST_F(TempDir, SaveAndOpenByPath)
{
    CMandelbrotSet m;
    m.m_type = 1;
    m.m_cRe = 0.285;
    std::string error;
    const fs::path p = dir / "julia.frc";
    ASSERT_TRUE(SaveDocumentFile(p.string(), kTypeMandelbrot, m, error)) << error;
    LoadedDocument doc;
    ASSERT_TRUE(OpenDocumentFile(p.string(), doc, error)) << error;
    auto* j = dynamic_cast<CMandelbrotSet*>(doc.fractal.get());
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(j->m_type, 1);
    EXPECT_EQ(j->m_cRe, 0.285);
}

TEST_F(TempDir, AppolonyAndTileFilesReopenAndSaveTheSameText)
{
    CAppolonySet a;
    a.m_name = "Gasket";
    a.m_precision = 7.25;
    a.m_centerX = 0.125;
    a.m_centerY = -0.3;
    a.m_halfSize = 0.25;
    a.m_colorMap.m_green = 0.5;
    a.m_colorMap.m_background = 1;
    CTileSet t;
    t.m_deep = 7;
    t.m_digitSymmetry[1] = 1;
    struct Case {
        int type;
        CFractal* fractal;
    } cases[] = {{kTypeAppolony, &a}, {kTypeTile, &t}};
    for (const Case& k : cases) {
        const std::string first = (dir / "first.frc").string(), second = (dir / "second.frc").string();
        std::string error;
        ASSERT_TRUE(SaveDocumentFile(first, k.type, *k.fractal, error)) << error;
        LoadedDocument doc;
        ASSERT_TRUE(OpenDocumentFile(first, doc, error)) << error;
        EXPECT_EQ(doc.fractalType, k.type);
        ASSERT_TRUE(doc.fractal);
        EXPECT_EQ(doc.fractal->m_kind, k.fractal->m_kind);
        EXPECT_FALSE(doc.truncated);
        ASSERT_TRUE(SaveDocumentFile(second, doc.fractalType, *doc.fractal, error)) << error;
        EXPECT_EQ(ReadAll(second), ReadAll(first));
    }
    LoadedDocument doc;
    std::string error;
    ASSERT_TRUE(OpenDocumentFile((dir / "first.frc").string(), doc, error));
    EXPECT_EQ(static_cast<CTileSet&>(*doc.fractal).m_deep, 7);
    ASSERT_TRUE(SaveDocumentFile((dir / "a.frc").string(), kTypeAppolony, a, error));
    ASSERT_TRUE(OpenDocumentFile((dir / "a.frc").string(), doc, error));
    auto& b = static_cast<CAppolonySet&>(*doc.fractal);
    EXPECT_EQ(b.m_name, "Gasket");
    EXPECT_EQ(b.m_precision, 7.25);
    EXPECT_EQ(b.m_centerY, -0.3);
    EXPECT_EQ(b.m_halfSize, 0.25);
    EXPECT_EQ(b.m_colorMap.m_green, 0.5);
    EXPECT_EQ(b.m_colorMap.m_background, 1);
}

TEST_F(TempDir, OpenFailuresNameTheFile)
{
    std::string error;
    LoadedDocument doc;
    EXPECT_FALSE(OpenDocumentFile((dir / "missing.frc").string(), doc, error));
    EXPECT_NE(error.find("missing.frc"), std::string::npos);
    EXPECT_FALSE(OpenDocumentFile(dir.string(), doc, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos);
}

TEST_F(TempDir, FailedSaveKeepsTheOldFile)
{
    const fs::path p = dir / "keep.frc";
    {
        std::ofstream(p) << "old contents";
    }
    CMandelbrotSet m;
    std::string error;
    // A save into a directory that does not exist fails without touching p.
    EXPECT_FALSE(SaveDocumentFile((dir / "no" / "such.frc").string(), kTypeMandelbrot, m, error));
    EXPECT_NE(error.find("such.frc"), std::string::npos);
    EXPECT_EQ(ReadAll(p), "old contents");
    ASSERT_TRUE(SaveDocumentFile(p.string(), kTypeMandelbrot, m, error));
    EXPECT_EQ(ReadAll(p).substr(0, 12), "Fractal Type");
}

TEST_F(TempDir, BitmapHeaderAndRows)
{
    CCanvas c;
    c.Resize(101, 3, 24);
    for (size_t i = 0; i < c.m_bits.size(); ++i)
        c.m_bits[i] = uint8_t(i * 7);
    std::string error;
    const fs::path p = dir / "image.bmp";
    ASSERT_TRUE(SaveBitmapFile(p.string(), c, error)) << error;
    const std::string f = ReadAll(p);
    ASSERT_EQ(f.size(), 54u + 304 * 3);
    EXPECT_EQ(f.substr(0, 2), "BM");
    EXPECT_EQ(U32(f, 2), 54u + 304 * 3);
    EXPECT_EQ(U32(f, 6), 0u);
    EXPECT_EQ(U32(f, 10), 54u);
    EXPECT_EQ(U32(f, 14), 40u);
    EXPECT_EQ(U32(f, 18), 101u);
    EXPECT_EQ(U32(f, 22), 3u);
    EXPECT_EQ(U16(f, 26), 1u);
    EXPECT_EQ(U16(f, 28), 24u);
    EXPECT_EQ(U32(f, 30), 0u);
    EXPECT_EQ(U32(f, 34), 304u * 3);
    EXPECT_EQ(U32(f, 38), 3780u);
    EXPECT_EQ(U32(f, 42), 3780u);
    EXPECT_EQ(U32(f, 46), 0u);
    EXPECT_EQ(U32(f, 50), 0u);
    EXPECT_EQ(std::memcmp(f.data() + 54, c.m_bits.data(), c.m_bits.size()), 0);
}

TEST_F(TempDir, NoBitmapBeforeTheFirstImage)
{
    CCanvas c;
    std::string error;
    EXPECT_FALSE(SaveBitmapFile((dir / "x.bmp").string(), c, error));
    EXPECT_FALSE(fs::exists(dir / "x.bmp"));
}

// The values of the `count` rows after the line `group` of a document file.
std::vector<double> RowsAfter(const std::string& text, const std::string& group, int count)
{
    std::vector<double> values;
    size_t at = text.find(group + "\r\n");
    if (at == std::string::npos)
        return values;
    at += group.size() + 2;
    for (int i = 0; i < count; ++i) {
        const size_t eq = text.find('=', at), end = text.find("\r\n", at);
        values.push_back(std::strtod(text.substr(eq + 1, end - eq - 1).c_str(), nullptr));
        at = end + 2;
    }
    return values;
}

TEST(DocumentFile, FourMapsAndTwoLightsReopenAsWritten)
{
    // Four maps and two lights: as many rows in all as sample 0 lists, but
    // in another layout.
    const std::string path = QUILLION_TEST_DATA "/pyramid-2-lights.frc";
    const std::string text = ReadAll(path);
    LoadedDocument doc;
    std::string error;
    ASSERT_TRUE(OpenDocumentFile(path, doc, error)) << error;
    auto& set = static_cast<CSelfAffineSet&>(*doc.fractal);
    EXPECT_EQ(set.m_threeD, 1);
    ASSERT_EQ(set.m_maps.count, 4);
    ASSERT_EQ(set.m_colorMap.m_lightCount, 2);
    const std::vector<double> map4 = RowsAfter(text, "[Map 4]", 13), light2 = RowsAfter(text, "[Light 2]", 13);
    ASSERT_EQ(map4.size(), 13u);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(set.m_maps.maps[3].m[i], map4[size_t(i)]) << i;
        EXPECT_EQ((&set.m_colorMap.m_lights[1].x)[i], light2[size_t(i)]) << i;
    }
    // Four maps of ratio 1/2: dimension log 4 / log 2.
    EXPECT_NEAR(set.m_dimension, 2.0, 1e-9);

    std::ostringstream first(std::ios::binary);
    WriteDocumentFile(first, doc.fractalType, set);
    EXPECT_EQ(first.str(), text);
    std::istringstream in(first.str());
    LoadedDocument again = ReadDocumentFile(in);
    ASSERT_TRUE(again.fractal);
    std::ostringstream second(std::ios::binary);
    WriteDocumentFile(second, again.fractalType, *again.fractal);
    EXPECT_EQ(second.str(), first.str());
    EXPECT_EQ(static_cast<CSelfAffineSet&>(*again.fractal).m_dimension, set.m_dimension);
}

TEST_F(TempDir, ADocumentFileOverTheLimitIsRefusedUnread)
{
    // A document's first rows, then a hole: 1.5 GB on paper, nothing on disk.
    const fs::path big = dir / "big.frc";
    {
        std::ofstream(big, std::ios::binary) << "Fractal Type=Mandelbrot Set\r\n[Main]\r\nName=Big\r\n";
    }
    fs::resize_file(big, uint64_t(1536) << 20);
    LoadedDocument doc;
    std::string error;
    EXPECT_FALSE(OpenDocumentFile(big.string(), doc, error));
    EXPECT_NE(error.find(big.string()), std::string::npos) << error;
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_FALSE(doc.fractal);

    // 4 MiB still reads: the name, then a long line of zero bytes, then
    // the end of the file, which leaves the other rows at their defaults.
    fs::resize_file(big, uint64_t(4) << 20);
    ASSERT_TRUE(OpenDocumentFile(big.string(), doc, error)) << error;
    EXPECT_EQ(doc.fractal->m_name, "Big");
    EXPECT_TRUE(doc.truncated);
    fs::resize_file(big, (uint64_t(4) << 20) + 1);
    EXPECT_FALSE(OpenDocumentFile(big.string(), doc, error));
}

} // namespace
