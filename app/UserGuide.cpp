#include "app/UserGuide.h"

#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "model/Fractal.h"

CUserGuide::CUserGuide(QWidget* parent) : QDialog(parent), m_browser(new QTextBrowser(this))
{
    setWindowTitle("Quillion User Guide");
    // A guide is read beside the work, not instead of it.
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setOpenExternalLinks(true);
    m_browser->setSearchPaths({":/site"});
    m_browser->setSource(QUrl("qrc:/site/guide.html"));
    resize(760, 640);
}

void CUserGuide::ShowSection(const QString& section)
{
    // Shown first: an anchor is found in the laid-out text.
    show();
    raise();
    activateWindow();
    if (section.isEmpty())
        m_browser->verticalScrollBar()->setValue(0);
    else
        m_browser->scrollToAnchor(section);
}

QString CUserGuide::SectionOfKind(int kind)
{
    switch (kind) {
    case CFractal::kMandelbrot: return "mandelbrot";
    case CFractal::kAppolony: return "appolony";
    case CFractal::kSelfAffine: return "selfaffine";
    case CFractal::kTile: return "tile";
    default: return {};
    }
}
