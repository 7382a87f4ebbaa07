#include "app/AboutDlg.h"
#include "app/CommandLine.h"
#include "app/DesktopRegistration.h"
#include "app/FractalApp.h"
#include "document/Pictures.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QIcon>
#include <QMouseEvent>
#include <QUrl>

CAboutLink::CAboutLink(const QString& address, QWidget* parent) : QLabel(address, parent)
{
    setObjectName("1014");
    // The hand's finger tip is at (12, 2) of its 32-pixel picture.
    const QIcon hand = Picture(":/icons/hand.png");
    setCursor(QCursor(hand.pixmap(QSize(32, 32), devicePixelRatioF()), 12, 2));
    SetHover(false);
}

void CAboutLink::SetHover(bool hover)
{
    m_hover = hover;
    // Blue at rest, the system's highlight colour under the pointer.
    const QColor color = hover ? palette().color(QPalette::Highlight) : QColor(0x00, 0x00, 0xEE);
    setStyleSheet(QString("color: %1; background: transparent;").arg(color.name()));
}

void CAboutLink::enterEvent(QEnterEvent* e)
{
    SetHover(true);
    QLabel::enterEvent(e);
}

void CAboutLink::leaveEvent(QEvent* e)
{
    SetHover(false);
    QLabel::leaveEvent(e);
}

void CAboutLink::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mouseReleaseEvent(e);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("About Quillion");
    auto* icon = new QLabel;
    icon->setPixmap(ApplicationIcon().pixmap(QSize(48, 48), devicePixelRatioF()));
    // The page ships with the program, so the link works offline and always
    // shows the page of this very version.
    m_link = new CAboutLink("Quillion home page");
    m_open = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    connect(m_link, &CAboutLink::clicked, this, [this] {
        const QUrl page = ProjectPage();
        if (page.isEmpty())
            return;
        m_link->setToolTip(page.toDisplayString());
        m_open(page);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1);
    grid->addWidget(new QLabel(VersionText().trimmed()), 0, 1);
    grid->addWidget(new QLabel("Fractals built, viewed, edited and saved."), 1, 1);
    grid->addWidget(buttons, 0, 2);
    grid->addWidget(new QLabel("Visit our site for more information about fractals!"), 2, 1);
    grid->addWidget(m_link, 3, 1);
}

void CAboutDlg::changeEvent(QEvent* e)
{
    // Activation in either direction drops the hover colour.
    if (e->type() == QEvent::ActivationChange)
        m_link->SetHover(false);
    QDialog::changeEvent(e);
}
