#include <QApplication>
#include <QFileInfo>

#include "app/DesktopRegistration.h"
#include "app/HeadlessRender.h"
#include "app/MainFrame.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "model/FractalFactory.h"

int main(int argc, char** argv)
{
    if (WantsHeadlessRender(argc, argv))
        return RunHeadlessRender(argc, argv);

    QApplication app(argc, argv);
    QApplication::setOrganizationName("Quillion");
    QApplication::setApplicationName("Quillion");

    RegisterWithDesktop(QApplication::applicationFilePath());
    CMainFrame frame;
    frame.show();
    const QStringList args = QApplication::arguments().mid(1);
    bool opened = false;
    for (const QString& a : args)
        if (!a.startsWith('-') && QFileInfo(a).exists())
            opened = frame.OpenDocumentFile(a) || opened;
    if (!opened)
        frame.NewFractalDocument(kTypeMandelbrot);
    // A program that opens on a blank window looks broken: the first
    // document shows its picture straight away.
    if (CFractal_Doc* doc = frame.ActiveDocument())
        doc->OnBuild(32800);
    return app.exec();
}
