// The files at the end of a headless render against SIGINT and SIGTERM
// arriving at chosen moments: during a file's writing, while it is being
// put in place, before any is written. The signals are real ones sent to
// this process, caught by the render's own watch.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "app/HeadlessOutputs.h"
#include "app/HeadlessWatch.h"
#include "document/FileReplacement.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class HeadlessOutputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("quillion-outputs-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
        std::ofstream(dir / "a.bmp", std::ios::binary) << "old a";
        std::ofstream(dir / "b.frc", std::ios::binary) << "old b";
    }
    void TearDown() override { fs::remove_all(dir); }

    // A file written whole, with `during` run once its bytes are out and
    // `placing` while it is being put in place, where a signal may come.
    OutputFile File(const char* name, std::function<void()> during = {}, std::function<void()> placing = {})
    {
        const std::string path = (dir / name).string();
        return {path, [=](const ReplaceGate& gate, std::string& error) {
                    FileReplacement file(path);
                    const std::string bytes = std::string("new ") + name;
                    if (!file.Create(error) || !file.Write(bytes.data(), bytes.size(), error))
                        return false;
                    if (during)
                        during();
                    if (!placing)
                        return file.Commit(error, gate);
                    return file.Commit(error, [&](const std::function<void()>& replace) {
                        return gate([&] {
                            placing();
                            replace();
                        });
                    });
                }};
    }

    // Runs the writes under a watch, as the render does; the code and
    // what was said on stderr.
    std::pair<int, std::string> Write(const std::vector<OutputFile>& files, int before = 0)
    {
        HeadlessWatch watch;
        if (before) {
            // This thread keeps the signals blocked, so the watcher takes
            // them in its own time (later still under a sanitizer, which
            // defers handlers): "before the writes" means once it has.
            ::kill(::getpid(), before);
            for (int waited = 0; !watch.Stopped() && waited < 5000; ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        testing::internal::CaptureStderr();
        const int code = WriteOutputFiles(files, watch);
        return {code, testing::internal::GetCapturedStderr()};
    }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
};

void Signal(int s) { ::kill(::getpid(), s); }

const std::vector<std::string> kBoth = {"a.bmp", "b.frc"};

TEST_F(HeadlessOutputs, ASignalWhileAFileIsWrittenKeepsItsOldFileAndWritesNoMore)
{
    auto [code, said] = Write({File("a.bmp", [] { Signal(SIGTERM); }), File("b.frc")});
    EXPECT_EQ(code, 143);
    EXPECT_EQ(said, "quillion: terminated by SIGTERM; nothing was written\n");
    EXPECT_EQ(ReadAll(dir / "a.bmp"), "old a");
    EXPECT_EQ(ReadAll(dir / "b.frc"), "old b");
    EXPECT_EQ(Names(), kBoth) << "a partial file was left";

    std::tie(code, said) = Write({File("a.bmp"), File("b.frc", [] { Signal(SIGINT); })});
    EXPECT_EQ(code, 130);
    EXPECT_EQ(said, "quillion: interrupted by SIGINT; written before it: " + (dir / "a.bmp").string() + "\n");
    EXPECT_EQ(ReadAll(dir / "a.bmp"), "new a.bmp");
    EXPECT_EQ(ReadAll(dir / "b.frc"), "old b");
    EXPECT_EQ(Names(), kBoth);
}

TEST_F(HeadlessOutputs, ASignalBeforeTheWritesWritesNothing)
{
    const auto [code, said] = Write({File("a.bmp"), File("b.frc")}, SIGTERM);
    EXPECT_EQ(code, 143);
    EXPECT_EQ(said, "quillion: terminated by SIGTERM; nothing was written\n");
    EXPECT_EQ(ReadAll(dir / "a.bmp"), "old a");
    EXPECT_EQ(ReadAll(dir / "b.frc"), "old b");
    EXPECT_EQ(Names(), kBoth);
}

TEST_F(HeadlessOutputs, ASignalWhileTheLastFileGoesInPlaceStillEndsTheRun)
{
    // It is held off until the file is in place, then counts: it was sent
    // before the work was done.
    const auto [code, said] = Write({File("a.bmp"), File("b.frc", {}, [] { Signal(SIGTERM); })});
    EXPECT_EQ(code, 143);
    EXPECT_EQ(said, "quillion: terminated by SIGTERM; written before it: " + (dir / "a.bmp").string() + ", " +
                        (dir / "b.frc").string() + "\n");
    EXPECT_EQ(ReadAll(dir / "a.bmp"), "new a.bmp");
    EXPECT_EQ(ReadAll(dir / "b.frc"), "new b.frc");
    EXPECT_EQ(Names(), kBoth);
}

TEST_F(HeadlessOutputs, WithoutASignalEveryFileIsWritten)
{
    const auto [code, said] = Write({File("a.bmp"), File("b.frc")});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(said, "");
    EXPECT_EQ(ReadAll(dir / "a.bmp"), "new a.bmp");
    EXPECT_EQ(ReadAll(dir / "b.frc"), "new b.frc");
}

} // namespace
