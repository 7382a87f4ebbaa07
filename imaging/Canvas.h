#pragma once
// The document's drawing surface: target size, bottom-up pixel buffer,
// status text and zoom-rectangle state. The device bitmap that a window
// paints from lives with the view; the canvas reaches its view only
// through CanvasView, so a headless renderer can stand in for a window.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct CanvasRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

class CanvasView {
public:
    virtual ~CanvasView() = default;
    // The client area that the next build fills.
    virtual void ClientSize(unsigned& width, unsigned& height) = 0;
    // The status text changed. Called from the worker; must not return
    // before the view has read the text (CCanvas::Status).
    virtual void StatusChanged() = 0;
    // The zoom rectangle was shown, hidden or moved.
    virtual void SelectionChanged() {}
};

class CCanvas;

// Over its scope, asks the builds on the canvas to paint rows as they build
// them (CCanvas::m_paintWhileBuilding): a draw follows each at once.
class PaintWhileBuilding {
public:
    explicit PaintWhileBuilding(CCanvas& canvas);
    ~PaintWhileBuilding();
    PaintWhileBuilding(const PaintWhileBuilding&) = delete;
    PaintWhileBuilding& operator=(const PaintWhileBuilding&) = delete;

private:
    CCanvas& m_canvas;
};

class CCanvas {
public:
    CCanvas() = default;
    virtual ~CCanvas() = default;
    CCanvas(const CCanvas&) = delete;
    CCanvas& operator=(const CCanvas&) = delete;

    // Pixel buffer. Resize throws std::bad_alloc when the buffer cannot be
    // had, leaving none.
    void Resize(unsigned width, unsigned height, unsigned bitsPerPixel);
    void Clear();
    uint8_t* Row(unsigned i) { return m_bits.data() + size_t(i) * m_stride; }
    const uint8_t* Row(unsigned i) const { return m_bits.data() + size_t(i) * m_stride; }
    bool HasBuffer() const { return !m_bits.empty(); }
    // A second 24-bit buffer for rows painted while the cells are built
    // (CColorMap::BeginRowsAhead): the image stays as it was until
    // TakeBack makes them the image, so a build that ends early leaves it
    // untouched. Throws std::bad_alloc as Resize does, leaving none.
    void ResizeBack(unsigned width, unsigned height);
    uint8_t* BackRow(unsigned i) { return m_back.data() + size_t(i) * m_backStride; }
    bool BackHolds(unsigned width, unsigned height) const
    {
        return !m_back.empty() && m_backWidth == width && m_backHeight == height;
    }
    // The back buffer becomes the image and the image the back buffer.
    void TakeBack();

    // Status.
    void SetStatus(const std::string& text);
    std::string Status() const;

    // Target size and scale. A build takes the target size once, before
    // its worker starts, and holds it until the worker has ended: while
    // held, measuring and SetTargetSize leave it as it is, so nothing the
    // window does meanwhile changes what the builder reads.
    void MeasureView();
    void SetTargetSize(unsigned width, unsigned height);
    void HoldTargetSize(bool hold) { m_sizeHeld = hold; }
    bool TargetSizeHeld() const { return m_sizeHeld; }
    double PixelScale(double value) const;
    // A band of a taller image, for the builders that build in bands
    // (CFractal::BuildsInBands): the target height is the band's, and its
    // rows are rows m_bandFirst onwards of an image m_bandFullHeight rows
    // tall (0: the band is the whole image). m_bandRowsBefore rows of that
    // image were built before this band, so the percentage runs over all.
    unsigned m_bandFullHeight = 0;
    unsigned m_bandFirst = 0;
    unsigned m_bandRowsBefore = 0;
    unsigned FullHeight() const { return m_bandFullHeight ? m_bandFullHeight : m_targetHeight.load(); }

    // Zoom rectangle, in client pixels with y pointing down.
    void ShowSelection(bool visible);
    void FitSelection(int dx, int dy);
    void ButtonDown(int x, int y, unsigned flags);
    void DragTo(int x, int y, unsigned flags);
    void EndDrag();
    CanvasRect Selection() const;
    // The size of the image the rectangle is drawn on: the rectangle takes
    // its shape from it, is clipped to it, and the zoom measures by it, so
    // a window larger or smaller than its image zooms where the user drew.
    void ZoomImageSize(unsigned& width, unsigned& height) const;

    static constexpr unsigned kLeftButton = 1;
    static constexpr unsigned kRightButton = 2;

    CanvasView* m_view = nullptr;
    // Set by whoever draws right after the build: the builder may then
    // paint rows as it builds them (CColorMap::BeginRowsAhead).
    bool m_paintWhileBuilding = false;
    std::vector<uint8_t> m_bits;
    uint8_t* m_cursor = nullptr;
    std::vector<uint8_t*> m_rows; // 32 bits per pixel only
    unsigned m_bitsPerPixel = 0;
    std::atomic<bool> m_fixedSize{false};
    std::atomic<unsigned> m_targetHeight{1};
    std::atomic<unsigned> m_targetWidth{1};
    unsigned m_bufferWidth = 0;
    unsigned m_bufferHeight = 0;
    unsigned m_stride = 4;
    std::atomic<bool> m_imagePending{false};
    std::atomic<bool> m_zoomEnabled{false};
    std::atomic<bool> m_selectionVisible{false};
    std::atomic<bool> m_dragging{false};
    std::atomic<int32_t> m_halfWidth{0};
    std::atomic<int32_t> m_anchorX{0}, m_anchorY{0};
    // Set by the window from the image it shows, before a click reaches
    // the rectangle; 0 while there is no image (the target size stands in).
    std::atomic<unsigned> m_imageWidth{0}, m_imageHeight{0};

private:
    std::vector<uint8_t> m_back;
    unsigned m_backWidth = 0, m_backHeight = 0, m_backStride = 4;
    std::atomic<bool> m_sizeHeld{false};
    mutable std::mutex m_statusLock;
    std::string m_status;
    mutable std::mutex m_selectionLock;
    CanvasRect m_selection;
};
