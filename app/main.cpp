#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QScrollArea>

#include "app/HeadlessRender.h"
#include "document/BuildSteps.h"
#include "document/CanvasImage.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"

int main(int argc, char** argv)
{
    if (WantsHeadlessRender(argc, argv))
        return RunHeadlessRender(argc, argv);

    QApplication app(argc, argv);
    QApplication::setOrganizationName("Quillion");
    QApplication::setApplicationName("Quillion");

    // Until the document windows arrive, the program opens one window with
    // the default Mandelbrot set.
    CCanvas canvas;
    canvas.m_targetWidth = 800;
    canvas.m_targetHeight = 600;
    auto fractal = CreateFractalOfType(kTypeMandelbrot);
    RunBuildSteps(*fractal, canvas, kCmdRebuild);

    QMainWindow window;
    window.setWindowTitle("Quillion - " + QString::fromStdString(fractal->m_name));
    auto* label = new QLabel;
    label->setPixmap(QPixmap::fromImage(CanvasImage(canvas)));
    auto* scroll = new QScrollArea;
    scroll->setWidget(label);
    window.setCentralWidget(scroll);
    window.resize(820, 640);
    window.show();
    return app.exec();
}
