// A slow build in the real window: coarse pictures in blocks of 8, 4 and 2
// pixels while it runs, then exactly the image a plain build gives; a stop
// among them leaves the window as a stop always did, and a fast build shows
// none.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>

#include <functional>
#include <sstream>
#include <vector>

#include "document/CanvasImage.h"
#include "document/DocumentFiles.h"
#include "model/FractalFactory.h"
#include "tests/app/WindowFixture.h"

namespace {

// On a spiral past doubles (the deep benchmark's), where every pixel
// escapes after 8,500 to 9,900 iterations.
QString DeepSpiral()
{
    return "Fractal Type=Mandelbrot Set\r\n[Main]\r\nName=Spiral\r\ntype=Mandebrot Set\r\n"
           "x=-0.74364451097328589583078559144868670983576730650589208411455588827997893996620837180448714521225748767"
           "548787153391176049\r\n"
           "y=0.131847068880488927100117352916508203812153239242165867507417379120461872334112709929169900256502664203"
           "698144062385315348\r\n"
           "radius=1e-30\r\nprecision=100\r\n[Colors]\r\nRed=1\r\nGreen=1\r\nBlue=1\r\nRed   Shift=1\r\n"
           "Green Shift=1\r\nBlue  Shift=1\r\nBackground=Black\r\niterations=10000\r\n";
}

std::unique_ptr<CFractal> Read(const QString& text)
{
    std::istringstream in(text.toStdString());
    return ReadDocumentFile(in).fractal;
}

// The image a build outside any window gives, as the headless renderer
// builds it.
QImage PlainImage(std::unique_ptr<CFractal> f, QSize size)
{
    CCanvas canvas;
    canvas.SetTargetSize(unsigned(size.width()), unsigned(size.height()));
    f->m_restart = true;
    if (RunBuildSteps(*f, canvas, kCmdRebuild).result != BuildOutcome::kDrawn)
        return {};
    return CanvasImage(canvas).convertToFormat(QImage::Format_RGB32);
}

// What the view shows in its top left `size` pixels.
QImage Shown(CFractal_View* view, QSize size)
{
    return view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(QRect(QPoint(), size));
}

// Whether every `block` x `block` square from the top left corner (cut at
// the edges) is of one colour.
bool UniformBlocks(const QImage& image, int block)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(x - x % block, y - y % block))
                return false;
    return true;
}

struct Coarse {
    int block;
    QImage shown;
    bool building;
};

// Records what the view shows at each coarse picture.
void Record(Window& w, QSize size, std::vector<Coarse>& seen)
{
    QObject::connect(w.doc, &CFractal_Doc::coarseShown, w.view, [&w, size, &seen](int block) {
        seen.push_back({block, Shown(w.view, size), w.doc->IsBuilding()});
    });
}

TEST(CoarsePreview, ASlowBuildShowsFinerBlocksThenThePlainImage)
{
    struct Case {
        int type;
        QSize size;
        std::function<void(Window&)> start;
        std::function<std::unique_ptr<CFractal>()> plain;
    };
    const Case cases[] = {
        // Past doubles: the passes start with the build.
        {kTypeMandelbrot, {128, 96}, [](Window& w) { w.doc->History().RestoreRows(DeepSpiral()); },
         [] { return Read(DeepSpiral()); }},
        // A solid in space, marched in passes.
        {kTypeSelfAffine, {320, 240},
         [](Window& w) {
             w.doc->OnSample(8);
             w.doc->OnBuild(kCmdRebuild);
         },
         [] { return CreateSample(8); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Window w(c.type, c.size.width(), c.size.height());
        ASSERT_TRUE(WaitIdle(w.doc));
        std::vector<Coarse> seen;
        Record(w, c.size, seen);
        c.start(w);
        ASSERT_TRUE(WaitIdle(w.doc));
        ASSERT_EQ(w.doc->m_canvas->Status(), "Ready");
        ASSERT_FALSE(seen.empty());
        int last = 16;
        for (const Coarse& s : seen) {
            SCOPED_TRACE(s.block);
            EXPECT_TRUE(s.building);
            // Only the newest picture is shown: one the window had no time
            // for is passed over.
            EXPECT_TRUE(s.block == 8 || s.block == 4 || s.block == 2);
            EXPECT_LT(s.block, last);
            last = s.block;
            // In blocks of that size, and not of twice it: a picture finer
            // than the one before.
            EXPECT_TRUE(UniformBlocks(s.shown, s.block));
            EXPECT_FALSE(UniformBlocks(s.shown, 2 * s.block));
        }
        // The image in the end is the plain build's, and it is what shows.
        const QImage plain = PlainImage(c.plain(), c.size);
        ASSERT_FALSE(plain.isNull());
        EXPECT_EQ(w.doc->m_deviceBitmap.Image(), plain);
        EXPECT_EQ(Shown(w.view, c.size), plain);
    }
}

TEST(CoarsePreview, AStopAmongTheCoarsePicturesLeavesTheImageBefore)
{
    const QSize size(640, 480);
    Window w(kTypeMandelbrot, size.width(), size.height());
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    const QImage before = w.doc->m_deviceBitmap.Image();
    std::vector<Coarse> seen;
    Record(w, size, seen);
    QObject::connect(w.doc, &CFractal_Doc::coarseShown, w.view, [&w] { w.doc->OnStop(); });
    w.doc->History().RestoreRows(DeepSpiral());
    // What the window shows of the old image at the new view, as it did
    // before there were coarse pictures.
    const QImage moved = Shown(w.view, size);
    ASSERT_TRUE(WaitIdle(w.doc));
    ASSERT_FALSE(seen.empty());
    EXPECT_NE(seen.front().shown, moved);
    EXPECT_EQ(w.doc->m_canvas->Status(), "Terminated by user!");
    EXPECT_EQ(w.doc->m_deviceBitmap.Image(), before);
    EXPECT_EQ(Shown(w.view, size), moved);
}

TEST(CoarsePreview, AFastBuildShowsNone)
{
    // Small enough to build within the delay even in a sanitizer's build,
    // large enough for the passes of 4 and 2.
    const QSize size(64, 48);
    Window w(kTypeMandelbrot, size.width(), size.height());
    ASSERT_TRUE(WaitIdle(w.doc));
    std::vector<Coarse> seen;
    Record(w, size, seen);
    int fast = 0;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer clock;
        clock.start();
        w.doc->OnBuild(kCmdRebuild);
        ASSERT_TRUE(WaitIdle(w.doc));
        QApplication::processEvents();
        // A build the machine held up past the delay may show pictures.
        if (clock.elapsed() < CoarsePreview::kDelay.count()) {
            ++fast;
            EXPECT_TRUE(seen.empty());
        }
        seen.clear();
        EXPECT_EQ(w.doc->m_canvas->Status(), "Ready");
    }
    EXPECT_GT(fast, 0);
}

} // namespace
