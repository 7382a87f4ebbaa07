// Every parameter row explains itself: a tooltip on the row in the real
// Properties bar, and the selected row's one-line description at its foot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QTest>
#include <QToolTip>

#include "app/MainFrame.h"
#include "document/FractalDoc.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/tile/TileSet.h"
#include "parameters/ParametersBar.h"
#include "parameters/RowHelp.h"

namespace {

struct Window {
    CMainFrame frame;
    CParametersBar* bar = frame.ParametersBar();
    CPropertyGrid& grid = bar->Grid();
    CFractal_Doc* doc = nullptr;

    Window()
    {
        frame.show();
        doc = frame.NewFractalDocument(kTypeMandelbrot);
        QApplication::processEvents();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !doc->IsBuilding(); }, 60000));
    }
    void Show(std::unique_ptr<CFractal> f)
    {
        doc->SetFractal(std::move(f));
        QApplication::processEvents();
        grid.expandAll();
    }
    void ClickLabel(QTreeWidgetItem* item)
    {
        grid.scrollToItem(item);
        QApplication::processEvents();
        const QRect r = grid.visualItemRect(item);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(20, r.center().y()));
    }
};

std::vector<std::pair<std::string, std::unique_ptr<CFractal>>> EveryKindAndSample()
{
    std::vector<std::pair<std::string, std::unique_ptr<CFractal>>> all;
    for (const FractalKind* kind : FractalKinds())
        all.emplace_back(kind->name, kind->make());
    auto julia = std::make_unique<CMandelbrotSet>();
    julia->m_type = 1;
    all.emplace_back("Julia", std::move(julia));
    auto tile = std::make_unique<CTileSet>();
    tile->m_determinant = -5;
    all.emplace_back("tile -5", std::move(tile));
    for (int n = 0; n <= 12; ++n)
        all.emplace_back("sample " + std::to_string(n), CreateSample(n));
    return all;
}

} // namespace

TEST(RowHelp, EveryRowOfEveryKindAndSampleHasATooltip)
{
    Window w;
    for (auto& [name, fractal] : EveryKindAndSample()) {
        w.Show(std::move(fractal));
        ASSERT_GT(w.bar->RowCount(), 0) << name;
        for (int i = 0; i < w.bar->RowCount(); ++i) {
            QTreeWidgetItem* item = w.bar->ItemAt(i);
            EXPECT_FALSE(item->toolTip(0).isEmpty()) << name << ": " << w.bar->RowAt(i).label;
            EXPECT_EQ(item->toolTip(1), item->toolTip(0)) << name << ": " << w.bar->RowAt(i).label;
        }
    }
    // Hovering shows it: the tooltip the grid's viewport raises is the row's.
    QTreeWidgetItem* precision = w.bar->FindItem("precision");
    ASSERT_NE(precision, nullptr);
    w.grid.scrollToItem(precision);
    QApplication::processEvents();
    const QPoint at = w.grid.visualItemRect(precision).center();
    QHelpEvent help(QEvent::ToolTip, at, w.grid.viewport()->mapToGlobal(at));
    QApplication::sendEvent(w.grid.viewport(), &help);
    EXPECT_EQ(QToolTip::text(), precision->toolTip(0));
    QToolTip::hideText();
}

TEST(RowHelp, SelectingARowShowsItsDescriptionAtTheFoot)
{
    Window w;
    QLabel* foot = w.bar->Description();
    ASSERT_NE(foot, nullptr);
    EXPECT_TRUE(foot->text().isEmpty());
    w.grid.expandAll();
    QApplication::processEvents();
    const QRect frame = w.bar->Frame().geometry();
    w.ClickLabel(w.bar->FindItem("precision"));
    QApplication::processEvents();
    // The foot keeps its size, so the grid (which commits edits on every
    // resize) never moves under the user.
    EXPECT_EQ(w.bar->Frame().geometry(), frame);
    EXPECT_TRUE(foot->isVisibleTo(w.bar));
    EXPECT_TRUE(foot->text().contains("escape radius")) << foot->text().toStdString();
    EXPECT_FALSE(foot->text().contains('\n'));
    EXPECT_TRUE(w.bar->FindItem("precision")->toolTip(0).contains("300"));

    w.ClickLabel(w.bar->FindItem("Red"));
    EXPECT_TRUE(foot->text().contains("frequency")) << foot->text().toStdString();

    // Another fractal: its rows, its texts; none selected, nothing described.
    w.Show(CreateSample(4));
    EXPECT_TRUE(foot->text().isEmpty());
    w.ClickLabel(w.bar->FindItem("Shininess"));
    EXPECT_TRUE(foot->text().contains("highlights")) << foot->text().toStdString();
}

TEST(RowHelp, SameLabelsInDifferentPlacesHaveTheirOwnTexts)
{
    // A light's "Red" is its colour; the plane colouring's "Red" a frequency.
    EXPECT_NE(FindRowHelp(CFractal::kSelfAffine, "Light 3", "Red").line,
              FindRowHelp(CFractal::kSelfAffine, "Colors", "Red").line);
    EXPECT_EQ(FindRowHelp(CFractal::kSelfAffine, "Colors", "Red").line,
              FindRowHelp(CFractal::kMandelbrot, "Colors", "Red").line);
    // The Appolony precision is no escape radius.
    EXPECT_NE(FindRowHelp(CFractal::kAppolony, "Main", "precision").line,
              FindRowHelp(CFractal::kMandelbrot, "Main", "precision").line);
    // Numbered rows share their stem's text.
    EXPECT_EQ(FindRowHelp(CFractal::kTile, "Maps", "x17").line, FindRowHelp(CFractal::kTile, "Maps", "x0").line);
    EXPECT_EQ(FindRowHelp(CFractal::kSelfAffine, "Maps", "Map 25").line,
              FindRowHelp(CFractal::kSelfAffine, "Maps", "Map 1").line);
    EXPECT_TRUE(FindRowHelp(CFractal::kTile, "", "no such row").Empty());
}
