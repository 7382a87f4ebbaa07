#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "document/BuildSteps.h"
#include "document/DataFile.h"
#include "imaging/Canvas.h"
#include "model/Samples.h"
#include "model/SelfAffineSet.h"
#include "tests/AddressLimit.h"

namespace {

std::unique_ptr<CSelfAffineSet> Sample(int n)
{
    return std::unique_ptr<CSelfAffineSet>(static_cast<CSelfAffineSet*>(MakeSample(n).release()));
}

std::string Header(uint32_t w, uint32_t h)
{
    std::string s(8, '\0');
    std::memcpy(&s[0], &w, 4);
    std::memcpy(&s[4], &h, 4);
    return s;
}

TEST(DataFile, RoundTripKeepsRowsAndHits)
{
    auto f = Sample(4);
    f->m_maps.count = 5; // a count other than the reader's
    f->m_iterations = 7;
    CCanvas canvas;
    canvas.m_targetWidth = 40;
    canvas.m_targetHeight = 30;
    f->Build(canvas);
    std::ostringstream out;
    ASSERT_TRUE(WriteDataFile(out, *f));
    const std::string bytes = out.str();

    auto g = Sample(0); // two-dimensional, three maps
    CCanvas c2;
    unsigned sw = 0, sh = 0;
    std::string error;
    std::istringstream in(bytes);
    ASSERT_TRUE(ReadDataFile(in, *g, c2, [&](unsigned w, unsigned h) { sw = w, sh = h; }, error)) << error;
    EXPECT_EQ(sw, 40u);
    EXPECT_EQ(sh, 30u);
    EXPECT_EQ(g->m_maps.count, 5);
    EXPECT_EQ(g->m_iterations, 7);
    EXPECT_EQ(g->m_polarAngle, 45);
    EXPECT_EQ(g->m_centerZ, -1);
    for (int r = 0; r < 30; ++r)
        for (int c = 0; c < 40; ++c) {
            const PixelRecord& a = *f->m_colorMap.Cell(r, c);
            const PixelRecord& b = *g->m_colorMap.Cell(r, c);
            const bool hit = std::fabs(a.value) >= 1e-5f;
            ASSERT_EQ(hit, b.value == 1.0f);
            if (hit) {
                EXPECT_EQ(a.z, b.z);
                EXPECT_NEAR(a.nx, b.nx, 1e-3);
                EXPECT_NEAR(a.nz, b.nz, 1e-3);
            }
        }
    EXPECT_EQ(c2.Status(), "Rendering...");
    // Writing it again gives the same bytes.
    std::ostringstream again;
    ASSERT_TRUE(WriteDataFile(again, *g));
    EXPECT_EQ(again.str().size(), bytes.size());
    EXPECT_EQ(g->m_name, f->m_name);
}

uint32_t U32(const std::string& s, size_t at)
{
    uint32_t v;
    std::memcpy(&v, s.data() + at, 4);
    return v;
}

TEST(DataFile, EmptyGridWritesOneSkipRecordThenTheName)
{
    auto f = Sample(4);
    f->m_colorMap.AllocateGrid(3, 2);
    f->m_colorMap.ResetGrid(0);
    std::ostringstream out;
    ASSERT_TRUE(WriteDataFile(out, *f));
    auto g = Sample(4);
    std::ostringstream params;
    ASSERT_TRUE(WriteDataFile(params, *g)); // g has an empty grid too: no cells at all
    const std::string a = out.str(), b = params.str();
    const std::string name = "Sierpinsky Pyramid";
    const size_t tail = 8 + name.size();
    ASSERT_GT(b.size(), 8 + tail);
    const size_t rows = b.size() - 8 - tail;
    ASSERT_EQ(a.size(), 8 + rows + 8 + tail);
    EXPECT_EQ(a.substr(8, rows), b.substr(8, rows));
    // One skip record for all six cells, its marker 2 x "Screen z" (-1).
    float marker;
    std::memcpy(&marker, a.data() + 8 + rows, 4);
    EXPECT_EQ(marker, -2.0f);
    EXPECT_EQ(U32(a, 8 + rows + 4), 6u);
    EXPECT_EQ(a.substr(8 + rows + 8), std::string("Name") + '\x12' + std::string(3, '\0') + name);
    EXPECT_FALSE(WriteDataFile(out, *Sample(0))); // two-dimensional
}

TEST(DataFile, TheNameFollowsTheRecordsAndComesBack)
{
    auto f = Sample(4);
    CCanvas canvas;
    canvas.m_targetWidth = 24;
    canvas.m_targetHeight = 16;
    f->Build(canvas);
    std::ostringstream out;
    ASSERT_TRUE(WriteDataFile(out, *f));
    auto read = [](const std::string& bytes) {
        auto g = Sample(0);
        CCanvas c;
        std::string error;
        std::istringstream in(bytes);
        EXPECT_TRUE(ReadDataFile(in, *g, c, nullptr, error)) << error;
        return g->m_name;
    };
    EXPECT_EQ(read(out.str()), "Sierpinsky Pyramid");
    f->m_name = "Mine";
    std::ostringstream renamed;
    ASSERT_TRUE(WriteDataFile(renamed, *f));
    EXPECT_EQ(read(renamed.str()), "Mine");
    // Without the name, or with a damaged one, the reader's name stays.
    const std::string bytes = renamed.str();
    EXPECT_EQ(read(bytes.substr(0, bytes.size() - 12)), "Sierpinsky Triangle");
    EXPECT_EQ(read(bytes.substr(0, bytes.size() - 1)), "Sierpinsky Triangle");
}

TEST(DataFile, CountsPastTheArraysAreRefused)
{
    auto f = Sample(4);
    f->m_colorMap.AllocateGrid(3, 2);
    f->m_colorMap.ResetGrid(0);
    std::ostringstream out;
    ASSERT_TRUE(WriteDataFile(out, *f));
    const std::string good = out.str();
    auto patched = [&](size_t at, int32_t value) {
        std::string s = good;
        std::memcpy(&s[at], &value, 4);
        return s;
    };
    auto g = Sample(0);
    CCanvas c;
    std::string error;
    auto read = [&](const std::string& bytes) {
        std::istringstream in(bytes);
        error.clear();
        return ReadDataFile(in, *g, c, nullptr, error);
    };
    // The counts follow three doubles and the iterations.
    EXPECT_FALSE(read(patched(8 + 28, 1000)));
    EXPECT_NE(error.find("1000 maps"), std::string::npos) << error;
    EXPECT_FALSE(read(patched(8 + 28, -1)));
    EXPECT_NE(error.find("-1 maps"), std::string::npos) << error;
    EXPECT_FALSE(read(patched(8 + 32, 1000)));
    EXPECT_NE(error.find("1000 lights"), std::string::npos) << error;
    EXPECT_FALSE(read(patched(8 + 32, 21)));
    EXPECT_EQ(g->m_maps.count, 3) << "a refused file changes nothing";
    EXPECT_EQ(g->m_threeD, 0);
    // Every pass holds all the rows; a later pass may not change the counts.
    const int passes = f->m_maps.count + f->m_colorMap.m_lightCount + 3;
    const size_t pass = (good.size() - 8 - 8 - 8 - f->m_name.size()) / size_t(passes);
    EXPECT_FALSE(read(patched(8 + pass + 28, 2)));
    EXPECT_NE(error.find("disagree"), std::string::npos) << error;
    EXPECT_TRUE(read(good)) << error;
}

TEST(DataFile, BadFilesAreRefused)
{
    auto g = Sample(4);
    CCanvas c;
    std::string error;
    auto read = [&](const std::string& bytes) {
        std::istringstream in(bytes);
        error.clear();
        return ReadDataFile(in, *g, c, nullptr, error);
    };
    EXPECT_FALSE(read(""));
    EXPECT_FALSE(read(Header(0xFFFFFFFF, 0xFFFFFFFF)));
    EXPECT_NE(error.find("4294967295x4294967295"), std::string::npos);
    EXPECT_FALSE(read(Header(60000, 60000))); // 3.6e9 cells: more than memory
    EXPECT_FALSE(read(Header(4, 4) + "abc"));
    EXPECT_NE(error.find("parameters"), std::string::npos);
    // A record cut short.
    auto f = Sample(9);
    CCanvas canvas;
    canvas.m_targetWidth = 20;
    canvas.m_targetHeight = 10;
    f->Build(canvas);
    std::ostringstream out;
    ASSERT_TRUE(WriteDataFile(out, *f));
    const std::string bytes = out.str();
    const size_t records = bytes.size() - 8 - f->m_name.size(); // the name follows them
    EXPECT_FALSE(read(bytes.substr(0, records - 3)));
    EXPECT_NE(error.find("cell record"), std::string::npos) << error;
    EXPECT_TRUE(read(bytes.substr(0, records - 8))); // whole records: the rest is empty
}

std::string TempPath(const std::string& name)
{
    const auto dir = std::filesystem::temp_directory_path() / ("quillion-fdt-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

TEST(DataFile, OpeningComputedDataEndsAnEarlierRefusal)
{
    auto f = Sample(4);
    CCanvas canvas;
    canvas.m_targetWidth = 24;
    canvas.m_targetHeight = 16;
    f->Build(canvas);
    const std::string path = TempPath("refusal.fdt");
    {
        std::ostringstream out;
        ASSERT_TRUE(WriteDataFile(out, *f));
        std::ofstream(path, std::ios::binary) << out.str();
    }
    auto g = Sample(4);
    g->m_maps.count = 0;
    ASSERT_EQ(RunBuildSteps(*g, canvas, kCmdRebuild).result, BuildOutcome::kRefused);
    std::string error;
    ASSERT_TRUE(OpenDataFile(path, *g, canvas, nullptr, error)) << error;
    EXPECT_EQ(g->m_refusal, "");
    EXPECT_EQ(RunBuildSteps(*g, canvas, kCmdPaint).result, BuildOutcome::kDrawn);
    EXPECT_EQ(canvas.m_bufferWidth, 24u);
}

TEST(DataFile, AGridThatCannotBeHadIsAMessage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (!kAddressLimitWorks)
        GTEST_SKIP() << "an address-space limit and a sanitizer do not mix";
    // 4000 x 4000 cells: 576 MB of grid and 48 MB of pixels.
    const std::string path = TempPath("large.fdt");
    std::ofstream(path, std::ios::binary) << Header(4000, 4000);
    EXPECT_EXIT(
        {
            if (!LimitAddressSpace(16u << 20))
                std::_Exit(3);
            auto g = Sample(4);
            CCanvas canvas;
            std::string error;
            const bool opened = OpenDataFile(path, *g, canvas, nullptr, error);
            const bool said = error == "cannot open \"" + path + "\": not enough memory for its grid";
            std::_Exit(!opened && said && g->m_colorMap.m_grid.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
