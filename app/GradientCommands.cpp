// The main window's ways to the gradients: the editor on the active
// document, and the toolbar's drop-down list that applies one at a click.
#include <QMenu>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "app/GradientEditor.h"
#include "app/GradientLibrary.h"
#include "app/GradientStrip.h"
#include "app/MainFrame.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "imaging/GradientGallery.h"

void CMainFrame::ShowGradientEditor()
{
    if (!m_gradientEditor) {
        m_gradientEditor = new CGradientEditor(this);
        m_gradientEditor->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    m_gradientEditor->SetDocument(ActiveDocument());
    m_gradientEditor->show();
    m_gradientEditor->raise();
    m_gradientEditor->activateWindow();
}

void CMainFrame::AddGradientButton()
{
    auto* button = new QToolButton(m_toolBar);
    QAction* edit = Command(Cmd::kGradient);
    edit->setIcon(QIcon(GradientPixmap(FindGalleryGradient("Ultra")->gradient, QSize(16, 16), devicePixelRatioF())));
    button->setDefaultAction(edit);
    m_gradientMenu = new QMenu("Gradients", button);
    connect(m_gradientMenu, &QMenu::aboutToShow, this, &CMainFrame::ListGradientMenu);
    button->setMenu(m_gradientMenu);
    button->setPopupMode(QToolButton::MenuButtonPopup);
    // The button shows only while a document window is active, as the
    // command does.
    m_docOnly << m_toolBar->addWidget(button);
    ListGradientMenu();
}

void CMainFrame::ListGradientMenu()
{
    m_gradientMenu->clear();
    bool saved = false;
    for (const NamedGradient& g : ListGradients()) {
        if (g.saved && !saved) {
            m_gradientMenu->addSeparator();
            saved = true;
        }
        QAction* a =
            m_gradientMenu->addAction(QIcon(GradientPixmap(g.gradient, QSize(16, 16), devicePixelRatioF())), g.name);
        connect(a, &QAction::triggered, this, [this, g] {
            CFractal_Doc* doc = ActiveDocument();
            if (!doc || !doc->m_fractal)
                return;
            GradientLook look = LookOf(doc->m_fractal->m_colorMap);
            look.gradient = g.gradient;
            if (!ApplyLook(*doc, look, "Gradient " + g.name))
                statusBar()->showMessage("The fractal is building: a gradient can be chosen when it ends");
            UpdateCommands();
        });
    }
}
