// The Edit menu: undo through the active document's stack, the image and
// the parameters to and from the clipboard, and the view history.
#include <QApplication>
#include <QClipboard>
#include <QMenuBar>
#include <QUndoGroup>

#include "app/MainFrame.h"
#include "document/FractalDoc.h"

void CMainFrame::CopyImage()
{
    CFractal_Doc* doc = ActiveDocument();
    // The device bitmap is the GUI's own copy, whole even while a build
    // runs; while a new sample's picture is cleared it is the old picture.
    if (doc && doc->m_deviceBitmap.HasBitmap() && !doc->m_imageStale)
        QApplication::clipboard()->setImage(doc->m_deviceBitmap.Image());
}

void CMainFrame::CopyParameters()
{
    if (CFractal_Doc* doc = ActiveDocument()) {
        if (doc->IsShownInParameters())
            doc->Host()->EndEdit();
        QApplication::clipboard()->setText(doc->History().RowsText());
    }
}

void CMainFrame::PasteParameters()
{
    CFractal_Doc* doc = ActiveDocument();
    if (!doc)
        return;
    QString error;
    if (!doc->History().PasteRows(QApplication::clipboard()->text(), error))
        Complain("Paste Parameters", error);
    else
        ShowPictureOf(doc);
}

void CMainFrame::BuildEditMenu(QMenu* edit, QMenu* view)
{
    QAction* undo = m_undoGroup->createUndoAction(this, "&Undo");
    undo->setShortcut(QKeySequence("Ctrl+Z"));
    QAction* redo = m_undoGroup->createRedoAction(this, "&Redo");
    redo->setShortcuts({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
    edit->addAction(undo);
    edit->addAction(redo);
    edit->addSeparator();
    auto command = [&](const QString& text, const QString& tip, const QKeySequence& key, void (CMainFrame::*slot)()) {
        QAction* a = edit->addAction(text, this, slot);
        a->setShortcut(key);
        a->setStatusTip(tip);
        m_editActions << a;
    };
    // The first is enabled only while there is an image.
    command("&Copy Image", "Copy the image to the clipboard", QKeySequence("Ctrl+C"), &CMainFrame::CopyImage);
    command("Copy &Parameters", "Copy the parameters to the clipboard as the text of a .frc document", {},
            &CMainFrame::CopyParameters);
    command("&Paste Parameters", "Replace the parameters by the .frc text on the clipboard", QKeySequence("Ctrl+V"),
            &CMainFrame::PasteParameters);

    view->addSeparator();
    m_back = view->addAction("&Back", this, [this] {
        if (CFractal_Doc* doc = ActiveDocument())
            doc->History().GoBack();
    });
    m_back->setShortcut(QKeySequence("Alt+Left"));
    m_back->setStatusTip("Go back to the previous view");
    m_forward = view->addAction("&Forward", this, [this] {
        if (CFractal_Doc* doc = ActiveDocument())
            doc->History().GoForward();
    });
    m_forward->setShortcut(QKeySequence("Alt+Right"));
    m_forward->setStatusTip("Go forward to the next view");
    m_docOnly << m_back << m_forward;
}
