#include "app/MainFrame.h"

// What the main window keeps between runs: the recent files and its
// placement.

#include "app/TileBar.h"
#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QSettings>

namespace {
constexpr int kRecentFiles = 8;
}

QStringList CMainFrame::RecentFiles() const
{
    QSettings settings;
    QStringList files;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString f = settings.value(QString("Recent File List/File%1").arg(i)).toString();
        if (!f.isEmpty())
            files << f;
    }
    return files;
}

void CMainFrame::AddRecentFile(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    QStringList files = RecentFiles();
    files.removeAll(full);
    files.prepend(full);
    QSettings settings;
    for (int i = 1; i <= kRecentFiles; ++i) {
        const QString key = QString("Recent File List/File%1").arg(i);
        if (i <= files.size())
            settings.setValue(key, files[i - 1]);
        else
            settings.remove(key);
    }
    UpdateRecentMenu();
}

void CMainFrame::UpdateRecentMenu()
{
    if (!m_recentMenu)
        return;
    m_recentMenu->clear();
    const QStringList files = RecentFiles();
    int n = 0;
    for (const QString& f : files) {
        QAction* a = m_recentMenu->addAction(QString("&%1 %2").arg(++n).arg(QFileInfo(f).fileName()));
        a->setStatusTip(f);
        connect(a, &QAction::triggered, this, [this, f] { OpenDocumentFile(f); });
    }
    m_recentMenu->setEnabled(!files.isEmpty());
}

void CMainFrame::SavePlacement()
{
    const QRect r = normalGeometry().isValid() ? normalGeometry() : geometry();
    // Minimized from maximized: it comes back maximized.
    const bool maximized = windowState() & Qt::WindowMaximized;
    const unsigned flags = maximized ? 2 : 0;
    const unsigned show = isMinimized() ? 2 : isMaximized() ? 3 : 1;
    QSettings settings;
    settings.setValue("WindowPlacement/Main Window", QString::asprintf("%u,%u,%d,%d,%d,%d", flags, show, r.left(),
                                                                       r.top(), r.right() + 1, r.bottom() + 1));
    m_parametersBar->SaveBarSizes("BarState");
    m_tileBar->SaveBarSizes("BarState");
    settings.setValue("BarState/State", saveState());
}

void CMainFrame::RestorePlacement()
{
    QSettings settings;
    m_parametersBar->LoadBarSizes("BarState");
    m_tileBar->LoadBarSizes("BarState");
    // No layout of the user's yet: the Properties bar is sized to the
    // first rows it shows.
    m_fitProperties = !settings.contains("BarState/State");
    restoreState(settings.value("BarState/State").toByteArray());
    m_parametersBar->ApplyBarSize();
    m_tileBar->ApplyBarSize();
    const QStringList parts = settings.value("WindowPlacement/Main Window").toString().split(',');
    if (parts.size() != 6)
        return;
    int v[6];
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return;
    }
    // The normal rectangle comes back, and a window closed maximized (or
    // minimized from maximized) opens maximized over it.
    const QRect r(QPoint(v[2], v[3]), QPoint(v[4] - 1, v[5] - 1));
    if (r.width() < 100 || r.height() < 100 || r.width() > 20000 || r.height() > 20000)
        return;
    setGeometry(r);
    const bool maximized = (unsigned(v[0]) & 2) != 0 || v[1] == 3;
    setWindowState(maximized ? windowState() | Qt::WindowMaximized : windowState() & ~Qt::WindowMaximized);
}
