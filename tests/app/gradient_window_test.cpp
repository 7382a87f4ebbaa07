// The gradients in the window: the toolbar's list, the editor and the
// Properties bar's way to it, driven through the real widgets.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#include "app/GradientEditor.h"
#include "app/GradientLibrary.h"
#include "app/GradientStrip.h"
#include "app/MainFrame.h"
#include "document/CanvasImage.h"
#include "document/FractalDoc.h"
#include "imaging/GradientFiles.h"
#include "imaging/GradientGallery.h"
#include "model/FractalKinds.h"
#include "parameters/ParametersBar.h"
#include "tests/app/WindowFixture.h"

namespace {

QAction* MenuItem(QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

// A built Mandelbrot window with one cell made unlike any a build
// makes: while it stays, nothing has rebuilt the cells.
struct BuiltWindow : Window {
    BuiltWindow() : Window(kTypeMandelbrot, 160, 100)
    {
        doc->OnBuild(kCmdRebuild);
        EXPECT_TRUE(WaitIdle(doc));
        Marked().value = 1234.5f;
    }
    PixelRecord& Marked() { return *doc->m_fractal->m_colorMap.Cell(3, 5); }
    // Every cell made background, which the image shows once it is
    // painted from them; a build would bring the set back.
    void MakeAllBackground()
    {
        const QImage before = doc->m_deviceBitmap.Image();
        EXPECT_NE(before.pixel(0, 0), before.pixel(80, 50));
        for (int row = 0; row < Map().m_gridHeight; ++row)
            for (int column = 0; column < Map().m_gridWidth; ++column)
                Map().Cell(row, column)->value = float(2 * CColorMap::kBackgroundValue);
    }
    bool ShowsOnlyBackground()
    {
        const QImage image = doc->m_deviceBitmap.Image().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != qRgb(0, 0, 0))
                    return false;
        return image.size() == QSize(160, 100);
    }
    CColorMap& Map() { return doc->m_fractal->m_colorMap; }
    // What the painter makes of the cells and fields as they are now.
    QImage Painted()
    {
        CCanvas canvas;
        canvas.SetTargetSize(160, 100);
        doc->m_fractal->Draw(canvas);
        return CanvasImage(canvas);
    }
};

void Drag(QWidget* w, int from, int to)
{
    const int y = w->height() - 4;
    auto send = [&](QEvent::Type type, int x, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(x, y), w->mapToGlobal(QPointF(x, y)), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

TEST(GradientWindow, AGradientFromTheToolbarRepaintsFromTheCells)
{
    BuiltWindow w;
    ASSERT_EQ(w.Map().m_coloring, kColoringAngle);
    w.Map().m_gradientOffset = 0.25;
    // Every cell made background: only a paint from these cells shows the
    // whole image in the background colour; a build would bring the set
    // back.
    w.MakeAllBackground();
    QAction* viridis = MenuItem(w.frame.GradientMenu(), "Viridis");
    ASSERT_NE(viridis, nullptr);
    ASSERT_TRUE(viridis->isEnabled());
    viridis->trigger();
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.Map().m_gradient, FindGalleryGradient("Viridis")->gradient);
    // The rest of the look stays; a gradient applied must show.
    EXPECT_EQ(w.Map().m_gradientOffset, 0.25);
    EXPECT_EQ(w.Map().m_coloring, kColoringSmooth);
    EXPECT_EQ(w.doc->m_canvas->Status(), "Ready");
    EXPECT_TRUE(w.ShowsOnlyBackground());
    EXPECT_EQ(w.doc->m_deviceBitmap.Image().convertToFormat(QImage::Format_RGB32),
              w.Painted().convertToFormat(QImage::Format_RGB32));
    // Every gallery gradient is listed, each with its picture.
    for (const GalleryGradient& g : GradientGallery()) {
        QAction* a = MenuItem(w.frame.GradientMenu(), g.name);
        ASSERT_NE(a, nullptr) << g.name;
        EXPECT_FALSE(a->icon().isNull());
    }
}

TEST(GradientWindow, TheEditorAddsMovesColoursAndRemovesStopsLive)
{
    BuiltWindow w;
    // From two stops, the fewest the editor keeps.
    w.Map().m_gradient = Gradient();
    w.frame.Command(Cmd::kGradient)->trigger();
    CGradientEditor* editor = w.frame.GradientEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->Document(), w.doc);
    ASSERT_EQ(editor->Stops().size(), 2u);
    EXPECT_FALSE(editor->m_removeButton->isEnabled());
    auto shown = [&] {
        EXPECT_TRUE(WaitIdle(w.doc));
        EXPECT_EQ(w.Map().m_gradient.Stops(), editor->Stops());
        EXPECT_EQ(w.Marked().value, 1234.5f);
    };

    w.MakeAllBackground();
    QTest::mouseClick(editor->m_addButton, Qt::LeftButton);
    ASSERT_EQ(editor->Stops().size(), 3u);
    EXPECT_EQ(editor->Selected(), 1);
    // Halfway from black to white.
    EXPECT_EQ(editor->Stops()[1], (GradientStop{0.5, {128, 128, 128}}));
    EXPECT_EQ(w.Map().m_coloring, kColoringSmooth);
    EXPECT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.Map().m_gradient.Stops(), editor->Stops());
    EXPECT_TRUE(w.ShowsOnlyBackground());
    // The cells back, one of them marked.
    w.doc->OnBuild(kCmdRebuild);
    ASSERT_TRUE(WaitIdle(w.doc));
    EXPECT_EQ(w.Map().m_gradient.Stops(), editor->Stops());
    w.Marked().value = 1234.5f;

    CGradientStrip* strip = editor->m_strip;
    Drag(strip, strip->MarkerX(0.5), strip->MarkerX(0.25));
    EXPECT_NEAR(editor->Stops()[1].position, 0.25, 1.0 / strip->width());
    EXPECT_NEAR(editor->m_position->value(), editor->Stops()[1].position, 1e-4);
    shown();

    editor->m_position->setValue(0.75);
    EXPECT_EQ(editor->Stops()[1].position, 0.75);
    editor->m_askColor = [](const QColor&) { return QColor(255, 0, 0); };
    QTest::mouseClick(editor->m_colorButton, Qt::LeftButton);
    EXPECT_EQ(editor->Stops()[1].color, (Rgb{255, 0, 0}));
    shown();
    EXPECT_EQ(w.doc->m_deviceBitmap.Image().convertToFormat(QImage::Format_RGB32),
              w.Painted().convertToFormat(QImage::Format_RGB32));

    // Moved past a neighbour, a stop takes its place beyond it.
    editor->SelectStop(0);
    editor->m_position->setValue(0.9);
    EXPECT_EQ(editor->Selected(), 1);
    EXPECT_EQ(editor->Stops()[0], (GradientStop{0.75, {255, 0, 0}}));
    EXPECT_EQ(editor->Stops()[1], (GradientStop{0.9, {0, 0, 0}}));

    editor->m_offset->setValue(0.5);
    editor->m_repetitions->setValue(3);
    shown();
    EXPECT_EQ(w.Map().m_gradientOffset, 0.5);
    EXPECT_EQ(w.Map().m_gradientRepetitions, 3);

    EXPECT_TRUE(editor->m_removeButton->isEnabled());
    QTest::mouseClick(editor->m_removeButton, Qt::LeftButton);
    EXPECT_EQ(editor->Stops(), (std::vector<GradientStop>{{0.75, {255, 0, 0}}, {1, {255, 255, 255}}}));
    EXPECT_FALSE(editor->m_removeButton->isEnabled());
    shown();

    editor->m_askColor = [](const QColor&) { return QColor(0x12, 0x34, 0x56); };
    QTest::mouseClick(editor->m_insideButton, Qt::LeftButton);
    EXPECT_FALSE(editor->m_insideBackground->isChecked());
    shown();
    EXPECT_EQ(w.Map().m_insideColor, "#123456");
    editor->m_insideBackground->setChecked(true);
    shown();
    EXPECT_EQ(w.Map().m_insideColor, "");
}

TEST(GradientWindow, TheEditorImportsExportsAndSavesToTheLibrary)
{
    QTemporaryDir data;
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    {
        BuiltWindow w;
        w.frame.ShowGradientEditor();
        CGradientEditor* editor = w.frame.GradientEditor();
        QString complaint;
        editor->m_complain = [&](const QString& text) { complaint = text; };
        const QString ggr = data.filePath("hand.ggr");
        QFile file(ggr);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("GIMP Gradient\nName: By hand\n2\n"
                   "0 0.25 0.5 1 0 0 1 0 0 1 1 0 0\n"
                   "0.5 0.75 1 0 0 1 1 1 1 1 1 0 0\n");
        file.close();
        QString path = ggr;
        editor->m_askPath = [&](const QString&, bool) { return path; };
        QTest::mouseClick(editor->m_importButton, Qt::LeftButton);
        EXPECT_TRUE(complaint.isEmpty()) << complaint.toStdString();
        const std::vector<GradientStop> expected{{0, {255, 0, 0}}, {0.5, {0, 0, 255}}, {1, {255, 255, 255}}};
        EXPECT_EQ(editor->Stops(), expected);
        ASSERT_TRUE(WaitIdle(w.doc));
        EXPECT_EQ(w.Map().m_gradient.Stops(), expected);

        // A broken file is refused with its line, the gradient kept.
        path = data.filePath("broken.ggr");
        QFile broken(path);
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("GIMP Gradient\nName: Broken\n2\n0 0.5 1 0 0 0 1 1 1 1 1 0 0\n");
        broken.close();
        QTest::mouseClick(editor->m_importButton, Qt::LeftButton);
        EXPECT_TRUE(complaint.contains("line 5")) << complaint.toStdString();
        EXPECT_EQ(editor->Stops(), expected);

        path = data.filePath("out.map");
        QTest::mouseClick(editor->m_exportButton, Qt::LeftButton);
        const GradientFileResult map = ReadGradientFile(path.toStdString());
        ASSERT_TRUE(map.ok) << map.why;
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(map.gradient.At(i / 255.0), Gradient(expected).At(i / 255.0)) << i;

        editor->m_askName = [](const QString& initial) {
            EXPECT_EQ(initial, "By hand");
            return QString("Mine");
        };
        QTest::mouseClick(editor->m_saveButton, Qt::LeftButton);
        EXPECT_TRUE(complaint.contains("line 5"));
        EXPECT_TRUE(QFile::exists(GradientLibraryFolder() + "/Mine.ggr"));
        EXPECT_EQ(editor->m_choice->currentText(), "Mine");
        // The toolbar lists it after the gallery, and applies it.
        emit w.frame.GradientMenu()->aboutToShow();
        QAction* mine = MenuItem(w.frame.GradientMenu(), "Mine");
        ASSERT_NE(mine, nullptr);
        // The editor follows what its document is given.
        MenuItem(w.frame.GradientMenu(), "Magma")->trigger();
        ASSERT_TRUE(WaitIdle(w.doc));
        EXPECT_EQ(editor->Stops(), FindGalleryGradient("Magma")->gradient.Stops());
        mine->trigger();
        ASSERT_TRUE(WaitIdle(w.doc));
        EXPECT_EQ(w.Map().m_gradient.Stops(), expected);
        EXPECT_EQ(editor->Stops(), expected);
    }
    if (oldData.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", oldData);
}

TEST(GradientWindow, ThePropertiesBarOpensTheEditorForRowsWithColours)
{
    BuiltWindow w;
    w.doc->ShowInParameters();
    QPushButton* button = w.frame.ParametersBar()->GradientButton();
    ASSERT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_NE(w.frame.GradientEditor(), nullptr);
    EXPECT_TRUE(w.frame.GradientEditor()->isVisible());
    EXPECT_EQ(w.frame.GradientEditor()->Document(), w.doc);
    // A tile set lists no colours.
    Window tiles(kTypeTile, 64, 48);
    tiles.doc->ShowInParameters();
    EXPECT_FALSE(tiles.frame.ParametersBar()->GradientButton()->isEnabled());
}

} // namespace
