#include "animation/EncoderChoice.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>

CEncoderChoice::CEncoderChoice(QObject* parent) : QObject(parent)
{
    // The list is where the user picks the encoder, so unlike the old
    // compressor manager's list it is enabled.
    m_list = new QComboBox;
    m_list->setObjectName("1007");
    m_propertiesButton = new QPushButton("&Properties");
    m_propertiesButton->setEnabled(false);
    m_aboutButton = new QPushButton("&About");
    m_aboutButton->setEnabled(false);
    connect(m_list, &QComboBox::currentIndexChanged, this, &CEncoderChoice::Picked);
    connect(m_propertiesButton, &QPushButton::clicked, this, &CEncoderChoice::EditSettings);
    connect(m_aboutButton, &QPushButton::clicked, this, &CEncoderChoice::About);
}

void CEncoderChoice::SetContainer(const std::string& container, const std::string& preferred)
{
    if (container == m_container)
        return;
    m_container = container;
    m_encoders = container.empty() ? std::vector<VideoEncoder>{} : ListVideoEncoders(container);
    {
        m_filling = true;
        const QSignalBlocker quiet(m_list);
        m_list->clear();
        for (const VideoEncoder& e : m_encoders)
            m_list->addItem(QString::fromStdString(e.longName), QString::fromStdString(e.name));
        int pick = m_list->findData(QString::fromStdString(m_picked));
        if (pick < 0)
            pick = std::max(0, m_list->findData(QString::fromStdString(preferred)));
        m_list->setCurrentIndex(m_encoders.empty() ? -1 : pick);
        m_filling = false;
    }
    // Every encoder takes a quality and a bit rate, so it can be configured.
    m_propertiesButton->setEnabled(!m_encoders.empty());
    m_aboutButton->setEnabled(!m_encoders.empty());
    emit changed();
}

bool CEncoderChoice::Current(VideoEncoder& encoder) const
{
    const int i = m_list->currentIndex();
    if (i < 0 || size_t(i) >= m_encoders.size())
        return false;
    encoder = m_encoders[size_t(i)];
    return true;
}

void CEncoderChoice::Picked()
{
    VideoEncoder e;
    if (m_filling || !Current(e))
        return;
    m_picked = m_editedFor = e.name;
    m_edited = EncoderSettings{};
    emit changed();
}

EncoderSettings CEncoderChoice::Settings() const
{
    VideoEncoder e;
    return Current(e) && e.name == m_editedFor ? m_edited : EncoderSettings{};
}

bool CEncoderChoice::EditSettings()
{
    VideoEncoder encoder;
    if (!Current(encoder))
        return false;
    EncoderSettings settings = Settings();
    auto keep = [&] {
        m_editedFor = encoder.name;
        m_edited = settings;
        emit changed();
        return true;
    };
    if (m_askSettings)
        return m_askSettings(settings) && keep();
    QDialog dialog(m_list);
    dialog.setWindowTitle(QString::fromStdString(encoder.longName));
    auto* form = new QFormLayout(&dialog);
    auto* quality = new QSpinBox;
    quality->setObjectName("quality");
    quality->setRange(0, 31);
    quality->setSpecialValueText("encoder default");
    quality->setValue(settings.quality);
    form->addRow("Quality (1 best, 31 smallest)", quality);
    auto* rate = new QSpinBox;
    rate->setObjectName("bitRate");
    rate->setRange(0, 1000000);
    rate->setSuffix(" kbit/s");
    rate->setSpecialValueText("encoder default");
    rate->setValue(int(settings.bitRate / 1000));
    form->addRow("Bit rate", rate);
    const std::vector<EncoderOption> options = ListEncoderOptions(encoder);
    std::vector<QLineEdit*> edits;
    for (const EncoderOption& o : options) {
        auto it = settings.options.find(o.name);
        auto* edit = new QLineEdit(QString::fromStdString(it != settings.options.end() ? it->second : o.defaultValue));
        edit->setObjectName(QString::fromStdString(o.name));
        edit->setToolTip(QString::fromStdString(o.help));
        form->addRow(QString::fromStdString(o.name), edit);
        edits.push_back(edit);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings.quality = quality->value();
    settings.bitRate = int64_t(rate->value()) * 1000;
    // Only what differs from the encoder's defaults is handed to it.
    for (size_t k = 0; k < edits.size(); ++k) {
        const std::string value = edits[k]->text().toStdString();
        if (value != options[k].defaultValue)
            settings.options[options[k].name] = value;
        else
            settings.options.erase(options[k].name);
    }
    return keep();
}

void CEncoderChoice::About()
{
    VideoEncoder encoder;
    if (Current(encoder))
        QMessageBox::about(m_list->window(), QString::fromStdString(encoder.longName),
                           QString::fromStdString(AboutEncoder(encoder)));
}
