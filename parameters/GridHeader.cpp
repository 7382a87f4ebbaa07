// The grid's column header and the cells of a row.
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>

#include <cstdint>
#include <vector>

#include "parameters/PropertyGrid.h"

QString GridRow::Cell(int i) const { return i >= 0 && i < m_cells.size() ? m_cells[i] : QString(); }

void GridRow::SetCell(int i, const QString& text)
{
    if (i < 0)
        return;
    while (m_cells.size() <= i)
        m_cells.append(QString());
    m_cells[i] = text;
}

CGridHeader::CGridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setSectionsMovable(false);
    setStretchLastSection(false);
    setMinimumSectionSize(0);
    setSectionResizeMode(QHeaderView::Interactive);
    setSortIndicatorShown(false);
    // A click on a caption only switches every caption to our own drawing;
    // rows are never sorted.
    connect(this, &QHeaderView::sectionClicked, this, [this] { MarkAllOwnerDrawn(); });
}

QSize CGridHeader::sizeHint() const
{
    QSize s = QHeaderView::sizeHint();
    if (m_height > 0)
        s.setHeight(m_height);
    return s;
}

void CGridHeader::SetImage(int column, int image)
{
    m_images[column] = image;
    m_ownerDrawn.insert(column);
    viewport()->update();
}

void CGridHeader::MarkAllOwnerDrawn()
{
    for (int i = 0; i < count(); ++i)
        m_ownerDrawn.insert(i);
    viewport()->update();
}

void CGridHeader::FitColumns(int except, int extra)
{
    if (!m_fitEnabled)
        return;
    QWidget* frame = m_fitTo ? m_fitTo : parentWidget();
    if (!frame)
        return;
    setUpdatesEnabled(false);
    const QRect client = frame->contentsRect();
    // Right edge exclusive, as the columns are measured against it.
    int right = client.left() + client.width();
    if (except != -1)
        right -= extra;
    int64_t sum = 0;
    for (int i = 0; i < count(); ++i)
        if (i != except)
            sum += sectionSize(i);
    const int64_t available = int64_t(right) - client.left() + 1;
    if (sum != available) {
        if (sum == 0)
            sum = 1;
        std::vector<int> widths(count());
        for (int i = 0; i < count(); ++i)
            widths[i] = sectionSize(i);
        for (int i = 0; i < count(); ++i)
            if (i != except)
                resizeSection(i, int(available * widths[i] / sum));
    }
    setUpdatesEnabled(true);
    viewport()->update();
}

void CGridHeader::mousePressEvent(QMouseEvent* e)
{
    m_pressed = logicalIndexAt(e->position().toPoint());
    QHeaderView::mousePressEvent(e);
}

void CGridHeader::mouseReleaseEvent(QMouseEvent* e)
{
    m_pressed = -1;
    QHeaderView::mouseReleaseEvent(e);
    viewport()->update();
}

void CGridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!IsOwnerDrawn(logicalIndex)) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    const bool pressed = logicalIndex == m_pressed;
    if (pressed)
        opt.state |= QStyle::State_Sunken;
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);

    const QString caption = model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    const int alignData = model() ? model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole).toInt() : 0;
    const Qt::Alignment h = Qt::Alignment(alignData) & Qt::AlignHorizontal_Mask;
    const QFontMetrics fm(font());
    const int inset = 2 * fm.horizontalAdvance(QLatin1Char(' '));
    QRect text = rect.adjusted(inset, 0, -inset, 0);
    if (pressed)
        text.translate(1, 2);
    painter->save();
    painter->setFont(font());
    painter->setPen(palette().color(QPalette::ButtonText));
    painter->drawText(text, int(h ? h : Qt::AlignLeft) | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                      fm.elidedText(caption, Qt::ElideRight, qMax(0, text.width())));
    painter->restore();
}
