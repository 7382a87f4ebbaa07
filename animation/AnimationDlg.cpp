#include "animation/AnimationDlg.h"
#include "animation/EncoderChoice.h"
#include "animation/ZoomPage.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "document/FileFolder.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/ProgressText.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

CAnimationDlg::CAnimationDlg(CFractal_View* view)
    : QDialog(view), m_ownerView(view), m_fractal(view->GetDocument()->m_fractal.get())
{
    setWindowTitle("Build Animation");
    auto* digits = new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this);
    m_stepEdit = new QLineEdit(QString::number(m_stepAngle));
    m_stepEdit->setObjectName("1015");
    m_stepEdit->setValidator(digits);
    m_framesEdit = new QLineEdit(QString::number(m_frameCount));
    m_framesEdit->setObjectName("1016");
    m_framesEdit->setValidator(digits);
    m_encoder = new CEncoderChoice(this);
    m_compressButton = new QPushButton("&Compress");

    m_turnPage = new QWidget;
    auto* grid = new QGridLayout(m_turnPage);
    grid->addWidget(new QLabel("Step Angle"), 0, 0);
    grid->addWidget(m_stepEdit, 0, 1);
    grid->addWidget(new QLabel("Number of Frames"), 1, 0);
    grid->addWidget(m_framesEdit, 1, 1);
    auto* algorithm = new QLabel("A&lgorithm type");
    algorithm->setBuddy(m_encoder->m_list);
    grid->addWidget(algorithm, 2, 0);
    grid->addWidget(m_encoder->m_list, 2, 1, 1, 2);
    grid->addWidget(m_encoder->m_propertiesButton, 3, 0);
    grid->addWidget(m_encoder->m_aboutButton, 3, 1);
    grid->addWidget(m_compressButton, 3, 2);
    grid->setRowStretch(4, 1);
    m_zoomPage = new CZoomPage(view);
    m_modes = new QTabWidget;
    m_modes->addTab(m_turnPage, "&Turn");
    m_modes->addTab(m_zoomPage, "&Zoom");
    // A kind that can neither keeps the Turn side, which says why not.
    const bool turns = AnimationRefusal(*m_fractal).empty(), zooms = ZoomRefusal(*m_fractal).empty();
    m_modes->setCurrentIndex(turns || !zooms ? 0 : 1);
    // While one side writes, the other's button would stop it: it waits.
    auto offer = [this, turnSide = turns || !zooms, zooms] {
        const bool idle = !m_ownerView->GetDocument()->IsBuilding();
        m_modes->setTabEnabled(0, turnSide && (idle || m_modes->currentIndex() == 0));
        m_modes->setTabEnabled(1, zooms && (idle || m_modes->currentIndex() == 1));
    };
    offer();
    connect(view->GetDocument(), &CFractal_Doc::buildStateChanged, this, offer);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* column = new QVBoxLayout(this);
    column->addWidget(m_modes);
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (m_modes->currentWidget() != m_turnPage || Exchange())
            accept();
    });
    connect(m_zoomPage, &CZoomPage::writerEnded, this, [this] {
        if (m_closeWith >= 0) {
            const int r = m_closeWith;
            m_closeWith = -1;
            QDialog::done(r);
        }
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_compressButton, &QPushButton::clicked, this, &CAnimationDlg::StartOrStop);
    connect(view->GetDocument(), &CFractal_Doc::buildStateChanged, this, [this] {
        if (m_started && !Writing())
            WriterEnded();
    });
    m_complain = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };

    // Motion JPEG plays in every player and keeps files small.
    m_encoder->SetContainer("avi", "mjpeg");
}

bool CAnimationDlg::Writing() const { return m_started && m_ownerView->GetDocument()->IsBuilding(); }

bool CAnimationDlg::ExchangeField(QLineEdit* edit, unsigned low, unsigned high, unsigned& value)
{
    bool ok = false;
    const qulonglong v = edit->text().trimmed().toULongLong(&ok);
    if (!ok)
        m_complain("Please enter a positive integer.");
    else if (v < low || v > high)
        m_complain(QString("Please enter an integer between %1 and %2.").arg(low).arg(high));
    if (!ok || v < low || v > high) {
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    value = unsigned(v);
    return true;
}

bool CAnimationDlg::Exchange()
{
    return ExchangeField(m_stepEdit, kMinStepAngle, kMaxStepAngle, m_stepAngle) &&
           ExchangeField(m_framesEdit, kMinFrameCount, kMaxFrameCount, m_frameCount);
}

void CAnimationDlg::StartOrStop()
{
    const bool valid = Exchange();
    CFractal_Doc* doc = m_ownerView->GetDocument();
    if (doc->IsBuilding()) {
        m_compressButton->setText("Compress");
        doc->OnStop();
        return;
    }
    if (!valid)
        return;
    const std::string refusal = AnimationRefusal(*m_fractal);
    std::string error;
    if (!refusal.empty() || !VideoLibrariesRecentEnough(error)) {
        m_complain(QString::fromStdString(refusal.empty() ? error : refusal));
        return;
    }
    VideoEncoder encoder;
    if (!m_encoder->Current(encoder)) {
        m_complain("No video encoder is available.");
        return;
    }
    // The name is the one this dialog has always offered; the folder is
    // the one the user chose a file in last.
    QString path = m_askPath ? m_askPath()
                             : QFileDialog::getSaveFileName(this, QString(), SuggestedPath("Output.avi"),
                                                            "Avi Files (*.avi);;All Files (*)");
    RememberFolder(path);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += ".avi";
    // The compression options come last, as they did; cancelling them
    // writes nothing at all.
    if (!m_encoder->EditSettings())
        return;
    m_outputPath = path;

    // The view's preparation: the frames have the client area's size.
    doc->m_canvas->MeasureView();
    AnimationJob job;
    job.path = path.toStdString();
    job.encoder = encoder;
    job.settings = m_encoder->Settings();
    job.frameCount = m_frameCount;
    job.stepAngle = m_stepAngle;
    m_outcome = AnimationOutcome{};
    CFractal* fractal = m_fractal;
    CCanvas* canvas = doc->m_canvas.get();
    m_jobFrames = m_frameCount;
    m_framesDone = 0;
    m_lastFrameAt = 0;
    m_startedAt = std::chrono::steady_clock::now();
    m_started = doc->StartJob(
        [this, fractal, canvas, job](std::stop_token stop) {
            m_outcome = WriteAnimation(*fractal, *canvas, job, stop, [this](unsigned written, unsigned) {
                m_lastFrameAt = SecondsSince(m_startedAt);
                m_framesDone = written;
            });
        },
        [this] { return FrameStatus(); });
    if (m_started)
        m_compressButton->setText("Stop");
}

QString CAnimationDlg::FrameStatus() const
{
    const double now = SecondsSince(m_startedAt);
    return QString::fromStdString(FrameStatusText(m_framesDone + 1, m_jobFrames, now, now - m_lastFrameAt));
}

void CAnimationDlg::WriterEnded()
{
    m_started = false;
    m_compressButton->setText("Compress");
    // The last frame's "Rendering..." would stay on the status bar.
    QString status;
    switch (m_outcome.result) {
    case AnimationOutcome::kDone: status = QFileInfo(m_outputPath).fileName(); break;
    case AnimationOutcome::kStopped:
        status = QString("Terminated by user! %1 of %2 frames are in %3")
                     .arg(m_outcome.framesWritten)
                     .arg(m_jobFrames)
                     .arg(QFileInfo(m_outputPath).fileName());
        break;
    default: status = QString::fromStdString(m_outcome.error); break;
    }
    m_ownerView->GetDocument()->m_canvas->SetStatus(status.toStdString());
    if (auto* main = qobject_cast<QMainWindow*>(m_ownerView->window()))
        main->statusBar()->showMessage(status);
    if (m_outcome.result == AnimationOutcome::kFailed || m_outcome.result == AnimationOutcome::kRefused)
        m_complain(QString::fromLatin1(kAnimationWriteError) + "\n" + QString::fromStdString(m_outcome.error));
    if (m_closeWith >= 0) {
        const int r = m_closeWith;
        m_closeWith = -1;
        QDialog::done(r);
    }
}

void CAnimationDlg::done(int result)
{
    if (m_zoomPage->Writing()) {
        m_closeWith = result;
        m_zoomPage->Stop();
        return;
    }
    if (Writing()) {
        m_closeWith = result;
        m_compressButton->setText("Compress");
        m_ownerView->GetDocument()->OnStop();
        return;
    }
    QDialog::done(result);
}
