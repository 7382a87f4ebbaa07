#pragma once
// A docking bar that keeps its own three sizes (docked on the top or
// bottom, docked on the left or right, floating) and saves them in the
// settings. Docking on every side, floating, resizing by the edges and the
// close button are the dock widget's.

#include <QDockWidget>
#include <QSize>

class QMainWindow;

class CSizingControlBar : public QDockWidget {
    Q_OBJECT
public:
    explicit CSizingControlBar(QWidget* parent = nullptr);

    // All three sizes become `size`; `id` names the bar in the settings
    // and in the saved docking state.
    bool Create(const QString& title, QWidget* parent, QSize size, bool gripper, int id);
    // Section "<profile>-SCBar-<id>", keys "sizeHorzCX" ... "sizeFloatCY".
    void LoadBarSizes(const QString& profile);
    void SaveBarSizes(const QString& profile) const;
    // Gives the bar its size in force in its main window's layout.
    void ApplyBarSize();

    bool IsHorizontal() const { return m_dockSide == 59419 || m_dockSide == 59422; }
    bool IsVertical() const { return m_dockSide == 59420 || m_dockSide == 59421; }
    int Id() const { return m_id; }

    QSize m_horzSize{200, 200};
    QSize m_vertSize{200, 200};
    QSize m_floatSize{200, 200};
    QSize m_minSize{33, 32};
    int m_dockSide = 0;
    int m_gripperSize = 0;

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void UpdateDockSide();
    QString Section(const QString& profile) const;
    QMainWindow* MainWindow() const;

    int m_id = 0;
};
