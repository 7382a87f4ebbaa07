// Deliberate races that ThreadSanitizer, run with the project's
// suppressions, must report: the suppressions and the hand-over to oneTBB
// may hide what the libraries do inside themselves, never what our code
// does. "handler": a plain thread against a handler that Qt's event loop
// calls. "chunks": two chunks of one ForEachRange writing the same int.
#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "imaging/Parallel.h"

namespace {
int g_shared = 0; // unguarded on purpose
}

void ReadInHandler() { std::printf("%d\n", g_shared); }

void WriteInChunk()
{
    ++g_shared;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "chunks") == 0) {
        ForEachRange(200, 1, [](int, int) { WriteInChunk(); });
        std::printf("%d\n", g_shared);
        return 0;
    }
    QCoreApplication app(argc, argv);
    std::thread writer([] {
        g_shared = 42;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    });
    QTimer::singleShot(50, [] { ReadInHandler(); });
    QTimer::singleShot(100, &app, &QCoreApplication::quit);
    const int rc = app.exec();
    writer.join();
    return rc;
}
