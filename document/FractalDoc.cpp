#include "document/FractalDoc.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include "document/BuildSteps.h"
#include "document/FractalView.h"
#include "document/MemoryStatus.h"
#include "document/ProgressText.h"
#include "imaging/VectorState.h"
#include "model/FractalFactory.h"

ParametersHost* ParametersHost::s_host = nullptr;
int CFractal_Doc::s_defaultFractalType = -1;

namespace {

bool OnGuiThread(const QObject* o) { return QThread::currentThread() == o->thread(); }

} // namespace

CFractal_Doc::CFractal_Doc() : m_canvas(std::make_unique<CCanvas>())
{
    m_canvas->m_view = this;
    CreateFractal(s_defaultFractalType);
    if (m_fractal)
        m_title = QString::fromStdString(m_fractal->m_name);
    ResetHistory();
}

CFractal_Doc::~CFractal_Doc()
{
    Abort();
    if (ParametersHost::s_host && ParametersHost::s_host->Document() == this)
        ParametersHost::s_host->SetDocument(nullptr);
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
        ParametersHost::s_host->SetDocument(nullptr);
    m_fractal = std::move(fractal);
    if (shown && m_fractal)
        ParametersHost::s_host->SetDocument(this);
}

bool CFractal_Doc::IsShownInParameters() const
{
    return ParametersHost::s_host && ParametersHost::s_host->Document() == this;
}

void CFractal_Doc::ShowInParameters()
{
    if (ParametersHost::s_host)
        ParametersHost::s_host->SetDocument(this);
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
    RecordChange("Sample");
    m_imageStale = true;
    UpdateAllViews();
}

void CFractal_Doc::OnStop() { RequestStop(); }

void CFractal_Doc::RequestStop()
{
    m_jobStop.request_stop();
    if (m_fractal)
        m_fractal->m_stop = true;
}

void CFractal_Doc::OnBuild(BuildCommand id)
{
    if (ParametersHost::s_host)
        ParametersHost::s_host->EndEdit();
    if (IsBuilding() || !m_fractal)
        return;
    // Whatever changed the rows since the last record becomes its own step.
    RecordChange("Change");
    m_buildPlace = FractalPlace();
    m_jobRunning = false;
    m_jobStatus = nullptr;
    if (id == kCmdRebuild)
        m_fractal->m_restart = true;
    m_buildCommand = id;
    // Cleared here, before the worker exists, so that a Stop pressed at
    // any moment after this command reaches the build.
    m_fractal->m_stop = false;
    m_canvas->MeasureView();
    m_readyNote.clear();
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
    // The view list belongs to the GUI thread: the worker gets its answer.
    StartWorker([this, hasView = !m_views.empty()] { return BuildThreadProc(hasView); });
}

void CFractal_Doc::StartWorker(std::function<int()> work)
{
    m_aborting = false;
    m_exitCode = -1;
    // The worker reads the target size as it stands now; the window's
    // activations and resizes leave it alone until the worker is done.
    m_canvas->HoldTargetSize(true);
    m_thread = std::make_unique<std::thread>([this, work = std::move(work)] {
        // The GUI thread's state is inherited, dirty from Qt's hashing.
        CleanUpperVectorState();
        m_exitCode = work();
        m_canvas->HoldTargetSize(false);
        Post([this] { ThreadEnded(); });
    });
    SetBuildThread(m_thread.get());
}

bool CFractal_Doc::StartJob(std::function<void(std::stop_token)> job, std::function<QString()> status)
{
    if (IsBuilding() || !m_fractal)
        return false;
    m_fractal->m_stop = false;
    m_jobStop = std::stop_source();
    m_jobStatus = std::move(status);
    RecordChange("Change");
    m_buildPlace = FractalPlace();
    m_jobRunning = true;
    m_readyNote.clear();
    m_gridScale = m_targetScale;
    StartWorker([job = std::move(job), stop = m_jobStop.get_token()] {
        job(stop);
        return 0;
    });
    // The line is the job's own: it changes with the time, not only with
    // what the builds inside it report.
    if (m_jobStatus) {
        emit progressTimer(true);
        StatusChanged();
    }
    return true;
}

void CFractal_Doc::SetBuildThread(std::thread* thread)
{
    m_buildThread = thread;
    emit buildStateChanged();
}

bool CFractal_Doc::RunOnGui(std::function<void()> task, bool wait)
{
    if (OnGuiThread(this)) {
        task();
        return true;
    }
    auto done = std::make_shared<bool>(false);
    Post(std::move(task), wait ? done : nullptr);
    if (!wait)
        return true;
    std::unique_lock lock(m_waitMutex);
    m_waitDone.wait(lock, [&] { return *done || m_aborting.load(); });
    return *done;
}

int CFractal_Doc::BuildThreadProc(bool hasView)
{
    CFractal& f = *m_fractal;
    CCanvas& c = *m_canvas;
    if (!hasView)
        return 2;

    const bool go = CheckBuildMemory(f, c, QueryMemoryStatus(), [&](const std::string& question) {
        const QString text = QString::fromStdString(question);
        bool yes = false;
        RunOnGui([&] { yes = m_ask ? m_ask(text)
                                    : QMessageBox::question(m_activeView, QCoreApplication::applicationName(),
                                                            text) == QMessageBox::Yes; },
                 true);
        return yes;
    });
    if (!go)
        return 1;

    const BuildOutcome out = RunBuildSteps(
        f, c, m_buildCommand, [this] { return m_closePending.load() || m_aborting.load(); },
        [this] { RunOnGui([this] { emit progressTimer(true); }, false); }, m_readyNote);
    // Read here, by the thread that may have moved it (a zoom rectangle).
    const ViewPlace built = FractalPlace();
    Post([this, drawn = out.result == BuildOutcome::kDrawn, built] {
        if (drawn)
            m_imagePlace = built;
        UpdateAllViews();
        emit buildStateChanged();
    });
    return 0;
}

void CFractal_Doc::ThreadEnded()
{
    if (m_thread && m_thread->joinable())
        m_thread->join();
    m_thread.reset();
    SetBuildThread(nullptr);
    emit progressTimer(false);
    m_closePending = false;
    // The frame may have gone already (a second window closed on its own).
    QPointer<QWidget> frame = m_frameToClose;
    m_frameToClose = nullptr;
    if (frame) {
        frame->close();
        return;
    }
    AfterBuild();
}

void CFractal_Doc::Post(std::function<void()> task, std::shared_ptr<bool> done)
{
    {
        std::lock_guard lock(m_inboxMutex);
        m_inbox.push_back({std::move(task), std::move(done)});
    }
    QMetaObject::invokeMethod(this, "DrainInbox", Qt::QueuedConnection);
}

void CFractal_Doc::DrainInbox()
{
    for (;;) {
        Message m;
        {
            std::lock_guard lock(m_inboxMutex);
            if (m_inbox.empty())
                return;
            m = std::move(m_inbox.front());
            m_inbox.pop_front();
        }
        m.task();
        if (m.done) {
            std::lock_guard lock(m_waitMutex);
            *m.done = true;
        }
        m_waitDone.notify_all();
    }
}

void CFractal_Doc::Abort()
{
    if (!m_thread)
        return;
    RequestStop();
    {
        std::lock_guard lock(m_waitMutex);
        m_aborting = true;
    }
    m_waitDone.notify_all();
    if (m_thread->joinable())
        m_thread->join();
    m_thread.reset();
    m_buildThread = nullptr;
    // What the worker left undelivered may point into its finished stack
    // (an abandoned question's answer); none of it is wanted any more.
    std::lock_guard lock(m_inboxMutex);
    m_inbox.clear();
}

bool CFractal_Doc::CanCloseFrame(QWidget* frame)
{
    if (!IsBuilding())
        return true;
    if (m_closePending)
        return false; // already confirmed; the frame closes when the build ends
    const QString text = "Fractal is building!\nTerminate it?";
    const bool yes = m_ask ? m_ask(text)
                           : QMessageBox::question(frame, QCoreApplication::applicationName(), text) ==
                                 QMessageBox::Yes;
    if (!yes)
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
    RunOnGui([this] {
        const QString text = StatusText();
        if (!text.isEmpty())
            emit statusText(text);
    }, true);
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
    if (m_jobRunning && m_jobStatus)
        return m_jobStatus();
    return QString::fromStdString(BuildStatusLine(*m_fractal, m_canvas->Status()));
}
