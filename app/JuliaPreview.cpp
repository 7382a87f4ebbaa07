#include "app/JuliaPreview.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include <chrono>

#include "document/CanvasImage.h"
#include "imaging/Canvas.h"
#include "model/mandelbrot/MandelbrotSet.h"

CJuliaPreview::CJuliaPreview(QWidget* parent) : QDockWidget("Julia Preview", parent), m_label(new QLabel)
{
    setObjectName("JuliaPreview");
    m_label->setFixedSize(kSize, kSize);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setText("Move the pointer\nover a Mandelbrot set");
    m_label->setToolTip("The Julia set of the point under the pointer. Click to open it in a window");
    setWidget(m_label);
    m_thread = std::thread([this] { Run(); });
}

CJuliaPreview::~CJuliaPreview()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_quit = true;
        if (m_building)
            m_building->m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CJuliaPreview::Follow(double cRe, double cIm, const CColorMap& colors, int iterations)
{
    if (isHidden())
        return;
    Request r;
    r.cRe = cRe;
    r.cIm = cIm;
    r.iterations = iterations;
    r.red = colors.m_red;
    r.green = colors.m_green;
    r.blue = colors.m_blue;
    r.redShift = colors.m_redShift;
    r.greenShift = colors.m_greenShift;
    r.blueShift = colors.m_blueShift;
    r.background = colors.m_background;
    // The preview paints as the window does, in its colouring and gradient.
    r.coloring = colors.m_coloring;
    r.gradient = colors.m_gradient;
    r.gradientOffset = colors.m_gradientOffset;
    r.gradientRepetitions = colors.m_gradientRepetitions;
    r.insideColor = colors.m_insideColor;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_next = r;
        // The picture of an older point is not wanted any more.
        if (m_building)
            m_building->m_stop = true;
    }
    m_wake.notify_one();
}

void CJuliaPreview::Run()
{
    CMandelbrotSet julia;
    for (;;) {
        Request r;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_wake.wait(hold, [this] { return m_quit || m_next; });
            if (m_quit)
                return;
            r = *m_next;
            m_next.reset();
            julia.m_stop = false;
            m_building = &julia;
        }
        const auto start = std::chrono::steady_clock::now();
        julia.m_type = julia.m_builtType = 1;
        julia.m_cRe = r.cRe;
        julia.m_cIm = r.cIm;
        julia.m_centerX = julia.m_centerY = 0;
        julia.m_halfSize = 2;
        // The document's count, as it stands: a preview chooses none.
        julia.m_maxIterations = r.iterations;
        julia.m_iterationsSet = true;
        CColorMap& map = julia.m_colorMap;
        map.m_red = r.red;
        map.m_green = r.green;
        map.m_blue = r.blue;
        map.m_redShift = r.redShift;
        map.m_greenShift = r.greenShift;
        map.m_blueShift = r.blueShift;
        map.m_background = r.background;
        map.m_coloring = r.coloring;
        map.m_gradient = r.gradient;
        map.m_gradientOffset = r.gradientOffset;
        map.m_gradientRepetitions = r.gradientRepetitions;
        map.m_insideColor = r.insideColor;
        CCanvas canvas;
        canvas.SetTargetSize(kSize, kSize);
        QImage picture;
        try {
            const PaintWhileBuilding drawn(canvas);
            julia.Build(canvas);
            if (!julia.m_stop)
                julia.Draw(canvas);
            if (!julia.m_stop)
                picture = CanvasImage(canvas);
        } catch (const std::bad_alloc&) {
            // No picture this time; the next point tries again.
        }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        // Handed over under the lock, and announced by name, so nothing made
        // on this thread travels inside the message itself.
        const bool made = !picture.isNull();
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_building = nullptr;
            if (made)
                m_result = Result{std::move(picture), r.cRe, r.cIm, ms};
        }
        if (made)
            QMetaObject::invokeMethod(this, "TakeResult", Qt::QueuedConnection);
    }
}

void CJuliaPreview::TakeResult()
{
    std::optional<Result> result;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        result.swap(m_result);
    }
    if (result)
        Show(std::move(result->picture), result->cRe, result->cIm, result->ms);
}

void CJuliaPreview::Show(QImage picture, double cRe, double cIm, double ms)
{
    m_picture = std::move(picture);
    m_shown = std::make_pair(cRe, cIm);
    m_lastMs = ms;
    m_label->setPixmap(QPixmap::fromImage(m_picture));
    emit updated(cRe, cIm);
}

void CJuliaPreview::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && m_shown)
        emit openRequested(m_shown->first, m_shown->second);
    QDockWidget::mouseReleaseEvent(e);
}
