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

// range(1): the coarse pictures on (1) or off (0).
void BM_WindowBuild(benchmark::State& state)
{
    const int which = int(state.range(0));
    const QSize size = SizeOf(which);
    CFractal_Doc doc(which == 1 ? kTypeSelfAffine : kTypeMandelbrot);
    CFractal_View view(&doc);
    view.resize(size);
    view.show();
    view.OnInitialUpdate();
    doc.m_coarsePictures = state.range(1) != 0;
    if (view.ClientArea() != size) {
        state.SkipWithError("the view is not of the size asked");
        return;
    }
    double first = 0, quarter = 0, half = 0, total = 0, cpu = 0;
    int pictures = 0;
    for (auto _ : state) {
        doc.SetFractal(Rows(which));
        first = quarter = half = 0;
        pictures = 0;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = Cpu();
        QMetaObject::Connection seen = QObject::connect(&doc, &CFractal_Doc::coarseShown, [&](int block) {
            // Shown: the repaint the picture asked for, done now.
            view.viewport()->repaint();
            (block == 8 ? first : block == 4 ? quarter : half) = Since(start);
            ++pictures;
        });
        doc.OnBuild(kCmdRebuild);
        if (!QTest::qWaitFor([&] { return !doc.IsBuilding(); }, 600000))
            state.SkipWithError("the build did not end");
        QApplication::processEvents();
        total = Since(start);
        cpu = Cpu() - cpuStart;
        QObject::disconnect(seen);
        state.SetIterationTime(total);
    }
    state.counters["first_8x8_ms"] = first * 1000;
    state.counters["first_4x4_ms"] = quarter * 1000;
    state.counters["first_2x2_ms"] = half * 1000;
    state.counters["pictures"] = pictures;
    state.counters["process_cpu_s"] = cpu;
}
BENCHMARK(BM_WindowBuild)
    ->ArgNames({"case", "coarse"})
    ->ArgsProduct({{0, 1, 2}, {1, 0}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

// The same rows built as the headless renderer builds them.
void BM_PlainBuild(benchmark::State& state)
{
    const int which = int(state.range(0));
    const QSize size = SizeOf(which);
    double cpu = 0;
    for (auto _ : state) {
        std::unique_ptr<CFractal> f = Rows(which);
        f->m_restart = true;
        CCanvas canvas;
        canvas.SetTargetSize(unsigned(size.width()), unsigned(size.height()));
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = Cpu();
        if (RunBuildSteps(*f, canvas, kCmdRebuild).result != BuildOutcome::kDrawn)
            state.SkipWithError("the build was not drawn");
        cpu = Cpu() - cpuStart;
        state.SetIterationTime(Since(start));
    }
    state.counters["process_cpu_s"] = cpu;
}
BENCHMARK(BM_PlainBuild)->ArgName("case")->DenseRange(0, 2)->Iterations(3)->Unit(benchmark::kMillisecond)->UseManualTime();

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

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
