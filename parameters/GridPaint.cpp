// Painting of the grid's rows: the tree part by the view, the cells here,
// with only the first column highlighted in a selected row.
#include <QPainter>

#include "parameters/PropertyGrid.h"

QString CPropertyGrid::FitText(const QFontMetrics& fm, const QString& text, int width)
{
    if (text.isEmpty() || fm.horizontalAdvance(text) <= width - 8)
        return text;
    QString t = text;
    while (!t.isEmpty() && fm.horizontalAdvance(t) > width - 8)
        t.chop(1);
    if (!t.isEmpty())
        t.chop(1);
    return t + "...";
}

void CPropertyGrid::DrawCell(QPainter& p, const QString& text, const QRect& cell, int width, int align)
{
    const QString shown = FitText(p.fontMetrics(), text, width);
    const QRect r(cell.left(), cell.top(), width - 4, cell.height());
    if (shown.isEmpty() || r.width() <= 0)
        return;
    const int h = align == 1 ? Qt::AlignRight : align == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
    p.drawText(r, h | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void CPropertyGrid::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QTreeWidgetItem* item = itemFromIndex(index);
    if (!item)
        return;
    const GridRow* row = Row(item);
    const QPalette& pal = palette();
    const QColor background = pal.color(QPalette::Base);
    const int x0 = m_hOffset;
    const int col0 = GetColumnWidth(0);
    const QRect full = option.rect;

    // The tree part: lines and expand button, then the picture.
    const int depth = [item] {
        int d = 0;
        for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
            ++d;
        return d;
    }();
    const int indent = indentation() * (depth + (rootIsDecorated() ? 1 : 0));
    painter->fillRect(QRect(x0, full.top(), qMax(m_totalWidth, viewport()->width()), full.height()), background);
    drawBranches(painter, QRect(x0, full.top(), indent, full.height()), index);
    const bool selected = item->isSelected();
    if (!item->icon(0).isNull()) {
        const QSize is = iconSize();
        const QRect ir(x0 + indent, full.top() + (full.height() - is.height()) / 2, is.width(), is.height());
        item->icon(0).paint(painter, ir, Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);
    }
    if (!row)
        return;

    const int left = TextLeft(item);
    QRect r(x0 + left, full.top(), m_totalWidth - left, full.height());
    painter->save();
    painter->setFont(font());
    if (selected) {
        r.setRight(x0 + col0 - 1);
        painter->fillRect(r, pal.color(QPalette::Highlight));
        QPen dotted(pal.color(QPalette::HighlightedText), 1, Qt::DotLine);
        painter->setPen(dotted);
        painter->drawRect(r.adjusted(0, 0, -1, -1));
        painter->setPen(pal.color(QPalette::HighlightedText));
    } else if (m_readOnly) {
        painter->setPen(pal.color(QPalette::Disabled, QPalette::WindowText));
    } else {
        painter->setPen(row->m_textColor.isValid() ? row->m_textColor : pal.color(QPalette::WindowText));
    }
    DrawCell(*painter, row->Cell(0), QRect(x0 + left + 2, r.top(), 0, r.height()), col0 - left - 2, GetColumnAlign(0));
    if (selected)
        painter->setPen(pal.color(m_readOnly ? QPalette::Disabled : QPalette::Active, QPalette::WindowText));
    int x = x0;
    for (int i = 1; i < m_columnCount; ++i) {
        x += GetColumnWidth(i - 1);
        DrawCell(*painter, row->Cell(i), QRect(x, r.top(), 0, r.height()), GetColumnWidth(i), GetColumnAlign(i));
    }
    painter->restore();
}
