// From a wheel notch over a 1024x768 view to the end of the first repaint,
// which shows the last image scaled and shifted to the new view while the
// build runs. Beside it, the plain repaint of the same image unscaled.
// Runs on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include "bench/OffscreenMain.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

struct Scene {
    CFractal_Doc doc{kTypeMandelbrot};
    CFractal_View view{&doc};

    Scene()
    {
        // Few iterations: the build that starts is not what is measured.
        static_cast<CMandelbrotSet&>(*doc.m_fractal).m_maxIterations = 200;
        view.resize(1024, 768);
        view.show();
        view.OnInitialUpdate();
        doc.OnBuild(kCmdRebuild);
        if (!QTest::qWaitFor([this] { return !doc.IsBuilding(); }, 60000))
            qWarning("the first build did not end");
        QApplication::processEvents();
    }
    // Stops whatever build runs and waits until none is left to start.
    void Settle()
    {
        for (int i = 0; i < 1000 && doc.IsBuilding(); ++i) {
            doc.OnStop();
            QTest::qWait(1);
        }
        QApplication::processEvents();
    }
};

void BM_WheelToPreviewRepaint(benchmark::State& state)
{
    Scene s;
    QWidget* port = s.view.viewport();
    if (s.doc.m_deviceBitmap.Image().size() != QSize(1024, 768)) {
        state.SkipWithError("no 1024x768 image to scale");
        return;
    }
    const QPoint at(700, 300);
    CFractal& f = *s.doc.m_fractal;
    const double x = f.m_centerX, y = f.m_centerY, half = f.m_halfSize;
    for (auto _ : state) {
        QWheelEvent e(at, port->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(port, &e);
        port->repaint();
        state.PauseTiming();
        if (s.doc.PreviewTransform(s.view.ClientArea()).isIdentity()) {
            state.SkipWithError("the repaint showed no preview");
            break;
        }
        // Every notch starts from the view the image shows.
        s.Settle();
        f.m_centerX = x;
        f.m_centerY = y;
        f.m_halfSize = half;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WheelToPreviewRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainRepaint(benchmark::State& state)
{
    Scene s;
    for (auto _ : state)
        s.view.viewport()->repaint();
}
BENCHMARK(BM_PlainRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) { return RunOffscreenBenchmarks(argc, argv); }
