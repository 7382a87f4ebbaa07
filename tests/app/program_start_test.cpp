// The program starts without the libraries a plain headless render never
// calls (Qt's image classes, the widgets, printing, the video encoders), and
// loads them when a window, a PNG image or an animation needs them.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/app/RunProgram.h"

namespace {

// Runs the program with the dynamic loader naming every library it loads.
RunResult RunNamingLibraries(const QStringList& args)
{
    QProcess p;
    WithoutDisplay(p);
    QProcessEnvironment env = p.processEnvironment();
    env.insert("LD_DEBUG", "files");
    p.setProcessEnvironment(env);
    p.start(QUILLION_EXE, args);
    p.waitForFinished(120000);
    RunResult r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

bool Loaded(const RunResult& r, const char* library)
{
    return r.err.find(std::string("file=") + library) != std::string::npos;
}

TEST(ProgramStart, APlainRenderLoadsNeitherWidgetsNorEncoders)
{
    QTemporaryDir dir;
    const QString image = dir.filePath("m.bmp");
    const RunResult r = RunNamingLibraries({"--render", "--quiet", "--size", "40x30", "--output", image});
    ASSERT_EQ(r.code, 0) << r.err.substr(0, 2000);
    EXPECT_TRUE(QFile::exists(image));
    EXPECT_TRUE(Loaded(r, "libQt6Core")) << "the loader's report is there";
    EXPECT_FALSE(Loaded(r, "libQt6Gui"));
    EXPECT_FALSE(Loaded(r, "libQt6Widgets"));
    EXPECT_FALSE(Loaded(r, "libQt6PrintSupport"));
    EXPECT_FALSE(Loaded(r, "libavcodec"));
    EXPECT_FALSE(Loaded(r, "libquillion_window"));
}

TEST(ProgramStart, AnAnimationLoadsTheEncodersWhenAsked)
{
    QTemporaryDir dir;
    const QString video = dir.filePath("a.avi");
    const RunResult r = RunNamingLibraries(
        {"--render", "--quiet", "--sample", "0", "--size", "32x24", "--animate", "2", "--output", video});
    ASSERT_EQ(r.code, 0) << r.err.substr(r.err.size() > 2000 ? r.err.size() - 2000 : 0);
    EXPECT_TRUE(QFile::exists(video));
    EXPECT_TRUE(Loaded(r, "libavcodec"));
}

TEST(ProgramStart, APngImageLoadsTheImageClassesWhenAsked)
{
    QTemporaryDir dir;
    const QString image = dir.filePath("m.png");
    const RunResult r = RunNamingLibraries({"--render", "--quiet", "--size", "40x30", "--output", image});
    ASSERT_EQ(r.code, 0) << r.err.substr(r.err.size() > 2000 ? r.err.size() - 2000 : 0);
    EXPECT_TRUE(Loaded(r, "libQt6Gui"));
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
}

TEST(ProgramStart, TheWindowProgramAnswersThroughItsModule)
{
    const RunResult r = RunWithoutDisplay(QUILLION_EXE, {"--version"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Quillion"), std::string::npos) << r.out;
}

} // namespace
