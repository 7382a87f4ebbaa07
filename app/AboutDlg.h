#pragma once
// About Quillion: name, version and a link to the web page that turns to
// the highlight colour under the pointer.

#include <QDialog>
#include <QLabel>

class CAboutLink : public QLabel {
    Q_OBJECT
public:
    explicit CAboutLink(const QString& address, QWidget* parent = nullptr);
    bool m_hover = false;
    void SetHover(bool hover);

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kAddress = "https://en.wikipedia.org/wiki/Fractal";
    explicit CAboutDlg(QWidget* parent = nullptr);
    CAboutLink* m_link; // control 1014

protected:
    void changeEvent(QEvent* e) override;
};
