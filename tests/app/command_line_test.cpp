// The command line's answers that need no display: help, version and
// mistyped options, from the real executable with no display at all.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/app/RunProgram.h"

namespace {

struct Answer {
    int code = -1;
    QString out, err;
};

Answer Start(const QStringList& args)
{
    const RunResult r = RunWithoutDisplay(QUILLION_EXE, args);
    return {r.code, QString::fromStdString(r.out), QString::fromStdString(r.err)};
}

TEST(CommandLine, HelpPrintsEveryFormWithoutADisplay)
{
    for (const QStringList& args : {QStringList{"--help"}, QStringList{"-h"}, QStringList{"some.frc", "--help"},
                                    QStringList{"--render", "--help"}}) {
        const Answer a = Start(args);
        const std::string what = args.join(' ').toStdString();
        EXPECT_EQ(a.code, 0) << what << ": " << a.err.toStdString();
        EXPECT_EQ(a.err, "") << what;
        // The window form, both --render forms, and every option of them.
        EXPECT_TRUE(a.out.contains("quillion [FILE...]")) << what << a.out.toStdString();
        EXPECT_TRUE(a.out.contains("quillion --render [FILE | --type N | --sample N]")) << what;
        EXPECT_TRUE(a.out.contains("--animate FRAMES --output FILE.avi")) << what;
        for (const char* option : {"--type", "--sample", "--size", "--output", "--save", "--data", "--quiet",
                                   "--animate", "--step", "--codec", "--timeout", "--version"})
            EXPECT_TRUE(a.out.contains(QLatin1String(option))) << what << " lacks " << option;
        // What a script sees when the render is stopped.
        EXPECT_TRUE(a.out.contains("130 stopped by SIGINT")) << what;
        EXPECT_TRUE(a.out.contains("143 stopped by SIGTERM")) << what;
    }
}

TEST(CommandLine, VersionPrintsOneLineWithoutADisplay)
{
    for (const QStringList& args :
         {QStringList{"--version"}, QStringList{"-v"}, QStringList{"--render", "--version"}}) {
        const Answer a = Start(args);
        EXPECT_EQ(a.code, 0) << a.err.toStdString();
        EXPECT_EQ(a.out, "Quillion Version 0.9 alpha\n");
    }
}

TEST(CommandLine, AnUnknownOptionIsAUsageError)
{
    for (const QStringList& args : {QStringList{"--bogus"}, QStringList{"-x", "a.frc"}, QStringList{"a.frc", "--rendr"},
                                    QStringList{"-platform"}}) {
        const Answer a = Start(args);
        const std::string what = args.join(' ').toStdString();
        EXPECT_EQ(a.code, 2) << what << ": " << a.err.toStdString();
        EXPECT_TRUE(a.err.startsWith("quillion: ")) << what << ": " << a.err.toStdString();
        EXPECT_TRUE(a.err.contains(args.first().startsWith('-') ? args.first() : args.last())) << what;
        EXPECT_EQ(a.err.count('\n'), 1) << what;
        EXPECT_EQ(a.out, "") << what;
    }
}

} // namespace
