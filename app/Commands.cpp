// Every command's row: menu text, keys, prompt, when it is enabled and what
// it does. The rows are in Cmd's order, which the compiler checks.
#include "app/Commands.h"

#include <QApplication>
#include <QFileDialog>
#include <QMdiArea>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrinter>
#include <QStatusBar>

#include <iterator>
#include <memory>
#include <ostream>
#include <string>

#include "animation/AnimationDlg.h"
#include "app/AboutDlg.h"
#include "app/JuliaPreview.h"
#include "app/MainFrame.h"
#include "app/NewFractalDlg.h"
#include "app/TileBar.h"
#include "document/DocumentHistory.h"
#include "document/FileFolder.h"
#include "document/FractalDoc.h"
#include "document/FractalView.h"
#include "document/ImageSizeDialog.h"

namespace {

void New(const CmdContext& c)
{
    CNewFractalDlg dialog(&c.frame);
    if (dialog.exec() == QDialog::Accepted)
        c.frame.NewFractalDocument(dialog.m_selectedRow);
}

void Open(const CmdContext& c)
{
    const QString filter = "Fractal files (*.frc *.fdt *.png)";
    const QString path = c.frame.m_askPath ? c.frame.m_askPath(filter, false)
                                           : QFileDialog::getOpenFileName(&c.frame, "Open", LastFolder(), filter);
    RememberFolder(path);
    if (!path.isEmpty())
        c.frame.OpenDocumentFile(path);
}

void ToggleProperties(const CmdContext& c)
{
    CParametersBar* bar = c.frame.ParametersBar();
    bar->setVisible(!bar->isVisible());
    c.frame.UpdateCommands();
}

void ToggleTileBar(const CmdContext& c)
{
    c.frame.TileBar()->Choose(c.frame.TileBar()->isHidden(), c.frame.TileSetActive());
    c.frame.UpdateCommands();
}

void Animation(const CmdContext& c)
{
    if (!c.doc->m_fractal || c.doc->IsBuilding())
        return;
    CAnimationDlg dialog(c.view);
    dialog.exec();
}

// The choice is the document's; a new one shows at once.
void AntiAlias(const CmdContext& c)
{
    c.doc->m_antiAliasing = AntiAliasingChoice(int(c.cmd) - int(Cmd::kAntiAliasOff));
    c.frame.UpdateCommands();
    if (!c.doc->IsBuilding() && c.doc->m_fractal)
        c.doc->OnBuild(kCmdRebuild);
}

void Sample(const CmdContext& c)
{
    c.doc->OnSample(int(c.cmd) - int(Cmd::kSampleSierpinskyTriangle));
    c.frame.ShowPictureOf(c.doc);
}

void Size(const CmdContext& c) { c.view->OnBitmapSize(BitmapSize(int(c.cmd) - int(Cmd::kSize100x100))); }

void OpenJulia(const CmdContext& c)
{
    if (const auto shown = c.frame.JuliaPreview()->Shown())
        c.frame.OpenJulia(shown->first, shown->second);
}

// The search runs as a job of the document's worker, on the rows the
// worker owns while it runs, so the window stays live: the status line
// says so, and Stop or Esc ends it. At its limits a period takes seconds.
// The move, the raised count with it, is one undoable step, and a build.
void ZoomToMinibrot(const CmdContext& c)
{
    CFractal_Doc& doc = *c.doc;
    if (!doc.m_fractal || doc.IsBuilding() || !doc.CanNavigate() || !doc.m_fractal->FindsMinibrots())
        return;
    auto failure = std::make_shared<std::string>();
    CFractal* fractal = doc.m_fractal.get();
    QPointer<CMainFrame> frame = &c.frame;
    const bool started = doc.StartJob(
        [fractal, failure](std::stop_token) { *failure = fractal->ZoomToNearestMinibrot(&fractal->m_stop); },
        [] { return QStringLiteral("Finding the nearest minibrot..."); },
        [&doc, frame, failure] {
            if (!failure->empty()) {
                if (frame)
                    frame->statusBar()->showMessage(QString::fromStdString(*failure));
                return;
            }
            // An undo asked for while the search ran has built its rows.
            if (doc.IsBuilding())
                return;
            doc.m_canvas->ShowSelection(false);
            emit doc.placeChanged();
            if (doc.IsShownInParameters())
                doc.Host()->RefreshValues();
            doc.OnBuild(kCmdRebuild);
        });
    // The step is recorded as the job ends, under the command's name.
    if (started)
        doc.History().NameBuildChange("Zoom to Nearest Minibrot");
}

void ArrangeIcons(const CmdContext& c)
{
    // Minimised windows in a row along the bottom.
    QMdiArea* mdi = c.frame.MdiArea();
    int x = 0;
    for (QMdiSubWindow* w : mdi->subWindowList())
        if (w->isMinimized()) {
            w->move(x, mdi->viewport()->height() - w->height());
            x += w->width();
        }
}

void About(const CmdContext& c)
{
    CAboutDlg dialog(&c.frame);
    dialog.exec();
}

using W = CmdWhen;

// Break is Ctrl+Pause to Qt; laptops without it have Shift+F9, and every
// keyboard Escape, wherever the focus is in the main window. The property
// editor takes Escape first, to cancel its edit; while nothing builds Stop
// is off, and Escape goes where it would have gone. F9 is Continue,
// although the Rebuild item names it.
constexpr CommandRow kCommands[] = {
    {Cmd::kNew, "&New", "Ctrl+N", "", nullptr, W::kAlways, New},
    {Cmd::kOpen, "&Open...", "Ctrl+O", "", nullptr, W::kAlways, Open},
    {Cmd::kClose, "&Close", "", "", nullptr, W::kDocument, [](const CmdContext& c) { c.frame.ActiveChild()->close(); }},
    {Cmd::kSave, "&Save", "Ctrl+S", "", nullptr, W::kDocument,
     [](const CmdContext& c) { c.frame.SaveDocument(c.doc, false); }},
    {Cmd::kSaveAs, "Save &As...", "", "", nullptr, W::kDocument,
     [](const CmdContext& c) { c.frame.SaveDocument(c.doc, true); }},
    {Cmd::kSaveBitmap, "Save &Bitmap As...", "", "", "Save the active document as bitmap\nSave Bitmap As...",
     W::kPicture, [](const CmdContext& c) { c.doc->OnSaveBitmap(&c.frame); }},
    {Cmd::kSaveImage, "Save &Image As...", "", "",
     "Save the view as an image of any size, built apart from the window\nSave Image As...", W::kIdle,
     [](const CmdContext& c) { c.doc->OnSaveImage(&c.frame); }},
    {Cmd::kSaveData, "Save &Data As...", "", "", "Save Calculated Data As...\nSave Data", W::kSavesData,
     [](const CmdContext& c) { c.doc->OnSaveData(c.view); }},
    {Cmd::kPrint, "&Print...", "Ctrl+P", "", nullptr, W::kDocument, [](const CmdContext& c) { c.view->OnFilePrint(); }},
    {Cmd::kPrintPreview, "Print Pre&view", "", "", nullptr, W::kDocument,
     [](const CmdContext& c) { c.view->OnFilePrintPreview(); }},
    {Cmd::kPrintSetup, "P&rint Setup...", "", "", nullptr, W::kAlways,
     [](const CmdContext& c) { QPageSetupDialog(&CFractal_View::Printer(), &c.frame).exec(); }},
    {Cmd::kExit, "E&xit", "", "", nullptr, W::kAlways, [](const CmdContext& c) { c.frame.close(); }},

    {Cmd::kToggleProperties, "&Properties", "", "", "Show or hide the Properties toolbar\nToggle Properties ToolBar",
     W::kAlways, ToggleProperties},
    {Cmd::kToggleTileBar, "&Tile Bar", "", "", "Show or hide the Tile toolbar\nToggle Tile ToolBar", W::kAlways,
     ToggleTileBar},
    {Cmd::kGradient, "&Gradient...", "", "", "Edit the gradient the colourings paint with\nGradient", W::kDocument,
     [](const CmdContext& c) { c.frame.ShowGradientEditor(); }},

    // The wheel's zoom and a tenth of the view; "=" is "+" without Shift.
    {Cmd::kZoomInStep, "Zoom &In", "", "+;=", "Zoom in about the centre\nZoom In", W::kNavigable,
     [](const CmdContext& c) { c.view->Step(ViewStep::kZoomIn); }},
    {Cmd::kZoomOutStep, "Zoom Ou&t", "", "-", "Zoom out about the centre\nZoom Out", W::kNavigable,
     [](const CmdContext& c) { c.view->Step(ViewStep::kZoomOut); }},
    {Cmd::kPanLeft, "Pan &Left", "", "Left", "Move the view left by a tenth\nPan Left", W::kNavigable,
     [](const CmdContext& c) { c.view->Step(ViewStep::kLeft); }},
    {Cmd::kPanRight, "Pan &Right", "", "Right", "Move the view right by a tenth\nPan Right", W::kNavigable,
     [](const CmdContext& c) { c.view->Step(ViewStep::kRight); }},
    {Cmd::kPanUp, "Pan &Up", "", "Up", "Move the view up by a tenth\nPan Up", W::kNavigable,
     [](const CmdContext& c) { c.view->Step(ViewStep::kUp); }},
    {Cmd::kPanDown, "Pan &Down", "", "Down", "Move the view down by a tenth\nPan Down", W::kNavigable,
     [](const CmdContext& c) { c.view->Step(ViewStep::kDown); }},
    {Cmd::kOverview, "&Overview", "", "Home", "Back to the whole fractal\nOverview", W::kNavigable,
     [](const CmdContext& c) { c.view->ShowOverview(); }},
    {Cmd::kOpenJulia, "Open &Julia Set", "", "",
     "Open the Julia set the preview shows in a window of its own\nOpen Julia Set", W::kAlways, OpenJulia},
    {Cmd::kZoomToMinibrot, "Zoom to Nearest &Minibrot", "", "",
     "Move the view to the small copy of the set nearest its centre\nZoom to Nearest Minibrot", W::kFindsMinibrots,
     ZoomToMinibrot},

    {Cmd::kAntiAliasOff, "&Off", "", "", "One sample per pixel\nNo anti-aliasing", W::kDocument, AntiAlias},
    {Cmd::kAntiAlias2x2, "&2x2", "", "", "Each pixel the mean of 2 x 2 samples", W::kDocument, AntiAlias},
    {Cmd::kAntiAlias3x3, "&3x3", "", "", "Each pixel the mean of 3 x 3 samples", W::kDocument, AntiAlias},
    {Cmd::kAntiAlias4x4, "&4x4", "", "", "Each pixel the mean of 4 x 4 samples", W::kDocument, AntiAlias},
    {Cmd::kAntiAlias5x5, "&5x5", "", "", "Each pixel the mean of 5 x 5 samples", W::kDocument, AntiAlias},
    {Cmd::kAntiAlias6x6, "&6x6", "", "", "Each pixel the mean of 6 x 6 samples", W::kDocument, AntiAlias},
    {Cmd::kAntiAlias7x7, "&7x7", "", "", "Each pixel the mean of 7 x 7 samples", W::kDocument, AntiAlias},
    {Cmd::kAntiAlias8x8, "&8x8", "", "", "Each pixel the mean of 8 x 8 samples", W::kDocument, AntiAlias},
    {Cmd::kAntiAliasAdaptive, "&Adaptive 3x3", "", "", "3 x 3 samples only in the pixels at edges", W::kDocument,
     AntiAlias},

    {Cmd::kRebuild, "&Rebuild fractal\tF9", "", "", "Rebuild fractal\nRebuild", W::kIdle,
     [](const CmdContext& c) { c.doc->OnBuild(kCmdRebuild); }},
    {Cmd::kZoomOut, "Zoom &out", "", "", "Zoom out window to selected rectangle", W::kIdle,
     [](const CmdContext& c) { c.doc->OnBuild(kCmdZoomOut); }},
    {Cmd::kContinue, "", "", "F9", "Continue calculations\nContinue", W::kIdle,
     [](const CmdContext& c) { c.doc->OnBuild(kCmdContinue); }},
    {Cmd::kPaint, "", "", "Return", "Paint bitmap\nPaint", W::kIdle,
     [](const CmdContext& c) { c.doc->OnBuild(kCmdPaint); }},
    {Cmd::kStop, "&Stop building", "", "Shift+F9;Ctrl+Pause;Escape", "Stop buillding process\nStop", W::kBuilding,
     [](const CmdContext& c) { c.doc->OnStop(); }},
    {Cmd::kAnimation, "Build &Animation", "", "", "Build Animation\nAnimation", W::kAnimates, Animation},
    {Cmd::kParameters, "&Parameters\tF5", "", "F5", "Parameters of the current fractal\nParameters", W::kIdle,
     [](const CmdContext& c) { c.doc->ShowInParameters(); }},
    {Cmd::kPowerTool, "", "", "", "A very power tool to reload parameters window\nPower tool", W::kDocument,
     [](const CmdContext& c) { c.doc->ShowInParameters(); }},

    // The 3-D samples take their menu texts from their own names.
    {Cmd::kSampleSierpinskyTriangle, "&Sierpinsky triangle", "", "", "Sierpinsky triangle fractal", W::kDocument,
     Sample},
    {Cmd::kSampleKochCurve, "&Koch curve", "", "", "Koch curve fractal\nKoch", W::kDocument, Sample},
    {Cmd::kSampleLevyCurve, "&Levy curve", "", "", "Levy curve fractal\nLevy", W::kDocument, Sample},
    {Cmd::kSampleDragonSet, "&Dragon set", "", "", "Dragon set fractal\nDragon", W::kDocument, Sample},
    {Cmd::kSampleSierpinskyPyramid, "", "", "", "Sierpinsky Pyramid Sample\nSierpinsky Pyramid", W::kDocument, Sample},
    {Cmd::kSampleSierpinskyCube, "", "", "", "Sierpinsky Cube Sample\nSierpinsky Cube", W::kDocument, Sample},
    {Cmd::kSampleKochSurface, "", "", "", "Brick Sample\nBrick", W::kDocument, Sample},
    {Cmd::kSampleCross3d, "", "", "", "Cross 3d Sample\nCross 3d", W::kDocument, Sample},
    {Cmd::kSampleSelfAffinePyramid, "", "", "", nullptr, W::kDocument, Sample},
    {Cmd::kSampleSegment, "", "", "", nullptr, W::kDocument, Sample},
    {Cmd::kSamplePyramidSection, "&Sierpinsky Pyramid", "", "", nullptr, W::kDocument, Sample},
    {Cmd::kSampleCrossSection, "&Cross", "", "", nullptr, W::kDocument, Sample},
    {Cmd::kSampleMandelbrotSet, "&Mandelbrot Set", "", "", "Mandelbrot Set\nMandelbrot Set", W::kDocument, Sample},

    // Bitmap Size is off while a build runs: it would change the size the
    // build reads.
    {Cmd::kSize100x100, "1&00x100", "", "", nullptr, W::kIdle, Size},
    {Cmd::kSize320x200, "&320x200", "", "", nullptr, W::kIdle, Size},
    {Cmd::kSize640x480, "&640x480", "", "", nullptr, W::kIdle, Size},
    {Cmd::kSize800x600, "&800x600", "", "", nullptr, W::kIdle, Size},
    {Cmd::kSize1024x768, "&1024x768", "", "", nullptr, W::kIdle, Size},
    {Cmd::kSizeCustom, "&Custom size", "", "", "Set custom size of bitmap\nSet Bitmap Size", W::kIdle, Size},
    {Cmd::kSizeVariable, "&Variable size", "", "", "Set bitmap size the same as a window size\nVariable bitmap size",
     W::kIdle, Size},
    {Cmd::kNewWindow, "&New Window", "", "", nullptr, W::kDocument, [](const CmdContext& c) { c.frame.NewWindow(); }},
    {Cmd::kCascade, "&Cascade", "", "", nullptr, W::kDocument,
     [](const CmdContext& c) { c.frame.MdiArea()->cascadeSubWindows(); }},
    {Cmd::kTileWindows, "&Tile", "", "", nullptr, W::kDocument,
     [](const CmdContext& c) { c.frame.MdiArea()->tileSubWindows(); }},
    {Cmd::kArrangeIcons, "&Arrange Icons", "", "", nullptr, W::kDocument, ArrangeIcons},

    {Cmd::kUserGuide, "&User Guide", "", "F1", "Open the user guide at the kind shown\nUser Guide", W::kAlways,
     [](const CmdContext& c) { c.frame.ShowGuide(); }},
    {Cmd::kAbout, "&About Quillion...", "", "", nullptr, W::kAlways, About},
};

constexpr bool InCmdOrder()
{
    for (std::size_t i = 0; i < std::size(kCommands); ++i)
        if (kCommands[i].cmd != Cmd(i))
            return false;
    return std::size(kCommands) == std::size_t(Cmd::kCount);
}
static_assert(InCmdOrder(), "one row per command, in Cmd's order");

} // namespace

const CommandRow& CommandOf(Cmd cmd) { return kCommands[std::size_t(cmd)]; }

std::ostream& operator<<(std::ostream& out, Cmd cmd)
{
    const CommandRow& row = CommandOf(cmd);
    std::string name = *row.text ? row.text : row.prompt ? row.prompt : "";
    name = name.substr(0, name.find_first_of("\t\n"));
    std::erase(name, '&');
    return out << "command " << int(cmd) << " \"" << name << '"';
}
