// The main() of the GUI test programs: the widgets need a QApplication
// before any test runs, and their settings stay out of the user's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef QUILLION_SCALE_FACTOR
    // A dense screen: the offscreen platform takes the factor as its
    // device pixel ratio.
    qputenv("QT_SCALE_FACTOR", QUILLION_SCALE_FACTOR);
#endif
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Quillion");
    QApplication::setApplicationName("Quillion");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
