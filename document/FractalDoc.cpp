#include "document/FractalDoc.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include "document/BuildSteps.h"
#include "document/FractalView.h"
#include "document/MemoryStatus.h"
#include "document/ProgressText.h"
#include "model/FractalFactory.h"
#include "model/FractalKinds.h"

namespace {

bool OnGuiThread(const QObject* o) { return QThread::currentThread() == o->thread(); }

} // namespace

CFractal_Doc::CFractal_Doc(int type, ParametersHost* host) : m_canvas(std::make_unique<CCanvas>()), m_host(host)
{
    m_canvas->m_view = this;
    CreateFractal(type);
    if (m_fractal)
        m_title = QString::fromStdString(m_fractal->m_name);
    m_history.Reset();
    connect(&m_coarse, &CoarsePreview::shown, this, [this](int block) {
        for (CFractal_View* v : m_views)
            v->viewport()->update();
        emit coarseShown(block);
    });
}

CFractal_Doc::~CFractal_Doc()
{
    Abort();
    if (IsShownInParameters())
        m_host->SetDocument(nullptr);
    // The undo stack says it is clean again as it goes, after this
    // document's own fields: whoever listens to it about this document
    // must not hear that.
    QObject::disconnect(m_history.UndoStack(), nullptr, nullptr, nullptr);
}

void CFractal_Doc::CreateFractal(int type)
{
    m_fractalType = type;
    SetFractal(CreateFractalOfType(type));
}

// Every replacement of the fractal comes through here: the parameters bar
// holds rows that point into the old fractal, so it lets go of them before
// the fractal is freed and lists the new one's rows after.
void CFractal_Doc::SetFractal(std::unique_ptr<CFractal> fractal)
{
    const bool shown = IsShownInParameters();
    if (shown)
        m_host->SetDocument(nullptr);
    m_fractal = std::move(fractal);
    if (shown && m_fractal)
        m_host->SetDocument(this);
}

bool CFractal_Doc::IsShownInParameters() const { return m_host && m_host->Document() == this; }

void CFractal_Doc::ShowInParameters()
{
    if (m_host)
        m_host->SetDocument(this);
}

void CFractal_Doc::SetTitle(const QString& title)
{
    m_title = title;
    emit titleChanged(title);
}

void CFractal_Doc::OnSample(int number)
{
    if (IsBuilding())
        return;
    auto sample = CreateSample(number);
    if (!sample)
        return;
    SetFractal(std::move(sample));
    SetTitle(QString::fromStdString(m_fractal->m_name));
    m_history.RecordChange("Sample");
    m_imageStale = true;
    UpdateAllViews();
}

void CFractal_Doc::NoteRowsChanged()
{
    m_rowsChanged = true;
    emit rowsChanged();
}

void CFractal_Doc::OnStop() { RequestStop(); }

void CFractal_Doc::RequestStop()
{
    m_worker.RequestStop();
    if (m_fractal)
        m_fractal->m_stop = true;
    m_coarse.Stop();
}

void CFractal_Doc::OnBuild(BuildCommand id, const std::string& readyNote)
{
    if (m_host)
        m_host->EndEdit();
    if (IsBuilding() || !m_fractal)
        return;
    // Whatever changed the rows since the last record becomes its own step.
    m_history.RecordChange("Change");
    m_history.BuildStarted();
    m_worker.BeginBuild();
    if (id == kCmdRebuild)
        m_fractal->m_restart = true;
    m_buildCommand = id;
    // Cleared here, before the worker exists, so that a Stop pressed at
    // any moment after this command reaches the build.
    m_fractal->m_stop = false;
    m_canvas->MeasureView();
    m_readyNote = readyNote;
    // Continue goes on from the cells there are, so at their size, and
    // Paint draws them at the scale they were built at; Rebuild is the way
    // to the window's new size, and the status says so.
    const CColorMap& cells = m_fractal->m_colorMap;
    const unsigned gw = unsigned(cells.m_gridWidth), gh = unsigned(cells.m_gridHeight);
    if (id == kCmdContinue && m_fractal->ContinuesCells() &&
        (gw != m_canvas->m_targetWidth || gh != m_canvas->m_targetHeight)) {
        m_readyNote = "continued at " + std::to_string(gw) + "x" + std::to_string(gh) +
                      ", the size of the computed cells; Rebuild fractal builds " +
                      std::to_string(m_canvas->m_targetWidth) + "x" + std::to_string(m_canvas->m_targetHeight);
        m_canvas->SetTargetSize(gw, gh);
    } else if (id != kCmdPaint) {
        m_gridScale = m_targetScale;
    }
    if (id != kCmdPaint)
        m_rowsChanged = false;
    // The view list belongs to the GUI thread: the worker gets its answer.
    // The coarse passes build a copy of the rows, taken here: once the
    // worker runs, the rows are read only where the build reads them.
    std::shared_ptr<CFractal> coarse;
    if (m_coarsePictures && id != kCmdPaint && !(id == kCmdContinue && m_fractal->ContinuesCells()))
        coarse = CopyOfFractal(*m_fractal);
    StartWorker([this, hasView = !m_views.empty(), aa = m_antiAliasing, coarse] {
        return BuildThreadProc(hasView, aa, coarse);
    });
}

void CFractal_Doc::StartWorker(std::function<int()> work)
{
    // The worker reads the target size as it stands now; the window's
    // activations and resizes leave it alone until the worker is done.
    m_canvas->HoldTargetSize(true);
    m_worker.Start(
        std::move(work), [this] { m_canvas->HoldTargetSize(false); }, [this] { ThreadEnded(); });
    emit buildStateChanged();
}

bool CFractal_Doc::StartJob(std::function<void(std::stop_token)> job, std::function<QString()> status,
                            std::function<void()> ended)
{
    if (IsBuilding() || !m_fractal)
        return false;
    m_fractal->m_stop = false;
    m_jobEnded = std::move(ended);
    std::stop_token stop = m_worker.BeginJob(std::move(status));
    m_history.RecordChange("Change");
    m_history.BuildStarted();
    m_readyNote.clear();
    m_gridScale = m_targetScale;
    StartWorker([job = std::move(job), stop] {
        job(stop);
        return 0;
    });
    // The line is the job's own: it changes with the time, not only with
    // what the builds inside it report.
    if (m_worker.HasJobStatus()) {
        emit progressTimer(true);
        StatusChanged();
    }
    return true;
}

int CFractal_Doc::BuildThreadProc(bool hasView, AntiAliasing aa, std::shared_ptr<CFractal> coarse)
{
    CFractal& f = *m_fractal;
    CCanvas& c = *m_canvas;
    if (!hasView)
        return 2;

    const bool go = CheckBuildMemory(f, c, QueryMemoryStatus(), [&](const std::string& question) {
        const QString text = QString::fromStdString(question);
        bool yes = false;
        m_worker.RunOnGui([&] { yes = Ask(text, m_activeView); }, true);
        return yes;
    });
    if (!go)
        return 1;

    const BuildOutcome out = RunBuildSteps(
        f, c, m_buildCommand, [this] { return m_closePending.load() || m_worker.Aborting(); },
        [this, aa, coarse] {
            m_worker.RunOnGui([this] { emit progressTimer(true); }, false);
            if (coarse)
                StartCoarse(std::move(coarse), aa);
        },
        m_readyNote, aa);
    // Whatever the outcome, the coarse pictures are over: the image drawn
    // replaces them, a stopped or refused build leaves the image before.
    m_coarse.Finish();
    // Read here, by the thread that may have moved it (a zoom rectangle).
    const ViewPlace built = PlaceOf(&f);
    m_worker.Post([this, drawn = out.result == BuildOutcome::kDrawn, built] {
        m_coarse.Clear();
        if (drawn)
            m_imagePlace = built;
        UpdateAllViews();
        emit buildStateChanged();
    });
    return 0;
}

void CFractal_Doc::StartCoarse(std::shared_ptr<CFractal> copy, AntiAliasing aa)
{
    CFractal& f = *m_fractal;
    // The view as the build takes it, after a zoom rectangle moved it.
    copy->m_centerX = f.m_centerX;
    copy->m_centerY = f.m_centerY;
    copy->m_halfSize = f.m_halfSize;
    copy->m_centerXDigits = f.m_centerXDigits;
    copy->m_centerYDigits = f.m_centerYDigits;
    copy->m_halfSizeDigits = f.m_halfSizeDigits;
    const unsigned w = m_canvas->m_targetWidth, h = m_canvas->m_targetHeight;
    m_coarse.Start(std::move(copy), w, h, CoarsePreview::ExpectSlow(f, w, h, aa.samples), PlaceOf(&f), f,
                   f.MemoryNeed(w, h));
}

void CFractal_Doc::ThreadEnded()
{
    m_worker.Join();
    const std::function<void()> ended = std::exchange(m_jobEnded, {});
    emit buildStateChanged();
    emit progressTimer(false);
    m_closePending = false;
    // The frame may have gone already (a second window closed on its own).
    QPointer<QWidget> frame = m_frameToClose;
    m_frameToClose = nullptr;
    if (frame) {
        frame->close();
        return;
    }
    m_history.AfterBuild();
    if (ended)
        ended();
}

void CFractal_Doc::Abort()
{
    if (!IsBuilding())
        return;
    RequestStop();
    m_worker.Abort();
}

bool CFractal_Doc::CanCloseFrame(QWidget* frame)
{
    if (!IsBuilding())
        return true;
    if (m_closePending)
        return false; // already confirmed; the frame closes when the build ends
    if (!Ask("Fractal is building!\nTerminate it?", frame))
        return false;
    return RequestCloseAfterBuild(frame);
}

bool CFractal_Doc::RequestCloseAfterBuild(QWidget* frame)
{
    // The first request wins among sibling windows; a window that holds the
    // one waiting (quitting the main window after closing a child) takes
    // over, or the confirmed quit would end as a closed child.
    if (!m_frameToClose || (frame && frame->isAncestorOf(m_frameToClose)))
        m_frameToClose = frame;
    m_closePending = true;
    RequestStop();
    return !IsBuilding();
}

void CFractal_Doc::AddView(CFractal_View* view)
{
    m_views.push_back(view);
    if (!m_activeView)
        m_activeView = view;
}

void CFractal_Doc::RemoveView(CFractal_View* view)
{
    std::erase(m_views, view);
    if (m_activeView == view)
        m_activeView = m_views.empty() ? nullptr : m_views.front();
}

void CFractal_Doc::SetActiveView(CFractal_View* view) { m_activeView = view; }

void CFractal_Doc::UpdateAllViews()
{
    for (CFractal_View* v : m_views)
        v->OnUpdate();
}

void CFractal_Doc::ClientSize(unsigned& width, unsigned& height)
{
    // Only the GUI thread measures; a worker keeps the size it has.
    if (!OnGuiThread(this) || !m_activeView) {
        width = m_canvas->m_targetWidth;
        height = m_canvas->m_targetHeight;
        return;
    }
    const QSize s = m_measureLogical ? m_activeView->LogicalClientArea() : m_activeView->ClientArea();
    m_targetScale = m_measureLogical ? 1.0 : m_activeView->BuildScale();
    width = unsigned(std::max(1, s.width()));
    height = unsigned(std::max(1, s.height()));
}

void CFractal_Doc::StatusChanged()
{
    m_worker.RunOnGui(
        [this] {
            const QString text = StatusText();
            if (!text.isEmpty())
                emit statusText(text);
        },
        true);
}

void CFractal_Doc::SelectionChanged()
{
    for (CFractal_View* v : m_views)
        v->viewport()->update();
}

QString CFractal_Doc::StatusText() const
{
    if (!IsBuilding() || !m_fractal)
        return {};
    if (m_worker.HasJobStatus())
        return m_worker.JobStatus();
    return QString::fromStdString(BuildStatusLine(*m_fractal, m_canvas->Status()));
}

bool CFractal_Doc::Ask(const QString& text, QWidget* owner)
{
    if (m_ask)
        return m_ask(text);
    return QMessageBox::question(owner, QCoreApplication::applicationName(), text) == QMessageBox::Yes;
}

const CoarsePreview::Picture* CFractal_Doc::CoarsePicture() const
{
    return m_coarse.Shown() ? &*m_coarse.Shown() : nullptr;
}

QTransform CFractal_Doc::CoarseTransform(QSize size) const
{
    const CoarsePreview::Picture* coarse = CoarsePicture();
    return coarse ? TransformSince(coarse->place, coarse->image.size(), size) : QTransform();
}

QTransform CFractal_Doc::TransformSince(const ViewPlace& place, QSize shown, QSize size) const
{
    if (!CanNavigate())
        return {};
    const ViewPlace now = m_history.CurrentPlace();
    return now == place ? QTransform() : ::PreviewTransform(place, shown, now, size);
}

bool CFractal_Doc::CanNavigate() const { return m_fractal && AbilitiesOf(*m_fractal).zoomAndPan; }

QTransform CFractal_Doc::PreviewTransform(QSize size) const
{
    if (!m_imagePlace || !m_deviceBitmap.HasBitmap())
        return {};
    return TransformSince(*m_imagePlace, QSize(m_deviceBitmap.m_bitmapWidth, m_deviceBitmap.m_bitmapHeight), size);
}
