#pragma once
// The encoder part of both sides of Build Animation: the list of the
// encoders a container takes, the Properties button that opens the
// settings editor (quality, bit rate and the encoder's own options) and
// the About button. The widgets are made here and placed by the page that
// owns them. The settings belong to the encoder the user picked: picking
// another starts them afresh, and a container that takes the picked one
// again (the file name edited back) gives it back with them.

#include <QObject>

#include <functional>
#include <string>
#include <vector>

#include "animation/AviWriter.h"

class QComboBox;
class QPushButton;

class CEncoderChoice : public QObject {
    Q_OBJECT
public:
    explicit CEncoderChoice(QObject* parent = nullptr);

    // Lists the encoders `container` takes ("avi", "mp4", ...; none when
    // empty), on the one picked last when it is among them, else on
    // `preferred`, else on the first.
    void SetContainer(const std::string& container, const std::string& preferred);
    const std::string& Container() const { return m_container; }
    // The encoder on the list; false when the list is empty.
    bool Current(VideoEncoder& encoder) const;

    // What the user set for the current encoder: empty until the editor
    // was accepted for it.
    EncoderSettings Settings() const;
    // The settings editor for the current encoder, kept when accepted;
    // false when cancelled or when there is no encoder.
    bool EditSettings();
    void About();

    QComboBox* m_list;
    QPushButton* m_propertiesButton;
    QPushButton* m_aboutButton;

    // Replaceable for tests: the settings editor.
    std::function<bool(EncoderSettings&)> m_askSettings;

signals:
    // Another encoder is on the list, or its settings were edited.
    void changed();

private:
    void Picked();

    std::vector<VideoEncoder> m_encoders;
    std::string m_container = "-"; // none yet: the first SetContainer fills the list
    std::string m_picked;          // the user's pick, kept while another container is listed
    std::string m_editedFor;       // the encoder m_edited belongs to
    EncoderSettings m_edited;
    bool m_filling = false;
};
