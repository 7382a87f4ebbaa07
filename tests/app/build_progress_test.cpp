// What the status pane tells while a 3-D build runs in the real window:
// which pass, how far within it, and (once it can) the time left.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>

#include <map>

#include "model/FractalFactory.h"
#include "tests/app/WindowFixture.h"

TEST(BuildProgress, A3DBuildTellsItsPassesAndTheirShareRisingToAHundred)
{
    Window w(kTypeSelfAffine, 96, 72);
    w.doc->OnSample(4); // a set in space
    QStringList seen;
    QObject::connect(w.view, &CFractal_View::statusMessage, [&](const QString& text) { seen << text; });
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.back(), "Ready");

    // "Iteration 3 of 10, 42 %" or "Surface normals, 42 %", perhaps with
    // ", about 12 s left".
    const QRegularExpression pass("^(Iteration (\\d+) of 10|Surface normals), (\\d+) %(, about \\d+ (s|min) left)?$");
    int lastPass = 0, lastPercent = -1;
    std::map<int, int> highest; // pass -> highest share seen
    for (const QString& text : seen) {
        const QRegularExpressionMatch m = pass.match(text);
        if (!m.hasMatch()) {
            // Between and after the passes: the system's own texts.
            EXPECT_TRUE(text == "Building..." || text == "Rendering..." || text == "Ready") << text.toStdString();
            continue;
        }
        const int n = m.captured(2).isEmpty() ? 11 : m.captured(2).toInt();
        const int percent = m.captured(3).toInt();
        ASSERT_GE(n, lastPass) << "the passes run in order: " << text.toStdString();
        if (n == lastPass) {
            EXPECT_GE(percent, lastPercent) << "fell within a pass: " << text.toStdString();
        }
        EXPECT_LE(percent, 100);
        lastPass = n;
        lastPercent = percent;
        highest[n] = std::max(highest[n], percent);
    }
    // Every pass was shown, each one whole before the next.
    ASSERT_EQ(highest.size(), 11u) << seen.join(" | ").toStdString();
    for (const auto& [n, percent] : highest)
        EXPECT_EQ(percent, 100) << "pass " << n;
}
