// A slow build in a 1024x768 window, from the command to the first coarse
// picture on screen and on to its own image, and what the coarse passes
// cost: the window's build (passes included) beside the plain build of the
// same rows outside any window, in the same run, in wall time and in the
// process's CPU time. Runs on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>

#include <chrono>
#include <ctime>
#include <sstream>
#include <string>

#include "bench/OffscreenMain.h"
#include "document/DocumentFiles.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/OffscreenRender.h"
#include "model/FractalFactory.h"

namespace {

// The deep benchmark's spiral at 1e-50 with 10,000 iterations.
const char* const kDeep =
    "Fractal Type=Mandelbrot Set\r\n[Main]\r\nName=Spiral\r\ntype=Mandebrot Set\r\n"
    "x=-0.74364451097328589583078559144868670983576730650589208411455588827997893996620837180448714521225748767548787"
    "153391176049\r\n"
    "y=0.131847068880488927100117352916508203812153239242165867507417379120461872334112709929169900256502664203698144"
    "062385315348\r\n"
    "radius=1e-50\r\nprecision=100\r\n[Colors]\r\nRed=1\r\nGreen=1\r\nBlue=1\r\nRed   Shift=1\r\n"
    "Green Shift=1\r\nBlue  Shift=1\r\nBackground=Black\r\niterations=10000\r\n";

// The case: 0 the deep spiral, 1 sample 8 (a solid in space), 2 the
// Mandelbrot set's overview (a fast build, which has no passes).
std::unique_ptr<CFractal> Rows(int which)
{
    if (which == 1)
        return CreateSample(8);
    if (which == 2)
        return CreateSample(12);
    std::istringstream in(kDeep);
    return ReadDocumentFile(in).fractal;
}

QSize SizeOf(int which) { return which == 1 ? QSize(640, 480) : QSize(1024, 768); }

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Cpu() { return double(std::clock()) / CLOCKS_PER_SEC; }

struct Timing {
    double wall = 0, cpu = 0;
    double firstAt[3] = {0, 0, 0}; // the 8x8, 4x4 and 2x2 pictures, 0 when none
    int pictures = 0;
};

// One build of the rows in the window, with or without its coarse passes.
Timing WindowBuild(CFractal_Doc& doc, CFractal_View& view, int which, bool coarse)
{
    Timing t;
    doc.SetFractal(Rows(which));
    doc.m_coarsePictures = coarse;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = Cpu();
    QMetaObject::Connection seen = QObject::connect(&doc, &CFractal_Doc::coarseShown, [&](int block) {
        // Shown: the repaint the picture asked for, done now.
        view.viewport()->repaint();
        t.firstAt[block == 8 ? 0 : block == 4 ? 1 : 2] = Since(start);
        ++t.pictures;
    });
    doc.OnBuild(kCmdRebuild);
    if (!QTest::qWaitFor([&] { return !doc.IsBuilding(); }, 600000))
        qWarning("the build did not end");
    QApplication::processEvents();
    t.wall = Since(start);
    t.cpu = Cpu() - cpuStart;
    QObject::disconnect(seen);
    return t;
}

// The same rows built as the headless renderer builds them.
Timing PlainBuild(int which)
{
    Timing t;
    std::unique_ptr<CFractal> f = Rows(which);
    f->m_restart = true;
    CCanvas canvas;
    const QSize size = SizeOf(which);
    canvas.SetTargetSize(unsigned(size.width()), unsigned(size.height()));
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = Cpu();
    RunBuildSteps(*f, canvas, kCmdRebuild);
    t.cpu = Cpu() - cpuStart;
    t.wall = Since(start);
    return t;
}

// Each iteration builds the case three times, one after the other so that
// the machine's load falls on all alike: in the window with the coarse
// pictures (the time measured), in the window without them, and plain.
void BM_WindowBuild(benchmark::State& state)
{
    const int which = int(state.range(0));
    const QSize size = SizeOf(which);
    CFractal_Doc doc(which == 1 ? kTypeSelfAffine : kTypeMandelbrot);
    CFractal_View view(&doc);
    view.resize(size);
    view.show();
    view.OnInitialUpdate();
    if (view.ClientArea() != size) {
        state.SkipWithError("the view is not of the size asked");
        return;
    }
    Timing on, off, plain;
    double first[3] = {0, 0, 0};
    int pictures = 0, n = 0;
    for (auto _ : state) {
        const Timing a = WindowBuild(doc, view, which, true);
        const Timing b = WindowBuild(doc, view, which, false);
        const Timing c = PlainBuild(which);
        state.SetIterationTime(a.wall);
        on.wall += a.wall, on.cpu += a.cpu, off.wall += b.wall, off.cpu += b.cpu;
        plain.wall += c.wall, plain.cpu += c.cpu;
        for (int k = 0; k < 3; ++k)
            first[k] += a.firstAt[k];
        pictures += a.pictures;
        ++n;
    }
    if (n == 0)
        return;
    state.counters["first_8x8_ms"] = first[0] / n * 1000;
    state.counters["first_4x4_ms"] = first[1] / n * 1000;
    state.counters["first_2x2_ms"] = first[2] / n * 1000;
    state.counters["pictures"] = double(pictures) / n;
    state.counters["wall_ms_on"] = on.wall / n * 1000;
    state.counters["wall_ms_off"] = off.wall / n * 1000;
    state.counters["wall_ms_plain"] = plain.wall / n * 1000;
    state.counters["cpu_s_on"] = on.cpu / n;
    state.counters["cpu_s_off"] = off.cpu / n;
    state.counters["cpu_s_plain"] = plain.cpu / n;
}
BENCHMARK(BM_WindowBuild)
    ->ArgName("case")
    ->DenseRange(0, 2)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// What every build in the window pays before it knows whether it is slow:
// the copy of the rows the passes would build.
void BM_CopyOfRows(benchmark::State& state)
{
    std::unique_ptr<CFractal> f = Rows(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CopyOfFractal(*f));
}
BENCHMARK(BM_CopyOfRows)->ArgName("case")->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) { return RunOffscreenBenchmarks(argc, argv); }
