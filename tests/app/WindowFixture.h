#pragma once
// One main window with one document of a kind, its view sized as asked:
// what the window tests start from.

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

#include "app/MainFrame.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"

inline bool WaitIdle(CFractal_Doc* doc, int ms = 60000)
{
    return QTest::qWaitFor([&] { return !doc->IsBuilding(); }, ms);
}

struct Window {
    CMainFrame frame;
    CFractal_Doc* doc = nullptr;
    CFractal_View* view = nullptr;

    explicit Window(int type, int w = 320, int h = 200)
    {
        // Room for an 800x600 window beside the bars: windows stay inside.
        frame.resize(1500, 1000);
        // Closing a changed document asks to save it; these tests let go.
        frame.m_askSave = [](const QString&) { return QMessageBox::Discard; };
        frame.show();
        frame.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&frame));
        doc = frame.NewFractalDocument(type);
        view = frame.ActiveView();
        frame.MdiArea()->activeSubWindow()->showNormal();
        view->ResizeToBitmap(w, h);
        QApplication::processEvents();
    }
};
