// A PNG written band by band, read back by Qt's reader: whatever the band
// height it holds the whole build's pixels (each level v as v * 257 in 16
// bits) and the document's text, which the program's PNG open path turns
// back into the document; a write that fails part way keeps the old file.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include "document/BuildSteps.h"
#include "document/CanvasImage.h"
#include "document/DocumentFiles.h"
#include "document/ImageFiles.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "tests/SmallDisk.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::unique_ptr<CFractal> Seahorses(const std::string& name)
{
    auto m = std::make_unique<CMandelbrotSet>();
    m->m_centerX = -0.7453;
    m->m_centerY = 0.1127;
    m->m_halfSize = 0.0065;
    m->m_colorMap.m_green = 2.5;
    m->SetName(name);
    return m;
}

TEST(PngBands, AnyBandHeightGivesTheWholeBuildAndTheDocument)
{
    const QTemporaryDir temporary;
    const fs::path dir = temporary.path().toStdString();
    const unsigned w = 77, h = 45;
    // A name in another alphabet must come back as it went in.
    for (const std::string name : {"Seahorse valley", "Fougère \xe2\x88\x9e \xe6\xb5\xb7\xe9\xa6\xac"}) {
        CCanvas whole;
        whole.SetTargetSize(w, h);
        std::unique_ptr<CFractal> plain = Seahorses(name);
        ASSERT_EQ(RunBuildSteps(*plain, whole, kCmdRebuild).result, BuildOutcome::kDrawn);
        const std::string frc = DocumentFileText(kTypeMandelbrot, *Seahorses(name));
        for (const bool sixteen : {false, true})
            for (const unsigned rows : {1u, 6u, 44u, 45u, 0u}) {
                SCOPED_TRACE(name + (sixteen ? ", 16 bits" : ", 8 bits") + ", bands of " + std::to_string(rows));
                const fs::path path = dir / "bands.png";
                std::unique_ptr<CFractal> f = Seahorses(name);
                const BuildOutcome out = SaveImageInBands(path.string(), *f, {w, h, {}, rows}, QueryMemoryStatus(), {},
                                                          PngExtras{frc, sixteen});
                ASSERT_EQ(out.result, BuildOutcome::kDrawn) << out.refusal;
                // After the signature, the header chunk: length, "IHDR",
                // width, height, bit depth, colour type 2 (RGB).
                const std::string bytes = ReadAll(path);
                ASSERT_GT(bytes.size(), 26u);
                EXPECT_EQ(bytes.substr(12, 4), "IHDR");
                EXPECT_EQ(int(uint8_t(bytes[24])), sixteen ? 16 : 8);
                EXPECT_EQ(int(uint8_t(bytes[25])), 2);

                // Qt's reader gives a text of many lines with the pixels.
                QImageReader reader(QString::fromStdString(path.string()), "png");
                const QImage read = reader.read();
                ASSERT_EQ(read.size(), QSize(int(w), int(h))) << reader.errorString().toStdString();
                EXPECT_EQ(read.text(kPngDocumentKey).toStdString(), frc);
                EXPECT_EQ(read.depth(), sixteen ? 64 : 32);
                const QImage wide = read.convertToFormat(QImage::Format_RGBX64);
                int wrong = 0;
                for (unsigned i = 0; i < h; ++i) {
                    const auto* p = reinterpret_cast<const uint16_t*>(wide.constScanLine(int(h - 1 - i)));
                    const uint8_t* q = whole.Row(i);
                    for (unsigned j = 0; j < w; ++j)
                        for (unsigned c = 0; c < 3; ++c)
                            wrong += p[4 * j + c] != q[3 * j + 2 - c] * 257;
                }
                EXPECT_EQ(wrong, 0);

                std::string text, error;
                ASSERT_TRUE(ReadPngDocument(path.string(), text, error)) << error;
                LoadedDocument doc;
                ASSERT_TRUE(ReadDocumentText(text, path.string(), doc, error)) << error;
                EXPECT_EQ(doc.fractal->m_name, name);
                EXPECT_EQ(DocumentFileText(doc.fractalType, *doc.fractal), frc);
            }
    }
}

// On a full disk the failure comes from deep in the compressor's writes,
// yet the message names the file and the reason, the old file stays, and
// nothing is left beside it.
TEST(PngBands, ADiskThatFillsPartWayKeepsTheOldFile)
{
    const QTemporaryDir temporary;
    const fs::path dir = temporary.path().toStdString();
    const fs::path disk = dir / "disk";
    fs::create_directories(disk);
    SmallDisk small(disk);
    const fs::path path = disk / "poster.png";
    std::ofstream(path, std::ios::binary) << "the old poster\n";
    small.Fill();
    // Some megabytes of pixels, far more than one write holds, fail while
    // the rows go out; a small image fails as the file is finished.
    for (const OffscreenJob job : {OffscreenJob{900, 700, {}, 50}, OffscreenJob{40, 30, {}, 7}})
        for (const bool sixteen : {false, true}) {
            std::unique_ptr<CFractal> f = Seahorses("poster");
            const BuildOutcome out = SaveImageInBands(path.string(), *f, job, QueryMemoryStatus(), {},
                                                      PngExtras{"Fractal Type=Mandelbrot Set\r\n", sixteen});
            EXPECT_EQ(out.result, BuildOutcome::kRefused);
            EXPECT_NE(out.refusal.find(path.string()), std::string::npos) << out.refusal;
            EXPECT_NE(out.refusal.find(small.Reason()), std::string::npos) << out.refusal;
            EXPECT_EQ(ReadAll(path), "the old poster\n");
        }
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(disk))
        files += entry.path() != small.Filler();
    EXPECT_EQ(files, 1u);
}

TEST(PngBands, AFolderThatIsNotThereIsSaidSo)
{
    const QTemporaryDir temporary;
    const fs::path dir = temporary.path().toStdString();
    const fs::path path = dir / "missing" / "poster.png";
    std::unique_ptr<CFractal> f = Seahorses("poster");
    const BuildOutcome out =
        SaveImageInBands(path.string(), *f, {40, 30, {}, 7}, QueryMemoryStatus(), {}, PngExtras{"x", true});
    EXPECT_EQ(out.result, BuildOutcome::kRefused);
    EXPECT_NE(out.refusal.find(path.string()), std::string::npos) << out.refusal;
    EXPECT_FALSE(fs::exists(path.parent_path()));
}

} // namespace
