#include "document/ImageSizeDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

#include <algorithm>

AntiAliasing AntiAliasingChoice(int index)
{
    if (index == kAntiAliasingChoices - 1)
        return {3, true};
    return {std::clamp(index + 1, 1, kMaxSamples), false};
}

int AntiAliasingIndex(const AntiAliasing& aa)
{
    for (int i = 0; i < kAntiAliasingChoices; ++i)
        if (AntiAliasingChoice(i) == aa)
            return i;
    return 0;
}

CImageSizeDialog::CImageSizeDialog(QWidget* parent, unsigned width, unsigned height, const AntiAliasing& aa)
    : QDialog(parent)
{
    setWindowTitle("Save Image As");
    auto* form = new QFormLayout(this);
    auto side = [&](unsigned value) {
        auto* box = new QSpinBox(this);
        box->setRange(1, kMaxSide);
        box->setValue(int(std::clamp<unsigned>(value, 1, kMaxSide)));
        return box;
    };
    m_width = side(width);
    m_height = side(height);
    m_antiAliasing = new QComboBox(this);
    for (int i = 0; i < kAntiAliasingChoices; ++i)
        m_antiAliasing->addItem(QString::fromStdString(AntiAliasingName(AntiAliasingChoice(i))));
    m_antiAliasing->setCurrentIndex(AntiAliasingIndex(aa));
    form->addRow("Width", m_width);
    form->addRow("Height", m_height);
    form->addRow("Anti-aliasing", m_antiAliasing);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

OffscreenJob CImageSizeDialog::Job() const
{
    return {unsigned(m_width->value()), unsigned(m_height->value()),
            AntiAliasingChoice(m_antiAliasing->currentIndex())};
}
