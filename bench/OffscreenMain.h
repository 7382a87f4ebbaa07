#pragma once
// The main() of the benchmarks that drive windows: on the offscreen
// platform, with the QApplication the widgets need.
#include <benchmark/benchmark.h>

#include <QApplication>

inline int RunOffscreenBenchmarks(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
