// The Properties bar in the main window: rows of the active document's
// fractal, edits by real clicks and keys, following the active view, and
// the bar's sizes and visibility kept in the settings.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QSettings>
#include <QStatusBar>
#include <QTest>

#include "app/MainFrame.h"
#include "app/TileBar.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/tile/TileSet.h"
#include "parameters/ParametersBar.h"

namespace {

const char* const kModes[3] = {"first", "second", "third"};
const char* const kOnOff[2] = {"on", "off"};

// A fractal with one row of each kind the bar treats differently.
class RowsFractal : public CFractal {
public:
    void Build(CCanvas&) override {}
    int FillProperties(PropertyList& list) override
    {
        list.AddRow("Name", &m_name, kRowString);
        list.AddRow("mode", &m_mode, 3, kModes);
        list.AddRow("flag", &m_flag, kRowBoolean, kOnOff);
        list.BeginGroup("Group");
        list.AddRow("value", &m_value, kRowDouble);
        list.AddRow("count", &m_count, kRowInteger);
        list.EndGroup();
        return list.m_level;
    }
    uint32_t m_mode = 0;
    bool m_flag = true;
    double m_value = 1;
    int32_t m_count = 4;
};

bool WaitIdle(CFractal_Doc* doc, int ms = 60000)
{
    return QTest::qWaitFor([&] { return !doc->IsBuilding(); }, ms);
}

struct Window {
    CMainFrame frame;
    CParametersBar* bar = frame.ParametersBar();
    CPropertyGrid& grid = bar->Grid();
    CFractal_Doc* doc = nullptr;

    explicit Window(int type)
    {
        frame.show();
        doc = frame.NewFractalDocument(type);
        QApplication::processEvents();
    }
    RowsFractal* UseRowsFractal()
    {
        auto f = std::make_unique<RowsFractal>();
        RowsFractal* raw = f.get();
        doc->SetFractal(std::move(f));
        return raw;
    }
    QString Cell(const QString& label) { return grid.GetCellText(bar->FindItem(label), 1); }
    void ClickValue(const QString& label)
    {
        grid.expandAll();
        QTreeWidgetItem* item = bar->FindItem(label);
        ASSERT_NE(item, nullptr) << label.toStdString();
        grid.scrollToItem(item);
        QApplication::processEvents();
        const QRect r = grid.visualItemRect(item);
        ASSERT_FALSE(r.isEmpty());
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(grid.GetColumnWidth(0) + 5, r.center().y()));
    }
    void Type(const QString& label, const QString& text)
    {
        ClickValue(label);
        ASSERT_NE(grid.Editor(), nullptr);
        QTest::keyClicks(grid.Editor(), text);
    }
};

} // namespace

TEST(ParametersBar, IsTheHostAndListsTheActiveDocument)
{
    Window w(kTypeMandelbrot);
    EXPECT_EQ(w.doc->Host(), w.bar);
    EXPECT_EQ(w.bar->windowTitle(), "Properties");
    EXPECT_EQ(w.bar->objectName(), "123");
    EXPECT_EQ(w.grid.headerItem()->text(0), "Variable");
    EXPECT_EQ(w.grid.headerItem()->text(1), "Value");
    EXPECT_EQ(w.grid.viewport()->statusTip(), "Parameters window. Click any value to edit");
    EXPECT_EQ(w.grid.viewport()->toolTip(), "Click to edit");
    ASSERT_EQ(w.bar->Document(), w.doc);
    EXPECT_EQ(w.grid.topLevelItemCount(), 4) << "Main, Colors, iterations and Coloring";
    // Editable exactly for text, integer, double and float rows.
    for (int i = 0; i < w.bar->RowCount(); ++i) {
        const int t = w.bar->RowAt(i).type;
        const bool text = t == kRowString || t == kRowInteger || t == kRowDouble || t == kRowFloat;
        EXPECT_EQ(w.grid.IsEditable(w.bar->ItemAt(i)), text) << w.bar->RowAt(i).label;
        EXPECT_EQ(w.grid.GetCellText(w.bar->ItemAt(i), 0), w.bar->RowAt(i).label);
        EXPECT_EQ(w.grid.GetCellText(w.bar->ItemAt(i), 1).toStdString(), ValueText(w.bar->RowAt(i)));
    }
    EXPECT_EQ(w.Cell("x"), "-0.5");
}

TEST(ParametersBar, TypedDoubleIsSetWhenAnotherRowIsClicked)
{
    Window w(kTypeMandelbrot);
    w.ClickValue("precision");
    QLineEdit* editor = w.grid.Editor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->selectedText(), editor->text());
    EXPECT_EQ(editor->text(), w.Cell("precision"));
    QTest::keyClicks(editor, "12.5");
    w.ClickValue("y");
    auto* m = static_cast<CMandelbrotSet*>(w.doc->m_fractal.get());
    EXPECT_DOUBLE_EQ(m->m_precision, 12.5);
    EXPECT_EQ(w.Cell("precision"), "12.5");

    // Text that does not parse leaves the value, and the cell shows it again.
    QTest::keyClicks(w.grid.Editor(), "abc");
    w.ClickValue("x");
    EXPECT_DOUBLE_EQ(m->m_centerY, 0.0);
    EXPECT_EQ(w.Cell("y"), "0");
}

TEST(ParametersBar, ARefusedTextStaysInItsEditorAndARangedOneShowsTheValueInForce)
{
    Window w(kTypeMandelbrot);
    auto* m = static_cast<CMandelbrotSet*>(w.doc->m_fractal.get());
    QStatusBar* status = w.frame.statusBar();
    for (const char* text : {"nan", "abc", "inf", "1e400", "1e-100001"}) {
        w.ClickValue("radius");
        QLineEdit* editor = w.grid.Editor();
        ASSERT_NE(editor, nullptr);
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
        ASSERT_EQ(w.grid.Editor(), editor) << text << ": the editor stays open";
        EXPECT_EQ(editor->text(), text);
        EXPECT_DOUBLE_EQ(m->m_halfSize, 2.0) << text;
        EXPECT_EQ(w.Cell("radius"), "2");
        const QString note = status->currentMessage();
        EXPECT_TRUE(note.startsWith(QString("\"radius\": \"%1\" is ").arg(text))) << note.toStdString();
        EXPECT_TRUE(note.endsWith("the value stays 2")) << note.toStdString();
        EXPECT_TRUE(w.bar->FindItem("radius")->toolTip(1).startsWith(note));
        // A click on another value keeps the text to be mended; Escape drops it.
        w.ClickValue("precision");
        EXPECT_EQ(w.grid.Editor(), editor);
        QTest::keyClick(editor, Qt::Key_Escape);
        ASSERT_EQ(w.grid.Editor(), nullptr);
    }
    // Counts outside 1 to 100000000 are brought to the nearer end, shown.
    for (auto [text, used] : {std::pair{"0", "1"}, {"-5", "1"}, {"200000000", "100000000"}, {"2,5", "2"}}) {
        w.Type("iterations", "");
        w.grid.Editor()->setText(text);
        w.ClickValue("x");
        EXPECT_EQ(w.Cell("iterations"), used) << text;
        EXPECT_EQ(QString::number(m->m_maxIterations), used);
        EXPECT_TRUE(status->currentMessage().endsWith(QString("the value is now ") + used))
            << status->currentMessage().toStdString();
        QTest::keyClick(w.grid.Editor(), Qt::Key_Escape);
    }
    // A text taken as it stands says nothing and gives the row its help back.
    w.Type("iterations", "");
    w.grid.Editor()->setText("5000");
    w.ClickValue("x");
    EXPECT_EQ(m->m_maxIterations, 5000);
    EXPECT_TRUE(w.bar->LastNote().isEmpty());
    EXPECT_TRUE(w.bar->FindItem("iterations")->toolTip(1).startsWith("Steps of"));
}

TEST(ParametersBar, FlagsFlipAndEnumerationsStepAround)
{
    Window w(kTypeMandelbrot);
    RowsFractal* f = w.UseRowsFractal();
    ASSERT_EQ(w.bar->Fractal(), f);
    EXPECT_EQ(w.Cell("flag"), "on");
    w.ClickValue("flag");
    EXPECT_FALSE(f->m_flag);
    EXPECT_EQ(w.Cell("flag"), "off");
    EXPECT_EQ(w.grid.Editor(), nullptr);
    w.ClickValue("flag");
    EXPECT_TRUE(f->m_flag);

    std::vector<uint32_t> seen{f->m_mode};
    for (int i = 0; i < 3; ++i) {
        w.ClickValue("mode");
        seen.push_back(f->m_mode);
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{0, 1, 2, 0}));
    EXPECT_EQ(w.Cell("mode"), "first");
    // A group header's value cell changes nothing.
    w.ClickValue("Group");
    EXPECT_EQ(w.Cell("Group"), "");
    EXPECT_EQ(w.grid.Editor(), nullptr);
}

TEST(ParametersBar, EditingTheNameRetitlesTheDocument)
{
    Window w(kTypeMandelbrot);
    w.UseRowsFractal();
    w.Type("Name", "Spiral");
    QTest::keyClick(w.grid.Editor(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(w.doc->m_fractal->m_name, "Spiral");
    EXPECT_EQ(w.doc->Title(), "Spiral");
    EXPECT_EQ(w.frame.ActiveChild()->windowTitle(), "Spiral[*]");

    // Escape keeps the old name and sends nothing.
    w.Type("Name", "Other");
    QTest::keyClick(w.grid.Editor(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(w.doc->Title(), "Spiral");
    EXPECT_EQ(w.Cell("Name"), "Spiral");
}

TEST(ParametersBar, ANewDeterminantListsTheNewDigitRows)
{
    Window w(kTypeTile);
    ASSERT_TRUE(WaitIdle(w.doc));
    auto* t = static_cast<CTileSet*>(w.doc->m_fractal.get());
    const int before = w.bar->RowCount();
    const int digits = t->DigitCount();
    EXPECT_NE(w.bar->FindItem(QString("x%1").arg(digits - 1)), nullptr);
    EXPECT_EQ(w.bar->FindItem(QString("x%1").arg(digits + 1)), nullptr);
    // A leading zero differs from the cell's text, so it is a change.
    w.Type("Determinant", QString("0%1").arg(digits + 2));
    ASSERT_NE(w.grid.Editor(), nullptr);
    EXPECT_EQ(w.grid.Editor()->text(), QString("0%1").arg(digits + 2));
    EXPECT_EQ(w.grid.m_editItem, w.bar->FindItem("Determinant"));
    w.ClickValue("Deep");
    EXPECT_EQ(t->m_determinant, digits + 2);
    EXPECT_EQ(w.bar->RowCount(), before + 6);
    EXPECT_NE(w.bar->FindItem(QString("x%1").arg(digits + 1)), nullptr);
    EXPECT_EQ(w.Cell("Determinant"), QString::number(digits + 2));
    // Listed afresh: the group starts collapsed again after the reload.
    EXPECT_FALSE(w.bar->FindItem("Maps")->isExpanded());
}

TEST(ParametersBar, AnOpenEditIsCommittedBeforeABuild)
{
    Window w(kTypeMandelbrot);
    w.Type("precision", "7.5");
    w.doc->OnBuild(kCmdRebuild);
    EXPECT_EQ(w.grid.Editor(), nullptr);
    EXPECT_DOUBLE_EQ(static_cast<CMandelbrotSet*>(w.doc->m_fractal.get())->m_precision, 7.5);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.Cell("precision"), "7.5");
}

TEST(ParametersBar, EditsWaitWhileTheShownDocumentBuilds)
{
    Window w(kTypeMandelbrot);
    // A slow 3-D sample, so the build is still running during the clicks.
    w.doc->OnSample(5);
    const std::string name = w.doc->m_fractal->m_name;
    w.Type("Name", "changed");
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(w.doc->IsBuilding());
    EXPECT_EQ(w.doc->m_fractal->m_name, "changed") << "committed before the build";
    // The rows are read-only now: a click opens no editor.
    w.ClickValue("Name");
    const bool opened = w.grid.Editor() != nullptr;
    const bool stillBuilding = w.doc->IsBuilding();
    w.doc->OnStop();
    ASSERT_TRUE(WaitIdle(w.doc));
    if (!stillBuilding)
        GTEST_SKIP() << "the build ended before the edit";
    EXPECT_FALSE(opened);
    EXPECT_EQ(w.doc->m_fractal->m_name, "changed");
    EXPECT_EQ(w.Cell("Name"), "changed");
    (void)name;
}

TEST(ParametersBar, FollowsTheActivatedViewAndEmptiesWhenItsDocumentCloses)
{
    Window w(kTypeMandelbrot);
    QMdiSubWindow* a = w.frame.MdiArea()->activeSubWindow();
    CFractal_Doc* docA = w.doc;
    CFractal_Doc* docB = w.frame.NewFractalDocument(kTypeTile);
    QApplication::processEvents();
    QMdiSubWindow* b = w.frame.MdiArea()->activeSubWindow();
    ASSERT_NE(a, b);
    EXPECT_EQ(w.bar->Document(), docB);
    EXPECT_NE(w.bar->FindItem("Determinant"), nullptr);

    w.frame.MdiArea()->setActiveSubWindow(a);
    QApplication::processEvents();
    EXPECT_EQ(w.bar->Document(), docA);
    EXPECT_EQ(w.bar->FindItem("Determinant"), nullptr);
    EXPECT_NE(w.bar->FindItem("precision"), nullptr);
    QTreeWidgetItem* first = w.bar->ItemAt(0);
    w.frame.MdiArea()->setActiveSubWindow(a);
    QApplication::processEvents();
    EXPECT_EQ(w.bar->ItemAt(0), first) << "activating the shown document again changes nothing";

    // The power tool lists the rows afresh.
    w.frame.Command(Cmd::kPowerTool)->trigger();
    EXPECT_EQ(w.bar->Document(), docA);

    // Closing a building document would ask first.
    ASSERT_TRUE(WaitIdle(docA));
    ASSERT_TRUE(WaitIdle(docB));
    QPointer<CFractal_Doc> gone = docA;
    a->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gone.isNull(); }, 5000));
    EXPECT_NE(w.bar->Document(), docA);
    w.frame.MdiArea()->closeAllSubWindows();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.bar->Document() == nullptr; }, 5000));
    EXPECT_EQ(w.bar->Document(), nullptr);
    EXPECT_EQ(w.bar->RowCount(), 0);
    EXPECT_EQ(w.grid.topLevelItemCount(), 0);
}

TEST(SizingControlBar, SizesBelowTheMinimumLoadAsTheMinimum)
{
    QSettings().setValue("BarState-SCBar-123/sizeVertCX", 10);
    QSettings().setValue("BarState-SCBar-123/sizeFloatCY", 5);
    {
        CMainFrame frame;
        EXPECT_EQ(frame.ParametersBar()->m_vertSize.width(), 33);
        EXPECT_EQ(frame.ParametersBar()->m_floatSize.height(), 32);
        // The tile bar keeps its first-run size: the whole chart.
        EXPECT_EQ(frame.TileBar()->m_vertSize, QSize(406, 216)) << "another bar, its own section";
        frame.ParametersBar()->m_horzSize = QSize(321, 45);
        frame.ParametersBar()->SaveBarSizes("Test");
    }
    CParametersBar bar;
    bar.LoadBarSizes("Test");
    EXPECT_EQ(bar.m_horzSize, QSize(321, 45));
    EXPECT_EQ(bar.m_vertSize.width(), 33);
    QSettings().remove("BarState-SCBar-123");
    QSettings().remove("Test-SCBar-123");
}

TEST(SizingControlBar, HiddenByItsCloseButtonStaysHiddenAfterARestart)
{
    {
        CMainFrame frame;
        frame.show();
        QApplication::processEvents();
        ASSERT_TRUE(frame.ParametersBar()->isVisible());
        auto* close = frame.ParametersBar()->findChild<QAbstractButton*>("qt_dockwidget_closebutton");
        ASSERT_NE(close, nullptr);
        QTest::mouseClick(close, Qt::LeftButton);
        EXPECT_FALSE(frame.ParametersBar()->isVisible());
        EXPECT_FALSE(frame.Command(Cmd::kToggleProperties)->isChecked());
        frame.close();
    }
    {
        CMainFrame frame;
        frame.show();
        QApplication::processEvents();
        EXPECT_FALSE(frame.ParametersBar()->isVisible());
        EXPECT_FALSE(frame.TileBar()->isVisible()) << "no tile set is active";
        frame.Command(Cmd::kToggleProperties)->trigger();
        EXPECT_TRUE(frame.ParametersBar()->isVisible());
        EXPECT_TRUE(frame.Command(Cmd::kToggleProperties)->isChecked());
        frame.close();
    }
    QSettings().remove("BarState");
    QSettings().remove("BarState-SCBar-123");
    QSettings().remove("BarState-SCBar-124");
}
