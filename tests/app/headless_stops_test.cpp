// The executable's --render mode stopped by signals and by its time limit.
#include "tests/app/HeadlessFixture.h"

namespace {

// Starts a render and returns once its stderr holds `seen`, all of it so
// far in `err`.
bool StartUntil(QProcess& p, const QStringList& args, const std::string& seen, std::string& err)
{
    WithoutDisplay(p);
    p.setReadChannel(QProcess::StandardError);
    p.start(QUILLION_EXE, QStringList{"--render"} + args);
    while (err.find(seen) == std::string::npos) {
        if (!p.waitForReadyRead(120000))
            return false;
        err += p.readAllStandardError().toStdString();
    }
    return true;
}

} // namespace

TEST_F(Headless, SignalsStopARenderAndWriteNothing)
{
    const struct {
        int signal;
        int code;
        const char* said;
    } cases[] = {{SIGINT, 130, "quillion: interrupted by SIGINT; nothing was written\n"},
                 {SIGTERM, 143, "quillion: terminated by SIGTERM; nothing was written\n"}};
    for (const auto& c : cases) {
        std::ofstream(dir / "old.bmp", std::ios::binary) << "old picture";
        QProcess p;
        std::string err;
        // "Iteration" lines are the build's own progress.
        ASSERT_TRUE(StartUntil(
            p, kLongRender + QStringList{"--output", At("old.bmp"), "--save", At("new.frc"), "--data", At("new.fdt")},
            "Iteration", err))
            << err;
        ASSERT_EQ(::kill(pid_t(p.processId()), c.signal), 0);
        // The build stops within a tenth of a second; the bound only
        // catches one that does not stop at all.
        ASSERT_TRUE(p.waitForFinished(60000)) << "still running after the signal";
        err += p.readAllStandardError().toStdString();
        ASSERT_EQ(p.exitStatus(), QProcess::NormalExit) << "killed by the signal instead of stopping";
        EXPECT_EQ(p.exitCode(), c.code) << err;
        EXPECT_EQ(err.substr(err.size() - std::min(err.size(), std::strlen(c.said))), c.said) << err;
        EXPECT_EQ(err.find("Ready"), std::string::npos) << err;
        EXPECT_EQ(ReadAll(dir / "old.bmp"), "old picture");
        EXPECT_EQ(Names(dir), std::vector<std::string>{"old.bmp"}) << "a new or partial file was left";
    }
}

TEST_F(Headless, ASignalStopsAnAnimationAndKeepsTheOldVideo)
{
    std::ofstream(dir / "turn.avi", std::ios::binary) << "old video";
    QProcess p;
    std::string err;
    ASSERT_TRUE(StartUntil(p, {"--sample", "4", "--size", "64x48", "--animate", "10000", "--output", At("turn.avi")},
                           "Frame 1 of 10000 written", err))
        << err;
    ASSERT_EQ(::kill(pid_t(p.processId()), SIGTERM), 0);
    ASSERT_TRUE(p.waitForFinished(60000));
    err += p.readAllStandardError().toStdString();
    ASSERT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 143) << err;
    EXPECT_NE(err.find("quillion: terminated by SIGTERM; nothing was written\n"), std::string::npos) << err;
    EXPECT_EQ(ReadAll(dir / "turn.avi"), "old video");
    EXPECT_EQ(Names(dir), std::vector<std::string>{"turn.avi"});
}

TEST_F(Headless, TheTimeLimitEndsARenderAndAnAnimation)
{
    Result r = Render(kLongRender + QStringList{"--quiet", "--timeout", "1", "--output", At("late.bmp")});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err, "quillion: the time limit of 1 s ran out; nothing was written\n");
    r = Render({"--quiet", "--sample", "4", "--size", "64x48", "--animate", "10000", "--timeout", "0.5", "--output",
                At("late.avi")});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.err, "quillion: the time limit of 0.5 s ran out; nothing was written\n");
    EXPECT_TRUE(fs::is_empty(dir));
    // A limit the render keeps to changes nothing.
    r = Render({"--quiet", "--size", "16x12", "--timeout", "600", "--output", At("soon.bmp")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(fs::file_size(dir / "soon.bmp"), 54u + 48u * 12u);
}
