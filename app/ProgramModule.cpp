// The program behind its start-up executable: the windows, and the
// headless renderer with its animator.
#include <QApplication>

#include "app/CommandLine.h"
#include "app/FractalApp.h"
#include "app/HeadlessRender.h"

extern "C" __attribute__((visibility("default"))) int QuillionModuleMain(int argc, char** argv)
{
    if (WantsHeadlessRender(argc, argv))
        return RunHeadlessRender(argc, argv, LinkedModule());
    // Help, the version and a mistyped option are answered before the
    // window's application opens a display, so they work without one.
    if (const int code = CheckWindowCommandLine(argc, argv); code >= 0)
        return code;

    QApplication app(argc, argv);
    CFractalApp fractalApp;
    if (!fractalApp.InitInstance(QApplication::arguments().mid(1)))
        return 1;
    return app.exec();
}
