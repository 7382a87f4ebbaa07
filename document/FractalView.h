#pragma once
// A window on a document's canvas: paints the device bitmap, carries the
// zoom rectangle and the clicks, chooses the image size, shows progress in
// the main window's status bar, and prints.

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>
#include <QTimer>

#include <functional>

#include "document/ViewSteps.h"

class CFractal_Doc;
class QPrinter;

// `r` moved, then shrunk where it must be, to lie inside `area`.
QRect FitInside(QRect r, const QRect& area);
// `image` scaled, its shape kept, to fill `page` in one direction, and
// centred in it; empty when either is empty.
QRect PrintedRect(const QSize& image, const QRect& page);

// The Bitmap Size choices: a listed size (kListedSizes), one typed in the
// dialog, or the window's own.
enum class BitmapSize { k100x100, k320x200, k640x480, k800x600, k1024x768, kCustom, kVariable };
inline constexpr unsigned kListedSizes[5][2] = {{100, 100}, {320, 200}, {640, 480}, {800, 600}, {1024, 768}};

class CFractal_View : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CFractal_View(CFractal_Doc* doc, QWidget* parent = nullptr);
    ~CFractal_View() override;

    CFractal_Doc* GetDocument() const { return m_doc; }

    void OnInitialUpdate();
    void OnActivateView(bool activate);
    void OnUpdate();
    void ShowStatus();
    void OnBitmapSize(BitmapSize size);
    void ResizeToBitmap(int width, int height);
    // What a build fills, in the image's pixels: the fixed size while one
    // is chosen (the window may be smaller and scroll), else the client
    // area with no scroll bar taking room, in the screen's device pixels.
    QSize ClientArea() const;
    // The same in the window's own (logical) pixels.
    QSize LogicalClientArea() const;
    // Image pixels to a window pixel in the next build: the screen's device
    // pixel ratio where the window's size drives the build, so a dense
    // screen shows it sharp; 1 for a chosen Bitmap Size, which keeps its
    // pixels whatever the screen.
    double BuildScale() const;

    // Prints one page titled after the document: the image as large as the
    // printable area takes it, its shape kept, centred, built anew for the
    // printer's device pixels (the window's image scaled when it cannot
    // be). Returns the rectangle drawn in the painter's device pixels,
    // empty when nothing was drawn (after "Not printed!" when the printer
    // failed).
    QRect PrintTo(QPrinter& printer);
    // The document's view rendered at `size`, or a null image.
    QImage PrintedImage(QSize size);
    // The printer and page that Print Setup chose, kept for every print of
    // this run of the program.
    static QPrinter& Printer();
    void OnFilePrint();
    void OnFilePrintPreview();
    // The keyboard's moves: a step (undoable, straight back exact) and
    // Home, the kind's overview.
    void Step(ViewStep step);
    void ShowOverview();

    // What the status pane was last given, for the window and for tests.
    QString LastStatus() const { return m_lastStatus; }
    // The size dialog is replaceable so that tests can drive their own.
    std::function<bool(unsigned& width, unsigned& height)> m_askSize;

signals:
    void statusMessage(const QString& text);
    // The world point under the pointer of a 2-D view that zooms and pans.
    void pointerAt(double x, double y);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // A window point in pixels of the image shown (clicks, the zoom
    // rectangle, the depth under the pointer) and in pixels of the next
    // build's view (wheel zoom, coordinates); both count the scrolling.
    QPoint ImagePoint(const QPointF& client) const;
    QPointF BuildPoint(const QPointF& client) const;
    // The image's size in window pixels.
    QSize ImageLogicalSize() const;
    void SetScrollSizes(int width, int height);
    void SetStatusPane(const QString& text);
    void DepthReadout(const QPoint& p);
    void Clicked(const QPoint& p, bool right);
    void CoordinateReadout(const QPointF& p);
    void EndPan(const QPoint& p);

    QPointer<CFractal_Doc> m_doc;
    QTimer m_progressTimer;
    QString m_lastStatus;
    int m_scrollWidth = 1, m_scrollHeight = 1;
    // A drag of the picture: where it started and how far it has gone.
    bool m_panning = false;
    bool m_spaceHeld = false;
    QPoint m_panStart, m_panDelta;
    ViewStepTrail m_steps;
};
