#include "document/FractalView.h"
#include "document/Pictures.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QStatusBar>
#include <QWheelEvent>

#include <cmath>
#include <sstream>

#include "document/BuildSteps.h"
#include "document/CanvasImage.h"
#include "document/FractalDoc.h"
#include "document/OffscreenRender.h"
#include "document/SizeDialog.h"
#include "model/FractalKinds.h"

CFractal_View::CFractal_View(CFractal_Doc* doc, QWidget* parent) : QAbstractScrollArea(parent), m_doc(doc)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    m_doc->AddView(this);
    m_progressTimer.setInterval(250);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] {
        if (m_doc && m_doc->IsBuilding())
            ShowStatus();
        else
            m_progressTimer.stop();
    });
    connect(doc, &CFractal_Doc::statusText, this, [this](const QString&) {
        // The text goes to the status pane of the window activated last.
        if (m_doc && m_doc->ActiveView() == this)
            ShowStatus();
    });
    connect(doc, &CFractal_Doc::placeChanged, viewport(), qOverload<>(&QWidget::update));
    connect(doc, &CFractal_Doc::progressTimer, this, [this](bool start) {
        // The timer lives on the first view, as the build reports there.
        if (start && m_doc && !m_doc->Views().empty() && m_doc->Views().front() == this)
            m_progressTimer.start();
    });
    SetScrollSizes(1, 1);
}

CFractal_View::~CFractal_View()
{
    if (m_doc)
        m_doc->RemoveView(this);
}

void CFractal_View::OnInitialUpdate()
{
    OnUpdate();
    m_doc->SetActiveView(this);
    if (!m_doc->m_deviceBitmap.HasBitmap()) {
        m_doc->m_canvas->MeasureView();
        SetScrollSizes(1, 1);
    }
    // A kind edited by clicks needs an image to click on.
    if (m_doc->m_fractal && AbilitiesOf(*m_doc->m_fractal).clicks)
        m_doc->OnBuild(kCmdRebuild);
}

void CFractal_View::OnActivateView(bool activate)
{
    if (!activate || !m_doc)
        return;
    m_doc->SetActiveView(this);
    if (!m_doc->m_deviceBitmap.HasBitmap())
        m_doc->m_canvas->MeasureView();
    if (!m_doc->IsShownInParameters())
        m_doc->ShowInParameters();
}

void CFractal_View::OnUpdate()
{
    CCanvas& c = *m_doc->m_canvas;
    // Only after a build has finished writing: the worker sets the flag
    // last, and the document does not start another build before this runs.
    if (c.m_imagePending.exchange(false)) {
        if (m_doc->m_deviceBitmap.Upload(c)) {
            m_doc->m_imageStale = false;
            m_doc->ImageUploaded();
        } else if (c.HasBuffer())
            c.SetStatus(NoMemoryStatus(c.m_bufferWidth, c.m_bufferHeight));
    }
    if (m_doc->m_deviceBitmap.HasBitmap()) {
        const QSize shown = ImageLogicalSize();
        SetScrollSizes(shown.width(), shown.height());
    }
    // Type codes outside 0-3 make an Appolony set, so they get its icon.
    const QIcon icon = KindPicture(m_doc->m_fractalType);
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()); frame && !icon.isNull())
        frame->setWindowIcon(icon);
    viewport()->update();
}

void CFractal_View::SetScrollSizes(int width, int height)
{
    m_scrollWidth = std::max(1, width);
    m_scrollHeight = std::max(1, height);
    const QSize v = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, m_scrollWidth - v.width()));
    horizontalScrollBar()->setPageStep(v.width());
    verticalScrollBar()->setRange(0, std::max(0, m_scrollHeight - v.height()));
    verticalScrollBar()->setPageStep(v.height());
}

QPoint CFractal_View::ImagePoint(const QPointF& client) const
{
    // The image scrolls; clicks and the rectangle are kept in image pixels
    // so that a scrolled view zooms where the user pointed.
    const QPointF p =
        (client + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value())) * m_doc->ImageScale();
    return QPoint(int(std::floor(p.x())), int(std::floor(p.y())));
}

QPointF CFractal_View::BuildPoint(const QPointF& client) const
{
    return (client + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value())) * BuildScale();
}

namespace {

// Whole window pixels that `pixels` image pixels fill at `scale` per window
// pixel. At a fractional ratio the build has a part of a window pixel more,
// which must not make a scroll bar appear.
int Logical(int pixels, double scale) { return int(pixels / scale + 1e-9); }

} // namespace

QSize CFractal_View::ImageLogicalSize() const
{
    const CCanvasBitmap& bitmap = m_doc->m_deviceBitmap;
    if (!bitmap.HasBitmap())
        return {};
    const double scale = m_doc->ImageScale();
    return {Logical(bitmap.m_bitmapWidth, scale), Logical(bitmap.m_bitmapHeight, scale)};
}

void CFractal_View::paintEvent(QPaintEvent*)
{
    QPainter p(viewport());
    const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const CCanvasBitmap& bitmap = m_doc->m_deviceBitmap;
    // White only right of and below the image, so repaints do not flicker.
    const QRect all = viewport()->rect();
    // A slow build's coarse picture stands for its image until it is drawn.
    const CoarsePreview::Picture* coarse = m_doc->CoarsePicture();
    if (m_doc->m_imageStale && !coarse) {
        p.fillRect(all, Qt::white);
        return;
    }
    const double imageScale = coarse ? m_doc->CoarseScale() : m_doc->ImageScale();
    const QSize shown = coarse ? QSize(Logical(coarse->image.width(), imageScale),
                                       Logical(coarse->image.height(), imageScale))
                               : ImageLogicalSize();
    const QRect image(-offset, shown);
    // While the view moves, the last image stands scaled and shifted where
    // its points will be, until the build for the new view is drawn.
    const QTransform preview = coarse ? m_doc->CoarseTransform(ClientArea()) : m_doc->PreviewTransform(ClientArea());
    if (preview.isIdentity() && m_panDelta.isNull()) {
        p.fillRect(QRect(QPoint(image.right() + 1, 0), all.bottomRight()), Qt::white);
        p.fillRect(QRect(QPoint(0, image.bottom() + 1), QPoint(std::min(all.right(), image.right()), all.bottom())),
                   Qt::white);
    } else {
        p.fillRect(all, Qt::white);
    }
    p.translate(-offset + m_panDelta);
    // The image's pixels meet the screen's one to one where it was built at
    // device pixels; the preview maps them into the next build's pixels.
    p.save();
    if (preview.isIdentity()) {
        p.scale(1 / imageScale, 1 / imageScale);
    } else {
        p.scale(1 / BuildScale(), 1 / BuildScale());
        p.setTransform(preview, true);
    }
    if (coarse)
        p.drawImage(0, 0, coarse->image);
    else
        bitmap.Paint(p);
    p.restore();
    if (m_doc->m_canvas->m_selectionVisible) {
        // The rectangle is in the shown image's pixels.
        const double selectionScale = m_doc->ImageScale();
        p.scale(1 / selectionScale, 1 / selectionScale);
        CCanvasBitmap::DrawSelection(p, m_doc->m_canvas->Selection());
    }
}

void CFractal_View::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    SetScrollSizes(m_scrollWidth, m_scrollHeight);
    m_doc->m_canvas->ShowSelection(false);
}

void CFractal_View::scrollContentsBy(int, int) { viewport()->update(); }

void CFractal_View::Clicked(const QPoint& p, bool right)
{
    CCanvas& c = *m_doc->m_canvas;
    // The rectangle belongs to the image shown, not to the window's size.
    const CCanvasBitmap& bitmap = m_doc->m_deviceBitmap;
    c.m_imageWidth = bitmap.HasBitmap() ? unsigned(bitmap.m_bitmapWidth) : 0u;
    c.m_imageHeight = bitmap.HasBitmap() ? unsigned(bitmap.m_bitmapHeight) : 0u;
    c.ButtonDown(p.x(), p.y(), right ? CCanvas::kRightButton : CCanvas::kLeftButton);
    // The fractal belongs to the worker while it builds.
    if (!m_doc->m_fractal || m_doc->IsBuilding())
        return;
    m_doc->m_fractal->Click(p.x(), p.y(), right ? ClickButton::kRight : ClickButton::kLeft);
    if (AbilitiesOf(*m_doc->m_fractal).clicks) {
        m_doc->History().NameBuildChange("Tile Click");
        m_doc->OnBuild(kCmdRebuild);
        if (ParametersHost* host = m_doc->Host())
            host->RefreshValues();
    }
}

void CFractal_View::mousePressEvent(QMouseEvent* e)
{
    setFocus(Qt::MouseFocusReason);
    if (e->button() == Qt::BackButton || e->button() == Qt::ForwardButton) {
        e->button() == Qt::BackButton ? m_doc->History().GoBack() : m_doc->History().GoForward();
        return;
    }
    const bool drag = e->button() == Qt::MiddleButton || (e->button() == Qt::LeftButton && m_spaceHeld);
    if (drag && m_doc->CanNavigate()) {
        m_panning = true;
        m_panStart = e->position().toPoint();
        m_panDelta = {};
        viewport()->setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (e->button() == Qt::LeftButton)
        Clicked(ImagePoint(e->position().toPoint()), false);
    else if (e->button() == Qt::RightButton)
        Clicked(ImagePoint(e->position().toPoint()), true);
}

void CFractal_View::keyPressEvent(QKeyEvent* e)
{
    // Break stops a build where the keyboard has one (Escape is the main
    // window's key).
    constexpr quint32 kBreakKeysym = 0xff6b;
    if (m_doc && m_doc->IsBuilding() && e->nativeVirtualKey() == kBreakKeysym) {
        m_doc->OnStop();
        e->accept();
        return;
    }
    // Space held turns the left button into a hand that drags the picture.
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat() && m_doc && m_doc->CanNavigate()) {
        m_spaceHeld = true;
        if (!m_panning)
            viewport()->setCursor(Qt::OpenHandCursor);
        e->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(e);
}

void CFractal_View::keyReleaseEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat()) {
        m_spaceHeld = false;
        if (!m_panning)
            viewport()->unsetCursor();
    }
    QAbstractScrollArea::keyReleaseEvent(e);
}

void CFractal_View::focusOutEvent(QFocusEvent* e)
{
    // The release of a key held while the focus left never comes here.
    m_spaceHeld = false;
    if (!m_panning)
        viewport()->unsetCursor();
    QAbstractScrollArea::focusOutEvent(e);
}

void CFractal_View::EndPan(const QPoint& p)
{
    m_panning = false;
    m_panDelta = {};
    if (m_spaceHeld)
        viewport()->setCursor(Qt::OpenHandCursor);
    else
        viewport()->unsetCursor();
    const QPoint delta = p - m_panStart;
    if (!delta.isNull() && m_doc)
        m_doc->History().MoveTo(PanBy(m_doc->History().CurrentPlace(), ClientArea(), QPointF(delta) * BuildScale()),
                                "Pan");
    viewport()->update();
}

void CFractal_View::wheelEvent(QWheelEvent* e)
{
    if (!m_doc || !m_doc->CanNavigate()) {
        QAbstractScrollArea::wheelEvent(e);
        return;
    }
    e->accept();
    // A notch is 120 eighths of a degree; a touchpad's pixels count as
    // fractions of a notch, so it zooms smoothly.
    const double notches = !e->pixelDelta().isNull() ? e->pixelDelta().y() / 120.0 : e->angleDelta().y() / 120.0;
    if (notches == 0 || m_panning)
        return;
    const QPointF p = BuildPoint(e->position());
    m_doc->History().MoveTo(ZoomAbout(m_doc->History().CurrentPlace(), ClientArea(), p, std::pow(kWheelZoom, notches)),
                            "Zoom");
}

void CFractal_View::Step(ViewStep step)
{
    if (!m_doc || !m_doc->CanNavigate() || m_panning)
        return;
    const bool zoom = step == ViewStep::kZoomIn || step == ViewStep::kZoomOut;
    m_doc->History().MoveTo(m_steps.Take(m_doc->History().CurrentPlace(), ClientArea(), step), zoom ? "Zoom" : "Pan");
}

void CFractal_View::ShowOverview()
{
    if (!m_doc || !m_doc->CanNavigate() || m_panning)
        return;
    const CFractal::Place home = m_doc->m_fractal->Overview();
    m_doc->History().MoveTo(ViewPlace{home.x, home.y, home.half}, "Overview");
}

void CFractal_View::mouseReleaseEvent(QMouseEvent* e)
{
    if (m_panning && (e->button() == Qt::MiddleButton || e->button() == Qt::LeftButton)) {
        EndPan(e->position().toPoint());
        return;
    }
    if (e->button() == Qt::LeftButton)
        m_doc->m_canvas->EndDrag();
}

void CFractal_View::CoordinateReadout(const QPointF& p)
{
    // The 3-D sets show the depth under the pointer instead; the progress
    // of a build has the pane while it runs.
    if (m_doc->IsBuilding() || !m_doc->CanNavigate())
        return;
    if (m_doc->m_fractal->HasDepth())
        return;
    const ViewPlace place = m_doc->History().CurrentPlace();
    const QSize size = ClientArea();
    const auto [x, y] = WorldTextAt(place, size, p);
    SetStatusPane(QString("x = %1   y = %2").arg(x, y));
    const QPointF world = WorldAt(place, size, p);
    emit pointerAt(world.x(), world.y());
}

void CFractal_View::mouseMoveEvent(QMouseEvent* e)
{
    if (m_panning) {
        m_panDelta = e->position().toPoint() - m_panStart;
        viewport()->update();
        return;
    }
    const QPoint p = ImagePoint(e->position());
    // The pointer's pixel of the view the next build makes: its top left
    // device pixel on a dense screen.
    CoordinateReadout(BuildPoint(e->position().toPoint()));
    DepthReadout(p);
    unsigned flags = 0;
    if (e->buttons() & Qt::LeftButton)
        flags |= CCanvas::kLeftButton;
    if (e->buttons() & Qt::RightButton)
        flags |= CCanvas::kRightButton;
    m_doc->m_canvas->DragTo(p.x(), p.y(), flags);
}

void CFractal_View::DepthReadout(const QPoint& p)
{
    // The grid is the worker's while it builds.
    if (m_doc->IsBuilding() || !m_doc->m_fractal || !m_doc->m_fractal->HasDepth())
        return;
    const CColorMap& map = m_doc->m_fractal->m_colorMap;
    if (p.x() < 0 || p.y() < 0 || p.x() >= map.m_gridWidth || p.y() >= map.m_gridHeight)
        return;
    std::ostringstream text;
    text << double(map.Cell(p.y(), p.x())->z);
    SetStatusPane(QString::fromStdString(text.str().substr(0, 80)));
}

void CFractal_View::SetStatusPane(const QString& text)
{
    m_lastStatus = text;
    if (auto* main = qobject_cast<QMainWindow*>(window()))
        main->statusBar()->showMessage(text);
    emit statusMessage(text);
}

void CFractal_View::ShowStatus()
{
    if (!m_doc || !m_doc->IsBuilding())
        return;
    SetStatusPane(m_doc->StatusText());
}

void CFractal_View::OnBitmapSize(BitmapSize size)
{
    // The running build reads the size (the commands are disabled then).
    if (!m_doc || m_doc->IsBuilding())
        return;
    CCanvas& c = *m_doc->m_canvas;
    if (size < BitmapSize::kCustom) {
        const unsigned* s = kListedSizes[int(size)];
        c.SetTargetSize(s[0], s[1]);
        ResizeToBitmap(int(s[0]), int(s[1]));
        c.m_fixedSize = true;
    } else if (size == BitmapSize::kCustom) {
        const bool fixed = c.m_fixedSize;
        if (!fixed)
            c.MeasureView();
        // The window's own size, which a chosen size shows pixel for pixel,
        // so the window keeps its size on a dense screen too.
        const QSize logical = LogicalClientArea();
        unsigned w = fixed ? c.m_targetWidth.load() : unsigned(std::max(1, logical.width()));
        unsigned h = fixed ? c.m_targetHeight.load() : unsigned(std::max(1, logical.height()));
        const bool ok = m_askSize ? m_askSize(w, h) : CSizeDialog::Ask(this, w, h);
        // A build may have started while the dialog was open.
        if (!ok || m_doc->IsBuilding())
            return;
        c.SetTargetSize(w, h);
        ResizeToBitmap(int(w), int(h));
        c.m_fixedSize = true;
    } else {
        c.m_fixedSize = false;
    }
}

QSize CFractal_View::LogicalClientArea() const
{
    const CCanvas& c = *m_doc->m_canvas;
    if (c.m_fixedSize)
        return QSize(int(c.m_targetWidth.load()), int(c.m_targetHeight.load()));
    return maximumViewportSize();
}

double CFractal_View::BuildScale() const
{
    if (m_doc->m_canvas->m_fixedSize)
        return 1.0;
    const double ratio = devicePixelRatio();
    return ratio > 1 && std::isfinite(ratio) ? ratio : 1.0;
}

QSize CFractal_View::ClientArea() const
{
    const QSize s = LogicalClientArea();
    const double scale = BuildScale();
    if (scale == 1.0)
        return s;
    // Every device pixel of the window, a part one at a fractional ratio too.
    return QSize(int(std::ceil(s.width() * scale - 1e-9)), int(std::ceil(s.height() * scale - 1e-9)));
}

QRect FitInside(QRect r, const QRect& area)
{
    r.setWidth(std::min(r.width(), area.width()));
    r.setHeight(std::min(r.height(), area.height()));
    r.moveLeft(std::max(area.left(), std::min(r.left(), area.right() + 1 - r.width())));
    r.moveTop(std::max(area.top(), std::min(r.top(), area.bottom() + 1 - r.height())));
    return r;
}

void CFractal_View::ResizeToBitmap(int width, int height)
{
    // The scroll range is the image's; before there is one, the size asked.
    const QSize shown = ImageLogicalSize();
    if (!shown.isEmpty())
        SetScrollSizes(shown.width(), shown.height());
    else
        SetScrollSizes(width, height);
    auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget());
    // A maximized or minimized window takes the size as a normal one.
    if (frame && (frame->isMaximized() || frame->isMinimized()))
        frame->showNormal();
    const QSize grow = QSize(width, height) - maximumViewportSize();
    if (!frame) {
        resize(size() + grow);
        return;
    }
    QRect r(frame->pos(), frame->size() + grow);
    // The window stays inside the work area; a larger image scrolls.
    if (QMdiArea* area = frame->mdiArea())
        r = FitInside(r, area->viewport()->rect());
    frame->setGeometry(r);
}

QRect PrintedRect(const QSize& image, const QRect& page)
{
    if (image.isEmpty() || page.isEmpty())
        return {};
    const QSize size = image.scaled(page.size(), Qt::KeepAspectRatio);
    return QRect(page.topLeft() + QPoint((page.width() - size.width()) / 2, (page.height() - size.height()) / 2), size);
}

QImage CFractal_View::PrintedImage(QSize size)
{
    // The document's view built again for the printer's own pixels, from a
    // copy of its rows: the window's cells and image stay. A build running
    // owns the fractal, and a render the memory does not allow is refused;
    // either prints the window's image, scaled.
    if (m_doc->IsBuilding() || !m_doc->m_fractal || m_doc->m_imageStale)
        return {};
    std::unique_ptr<CFractal> copy = CopyOfFractal(*m_doc->m_fractal);
    if (!copy)
        return {};
    copy->m_restart = true;
    CCanvas canvas;
    CanvasSink sink(canvas);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const BuildOutcome out =
        RenderOffscreen(*copy, {unsigned(size.width()), unsigned(size.height())}, sink, QueryMemoryStatus());
    QGuiApplication::restoreOverrideCursor();
    if (out.result != BuildOutcome::kDrawn)
        return {};
    return CanvasImage(canvas);
}

QRect CFractal_View::PrintTo(QPrinter& printer)
{
    // The job, and a PDF file's title, carry the document's name.
    printer.setDocName(m_doc->Title());
    QPainter p;
    if (!p.begin(&printer)) {
        QMessageBox::warning(this, "Print", "Not printed!");
        return {};
    }
    // The painter starts at the printable area's corner unless the printer
    // draws on the whole sheet.
    QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    if (!printer.fullPage())
        page.moveTopLeft(QPoint(0, 0));
    // A picture cleared for a new sample prints as it shows: nothing.
    const CCanvasBitmap& bitmap = m_doc->m_deviceBitmap;
    QRect drawn;
    if (bitmap.HasBitmap() && !m_doc->m_imageStale) {
        drawn = PrintedRect(bitmap.Image().size(), page);
        if (!drawn.isEmpty()) {
            const QImage image = PrintedImage(drawn.size());
            p.drawImage(drawn, image.isNull() ? bitmap.Image() : image);
        }
    }
    if (!p.end()) {
        QMessageBox::warning(this, "Print", "Not printed!");
        return {};
    }
    return drawn;
}

QPrinter& CFractal_View::Printer()
{
    // Freed with the application, while the print support still exists.
    static QPrinter* printer = nullptr;
    if (!printer) {
        printer = new QPrinter(QPrinter::HighResolution);
        qAddPostRoutine([] {
            delete printer;
            printer = nullptr;
        });
    }
    return *printer;
}

void CFractal_View::OnFilePrint()
{
    Printer().setDocName(m_doc->Title());
    QPrintDialog dialog(&Printer(), this);
    dialog.setMinMax(1, 1);
    if (dialog.exec() == QDialog::Accepted)
        PrintTo(Printer());
}

void CFractal_View::OnFilePrintPreview()
{
    QPrintPreviewDialog preview(&Printer(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { PrintTo(*p); });
    preview.exec();
}
