#pragma once
// The property grid: a tree whose rows carry text cells that the grid paints
// itself. Column 0 holds the tree and the label, column 1 the value. A click
// on a value cell either opens a one-line editor over it or, for rows that
// are not edited as text, is reported at once. Either way the notify object
// hears of it through a GridChangedEvent; the grid never interprets a value.

#include <QEvent>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>
#include <QTreeWidget>

#include <map>
#include <set>

class CGridFrame;
class CPropertyGrid;

// The message the grid sends to its notify object, synchronously.
constexpr int WM_GRID_CHANGED = 1101;

class GridChangedEvent : public QEvent {
public:
    explicit GridChangedEvent(CPropertyGrid* grid) : QEvent(QEvent::Type(WM_GRID_CHANGED)), m_grid(grid) {}
    CPropertyGrid* m_grid;
    // Set by the receiver: 1 when it updated a row.
    int m_result = 0;
    // Set by the receiver of an edited text it refused: the editor stays
    // open with the text, for the user to mend or cancel.
    bool m_keepEditing = false;
};

// The record behind every row: its cells, in column order (cell 0 is the
// label). Kept as a list, so that no text a user types can be mistaken for
// a cell boundary.
struct GridRow {
    QStringList m_cells;
    int m_editable = 0;
    QColor m_textColor;

    QString Cell(int i) const;
    // Cells before and after stay; missing cells up to `i` are added empty.
    void SetCell(int i, const QString& text);
};

// Column captions: those marked owner-drawn are drawn here (inset, one line,
// elided), the others by the style.
class CGridHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit CGridHeader(QWidget* parent = nullptr);

    // Shares the frame's client width among the columns other than `except`
    // in their present proportions.
    void FitColumns(int except, int extra);
    // The picture index of a column (-1 none); also marks it owner-drawn.
    void SetImage(int column, int image);
    void MarkAllOwnerDrawn();
    bool IsOwnerDrawn(int column) const { return m_ownerDrawn.count(column) != 0; }
    void SetHeight(int h)
    {
        m_height = h;
        updateGeometry();
    }

    bool m_fitEnabled = false;
    // Whose client rectangle the columns are fitted to.
    QWidget* m_fitTo = nullptr;

    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    int m_pressed = -1;
    std::map<int, int> m_images;
    std::set<int> m_ownerDrawn;
    int m_height = 0;
};

class CPropertyGrid : public QTreeWidget {
    Q_OBJECT
public:
    explicit CPropertyGrid(QWidget* parent = nullptr);
    ~CPropertyGrid() override;

    int InsertColumn(int index, const QString& caption, int align, int width);
    int GetColumnWidth(int index) const;
    int GetColumnAlign(int index) const;
    // A row with `label` in cell 0, under `parent` (none: top level) after
    // `insertAfter` (none: after all others).
    QTreeWidgetItem* AddItem(const QString& label, int image, int selectedImage, QTreeWidgetItem* parent = nullptr,
                             QTreeWidgetItem* insertAfter = nullptr);
    void SetCellText(QTreeWidgetItem* item, int column, const QString& text);
    QString GetCellText(QTreeWidgetItem* item, int column) const;
    void SetEditable(QTreeWidgetItem* item, bool editable);
    bool IsEditable(QTreeWidgetItem* item) const;
    void DeleteAllRows();
    void BeginEdit(QTreeWidgetItem* item, int column);
    // Commits the open editor; a change is reported before the editor goes.
    // A text the receiver refuses keeps the editor open with it.
    void EndEdit();
    // Closes the open editor without reporting anything.
    void CancelEdit();
    void FitToFrame();
    void RecomputeTotalWidth();
    // Read-only rows are drawn greyed and open no editor; clicks on their
    // values are not reported.
    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const { return m_readOnly; }

    // The pictures rows refer to by index.
    void SetImages(const QList<QIcon>& images) { m_images = images; }
    // Shortens `text` to `width` - 8 pixels with "..." and draws it.
    static void DrawCell(QPainter& p, const QString& text, const QRect& cell, int width, int align);
    // The text DrawCell draws for `text` in a cell `width` wide.
    static QString FitText(const QFontMetrics& fm, const QString& text, int width);

    static GridRow* Row(QTreeWidgetItem* item);
    CGridHeader* Header() const { return m_header; }
    QLineEdit* Editor() const { return m_editor; }

    int m_columnCount = 0;
    int m_totalWidth = 0;
    QPointer<QObject> m_notifyWnd;
    // The header's font, chosen by the grid frame; the rows keep the tree's.
    QFont m_font;
    int m_hOffset = 0;
    QTreeWidgetItem* m_editItem = nullptr;
    QString m_editText;
    CGridFrame* m_frame = nullptr;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // True when the receiver refused the edited text.
    bool Notify();
    bool OnExpandButton(QTreeWidgetItem* item, int x) const;
    int TextLeft(QTreeWidgetItem* item) const;
    void PlaceEditor();
    void DiscardEditor(QLineEdit* editor);

    CGridHeader* m_header;
    bool m_readOnly = false;
    QPointer<QLineEdit> m_editor;
    QList<QIcon> m_images;
};
