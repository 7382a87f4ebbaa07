#pragma once
// Help > User Guide: the guide that ships in the program's resources,
// shown in a window of its own beside the main window, opened at a section.

#include <QDialog>

class QTextBrowser;

class CUserGuide : public QDialog {
    Q_OBJECT
public:
    explicit CUserGuide(QWidget* parent = nullptr);
    // Shows the guide at `section` (an anchor of the guide; empty for its
    // top), raising the window when it is open already.
    void ShowSection(const QString& section);
    QTextBrowser* Browser() const { return m_browser; }

    // The guide's section about a kind of fractal (its kind code).
    static QString SectionOfKind(int kind);

private:
    QTextBrowser* m_browser;
};
