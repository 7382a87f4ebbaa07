// Makes docs/main-window.png: the main window with one document of each
// kind, tiled, every picture built. It needs a real display (Xvfb will do):
//   xvfb-run -s "-screen 0 1280x860x24" build/docs/quillion_screenshot docs/main-window.png
#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

#include "app/FractalApp.h"
#include "app/MainFrame.h"
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

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
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
    const QPixmap shot = QApplication::primaryScreen()->grabWindow(0);
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not take or save the picture\n");
        return 1;
    }
    return 0;
}
