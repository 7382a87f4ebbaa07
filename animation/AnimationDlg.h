#pragma once
// The Build Animation dialog. Its Turn side: step angle, number of frames,
// the video encoder with its settings and about box, and Compress / Stop.
// Its Zoom side is CZoomPage. Each side is offered for the kinds it can
// animate, and the dialog opens on the first of them. The frames are
// written on the document's worker, registered as its build thread.

#include <QDialog>

#include <atomic>
#include <chrono>
#include <functional>

#include "animation/WriteAnimation.h"

class CFractal;
class CFractal_View;
class CEncoderChoice;
class CZoomPage;
class QLineEdit;
class QPushButton;
class QTabWidget;

class CAnimationDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAnimationDlg(CFractal_View* view);

    void StartOrStop();
    // Closing while frames are written stops them; the dialog closes when
    // the writer has ended, so nothing it uses goes away under it.
    void done(int result) override;

    bool Writing() const;
    // The status line while frames are written: "Frame 7 of 20, about 12 s
    // left".
    QString FrameStatus() const;

    CFractal_View* m_ownerView;
    CFractal* m_fractal;
    QTabWidget* m_modes;  // "Turn", then "Zoom"
    QWidget* m_turnPage;
    CZoomPage* m_zoomPage;
    QString m_outputPath;
    QPushButton* m_compressButton;
    CEncoderChoice* m_encoder; // an AVI file's encoders
    QLineEdit* m_stepEdit;   // 1015
    QLineEdit* m_framesEdit; // 1016
    unsigned m_stepAngle = 18;
    unsigned m_frameCount = 20;
    AnimationOutcome m_outcome; // written by the worker, read after it ended

    // Replaceable for tests: messages, the file name (the settings
    // editor's is m_encoder's).
    std::function<void(const QString&)> m_complain;
    std::function<QString()> m_askPath;

private:
    bool Exchange();
    bool ExchangeField(QLineEdit* edit, unsigned low, unsigned high, unsigned& value);
    void WriterEnded();

    // Progress of the running writer: frames written, and the seconds after
    // the start at which the last of them was, written by the worker.
    std::atomic<unsigned> m_framesDone{0};
    std::atomic<double> m_lastFrameAt{0};
    std::chrono::steady_clock::time_point m_startedAt;
    unsigned m_jobFrames = 0;
    bool m_started = false;
    int m_closeWith = -1;
};
