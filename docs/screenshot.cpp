// Makes docs/main-window.png: the main window with one document of each
// kind, tiled, every picture built; with --explore, docs/exploring.png: a
// Mandelbrot window in its smooth colouring with the Julia preview and the
// gradient editor beside it; with --guide, docs/guide-window.png: the user
// guide at the colourings. It needs a real display (Xvfb will do):
//   xvfb-run -s "-screen 0 1280x860x24" build/docs/quillion_screenshot docs/main-window.png
//   xvfb-run -s "-screen 0 1280x860x24" build/docs/quillion_screenshot --explore docs/exploring.png
#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstring>

#include "app/FractalApp.h"
#include "app/GradientEditor.h"
#include "app/JuliaPreview.h"
#include "app/MainFrame.h"
#include "app/UserGuide.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "model/FractalFactory.h"

namespace {

void Settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

bool Save(const char* output)
{
    const QPixmap shot = QApplication::primaryScreen()->grabWindow(0);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(output))) {
        std::fprintf(stderr, "could not take or save the picture\n");
        return false;
    }
    return true;
}

int Exploring(CMainFrame& frame, bool guide, const char* output)
{
    CFractal_Doc* doc = frame.NewFractalDocument(kTypeMandelbrot);
    CColorMap& map = doc->m_fractal->m_colorMap;
    map.m_coloring = kColoringSmooth;
    doc->m_fractal->m_centerX = -0.7453;
    doc->m_fractal->m_centerY = 0.1127;
    doc->m_fractal->m_halfSize = 0.0065;
    doc->OnBuild(kCmdRebuild);
    while (doc->IsBuilding())
        Settle(50);
    if (guide) {
        frame.Command(Cmd::kUserGuide)->trigger();
        if (auto* window = frame.findChild<CUserGuide*>()) {
            window->move(frame.geometry().center() - QPoint(window->width() / 2, window->height() / 2));
            window->ShowSection("colors");
        }
    } else {
        frame.JuliaPreview()->show();
        Settle(200);
        // The preview of a point on the spiral's arm, as the pointer there
        // would show it.
        frame.JuliaPreview()->Follow(-0.7458, 0.1102, map, 1000);
        frame.Command(Cmd::kGradient)->trigger();
        if (QWidget* editor = frame.GradientEditor())
            editor->move(frame.geometry().right() - editor->width() - 260,
                         frame.geometry().bottom() - editor->height() - 60);
    }
    Settle(1500);
    return Save(output) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const bool explore = argc == 3 && std::strcmp(argv[1], "--explore") == 0;
    const bool guide = argc == 3 && std::strcmp(argv[1], "--guide") == 0;
    if (argc != 2 && !explore && !guide) {
        std::fprintf(stderr, "usage: %s [--explore | --guide] OUTPUT.png\n", argv[0]);
        return 2;
    }
    const char* output = argv[argc - 1];
    // The user's own placement and bars do not change the picture.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Quillion");
    QApplication::setApplicationName("Quillion");
    QApplication::setWindowIcon(ApplicationIcon());

    CMainFrame frame;
    frame.setGeometry(QApplication::primaryScreen()->availableGeometry());
    frame.show();
    if (explore || guide)
        return Exploring(frame, guide, output);
    CFractal_Doc* solid = frame.NewFractalDocument(kTypeSelfAffine);
    solid->OnSample(5);
    frame.NewFractalDocument(kTypeTile);
    frame.NewFractalDocument(kTypeAppolony);
    frame.NewFractalDocument(kTypeMandelbrot);
    frame.MdiArea()->tileSubWindows();
    std::vector<CFractal_Doc*> docs;
    for (QMdiSubWindow* w : frame.MdiArea()->subWindowList())
        docs.push_back(static_cast<CChildFrame*>(w)->Document());
    auto waitIdle = [&] {
        QElapsedTimer t;
        t.start();
        auto busy = [&] {
            for (CFractal_Doc* d : docs)
                if (d->IsBuilding())
                    return true;
            return false;
        };
        while (busy() && t.elapsed() < 120000)
            Settle(50);
    };
    // The tile set built as it opened, at the size its window had then.
    waitIdle();
    Settle(300);
    for (CFractal_Doc* doc : docs)
        doc->OnBuild(kCmdRebuild);
    waitIdle();
    Settle(500);
    return Save(output) ? 0 : 1;
}
