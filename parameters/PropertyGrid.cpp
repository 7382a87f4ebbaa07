// Rows, columns, the in-place editor and the mouse and key rules of the grid.
#include "parameters/PropertyGrid.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>

#include "parameters/GridFrame.h"

namespace {

// Tree items that carry a GridRow.
constexpr int kGridItemType = QTreeWidgetItem::UserType + 1;

class GridItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    GridRow m_row;
};

GridItem* NewItem(QTreeWidget* tree, QTreeWidgetItem* parent, QTreeWidgetItem* after)
{
    if (parent)
        return after ? new GridItem(parent, after, kGridItemType) : new GridItem(parent, kGridItemType);
    if (after)
        return new GridItem(tree, after, kGridItemType);
    auto* item = new GridItem(kGridItemType);
    tree->addTopLevelItem(item);
    return item;
}

int Depth(const QTreeWidgetItem* item)
{
    int d = 0;
    for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        ++d;
    return d;
}

} // namespace

CPropertyGrid::CPropertyGrid(QWidget* parent) : QTreeWidget(parent), m_header(new CGridHeader(this))
{
    m_notifyWnd = parent;
    setHeader(m_header);
    setColumnCount(0);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    connect(m_header, &QHeaderView::sectionResized, this, [this] { RecomputeTotalWidth(); });
}

CPropertyGrid::~CPropertyGrid()
{
    EndEdit();
    m_notifyWnd = nullptr;
}

GridRow* CPropertyGrid::Row(QTreeWidgetItem* item)
{
    return item && item->type() == kGridItemType ? &static_cast<GridItem*>(item)->m_row : nullptr;
}

void CPropertyGrid::RecomputeTotalWidth()
{
    int total = 0;
    for (int i = 0; i < m_columnCount; ++i)
        total += m_header->sectionSize(i);
    m_totalWidth = total;
}

int CPropertyGrid::InsertColumn(int index, const QString& caption, int align, int width)
{
    index = qBound(0, index, m_columnCount);
    const Qt::Alignment a = align == 1 ? Qt::AlignRight : align == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
    setColumnCount(m_columnCount + 1);
    QTreeWidgetItem* h = headerItem();
    // Later columns move one place right, with their captions and widths.
    for (int i = m_columnCount; i > index; --i) {
        h->setText(i, h->text(i - 1));
        h->setTextAlignment(i, Qt::Alignment(h->textAlignment(i - 1)));
        m_header->resizeSection(i, m_header->sectionSize(i - 1));
    }
    h->setText(index, caption);
    h->setTextAlignment(index, a | Qt::AlignVCenter);
    if (width != -1)
        m_header->resizeSection(index, width);
    if (++m_columnCount == 1)
        m_header->SetImage(0, -1);
    RecomputeTotalWidth();
    return index;
}

int CPropertyGrid::GetColumnWidth(int index) const
{
    return index >= 0 && index < m_columnCount ? m_header->sectionSize(index) : 0;
}

int CPropertyGrid::GetColumnAlign(int index) const
{
    if (index < 0 || index >= m_columnCount)
        return 0;
    const int a = headerItem()->textAlignment(index);
    return (a & Qt::AlignRight) ? 1 : (a & Qt::AlignHCenter) ? 2 : 0;
}

QTreeWidgetItem* CPropertyGrid::AddItem(const QString& label, int image, int selectedImage, QTreeWidgetItem* parent,
                                        QTreeWidgetItem* insertAfter)
{
    GridItem* item = NewItem(this, parent, insertAfter);
    item->m_row.m_textColor = palette().color(QPalette::WindowText);
    item->m_row.SetCell(0, label);
    if (image >= 0 && image < m_images.size()) {
        QIcon icon = m_images[image];
        if (selectedImage >= 0 && selectedImage < m_images.size() && selectedImage != image)
            icon.addPixmap(m_images[selectedImage].pixmap(iconSize()), QIcon::Selected);
        item->setIcon(0, icon);
    }
    if (m_frame)
        m_frame->UpdateExtent();
    return item;
}

void CPropertyGrid::SetCellText(QTreeWidgetItem* item, int column, const QString& text)
{
    GridRow* row = Row(item);
    if (!row)
        return;
    row->SetCell(column, text);
    viewport()->update(visualItemRect(item));
}

QString CPropertyGrid::GetCellText(QTreeWidgetItem* item, int column) const
{
    const GridRow* row = Row(item);
    return row ? row->Cell(column) : QString();
}

void CPropertyGrid::SetEditable(QTreeWidgetItem* item, bool editable)
{
    if (GridRow* row = Row(item)) {
        row->m_editable = editable ? 1 : 0;
        viewport()->update(visualItemRect(item));
    }
}

bool CPropertyGrid::IsEditable(QTreeWidgetItem* item) const
{
    const GridRow* row = Row(item);
    return row && row->m_editable;
}

void CPropertyGrid::DeleteAllRows()
{
    // The rows go, so an editor still open has nothing left to write to.
    CancelEdit();
    setUpdatesEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    clear(); // each item frees its GridRow
    m_editItem = nullptr;
    QApplication::restoreOverrideCursor();
    setUpdatesEnabled(true);
}

bool CPropertyGrid::Notify()
{
    if (!m_notifyWnd)
        return false;
    GridChangedEvent e(this);
    QCoreApplication::sendEvent(m_notifyWnd, &e);
    return e.m_keepEditing;
}

void CPropertyGrid::SetReadOnly(bool readOnly)
{
    if (readOnly == m_readOnly)
        return;
    // An edit cannot be written any more; the cell keeps its value.
    if (readOnly)
        CancelEdit();
    m_readOnly = readOnly;
    viewport()->update();
}

void CPropertyGrid::BeginEdit(QTreeWidgetItem* item, int column)
{
    EndEdit();
    // A refused text stays in its editor until it is mended or cancelled.
    if (m_editor || m_readOnly)
        return;
    m_editItem = item;
    if (!IsEditable(item)) {
        Notify();
        return;
    }
    auto* editor = new QLineEdit(viewport());
    editor->setObjectName("1005");
    editor->setFrame(false);
    editor->setText(GetCellText(item, column));
    editor->setFont(font());
    editor->installEventFilter(this);
    m_editor = editor;
    PlaceEditor();
    editor->selectAll();
    editor->show();
    editor->setFocus(Qt::MouseFocusReason);
}

void CPropertyGrid::PlaceEditor()
{
    if (!m_editor || !m_editItem)
        return;
    const QRect r = visualItemRect(m_editItem);
    const int left = GetColumnWidth(0) + m_hOffset;
    m_editor->setGeometry(left, r.top(), GetColumnWidth(1), r.height());
}

void CPropertyGrid::DiscardEditor(QLineEdit* editor)
{
    if (!editor)
        return;
    editor->removeEventFilter(this);
    // Focus stays in the grid rather than wandering to the next widget.
    if (editor->hasFocus())
        setFocus(Qt::OtherFocusReason);
    editor->hide();
    // Never freed inside one of its own handlers.
    editor->deleteLater();
}

void CPropertyGrid::EndEdit()
{
    if (!m_editor)
        return;
    const QString cell = GetCellText(m_editItem, 1);
    QLineEdit* editor = m_editor;
    m_editText = editor->text();
    // Taken out first: an EndEdit reached while the change is handled finds
    // no editor.
    m_editor = nullptr;
    const bool refused = m_notifyWnd && cell != m_editText && Notify();
    if (refused && editor && m_editItem && Row(m_editItem)) {
        // The editor covers the cell, so it carries the cell's tooltip,
        // which now says why.
        editor->setToolTip(m_editItem->toolTip(1));
        m_editor = editor;
        return;
    }
    DiscardEditor(editor);
}

void CPropertyGrid::CancelEdit()
{
    QLineEdit* editor = m_editor;
    m_editor = nullptr;
    DiscardEditor(editor);
}

bool CPropertyGrid::eventFilter(QObject* watched, QEvent* e)
{
    if (watched != m_editor)
        return QTreeWidget::eventFilter(watched, e);
    if (e->type() == QEvent::ShortcutOverride) {
        // Enter and Escape belong to the editor: the window's keys (Enter
        // paints) must not take them first.
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            e->accept();
            return true;
        }
    } else if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            QPointer<QLineEdit> editor = m_editor;
            QTimer::singleShot(0, this, [this, editor] {
                if (editor && m_editor == editor)
                    EndEdit();
            });
            return true;
        }
        if (key == Qt::Key_Escape) {
            CancelEdit();
            return true;
        }
    } else if (e->type() == QEvent::FocusOut) {
        // Decided after the event: a click elsewhere in the grid handles the
        // editor itself, and a row reload must not run inside a mouse or
        // focus handler that still holds an item.
        QPointer<QLineEdit> editor = m_editor;
        QTimer::singleShot(0, this, [this, editor] {
            if (!editor || m_editor != editor)
                return;
            QWidget* now = QApplication::focusWidget();
            if (now && now != this && !isAncestorOf(now))
                EndEdit();
        });
    }
    return QTreeWidget::eventFilter(watched, e);
}

void CPropertyGrid::scrollContentsBy(int dx, int dy)
{
    QTreeWidget::scrollContentsBy(dx, dy);
    PlaceEditor();
}

void CPropertyGrid::FitToFrame()
{
    if (!m_frame)
        return;
    setGeometry(m_frame->contentsRect());
}

int CPropertyGrid::TextLeft(QTreeWidgetItem* item) const
{
    const int indent = indentation() * (Depth(item) + (rootIsDecorated() ? 1 : 0));
    int left = indent + (item->icon(0).isNull() ? 0 : iconSize().width() + 2);
    if (m_columnCount >= 2)
        left = qMin(left, GetColumnWidth(0));
    return left;
}

bool CPropertyGrid::OnExpandButton(QTreeWidgetItem* item, int x) const
{
    if (!item || item->childCount() == 0 || !rootIsDecorated())
        return false;
    const int start = indentation() * Depth(item);
    return x >= start && x < start + indentation();
}

void CPropertyGrid::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        e->accept();
        return;
    }
    const QPoint p = e->position().toPoint();
    QTreeWidgetItem* hit = itemAt(p);
    if (hit && !OnExpandButton(hit, p.x() - m_hOffset)) {
        setCurrentItem(hit);
        setFocus(Qt::MouseFocusReason);
    }
    if (m_columnCount > 0 && p.x() >= GetColumnWidth(0) + m_hOffset) {
        EndEdit();
        if (m_editor) { // refused: the user mends it first
            m_editor->setFocus(Qt::MouseFocusReason);
            FitToFrame();
            e->accept();
            return;
        }
        // The change may have listed the rows afresh.
        hit = itemAt(p);
        if (hit)
            BeginEdit(hit, 1);
    } else {
        hit = itemAt(p);
        if (hit && OnExpandButton(hit, p.x() - m_hOffset))
            hit->setExpanded(!hit->isExpanded());
        setFocus(Qt::MouseFocusReason);
    }
    if (hit != m_editItem)
        EndEdit();
    FitToFrame();
    e->accept();
}

void CPropertyGrid::mouseDoubleClickEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    if (e->button() == Qt::LeftButton && (m_columnCount == 0 || p.x() < GetColumnWidth(0) + m_hOffset)) {
        if (QTreeWidgetItem* hit = itemAt(p); hit && !OnExpandButton(hit, p.x() - m_hOffset))
            hit->setExpanded(!hit->isExpanded());
        FitToFrame();
    }
    if (!m_editor)
        setFocus(Qt::MouseFocusReason);
    e->accept();
}

void CPropertyGrid::mouseReleaseEvent(QMouseEvent* e) { e->accept(); }

void CPropertyGrid::mouseMoveEvent(QMouseEvent* e) { e->accept(); }

void CPropertyGrid::keyPressEvent(QKeyEvent* e)
{
    QTreeWidget::keyPressEvent(e);
    FitToFrame();
}
