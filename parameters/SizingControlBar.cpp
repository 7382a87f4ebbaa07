#include "parameters/SizingControlBar.h"

#include <QMainWindow>
#include <QResizeEvent>
#include <QSettings>

CSizingControlBar::CSizingControlBar(QWidget* parent) : QDockWidget(parent)
{
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    setAllowedAreas(Qt::AllDockWidgetAreas);
    setMinimumSize(m_minSize);
    connect(this, &QDockWidget::dockLocationChanged, this, [this] { UpdateDockSide(); });
    connect(this, &QDockWidget::topLevelChanged, this, [this] { UpdateDockSide(); });
}

bool CSizingControlBar::Create(const QString& title, QWidget* parent, QSize size, bool gripper, int id)
{
    setWindowTitle(title);
    if (parent && parentWidget() != parent)
        setParent(parent);
    m_horzSize = m_vertSize = m_floatSize = size.expandedTo(m_minSize);
    m_gripperSize = gripper ? 12 : 0;
    m_id = id;
    setObjectName(QString::number(id));
    return true;
}

QMainWindow* CSizingControlBar::MainWindow() const { return qobject_cast<QMainWindow*>(parentWidget()); }

void CSizingControlBar::UpdateDockSide()
{
    QMainWindow* main = MainWindow();
    if (isFloating() || !main) {
        m_dockSide = 0;
        return;
    }
    switch (main->dockWidgetArea(const_cast<CSizingControlBar*>(this))) {
    case Qt::TopDockWidgetArea: m_dockSide = 59419; break;
    case Qt::LeftDockWidgetArea: m_dockSide = 59420; break;
    case Qt::RightDockWidgetArea: m_dockSide = 59421; break;
    case Qt::BottomDockWidgetArea: m_dockSide = 59422; break;
    default: m_dockSide = 0; break;
    }
}

void CSizingControlBar::resizeEvent(QResizeEvent* e)
{
    QDockWidget::resizeEvent(e);
    UpdateDockSide();
    // Only a shown bar's size is the user's choice.
    if (!isVisible())
        return;
    const QSize s = e->size().expandedTo(m_minSize);
    if (IsHorizontal())
        m_horzSize = s;
    else if (IsVertical())
        m_vertSize = s;
    else if (isFloating())
        m_floatSize = s;
}

QString CSizingControlBar::Section(const QString& profile) const
{
    return QString("%1-SCBar-%2/").arg(profile).arg(m_id);
}

void CSizingControlBar::LoadBarSizes(const QString& profile)
{
    QSettings settings;
    const QString s = Section(profile);
    auto read = [&](const char* key, int current, int minimum) {
        bool ok = false;
        const int v = settings.value(s + key, current).toInt(&ok);
        return ok ? qMax(v, minimum) : current;
    };
    m_horzSize = QSize(read("sizeHorzCX", m_horzSize.width(), m_minSize.width()),
                       read("sizeHorzCY", m_horzSize.height(), m_minSize.height()));
    m_vertSize = QSize(read("sizeVertCX", m_vertSize.width(), m_minSize.width()),
                       read("sizeVertCY", m_vertSize.height(), m_minSize.height()));
    m_floatSize = QSize(read("sizeFloatCX", m_floatSize.width(), m_minSize.width()),
                        read("sizeFloatCY", m_floatSize.height(), m_minSize.height()));
}

void CSizingControlBar::SaveBarSizes(const QString& profile) const
{
    QSettings settings;
    const QString s = Section(profile);
    settings.setValue(s + "sizeHorzCX", m_horzSize.width());
    settings.setValue(s + "sizeHorzCY", m_horzSize.height());
    settings.setValue(s + "sizeVertCX", m_vertSize.width());
    settings.setValue(s + "sizeVertCY", m_vertSize.height());
    settings.setValue(s + "sizeFloatCX", m_floatSize.width());
    settings.setValue(s + "sizeFloatCY", m_floatSize.height());
}

void CSizingControlBar::ApplyBarSize()
{
    UpdateDockSide();
    QMainWindow* main = MainWindow();
    if (isFloating()) {
        resize(m_floatSize);
    } else if (main && IsVertical()) {
        main->resizeDocks({this}, {m_vertSize.width()}, Qt::Horizontal);
    } else if (main && IsHorizontal()) {
        main->resizeDocks({this}, {m_horzSize.height()}, Qt::Vertical);
    }
}
