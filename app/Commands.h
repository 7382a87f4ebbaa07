#pragma once
// The main window's commands by name, and the table (Commands.cpp) that
// gives each its menu text, keys, prompt, when it is enabled and what it
// does. Adding a command is a name here and its row there; the menus and
// the toolbar (MainMenus.cpp) then place it by name.

#include <cstddef>
#include <iosfwd>

class CMainFrame;
class CFractal_Doc;
class CFractal_View;
enum class BitmapSize;

enum class Cmd {
    // File
    kNew,
    kOpen,
    kClose,
    kSave,
    kSaveAs,
    kSaveBitmap,
    kSaveImage,
    kSaveData,
    kPrint,
    kPrintPreview,
    kPrintSetup,
    kExit,
    // View
    kToggleProperties,
    kToggleTileBar,
    kGradient,
    kZoomInStep,
    kZoomOutStep,
    kPanLeft,
    kPanRight,
    kPanUp,
    kPanDown,
    kOverview,
    kOpenJulia,
    kZoomToMinibrot,
    // View, Anti-aliasing: Off, 2x2 to 8x8, Adaptive 3x3 (AntiAliasingCommand)
    kAntiAliasOff,
    kAntiAlias2x2,
    kAntiAlias3x3,
    kAntiAlias4x4,
    kAntiAlias5x5,
    kAntiAlias6x6,
    kAntiAlias7x7,
    kAntiAlias8x8,
    kAntiAliasAdaptive,
    // Build
    kRebuild,
    kZoomOut,
    kContinue,
    kPaint,
    kStop,
    kAnimation,
    kParameters,
    kPowerTool,
    // Samples, in the order of their sample numbers (SampleCommand)
    kSampleSierpinskyTriangle,
    kSampleKochCurve,
    kSampleLevyCurve,
    kSampleDragonSet,
    kSampleSierpinskyPyramid,
    kSampleSierpinskyCube,
    kSampleKochSurface,
    kSampleCross3d,
    kSampleSelfAffinePyramid,
    kSampleSegment,
    kSamplePyramidSection,
    kSampleCrossSection,
    kSampleMandelbrotSet,
    // Window: Bitmap Size in BitmapSize's order (BitmapSizeCommand)
    kSize100x100,
    kSize320x200,
    kSize640x480,
    kSize800x600,
    kSize1024x768,
    kSizeCustom,
    kSizeVariable,
    kNewWindow,
    kCascade,
    kTileWindows,
    kArrangeIcons,
    // Help
    kUserGuide,
    kAbout,
    kCount
};

inline constexpr int kSampleCount = int(Cmd::kSampleMandelbrotSet) - int(Cmd::kSampleSierpinskyTriangle) + 1;
constexpr Cmd SampleCommand(int sample) { return Cmd(int(Cmd::kSampleSierpinskyTriangle) + sample); }
constexpr Cmd AntiAliasingCommand(int choice) { return Cmd(int(Cmd::kAntiAliasOff) + choice); }
constexpr Cmd BitmapSizeCommand(BitmapSize size) { return Cmd(int(Cmd::kSize100x100) + int(size)); }

// When a command is enabled: always; with a document window active; and
// while it does not build; only while it builds; while it shows a current
// picture; while its fractal has computed data to save.
// While its view zooms and pans: such commands' keys belong to the
// pictures, so the Properties bar keeps its arrows and Home.
// While idle with a fractal that turns or zooms in an animation.
// While it is idle and its view can look for minibrots in it.
enum class CmdWhen { kAlways, kDocument, kIdle, kBuilding, kPicture, kSavesData, kNavigable, kAnimates, kFindsMinibrots };

// What a command runs on: `doc` and `view` are the active window's, never
// null unless the command is kAlways.
struct CmdContext {
    CMainFrame& frame;
    Cmd cmd;
    CFractal_Doc* doc;
    CFractal_View* view;
};

struct CommandRow {
    Cmd cmd;
    const char* text;       // in the menu; "" for those reached by keys and buttons
    const char* key;        // the key its menu item shows, or ""
    const char* windowKeys; // keys taken wherever the focus is in the main window, ";" between
    const char* prompt;     // status text, then after "\n" the tool tip; nullptr for none
    CmdWhen when;
    void (*run)(const CmdContext& context);
};

// The row of `cmd`.
const CommandRow& CommandOf(Cmd cmd);

// Test messages name a command by its menu text or prompt.
std::ostream& operator<<(std::ostream& out, Cmd cmd);
