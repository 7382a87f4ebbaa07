#include <QApplication>

#include "app/FractalApp.h"
#include "app/HeadlessRender.h"

int main(int argc, char** argv)
{
    if (WantsHeadlessRender(argc, argv))
        return RunHeadlessRender(argc, argv);

    QApplication app(argc, argv);
    CFractalApp fractalApp;
    if (!fractalApp.InitInstance(QApplication::arguments().mid(1)))
        return 1;
    return app.exec();
}
