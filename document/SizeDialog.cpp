#include "document/SizeDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

CSizeDialog::CSizeDialog(QWidget* parent, unsigned width, unsigned height)
    : QDialog(parent), m_width(width), m_height(height)
{
    setWindowTitle("Bitmap Size");
    m_widthEdit = new QLineEdit(QString::number(width));
    m_widthEdit->setObjectName("1013");
    m_heightEdit = new QLineEdit(QString::number(height));
    m_heightEdit->setObjectName("1014");
    m_widthLabel = new QLabel("&Width");
    m_widthLabel->setBuddy(m_widthEdit);
    m_heightLabel = new QLabel("&Height");
    m_heightLabel->setBuddy(m_heightEdit);
    auto* fields = new QGridLayout;
    fields->addWidget(m_widthLabel, 0, 0);
    fields->addWidget(m_heightLabel, 0, 2);
    fields->addWidget(m_widthEdit, 1, 0);
    fields->addWidget(new QLabel("X"), 1, 1);
    fields->addWidget(m_heightEdit, 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSizeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSizeDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    m_complain = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };
}

bool CSizeDialog::Exchange(QLineEdit* edit, unsigned& value)
{
    bool ok = false;
    const QString text = edit->text().trimmed();
    const qulonglong v = text.toULongLong(&ok);
    if (!ok) {
        m_complain("Please enter a positive integer.");
    } else if (v > 4096) {
        m_complain(QString("Please enter an integer between %1 and %2.").arg(0).arg(4096));
        ok = false;
    }
    if (!ok) {
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    value = unsigned(v);
    return true;
}

void CSizeDialog::accept()
{
    unsigned w = 0, h = 0;
    if (!Exchange(m_widthEdit, w) || !Exchange(m_heightEdit, h))
        return;
    m_width = w;
    m_height = h;
    QDialog::accept();
}

bool CSizeDialog::Ask(QWidget* parent, unsigned& width, unsigned& height)
{
    CSizeDialog dialog(parent, width, height);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    width = dialog.m_width;
    height = dialog.m_height;
    return true;
}
