#include <gtest/gtest.h>

#include <sys/resource.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "document/BuildSteps.h"
#include "document/DataFile.h"
#include "document/DocumentFiles.h"
#include "imaging/Canvas.h"
#include "model/Samples.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "rows/PropertyStream.h"
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
    ASSERT_TRUE(ReadDataFile(
        in, *g, c2, [&](unsigned w, unsigned h) { sw = w, sh = h; }, error))
        << error;
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
}

TEST(DataFile, EmptyRunsStayEmptyWithACenterTooSmallForAFloat)
{
    // Columns are written one after the other: the five empty cells before
    // the last one make one run, then comes the hit.
    for (const double centerZ : {-1e-300, -1e-46, 0.0, 1e-300}) {
        SCOPED_TRACE(centerZ);
        auto f = Sample(4);
        f->m_centerZ = centerZ;
        f->m_colorMap.AllocateGrid(3, 2);
        f->m_colorMap.ResetGrid(0);
        PixelRecord& hit = *f->m_colorMap.Cell(1, 2);
        hit.z = 0.5f;
        hit.nx = 1;
        hit.value = 1;
        std::ostringstream out;
        ASSERT_TRUE(WriteDataFile(out, *f));

        auto g = Sample(4);
        CCanvas c;
        std::string error;
        std::istringstream in(out.str());
        ASSERT_TRUE(ReadDataFile(in, *g, c, nullptr, error)) << error;
        EXPECT_EQ(g->m_centerZ, centerZ);
        EXPECT_EQ(g->m_name, f->m_name);
        for (int r = 0; r < 2; ++r)
            for (int col = 0; col < 3; ++col)
                EXPECT_EQ(g->m_colorMap.Cell(r, col)->value, r == 1 && col == 2 ? 1.0f : 0.0f) << r << "," << col;
        EXPECT_EQ(g->m_colorMap.Cell(1, 2)->z, 0.5f);
    }
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

// A whole file for a w x h grid with no hits: the header and the
// parameters; the records of empty cells may be left out.
std::string EmptyGridFile(uint32_t w, uint32_t h)
{
    auto f = Sample(4);
    std::ostringstream out;
    EXPECT_TRUE(WriteDataFile(out, *f)); // no grid: no records, then the name
    const std::string bytes = out.str();
    return Header(w, h) + bytes.substr(8, bytes.size() - 8 - 8 - f->m_name.size());
}

TEST(DataFile, AGridBeyondTheMemoryLeftToTheProcessIsRefusedBeforeItIsAllocated)
{
    // 12000 x 12000 cells of 36 bytes and their pixels need 5.6 GB; the
    // process is given 1 GiB more address space than it has.
    const std::string bytes = EmptyGridFile(12000, 12000);
    const std::string path =
        (std::filesystem::temp_directory_path() / ("quillion-big-grid-" + std::to_string(::getpid()) + ".fdt"))
            .string();
    std::ofstream(path, std::ios::binary) << bytes;
    EXPECT_EXIT(
        {
            // Refused before anything is allocated, so this runs under
            // the sanitizers too.
            if (!LimitAddressSpace(uint64_t(1) << 30))
                std::exit(3);
            auto g = Sample(4);
            CCanvas c;
            std::string error;
            const bool opened = OpenDataFile(path, *g, c, nullptr, error);
            std::fprintf(stderr, "%s\n", error.c_str());
            const bool says = error.find(path) != std::string::npos && error.find("12000x12000") != std::string::npos &&
                              error.find("memory") != std::string::npos;
            std::exit(!opened && says && g->m_colorMap.m_grid.empty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "needs [0-9]+ MB of memory");
    std::filesystem::remove(path);

    // With the memory there, the same kind of file opens as an empty grid.
    auto g = Sample(4);
    CCanvas c;
    std::string error;
    std::istringstream small(EmptyGridFile(30, 20));
    ASSERT_TRUE(ReadDataFile(small, *g, c, nullptr, error)) << error;
    EXPECT_EQ(c.m_bufferWidth, 30u);
    EXPECT_EQ(g->m_colorMap.m_grid.size(), 600u);
}

TEST(DataFile, AHeaderWithoutItsParametersIsRefusedNamingTheFile)
{
    const std::string path = QUILLION_TEST_DATA "/huge-header-20000.fdt";
    auto g = Sample(4);
    CCanvas c;
    std::string error;
    EXPECT_FALSE(OpenDataFile(path, *g, c, nullptr, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("parameters"), std::string::npos) << error;
    EXPECT_TRUE(g->m_colorMap.m_grid.empty());
}

TEST(DataFile, FourMapsAndTwoLightsComeBackWithTheirOwnLayout)
{
    LoadedDocument doc;
    std::string error;
    ASSERT_TRUE(OpenDocumentFile(QUILLION_TEST_DATA "/pyramid-2-lights.frc", doc, error)) << error;
    auto& f = static_cast<CSelfAffineSet&>(*doc.fractal);
    CCanvas canvas;
    canvas.m_targetWidth = 12;
    canvas.m_targetHeight = 8;
    f.Build(canvas);
    std::ostringstream out;
    ASSERT_TRUE(WriteDataFile(out, f));
    auto g = Sample(0); // sample 0 lists as many rows in another layout
    CCanvas c;
    std::istringstream in(out.str());
    ASSERT_TRUE(ReadDataFile(in, *g, c, nullptr, error)) << error;
    ASSERT_EQ(g->m_maps.count, 4);
    ASSERT_EQ(g->m_colorMap.m_lightCount, 2);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(g->m_maps.maps[3].m[i], f.m_maps.maps[3].m[i]) << i;
        EXPECT_EQ((&g->m_colorMap.m_lights[1].x)[i], (&f.m_colorMap.m_lights[1].x)[i]) << i;
    }
    // The normals are stored as two angles, so only the sizes must agree.
    std::ostringstream again;
    ASSERT_TRUE(WriteDataFile(again, *g));
    EXPECT_EQ(again.str().size(), out.str().size());
}

// Reads computed data the way the program opens it: the canvas takes the
// grid's size.
bool ReadBack(const std::string& bytes, CSelfAffineSet& into, CCanvas& canvas, std::string& error)
{
    std::istringstream in(bytes);
    return ReadDataFile(
        in, into, canvas, [&](unsigned w, unsigned h) { canvas.SetTargetSize(w, h); }, error);
}

// Sample 8 has hits on the screen plane; read as runs of empty cells they
// lost the rest of its grid. Every hit comes back where it was, and the
// image again, but for a level of rounding: the normals are kept as two
// 16-bit angles.
void ExpectSolidSamplesReopenAsBuilt(unsigned w, unsigned h)
{
    for (int n = 4; n <= 9; ++n) {
        SCOPED_TRACE("sample " + std::to_string(n));
        auto f = Sample(n);
        CCanvas built;
        built.SetTargetSize(w, h);
        ASSERT_EQ(RunBuildSteps(*f, built, kCmdRebuild).result, BuildOutcome::kDrawn);
        std::ostringstream out;
        ASSERT_TRUE(WriteDataFile(out, *f));

        auto g = Sample(0);
        CCanvas reopened;
        std::string error;
        ASSERT_TRUE(ReadBack(out.str(), *g, reopened, error)) << error;
        EXPECT_EQ(g->m_name, f->m_name);
        int hits = 0, wrong = 0;
        for (unsigned r = 0; r < h; ++r)
            for (unsigned c = 0; c < w; ++c) {
                const PixelRecord& a = *f->m_colorMap.Cell(int(r), int(c));
                const PixelRecord& b = *g->m_colorMap.Cell(int(r), int(c));
                const bool hit = std::fabs(a.value) >= 1e-5f;
                hits += hit;
                wrong += hit != (b.value == 1.0f) || (hit && double(b.z) <= f->m_centerZ);
            }
        EXPECT_GT(hits, 100);
        EXPECT_EQ(wrong, 0);
        ASSERT_EQ(reopened.m_bits.size(), built.m_bits.size());
        int far = 0;
        for (size_t i = 0; i < built.m_bits.size(); ++i)
            far += std::abs(int(built.m_bits[i]) - int(reopened.m_bits[i])) > 1;
        EXPECT_EQ(far, 0) << "bytes more than a level apart";
    }
}

TEST(DataFile, SolidSamplesReopenAsTheyWereBuiltAt80x60) { ExpectSolidSamplesReopenAsBuilt(80, 60); }
TEST(DataFile, SolidSamplesReopenAsTheyWereBuiltAt160x120) { ExpectSolidSamplesReopenAsBuilt(160, 120); }

TEST(DataFile, AHitOnOrBeforeTheScreenPlaneIsStoredJustBeyondIt)
{
    // A hit is told from a run of empty cells by lying beyond "Screen z",
    // compared in double; the nearest float beyond it is the one stored.
    for (const double zc : {0.0, -1.0, 1.0, 0.1, -1e-300, 1e-300, 3e38, -3e39}) {
        SCOPED_TRACE(zc);
        auto f = Sample(4);
        f->m_centerZ = zc;
        f->m_colorMap.AllocateGrid(3, 2);
        f->m_colorMap.ResetGrid(0);
        auto hit = [&](int r, int c, float z) {
            PixelRecord& p = *f->m_colorMap.Cell(r, c);
            p.z = z;
            p.nx = 1;
            p.value = 1;
        };
        const float on = zc < -FLT_MAX ? -HUGE_VALF : float(zc);
        hit(0, 0, on);                                                    // on the plane, or its float
        hit(1, 0, std::nextafter(on, -HUGE_VALF));                        // before it
        hit(1, 2, zc > 1e38 ? HUGE_VALF : float(zc + 1 + std::fabs(zc))); // well beyond
        std::ostringstream out;
        ASSERT_TRUE(WriteDataFile(out, *f));
        auto g = Sample(4);
        CCanvas c;
        std::string error;
        ASSERT_TRUE(ReadBack(out.str(), *g, c, error)) << error;
        EXPECT_EQ(g->m_name, f->m_name);
        for (int r = 0; r < 2; ++r)
            for (int col = 0; col < 3; ++col)
                EXPECT_EQ(g->m_colorMap.Cell(r, col)->value, col == 0 || (r == 1 && col == 2) ? 1.0f : 0.0f)
                    << r << "," << col;
        for (const auto& [r, col] : {std::pair{0, 0}, std::pair{1, 0}}) {
            const float z = g->m_colorMap.Cell(r, col)->z;
            EXPECT_GT(double(z), zc);
            EXPECT_LE(double(std::nextafter(z, -HUGE_VALF)), zc) << "a float between the plane and " << z;
        }
        EXPECT_EQ(g->m_colorMap.Cell(1, 2)->z, f->m_colorMap.Cell(1, 2)->z);
    }
    // Beyond an infinite or undefined plane no float lies: refused, not misread.
    for (const double zc : {HUGE_VAL, std::nan("")}) {
        auto f = Sample(4);
        f->m_centerZ = zc;
        f->m_colorMap.AllocateGrid(1, 1);
        f->m_colorMap.ResetGrid(0);
        f->m_colorMap.Cell(0, 0)->value = 1;
        std::ostringstream out;
        std::string why;
        EXPECT_FALSE(WriteDataFile(out, *f, &why));
        EXPECT_NE(why.find("Screen z"), std::string::npos) << why;
    }
}

TEST(DataFile, PlaneSetsWriteAndReadTheirComputedData)
{
    // Sample 0, the Sierpinsky triangle: 3 maps and the 3 lights it does
    // not list, so 9 passes. A plane pass holds Power, Precision, Level
    // (24 bytes), Iterations and Number of maps (8), the ten view doubles
    // (80), six colour doubles and Background (52) and 13 doubles a map
    // (312): 476 bytes.
    auto f = Sample(0);
    ASSERT_EQ(f->m_threeD, 0);
    f->m_colorMap.m_red = 0.25;
    f->m_iterations = 7;
    CCanvas canvas;
    canvas.SetTargetSize(40, 30);
    ASSERT_EQ(RunBuildSteps(*f, canvas, kCmdRebuild).result, BuildOutcome::kDrawn);
    std::ostringstream out;
    std::string why;
    ASSERT_TRUE(WriteDataFile(out, *f, &why)) << why;
    const std::string bytes = out.str();
    constexpr size_t kPass = 476;
    ASSERT_GT(bytes.size(), 8 + 9 * kPass);
    for (int i = 1; i < 9; ++i)
        EXPECT_EQ(bytes.substr(8 + i * kPass, kPass), bytes.substr(8, kPass)) << "pass " << i;
    EXPECT_NE(bytes.substr(8 + 9 * kPass, kPass), bytes.substr(8, kPass));

    // A solid reader takes the plane rows, and the marked cells are its hits.
    auto g = Sample(4);
    CCanvas c;
    std::string error;
    ASSERT_TRUE(ReadBack(bytes, *g, c, error)) << error;
    EXPECT_EQ(g->m_threeD, 0);
    EXPECT_EQ(g->m_maps.count, 3);
    EXPECT_EQ(g->m_colorMap.m_lightCount, 3);
    EXPECT_EQ(g->m_iterations, 7);
    EXPECT_EQ(g->m_colorMap.m_red, 0.25);
    EXPECT_EQ(g->m_polarAngle, f->m_polarAngle);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(g->m_maps.maps[2].m[i], f->m_maps.maps[2].m[i]) << i;
    EXPECT_EQ(g->m_name, "Sierpinsky Triangle");
    int marked = 0;
    for (int r = 0; r < 30; ++r)
        for (int col = 0; col < 40; ++col) {
            const bool mark = f->m_colorMap.Cell(r, col)->value >= float(CColorMap::kBackgroundValue);
            marked += mark;
            ASSERT_EQ(g->m_colorMap.Cell(r, col)->value == 1.0f, mark) << r << "," << col;
        }
    EXPECT_GT(marked, 50);
    std::ostringstream again;
    ASSERT_TRUE(WriteDataFile(again, *g));
    EXPECT_EQ(again.str().substr(0, 8 + 9 * kPass), bytes.substr(0, 8 + 9 * kPass));
    EXPECT_EQ(again.str().size(), bytes.size());

    // The passes alone, as any writer of the layout makes them.
    std::ostringstream passes;
    passes << bytes.substr(0, 8);
    {
        PropertyStream s(passes, true);
        for (int i = 0; i < f->PassCount(); ++i) {
            s.m_pass = i;
            f->FillProperties(s);
        }
    }
    auto h = Sample(5);
    ASSERT_TRUE(ReadBack(passes.str(), *h, c, error)) << error;
    EXPECT_EQ(h->m_threeD, 0);
    EXPECT_EQ(h->m_colorMap.m_red, 0.25);
    // Cut inside a pass: its true reason.
    EXPECT_FALSE(ReadBack(bytes.substr(0, 8 + 4 * kPass + 100), *h, c, error));
    EXPECT_EQ(error, "the file ends inside its parameters");

    CMandelbrotSet m;
    EXPECT_FALSE(WriteDataFile(out, m, &why));
    EXPECT_EQ(why, "computed data exists only for self-affine sets");
}

TEST(DataFile, APipeOrAFolderIsRefusedWithoutWaiting)
{
    const std::string fifo = TempPath("pipe.fdt"), folder = TempPath("folder.fdt");
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directories(folder);
    auto open = [](const std::string& path) {
        return std::async(std::launch::async, [path] {
            auto g = Sample(4);
            CCanvas c;
            std::string error;
            return OpenDataFile(path, *g, c, nullptr, error) ? std::string("opened") : error;
        });
    };
    auto pipe = open(fifo);
    if (pipe.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // Give the reader its writer, so the test ends.
        ::close(::open(fifo.c_str(), O_WRONLY));
        FAIL() << "opening a pipe waited for a writer";
    }
    EXPECT_EQ(pipe.get(), "cannot open \"" + fifo + "\": it is not a regular file");
    EXPECT_EQ(open(folder).get(), "cannot open \"" + folder + "\": it is a folder, not a regular file");
    std::filesystem::remove(fifo);
    std::filesystem::remove(folder);
}

} // namespace
