#pragma once
// The Custom size dialog: width "X" height, each 0-4096. A wrong entry is
// named in a message and the dialog stays open.

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;

class CSizeDialog : public QDialog {
    Q_OBJECT
public:
    CSizeDialog(QWidget* parent, unsigned width, unsigned height);

    // True with the two values when the user pressed OK with valid entries.
    static bool Ask(QWidget* parent, unsigned& width, unsigned& height);

    void accept() override;

    unsigned m_width, m_height;
    QLineEdit* m_widthEdit;  // field 1013
    QLineEdit* m_heightEdit; // field 1014
    QLabel* m_widthLabel;
    QLabel* m_heightLabel;
    // Shows a refusal; a message box unless replaced (tests read the text).
    std::function<void(const QString&)> m_complain;

private:
    bool Exchange(QLineEdit* edit, unsigned& value);
};
