#pragma once
// About Quillion: name, version and a link to the web page that turns to
// the highlight colour under the pointer.

#include <QDialog>
#include <QLabel>
#include <QUrl>

#include <functional>

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
    explicit CAboutDlg(QWidget* parent = nullptr);
    CAboutLink* m_link; // control 1014
    // Opens the project's page; tests replace it.
    std::function<void(const QUrl&)> m_open;

protected:
    void changeEvent(QEvent* e) override;
};
