#pragma once
// The size and anti-aliasing of an image saved away from its window.

#include <QDialog>

#include "document/OffscreenRender.h"

class QComboBox;
class QSpinBox;

// The choices of the anti-aliasing lists, in their order: Off, 2x2 to 8x8,
// Adaptive 3x3.
constexpr int kAntiAliasingChoices = kMaxSamples + 1;
AntiAliasing AntiAliasingChoice(int index);
int AntiAliasingIndex(const AntiAliasing& aa);

class CImageSizeDialog : public QDialog {
    Q_OBJECT
public:
    // The largest side an image saved this way may have.
    static constexpr int kMaxSide = 16000;
    CImageSizeDialog(QWidget* parent, unsigned width, unsigned height, const AntiAliasing& aa);
    OffscreenJob Job() const;

    QSpinBox* m_width;
    QSpinBox* m_height;
    QComboBox* m_antiAliasing;
};
