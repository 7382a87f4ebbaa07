// The property grid and its frame on their own, driven with real clicks and
// keys; a counter stands in for the parameters bar.
#include <gtest/gtest.h>

#include <algorithm>

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include "parameters/GridFrame.h"
#include "parameters/PropertyGrid.h"

namespace {

class Receiver : public QObject {
public:
    int count = 0;
    QTreeWidgetItem* item = nullptr;
    QString text;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::Type(WM_GRID_CHANGED))
            return QObject::event(e);
        auto* changed = static_cast<GridChangedEvent*>(e);
        ++count;
        item = changed->m_grid->m_editItem;
        text = changed->m_grid->m_editText;
        changed->m_result = 1;
        return true;
    }
};

struct Grid {
    CGridFrame frame;
    CPropertyGrid& grid = frame.Grid();
    Receiver receiver;
    QTreeWidgetItem* edited;
    QTreeWidgetItem* stepped;

    Grid()
    {
        frame.Initialise();
        grid.InsertColumn(0, "Variable", 0, 100);
        grid.InsertColumn(1, "Value", 0, 100);
        grid.m_notifyWnd = &receiver;
        edited = grid.AddItem("edited", -1, -1);
        grid.SetCellText(edited, 1, "1.5");
        grid.SetEditable(edited, true);
        stepped = grid.AddItem("stepped", -1, -1);
        grid.SetCellText(stepped, 1, "yes");
        frame.resize(400, 200);
        frame.show();
        QApplication::processEvents();
    }
    QPoint ValuePoint(QTreeWidgetItem* item) const
    {
        return QPoint(grid.GetColumnWidth(0) + 5, grid.visualItemRect(item).center().y());
    }
    QPoint LabelPoint(QTreeWidgetItem* item) const
    {
        return QPoint(grid.GetColumnWidth(0) - 20, grid.visualItemRect(item).center().y());
    }
    void Click(const QPoint& p) { QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, p); }
};

} // namespace

TEST(GridRow, CellsReadAndWriteInPlace)
{
    GridRow row;
    row.SetCell(0, "label");
    EXPECT_EQ(row.Cell(1), "") << "a missing cell reads empty";
    row.SetCell(1, "value");
    EXPECT_EQ(row.m_cells, QStringList({"label", "value"})) << "one cell appended after the label";
    row.SetCell(3, "far");
    EXPECT_EQ(row.m_cells, QStringList({"label", "value", "", "far"}));
    row.SetCell(1, "new");
    EXPECT_EQ(row.Cell(0), "label");
    EXPECT_EQ(row.Cell(1), "new");
    EXPECT_EQ(row.Cell(3), "far");
    // A typed text that holds the old separator stays one cell.
    row.SetCell(1, QString("a") + QChar(0xB6) + "b");
    EXPECT_EQ(row.Cell(2), "");
    EXPECT_EQ(row.Cell(1).size(), 3);
}

TEST(PropertyGrid, ItemsWithoutARowAreIgnored)
{
    Grid g;
    auto* plain = new QTreeWidgetItem(&g.grid);
    g.grid.SetCellText(plain, 1, "x");
    EXPECT_EQ(g.grid.GetCellText(plain, 1), "");
    g.grid.SetEditable(plain, true);
    EXPECT_FALSE(g.grid.IsEditable(plain));
    EXPECT_EQ(g.grid.GetColumnWidth(5), 0);
    EXPECT_EQ(g.grid.GetColumnAlign(0), 0);
    EXPECT_EQ(g.grid.m_totalWidth, g.grid.GetColumnWidth(0) + g.grid.GetColumnWidth(1));
}

TEST(PropertyGrid, EditorOpensSelectedAndReportsOnlyAChange)
{
    Grid g;
    g.Click(g.ValuePoint(g.edited));
    QLineEdit* editor = g.grid.Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "1.5");
    EXPECT_EQ(editor->selectedText(), "1.5");
    EXPECT_EQ(g.receiver.count, 0);

    // Unchanged: closing sends nothing.
    g.Click(g.ValuePoint(g.edited));
    EXPECT_EQ(g.receiver.count, 0);
    ASSERT_NE(g.grid.Editor(), nullptr) << "a fresh editor on the same cell";
    QTest::keyClicks(g.grid.Editor(), "2.25");
    g.Click(g.ValuePoint(g.edited));
    EXPECT_EQ(g.receiver.count, 1);
    EXPECT_EQ(g.receiver.item, g.edited);
    EXPECT_EQ(g.receiver.text, "2.25");
    // The grid interprets nothing: the cell is the receiver's to rewrite.
    EXPECT_EQ(g.grid.GetCellText(g.edited, 1), "1.5");
}

TEST(PropertyGrid, NonEditableRowsReportAtOnceAndOpenNoEditor)
{
    Grid g;
    g.Click(g.ValuePoint(g.stepped));
    EXPECT_EQ(g.receiver.count, 1);
    EXPECT_EQ(g.receiver.item, g.stepped);
    EXPECT_EQ(g.grid.Editor(), nullptr);
    // Below the last row: no editor, the edited item stays.
    g.Click(QPoint(g.grid.GetColumnWidth(0) + 5, g.grid.viewport()->height() - 3));
    EXPECT_EQ(g.receiver.count, 1);
    EXPECT_EQ(g.grid.m_editItem, g.stepped);
}

TEST(PropertyGrid, LabelClicksCommitOnlyForAnotherRow)
{
    Grid g;
    g.Click(g.ValuePoint(g.edited));
    QTest::keyClicks(g.grid.Editor(), "7");
    g.Click(g.LabelPoint(g.edited));
    QApplication::processEvents();
    ASSERT_NE(g.grid.Editor(), nullptr) << "same row: still open";
    EXPECT_EQ(g.grid.currentItem(), g.edited);
    EXPECT_EQ(g.receiver.count, 0);
    g.Click(g.LabelPoint(g.stepped));
    EXPECT_EQ(g.grid.Editor(), nullptr);
    EXPECT_EQ(g.receiver.count, 1);
    EXPECT_EQ(g.receiver.text, "7");
}

TEST(PropertyGrid, EnterCommitsEscapeCancelsFocusElsewhereCommits)
{
    Grid g;
    QLineEdit outside(&g.frame);
    outside.setGeometry(0, 180, 50, 20);
    outside.show();
    g.Click(g.ValuePoint(g.edited));
    QTest::keyClicks(g.grid.Editor(), "3");
    QTest::keyClick(g.grid.Editor(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(g.grid.Editor(), nullptr);
    EXPECT_EQ(g.receiver.count, 0) << "Escape sends no change";

    g.Click(g.ValuePoint(g.edited));
    QTest::keyClicks(g.grid.Editor(), "4");
    QTest::keyClick(g.grid.Editor(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(g.grid.Editor(), nullptr);
    ASSERT_EQ(g.receiver.count, 1);
    EXPECT_EQ(g.receiver.text, "4");

    g.Click(g.ValuePoint(g.edited));
    QTest::keyClicks(g.grid.Editor(), "5");
    outside.setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(g.grid.Editor(), nullptr);
    ASSERT_EQ(g.receiver.count, 2);
    EXPECT_EQ(g.receiver.text, "5");
}

TEST(PropertyGrid, ResizingTheFrameCommitsAndRefitsTheColumns)
{
    Grid g;
    const int border = g.frame.width() - g.frame.contentsRect().width();
    g.grid.Header()->resizeSection(0, 100);
    g.grid.Header()->resizeSection(1, 100);
    g.Click(g.ValuePoint(g.edited));
    QTest::keyClicks(g.grid.Editor(), "9");
    g.frame.resize(299 + border, 200);
    EXPECT_EQ(g.frame.contentsRect().width(), 299);
    EXPECT_EQ(g.receiver.count, 1) << "an open edit is committed first";
    EXPECT_EQ(g.grid.GetColumnWidth(0), 150);
    EXPECT_EQ(g.grid.GetColumnWidth(1), 150);
    EXPECT_EQ(g.grid.m_totalWidth, 300);

    g.grid.Header()->resizeSection(0, 100);
    g.grid.Header()->resizeSection(1, 100);
    g.frame.resize(200 + border, 200);
    // 201 x 100 / 200 truncates to 100.
    EXPECT_EQ(g.grid.GetColumnWidth(0), 100);
    EXPECT_EQ(g.grid.GetColumnWidth(1), 100);

    // Uneven shares truncate and leave the shortfall unassigned.
    g.grid.Header()->resizeSection(0, 50);
    g.grid.Header()->resizeSection(1, 100);
    g.frame.resize(99 + border, 200);
    EXPECT_EQ(g.grid.GetColumnWidth(0), 33);
    EXPECT_EQ(g.grid.GetColumnWidth(1), 66);
}

TEST(PropertyGrid, CellTextIsShortenedWithDotsOnlyWhenItDoesNotFit)
{
    QFont font;
    const QFontMetrics fm(font);
    const QString text = "a rather long value text";
    const int w = fm.horizontalAdvance(text);
    EXPECT_EQ(CPropertyGrid::FitText(fm, text, w + 8), text);
    const QString cut = CPropertyGrid::FitText(fm, text, w + 7);
    ASSERT_TRUE(cut.endsWith("..."));
    const QString kept = cut.left(cut.size() - 3);
    EXPECT_TRUE(text.startsWith(kept));
    EXPECT_LT(kept.size(), text.size() - 1) << "one more character than needed goes";
    EXPECT_LE(fm.horizontalAdvance(kept), w - 1);
    EXPECT_EQ(CPropertyGrid::FitText(fm, text, 4), "...");
    EXPECT_EQ(CPropertyGrid::FitText(fm, "", 0), "");

    // Drawn: a cell too narrow for its text paints no further than its
    // width less 4 pixels.
    QImage image(200, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(Qt::black);
    CPropertyGrid::DrawCell(p, text, QRect(10, 0, 0, 20), 60, 0);
    p.end();
    int rightmost = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                rightmost = std::max(rightmost, x);
    EXPECT_GE(rightmost, 10);
    EXPECT_LT(rightmost, 10 + 60 - 4);
}

TEST(PropertyGrid, SelectedRowIsHighlightedInTheFirstColumnOnly)
{
    Grid g;
    g.Click(g.LabelPoint(g.stepped));
    ASSERT_TRUE(g.stepped->isSelected());
    const QImage shot = g.grid.viewport()->grab().toImage();
    const QRect r = g.grid.visualItemRect(g.stepped);
    const QColor highlight = g.grid.palette().color(QPalette::Highlight);
    const int y = r.top() + 2;
    EXPECT_EQ(QColor(shot.pixel(g.grid.GetColumnWidth(0) - 3, y)), highlight);
    EXPECT_NE(QColor(shot.pixel(g.grid.GetColumnWidth(0) + 60, y)), highlight);
}
