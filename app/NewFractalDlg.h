#pragma once
// New Fractal: four large icons, one per kind; the row chosen is the new
// document's type code.

#include <QDialog>

class QListWidget;

class CNewFractalDlg : public QDialog {
    Q_OBJECT
public:
    explicit CNewFractalDlg(QWidget* parent = nullptr);
    void accept() override;

    QListWidget* m_list; // control 1007
    int m_selectedRow = -1;
};
