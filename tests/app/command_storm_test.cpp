// Long builds under a storm of commands fired at random moments (a fixed
// seed, so a failure repeats): closing windows, quitting with Yes and No,
// Bitmap Size, new windows and documents, samples, activation and resizing.
// Every wait is bounded; the end state must hold together. Small windows
// and short waits keep the builds long beside the commands, so about half
// of them land on a running build.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QPointer>
#include <QTest>

#include <algorithm>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "app/MainFrame.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

constexpr int kRounds = 12;
constexpr int kActionsPerRound = 14;
constexpr int kBoundMs = 120000; // generous for the sanitizers; never reached when sound

class Storm {
public:
    explicit Storm(unsigned seed) : m_rng(seed) {}

    // One main window from start to close; false when it would not close.
    bool Round()
    {
        m_frame = new CMainFrame;
        m_frame->m_complain = [](const QString&, const QString&) {};
        m_frame->m_askPath = [](const QString&, bool) { return QString(); };
        m_frame->m_askSave = [](const QString&) { return QMessageBox::Discard; };
        m_frame->resize(400, 300);
        m_frame->show();
        m_quitting = false;
        m_quitConfirmed = false;
        m_closeConfirmed = false;
        m_started.clear();
        NewDocument();

        for (int i = 0; i < kActionsPerRound; ++i) {
            // Builds, closes and quits come up more often than the rest.
            const int weighted[16] = {0, 0, 1, 2, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 1};
            Act(weighted[Pick(16)]);
            Settle();
            CheckConsistent();
            // A quit with nothing building closes at once, without a question.
            if (m_quitConfirmed || !m_frame->isVisible())
                break;
        }
        // A user may still click about while a confirmed quit waits for
        // its builds.
        if (m_quitConfirmed)
            for (int i = Pick(4); i > 0 && m_frame->isVisible(); --i) {
                const int harmless[4] = {3, 6, 7, 8};
                Act(harmless[Pick(4)]);
                Settle();
                CheckConsistent();
            }
        return Finish();
    }

    // How many commands were fired while some build ran.
    int DuringBuilds() const { return m_duringBuilds; }

private:
    int Pick(int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(m_rng)); }

    QList<CFractal_Doc*> Documents() const { return m_frame->findChildren<CFractal_Doc*>(Qt::FindDirectChildrenOnly); }

    bool AnyBuilding() const
    {
        const QList<CFractal_Doc*> docs = Documents();
        return std::any_of(docs.begin(), docs.end(), [](CFractal_Doc* d) { return d->IsBuilding(); });
    }

    bool IsLive(CFractal_Doc* doc) const { return Documents().contains(doc); }

    // Every question goes to the script: Yes or No at random.
    void Arm()
    {
        for (CFractal_Doc* doc : Documents())
            doc->m_ask = [this](const QString&) {
                const bool yes = Pick(2) == 1;
                if (m_quitting && yes)
                    m_quitConfirmed = true;
                if (!m_quitting && yes)
                    m_closeConfirmed = true;
                return yes;
            };
        for (CFractal_View* view : m_frame->findChildren<CFractal_View*>())
            view->m_askSize = [this](unsigned& width, unsigned& height) {
                width = 40 + unsigned(Pick(400));
                height = 40 + unsigned(Pick(300));
                return Pick(3) != 0;
            };
    }

    void NewDocument()
    {
        // The 3-D samples and a deep Mandelbrot build for long; the plane
        // sets end soon, so builds both end and are cut short.
        const int types[3] = {kTypeSelfAffine, kTypeMandelbrot, kTypeAppolony};
        CFractal_Doc* doc = m_frame->NewFractalDocument(types[Pick(3)]);
        if (doc->m_fractal && doc->m_fractal->m_kind == CFractal::kSelfAffine)
            doc->OnSample(4 + Pick(6));
        if (auto* m = dynamic_cast<CMandelbrotSet*>(doc->m_fractal.get())) {
            m->m_maxIterations = 20000;
            m->m_iterationsSet = true;
        }
        Arm();
    }

    void Act(int action)
    {
        m_duringBuilds += AnyBuilding();
        Track();
        CFractal_Doc* doc = m_frame->ActiveDocument();
        QMdiArea* mdi = m_frame->MdiArea();
        const QList<QMdiSubWindow*> children = mdi->subWindowList();
        switch (action) {
        case 0: // build
        case 1:
            if (doc)
                m_frame->Command(Cmd::kRebuild)->trigger();
            break;
        case 2: // close the active window
            if (doc)
                m_frame->Command(Cmd::kClose)->trigger();
            break;
        case 3: // Bitmap Size, whatever its state
            if (doc)
                m_frame->Command(BitmapSizeCommand(BitmapSize(Pick(7))))->trigger();
            break;
        case 4: // a second window, or a new document
            if (doc && Pick(2))
                m_frame->Command(Cmd::kNewWindow)->trigger();
            else
                NewDocument();
            Arm();
            break;
        case 5: // another sample
            if (doc)
                m_frame->Command(SampleCommand(Pick(kSampleCount)))->trigger();
            break;
        case 6: // activate or resize a window
            if (!children.isEmpty()) {
                QMdiSubWindow* w = children[Pick(int(children.size()))];
                if (Pick(2))
                    w->resize(120 + Pick(500), 100 + Pick(400));
                mdi->setActiveSubWindow(w);
            }
            break;
        case 7: // stop
            if (doc)
                m_frame->Command(Cmd::kStop)->trigger();
            break;
        case 8: // nothing for a while
            QTest::qWait(Pick(8));
            break;
        case 9: // quit
            m_quitting = true;
            m_frame->Command(Cmd::kExit)->trigger();
            m_quitting = false;
            break;
        }
        Track();
    }

    // The size each running build started with, noted when it is first
    // seen running (builds start only from the commands above).
    void Track()
    {
        std::map<CFractal_Doc*, std::pair<unsigned, unsigned>> kept;
        for (CFractal_Doc* d : Documents()) {
            if (!d->IsBuilding())
                continue;
            const CCanvas& c = *d->m_canvas;
            const auto it = m_started.find(d);
            kept[d] = it != m_started.end() ? it->second : std::pair{c.m_targetWidth.load(), c.m_targetHeight.load()};
        }
        m_started = std::move(kept);
    }

    // Lets posted events, finished builds and deferred deletions through.
    void Settle()
    {
        QTest::qWait(Pick(5));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void CheckConsistent()
    {
        if (!m_frame->isVisible())
            return;
        for (const auto& [d, size] : m_started)
            if (IsLive(d) && d->IsBuilding()) {
                EXPECT_EQ(d->m_canvas->m_targetWidth.load(), size.first);
                EXPECT_EQ(d->m_canvas->m_targetHeight.load(), size.second);
            }
        Track();
        const CFractal_Doc* doc = m_frame->ActiveDocument();
        if (!doc)
            return;
        const bool building = doc->IsBuilding();
        EXPECT_EQ(m_frame->Command(Cmd::kRebuild)->isEnabled(), !building);
        EXPECT_EQ(m_frame->Command(Cmd::kStop)->isEnabled(), building);
        for (int k = 0; k <= int(BitmapSize::kVariable); ++k)
            EXPECT_EQ(m_frame->Command(BitmapSizeCommand(BitmapSize(k)))->isEnabled(), !building) << k;
    }

    bool Finish()
    {
        QPointer<CMainFrame> frame = m_frame;
        std::vector<QPointer<CFractal_Doc>> docs;
        for (CFractal_Doc* d : Documents())
            docs.emplace_back(d);

        if (m_quitConfirmed) {
            // The quit waits for the builds it stopped; when the last has
            // ended the main window must be closed, also when a window's
            // close was confirmed before it (the same build closes both).
            EXPECT_TRUE(QTest::qWaitFor([&] { return !AnyBuilding(); }, kBoundMs)) << "a stopped build hangs";
            EXPECT_FALSE(frame->isVisible()) << "a quit answered Yes left the main window open"
                                             << (m_closeConfirmed ? " (a close was confirmed first)" : "");
        }
        // Closes what is left: Yes to every question, and again once the
        // builds have ended (a close during a build waits for it).
        for (CFractal_Doc* d : Documents())
            d->m_ask = [](const QString&) { return true; };
        if (frame->isVisible())
            m_frame->close();
        const bool closed = QTest::qWaitFor(
            [&] {
                if (frame->isVisible() && !AnyBuilding())
                    m_frame->close();
                return !frame->isVisible();
            },
            kBoundMs);
        EXPECT_TRUE(closed) << "the main window did not close";
        QTest::qWait(1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // Every window went and took its document with it; no worker runs.
        EXPECT_TRUE(m_frame->MdiArea()->subWindowList().isEmpty());
        for (const QPointer<CFractal_Doc>& d : docs)
            EXPECT_FALSE(d) << "a document outlived its windows";
        delete m_frame; // stops and joins what still runs, had it not closed
        m_frame = nullptr;
        return closed;
    }

    std::mt19937 m_rng;
    CMainFrame* m_frame = nullptr;
    bool m_quitting = false;
    bool m_quitConfirmed = false;
    bool m_closeConfirmed = false;
    int m_duringBuilds = 0;
    std::map<CFractal_Doc*, std::pair<unsigned, unsigned>> m_started;
};

} // namespace

TEST(CommandStorm, LongBuildsUnderRandomCommandsEndCleanly)
{
    Storm storm(20261208u);
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        if (!storm.Round())
            return;
    }
    EXPECT_GE(storm.DuringBuilds(), 10) << "the storm must meet running builds";
}
