#pragma once
// The Zoom side of Build Animation: a video from a start view (the kind's
// overview, or a ".frc" file's view) to the document's view, its length,
// frame rate, size, keyframes or exact frames, anti-aliasing, file and
// encoder (CEncoderChoice, shared with the Turn side). The
// video is written on the document's worker, as its build thread, into a
// new file that replaces the old one only when every frame is in.

#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>

#include "animation/WriteZoomVideo.h"

class CEncoderChoice;
class CFractal_View;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class CZoomPage : public QWidget {
    Q_OBJECT
public:
    explicit CZoomPage(CFractal_View* view, QWidget* parent = nullptr);

    // Starts the video, or stops the one being written.
    void StartOrStop();
    bool Writing() const;
    void Stop();
    // "Frame 120 of 900, about 3 min left" while the video is written.
    QString FrameStatus() const;
    // Back to the kind's overview, or the view of a ".frc" file (false,
    // with the reason complained of, when it has none of this kind).
    void StartFromOverview();
    bool StartFromFile(const QString& path);
    void Browse();

    ZoomPlace m_start;
    QLineEdit* m_startText;
    QPushButton* m_overviewButton;
    QPushButton* m_fromFileButton;
    QLineEdit* m_endText;
    QDoubleSpinBox* m_seconds;
    QSpinBox* m_fps;
    QLabel* m_frameCount;
    QSpinBox* m_width;
    QSpinBox* m_height;
    QRadioButton* m_keyframes;
    QRadioButton* m_exact;
    QComboBox* m_antiAliasing;
    QLineEdit* m_pathEdit;
    QPushButton* m_browseButton;
    CEncoderChoice* m_encoder; // the encoders of the file's container
    QLabel* m_encoderText;     // the encoder and how it spends its bits
    QPushButton* m_writeButton;
    QString m_outputPath;
    AnimationOutcome m_outcome; // written by the worker, read after it ended

    // Replaceable for tests: messages, the video's name, the start file,
    // the question before an existing file is replaced.
    std::function<void(const QString&)> m_complain;
    std::function<QString()> m_askPath;
    std::function<QString()> m_askStartFile;
    std::function<bool(const QString&)> m_askReplace;

signals:
    void writerEnded();

private:
    bool MakePlan(ZoomPlan& plan);
    // The encoder and settings `path` is written with: the one on the
    // list with what the user set, the sharing defaults filled in.
    bool ChosenVideo(const QString& path, int fps, VideoEncoder& encoder, EncoderSettings& settings,
                     std::string& error) const;
    void ShowEncoder();
    void ShowFrameCount();
    void WriterEnded();

    CFractal_View* m_ownerView;
    // The name the file dialog confirmed, which is not asked about again.
    QString m_confirmedPath;
    // Progress of the running writer: the frame begun (from 1), of how
    // many, and the seconds after the start at which it began.
    std::atomic<unsigned> m_frame{0};
    std::atomic<double> m_frameBeganAt{0};
    std::chrono::steady_clock::time_point m_startedAt;
    unsigned m_jobFrames = 0;
    bool m_started = false;
};
