#include "animation/ZoomPage.h"
#include "animation/EncoderChoice.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>

#include <algorithm>
#include <cmath>
#include <memory>

#include "document/DocumentFiles.h"
#include "document/FileFolder.h"
#include "document/FileReplacement.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/ImageSizeDialog.h"
#include "document/ProgressText.h"
#include "model/FractalKinds.h"
#include "numbers/Mpfr.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

QString CoordinateText(const WholeCoordinate& c)
{
    return c.digits.empty() ? QString::number(c.value, 'g', 17) : QString::fromStdString(c.digits);
}

// Six significant digits of the half size, also below the normal doubles,
// where its double is 0 or has lost its bits.
QString RadiusText(const ZoomPlace& p)
{
    if (p.halfDigits.empty())
        return QString::number(p.half, 'g', 6);
    MpfrReal size(64);
    char* text = nullptr;
    if (!size.Parse(p.halfDigits) || mpfr_asprintf(&text, "%.6RNg", size.get()) < 0 || !text)
        return QString::fromStdString(p.halfDigits);
    const QString out = QString::fromLatin1(text);
    mpfr_free_str(text);
    return out;
}

// "centre (-0.5, 0), radius 2": the view's middle and its half size.
QString PlaceText(const ZoomPlace& p)
{
    return QString("centre (%1, %2), radius %3").arg(CoordinateText(p.x), CoordinateText(p.y), RadiusText(p));
}

// The encoder a container's list opens on here: Motion JPEG in AVI, as the
// Turn side offers first, and the sharing defaults elsewhere.
std::string PreferredEncoder(const std::string& container)
{
    return container == "avi" ? "mjpeg" : DefaultVideoEncoder(container);
}

// How the encoder will spend its bits: ", quality-based rate (crf 20)".
QString RateText(const EncoderSettings& s)
{
    if (auto crf = s.options.find("crf"); crf != s.options.end())
        return QString(", quality-based rate (crf %1)").arg(QString::fromStdString(crf->second));
    if (auto qp = s.options.find("qp"); qp != s.options.end())
        return QString(", constant quantiser %1").arg(QString::fromStdString(qp->second));
    if (s.quality > 0)
        return QString(", quantiser %1").arg(s.quality);
    if (s.bitRate > 0)
        return QString(", %1 kbit/s").arg(s.bitRate / 1000);
    return {};
}

} // namespace

CZoomPage::CZoomPage(CFractal_View* view, QWidget* parent) : QWidget(parent), m_ownerView(view)
{
    CFractal_Doc* doc = view->GetDocument();
    const CFractal& fractal = *doc->m_fractal;
    m_startText = new QLineEdit;
    m_startText->setReadOnly(true);
    m_overviewButton = new QPushButton("&Overview");
    m_fromFileButton = new QPushButton("From &File...");
    m_endText = new QLineEdit(PlaceText(ZoomPlaceOf(fractal)));
    m_endText->setReadOnly(true);
    m_endText->setCursorPosition(0);
    m_seconds = new QDoubleSpinBox;
    m_seconds->setRange(0.1, 36000);
    m_seconds->setDecimals(1);
    m_seconds->setValue(10);
    m_seconds->setSuffix(" s");
    m_fps = new QSpinBox;
    m_fps->setRange(1, 1000);
    m_fps->setValue(30);
    m_fps->setSuffix(" frames/s");
    m_frameCount = new QLabel;
    // The window's image size, made even: what players and yuv420p take.
    auto side = [](unsigned value) {
        auto* box = new QSpinBox;
        box->setRange(1, 16384);
        box->setValue(std::max(2, int(std::min(value, 16384u)) & ~1));
        return box;
    };
    unsigned width = 0, height = 0;
    doc->ClientSize(width, height); // what the next build of the window measures
    m_width = side(width);
    m_height = side(height);
    m_keyframes = new QRadioButton("&Keyframes");
    m_keyframes->setToolTip("One frame rendered per zoom factor of 2, the frames between scaled from it");
    m_keyframes->setChecked(true);
    m_exact = new QRadioButton("E&xact");
    m_exact->setToolTip("Every frame rendered");
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_keyframes);
    modes->addButton(m_exact);
    m_antiAliasing = new QComboBox;
    for (int i = 0; i < kAntiAliasingChoices; ++i)
        m_antiAliasing->addItem(QString::fromStdString(AntiAliasingName(AntiAliasingChoice(i))));
    m_antiAliasing->setCurrentIndex(AntiAliasingIndex(doc->m_antiAliasing));
    // A name alone would land wherever the program was started from.
    const QString suggested = SuggestedPath(doc->Title() + ".mp4");
    m_pathEdit = new QLineEdit(QFileInfo(suggested).isRelative() ? QDir::home().filePath(suggested) : suggested);
    m_browseButton = new QPushButton("&Browse...");
    m_encoder = new CEncoderChoice(this);
    m_encoderText = new QLabel;
    m_writeButton = new QPushButton("&Write");

    auto* form = new QFormLayout(this);
    auto row = [](std::initializer_list<QWidget*> widgets, bool stretch) {
        auto* line = new QHBoxLayout;
        for (QWidget* w : widgets)
            line->addWidget(w);
        if (stretch)
            line->addStretch();
        return line;
    };
    form->addRow("Start view", row({m_startText, m_overviewButton, m_fromFileButton}, false));
    form->addRow("End view", m_endText);
    form->addRow("Length", row({m_seconds, m_frameCount}, true));
    form->addRow("Frame rate", row({m_fps}, true));
    auto* by = new QLabel("x");
    form->addRow("Size", row({m_width, by, m_height}, true));
    form->addRow("Frames", row({m_keyframes, m_exact}, true));
    form->addRow("Anti-aliasing", row({m_antiAliasing}, true));
    form->addRow("File", row({m_pathEdit, m_browseButton}, false));
    form->addRow("Encoder", row({m_encoder->m_list, m_encoder->m_propertiesButton, m_encoder->m_aboutButton}, false));
    form->addRow(QString(), m_encoderText);
    auto* last = new QHBoxLayout;
    last->addStretch();
    last->addWidget(m_writeButton);
    form->addRow(last);

    connect(m_overviewButton, &QPushButton::clicked, this, &CZoomPage::StartFromOverview);
    connect(m_fromFileButton, &QPushButton::clicked, this, [this] {
        const QString path = m_askStartFile ? m_askStartFile()
                                            : QFileDialog::getOpenFileName(this, "Start View", LastFolder(),
                                                                           "Fractal Files (*.frc);;All Files (*)");
        RememberFolder(path);
        if (!path.isEmpty())
            StartFromFile(path);
    });
    connect(m_browseButton, &QPushButton::clicked, this, &CZoomPage::Browse);
    connect(m_writeButton, &QPushButton::clicked, this, &CZoomPage::StartOrStop);
    // The list follows the file name's container; the line under it, the
    // encoder and its settings.
    auto listEncoders = [this] {
        const std::string container = ContainerOfPath(m_pathEdit->text().trimmed().toStdString());
        m_encoder->SetContainer(container, PreferredEncoder(container));
    };
    connect(m_pathEdit, &QLineEdit::textChanged, this, listEncoders);
    connect(m_encoder, &CEncoderChoice::changed, this, &CZoomPage::ShowEncoder);
    connect(m_seconds, &QDoubleSpinBox::valueChanged, this, &CZoomPage::ShowFrameCount);
    connect(m_fps, &QSpinBox::valueChanged, this, &CZoomPage::ShowFrameCount);
    connect(doc, &CFractal_Doc::buildStateChanged, this, [this] {
        if (m_started && !Writing())
            WriterEnded();
    });
    m_complain = [this](const QString& text) { QMessageBox::warning(this, window()->windowTitle(), text); };
    m_askReplace = [this](const QString& text) {
        return QMessageBox::question(this, window()->windowTitle(), text) == QMessageBox::Yes;
    };
    StartFromOverview();
    listEncoders();
    ShowFrameCount();
}

bool CZoomPage::Writing() const { return m_started && m_ownerView->GetDocument()->IsBuilding(); }

void CZoomPage::Stop()
{
    m_writeButton->setText("Write");
    m_ownerView->GetDocument()->OnStop();
}

void CZoomPage::StartFromOverview()
{
    m_start = ZoomOverviewOf(*m_ownerView->GetDocument()->m_fractal);
    m_startText->setText("Overview: " + PlaceText(m_start));
    m_startText->setCursorPosition(0);
}

bool CZoomPage::StartFromFile(const QString& path)
{
    const CFractal& end = *m_ownerView->GetDocument()->m_fractal;
    LoadedDocument start;
    std::string error;
    if (!OpenDocumentFile(path.toStdString(), start, error)) {
        m_complain(QString::fromStdString(error));
        return false;
    }
    if (!start.fractal || KindOf(*start.fractal).code != KindOf(end).code) {
        m_complain(QString("\"%1\" is not a document of the %2.").arg(path, KindOf(end).name));
        return false;
    }
    m_start = ZoomPlaceOf(*start.fractal);
    m_startText->setText(QFileInfo(path).fileName() + ": " + PlaceText(m_start));
    m_startText->setCursorPosition(0);
    return true;
}

void CZoomPage::Browse()
{
    const QString path =
        m_askPath ? m_askPath()
                  : QFileDialog::getSaveFileName(this, QString(), m_pathEdit->text(),
                                                 "MP4 Video (*.mp4);;WebM Video (*.webm);;Matroska Video (*.mkv);;"
                                                 "AVI Video (*.avi)");
    RememberFolder(path);
    if (path.isEmpty())
        return;
    m_pathEdit->setText(path);
    if (!m_askPath)
        m_confirmedPath = path;
}

bool CZoomPage::ChosenVideo(const QString& path, int fps, VideoEncoder& encoder, EncoderSettings& settings,
                            std::string& error) const
{
    VideoEncoder listed;
    settings = m_encoder->Settings();
    return VideoForPath(path.toStdString(), m_encoder->Current(listed) ? listed.name : std::string(), fps, encoder,
                        settings, error);
}

void CZoomPage::ShowEncoder()
{
    VideoEncoder encoder;
    EncoderSettings settings;
    std::string error;
    if (!ChosenVideo(m_pathEdit->text().trimmed(), m_fps->value(), encoder, settings, error))
        m_encoderText->setText(QString::fromStdString(error));
    else
        m_encoderText->setText(QString::fromStdString(encoder.longName) + RateText(settings));
}

void CZoomPage::ShowFrameCount()
{
    m_frameCount->setText(QString("%1 frames").arg(std::llround(m_seconds->value() * m_fps->value())));
}

bool CZoomPage::MakePlan(ZoomPlan& plan)
{
    const CFractal_Doc* doc = m_ownerView->GetDocument();
    ZoomSettings s;
    s.fps = unsigned(m_fps->value());
    const double frames = std::round(m_seconds->value() * s.fps);
    if (frames < 2 || frames > kMaxZoomFrames) {
        m_complain(QString("A zoom video needs 2 to %1 frames; %2 s at %3 frames/s make %4.")
                       .arg(kMaxZoomFrames)
                       .arg(m_seconds->value())
                       .arg(s.fps)
                       .arg(frames));
        return false;
    }
    s.frames = unsigned(frames);
    s.width = unsigned(m_width->value());
    s.height = unsigned(m_height->value());
    s.exact = m_exact->isChecked();
    s.aa = AntiAliasingChoice(m_antiAliasing->currentIndex());
    s.deepViews = AbilitiesOf(*doc->m_fractal).deepViews;
    s.start = m_start;
    s.end = ZoomPlaceOf(*doc->m_fractal);
    std::string error;
    if (!ZoomPlan::Make(s, plan, error)) {
        m_complain("Cannot zoom: " + QString::fromStdString(error) + ".");
        return false;
    }
    return true;
}

void CZoomPage::StartOrStop()
{
    CFractal_Doc* doc = m_ownerView->GetDocument();
    if (doc->IsBuilding()) {
        if (m_started)
            Stop();
        return;
    }
    std::string error;
    if (const std::string why = ZoomRefusal(*doc->m_fractal); !why.empty() || !VideoLibrariesRecentEnough(error)) {
        m_complain(QString::fromStdString(why.empty() ? error : "Cannot zoom: " + why + "."));
        return;
    }
    ZoomPlan plan;
    if (!MakePlan(plan))
        return;
    QString path = m_pathEdit->text().trimmed();
    if (path.isEmpty()) {
        Browse();
        if ((path = m_pathEdit->text().trimmed()).isEmpty())
            return;
    }
    if (QFileInfo(path).suffix().isEmpty())
        m_pathEdit->setText(path += ".mp4");
    ZoomJob job;
    job.plan = plan;
    if (!ChosenVideo(path, int(plan.Settings().fps), job.encoder, job.settings, error) ||
        !CanReplace(path.toStdString(), error)) {
        m_complain(QString::fromStdString(error));
        return;
    }
    if (QFileInfo::exists(path) && path != m_confirmedPath &&
        !m_askReplace(QString("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(path).fileName())))
        return;
    // The old video stays whole until every frame of the new one is in.
    auto file = std::make_shared<FileReplacement>(path.toStdString());
    std::shared_ptr<CFractal> end = CopyOfFractal(*doc->m_fractal);
    if (!file->Create(error) || !end) {
        m_complain(QString::fromStdString(end ? error : "The document cannot be copied for the video."));
        return;
    }
    job.path = file->TemporaryPath();
    m_outputPath = path;
    m_outcome = AnimationOutcome{};
    m_jobFrames = plan.Frames();
    m_frame = 0;
    m_frameBeganAt = 0;
    m_startedAt = std::chrono::steady_clock::now();
    const int type = doc->m_fractalType;
    m_started = doc->StartJob(
        [this, end, file, job, type, target = path](std::stop_token stop) {
            AnimationOutcome out = WriteZoomVideo(*end, type, job, stop, [this](unsigned frame, unsigned) {
                m_frameBeganAt = SecondsSince(m_startedAt);
                m_frame = frame;
            });
            std::string error;
            if (out.result == AnimationOutcome::kDone && stop.stop_requested())
                out.result = AnimationOutcome::kStopped;
            if (out.result != AnimationOutcome::kDone)
                file->Discard();
            else if (!file->Commit(error)) {
                out.result = AnimationOutcome::kFailed;
                out.error = error;
            }
            // The writer names the file it wrote; the user knows the other.
            out.error =
                QString::fromStdString(out.error).replace(QString::fromStdString(job.path), target).toStdString();
            m_outcome = out;
        },
        [this] { return FrameStatus(); });
    if (m_started)
        m_writeButton->setText("Stop");
}

QString CZoomPage::FrameStatus() const
{
    const double now = SecondsSince(m_startedAt);
    const unsigned frame = std::max(1u, m_frame.load());
    return QString::fromStdString(FrameStatusText(frame, m_jobFrames, now, now - m_frameBeganAt));
}

void CZoomPage::WriterEnded()
{
    m_started = false;
    m_writeButton->setText("Write");
    const QString name = QFileInfo(m_outputPath).fileName();
    QString status;
    switch (m_outcome.result) {
    case AnimationOutcome::kDone: status = name; break;
    case AnimationOutcome::kStopped: status = QString("Terminated by user! %1 is as it was").arg(name); break;
    default: status = QString::fromStdString(m_outcome.error); break;
    }
    CFractal_Doc* doc = m_ownerView->GetDocument();
    doc->m_canvas->SetStatus(status.toStdString());
    if (auto* main = qobject_cast<QMainWindow*>(m_ownerView->window()))
        main->statusBar()->showMessage(status);
    if (m_outcome.result == AnimationOutcome::kFailed)
        m_complain(QString::fromLatin1(kAnimationWriteError) + "\n" + QString::fromStdString(m_outcome.error));
    else if (m_outcome.result == AnimationOutcome::kRefused)
        m_complain("Cannot zoom: " + QString::fromStdString(m_outcome.error));
    emit writerEnded();
}
