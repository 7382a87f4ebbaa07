#include "app/FractalApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QMdiArea>

#include "app/DesktopRegistration.h"
#include "app/MainFrame.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "model/FractalFactory.h"

QIcon ApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icons/quillion-%1.png").arg(size));
    return icon;
}

CFractalApp::CFractalApp() = default;

CFractalApp::~CFractalApp() = default;

bool CFractalApp::InitInstance(const QStringList& args)
{
    QApplication::setOrganizationName("Quillion");
    QApplication::setApplicationName("Quillion");
    QApplication::setWindowIcon(ApplicationIcon());

    QCommandLineParser parser;
    parser.addPositionalArgument("files", "Fractal documents (.frc) or computed data (.fdt) to open.", "[files...]");
    // main() has refused unknown options and answered --help and --version
    // before QApplication took the platform's own options.
    parser.parse(QStringList{QStringLiteral("quillion")} + args);

    m_mainFrame = std::make_unique<CMainFrame>();
    m_mainFrame->m_complain = m_complain;
    m_mainFrame->m_buildOnShow = m_buildAtStart;
    if (m_registerWithDesktop)
        RegisterWithDesktop(QApplication::applicationFilePath());

    m_mainFrame->show();
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        m_mainFrame->NewFractalDocument(kTypeMandelbrot);
    } else {
        // A file that cannot be opened says so and leaves no window behind.
        for (const QString& f : files)
            m_mainFrame->OpenDocumentFile(f);
    }
    // A program that opens on blank pictures looks broken: the documents
    // it starts with show their pictures straight away, and so does every
    // one it opens later (CMainFrame::ShowPictureOf).
    if (m_buildAtStart)
        for (QMdiSubWindow* w : m_mainFrame->MdiArea()->subWindowList())
            if (auto* child = qobject_cast<CChildFrame*>(w))
                if (!child->Document()->m_deviceBitmap.HasBitmap())
                    child->Document()->OnBuild(kCmdRebuild);
    return true;
}
