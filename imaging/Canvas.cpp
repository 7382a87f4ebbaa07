#include "imaging/Canvas.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// Rows of whole 32-bit words; throws std::bad_alloc past what a buffer
// can hold.
uint64_t StrideOf(unsigned width, unsigned height, unsigned bitsPerPixel, size_t maxSize)
{
    const uint64_t b = uint64_t(width) * bitsPerPixel / 8;
    const uint64_t stride = b + ((4 - b % 4) % 4);
    if (stride > UINT32_MAX || (height != 0 && stride > maxSize / height))
        throw std::bad_alloc();
    return stride;
}

} // namespace

void CCanvas::Resize(unsigned width, unsigned height, unsigned bitsPerPixel)
{
    if (bitsPerPixel != 24)
        bitsPerPixel = 32;
    if (!m_bits.empty() && width == m_bufferWidth && height == m_bufferHeight && bitsPerPixel == m_bitsPerPixel)
        return;
    m_rows = {};
    m_bits = {};
    m_cursor = nullptr;
    m_bufferWidth = m_bufferHeight = 0;
    // A buffer that cannot be had leaves none (HasBuffer false), and the
    // caller is told.
    const uint64_t stride = StrideOf(width, height, bitsPerPixel, m_bits.max_size());
    try {
        m_bits.resize(size_t(stride) * height);
        if (bitsPerPixel == 32)
            m_rows.resize(height);
    } catch (const std::bad_alloc&) {
        m_rows = {};
        m_bits = {};
        throw;
    }
    m_bufferWidth = width;
    m_bufferHeight = height;
    m_bitsPerPixel = bitsPerPixel;
    m_stride = unsigned(stride);
    m_cursor = m_bits.data();
    for (unsigned i = 0; i < m_rows.size(); ++i)
        m_rows[i] = m_bits.data() + size_t(i) * width * 4;
}

void CCanvas::ResizeBack(unsigned width, unsigned height)
{
    if (BackHolds(width, height))
        return;
    m_back = {};
    m_backWidth = m_backHeight = 0;
    const uint64_t stride = StrideOf(width, height, 24, m_back.max_size());
    m_back.resize(size_t(stride) * height);
    m_backWidth = width;
    m_backHeight = height;
    m_backStride = unsigned(stride);
}

void CCanvas::TakeBack()
{
    m_rows = {};
    m_bits.swap(m_back);
    std::swap(m_bufferWidth, m_backWidth);
    std::swap(m_bufferHeight, m_backHeight);
    std::swap(m_stride, m_backStride);
    // A back buffer only ever holds 24-bit rows; what was the image is one
    // again only when it had those too.
    if (m_bitsPerPixel != 24)
        m_back = {}, m_backWidth = m_backHeight = 0;
    m_bitsPerPixel = 24;
    m_cursor = m_bits.empty() ? nullptr : Row(m_bufferHeight - 1) + size_t(m_bufferWidth) * 3;
}

PaintWhileBuilding::PaintWhileBuilding(CCanvas& canvas) : m_canvas(canvas) { m_canvas.m_paintWhileBuilding = true; }

PaintWhileBuilding::~PaintWhileBuilding() { m_canvas.m_paintWhileBuilding = false; }

void CCanvas::Clear() { std::fill(m_bits.begin(), m_bits.end(), uint8_t(0)); }

void CCanvas::SetStatus(const std::string& text)
{
    {
        std::lock_guard lock(m_statusLock);
        m_status = text;
    }
    if (m_view)
        m_view->StatusChanged();
}

std::string CCanvas::Status() const
{
    std::lock_guard lock(m_statusLock);
    return m_status;
}

void CCanvas::MeasureView()
{
    if (!m_view || m_sizeHeld)
        return;
    unsigned w = 0, h = 0;
    m_view->ClientSize(w, h);
    SetTargetSize(w, h);
}

void CCanvas::SetTargetSize(unsigned width, unsigned height)
{
    if (m_sizeHeld)
        return;
    m_targetWidth = width;
    m_targetHeight = height;
}

double CCanvas::PixelScale(double value) const
{
    const unsigned m = std::min(m_targetWidth.load(), m_targetHeight.load());
    return value * 2 / m;
}

void CCanvas::ShowSelection(bool visible)
{
    const bool changed = visible != m_selectionVisible.load();
    m_selectionVisible = visible;
    if (changed && m_view)
        m_view->SelectionChanged();
}

void CCanvas::ZoomImageSize(unsigned& width, unsigned& height) const
{
    width = m_imageWidth;
    height = m_imageHeight;
    if (width == 0 || height == 0) {
        width = m_targetWidth;
        height = m_targetHeight;
    }
}

void CCanvas::FitSelection(int dx, int dy)
{
    unsigned ux = unsigned(std::abs(dx));
    unsigned uy = unsigned(std::abs(dy));
    if (ux <= 5)
        ux = 5;
    if (uy <= 5)
        uy = 5;
    unsigned w = 0, h = 0;
    ZoomImageSize(w, h);
    if (w == 0 || h == 0)
        return;
    if (uint64_t(uy) * w < uint64_t(ux) * h)
        uy = unsigned(uint64_t(ux) * h / w);
    else
        ux = unsigned(uint64_t(uy) * w / h);
    m_halfWidth = int32_t(ux);
    const int64_t ax = m_anchorX, ay = m_anchorY;
    CanvasRect r;
    r.left = int32_t(std::max<int64_t>(0, ax - ux));
    r.top = int32_t(std::max<int64_t>(0, ay - uy));
    r.right = int32_t(std::min<int64_t>(int64_t(w) - 1, ax + ux));
    r.bottom = int32_t(std::min<int64_t>(int64_t(h) - 1, ay + uy));
    std::lock_guard lock(m_selectionLock);
    m_selection = r;
}

CanvasRect CCanvas::Selection() const
{
    std::lock_guard lock(m_selectionLock);
    return m_selection;
}

void CCanvas::ButtonDown(int x, int y, unsigned flags)
{
    if (!m_zoomEnabled)
        return;
    if (flags & kRightButton) {
        ShowSelection(false);
        return;
    }
    if (!(flags & kLeftButton))
        return;
    // Negative positions are outside the image as well.
    unsigned w = 0, h = 0;
    ZoomImageSize(w, h);
    if (x < 0 || y < 0 || unsigned(x) >= w || unsigned(y) >= h)
        return;
    const bool hadRect = m_selectionVisible && m_halfWidth > 0;
    ShowSelection(false);
    m_anchorX = x;
    m_anchorY = y;
    m_dragging = false;
    FitSelection(hadRect ? m_halfWidth.load() : 0, 0);
    ShowSelection(true);
}

void CCanvas::DragTo(int x, int y, unsigned flags)
{
    if (!m_zoomEnabled || !m_selectionVisible || !(flags & kLeftButton)) {
        m_dragging = false;
        return;
    }
    const int ddx = std::abs(x - m_anchorX);
    const int ddy = std::abs(y - m_anchorY);
    if (m_dragging || ddx > 5 || ddy > 5) {
        m_dragging = true;
        ShowSelection(false);
        FitSelection(ddx, ddy);
    }
    ShowSelection(true);
}

void CCanvas::EndDrag() { m_dragging = false; }
