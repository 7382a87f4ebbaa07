#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// The options QGuiApplication, QApplication and the platform plugins take
// for themselves, and whether each is followed by a value.
struct PlatformOption {
    const char* name;
    bool takesValue;
};
// clang-format off
constexpr PlatformOption kPlatformOptions[] = {
    {"platform", true},  {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qmljsdebugger", true}, {"qwindowgeometry", true}, {"geometry", true},     {"qwindowicon", true},
    {"icon", true},      {"qwindowtitle", true},       {"title", true},         {"session", true},
    {"display", true},   {"name", true},               {"visual", true},        {"style", true},
    {"stylesheet", true}, {"reverse", false},          {"widgetcount", false},  {"testability", false},
    {"nograb", false},   {"dograb", false},            {"sync", false},         {"cmap", false},
};
// clang-format on

const PlatformOption* FindPlatformOption(std::string_view name)
{
    for (const PlatformOption& o : kPlatformOptions)
        if (name == o.name)
            return &o;
    return nullptr;
}

} // namespace

QString UsageText()
{
    return QStringLiteral("Usage:\n"
                          "  quillion [FILE...]\n"
                          "      Opens the window with each FILE: a fractal document (.frc), computed\n"
                          "      data (.fdt) or a PNG image it wrote, which holds its document. With no\n"
                          "      FILE it opens a new Mandelbrot set.\n"
                          "  quillion --render [FILE | --type N | --sample N] [--size WxH] [--output IMAGE]\n"
                          "                    [--supersample N] [--adaptive] [--png16] [--save DOC.frc]\n"
                          "                    [--data DATA.fdt] [--nearest-minibrot] [--timeout SECONDS]\n"
                          "                    [--quiet]\n"
                          "      Builds one document without a display and writes what is asked.\n"
                          "  quillion --render [FILE | --sample N] --animate FRAMES --output FILE.avi\n"
                          "                    [--step DEGREES] [--codec NAME] [--size WxH] [--timeout SECONDS]\n"
                          "                    [--quiet]\n"
                          "      Turns a self-affine set frame by frame into a video (.avi, .mp4, .webm,\n"
                          "      .mkv).\n"
                          "  quillion --render END.frc --zoom-video SECONDS --output VIDEO\n"
                          "                    [--from START.frc] [--fps N] [--exact] [--size WxH]\n"
                          "                    [--supersample N] [--codec NAME]\n"
                          "      Zooms at a constant speed from START (or the kind's overview) to END.\n"
                          "  quillion --render ... (--zoom-video SECONDS | --animate FRAMES) --frames A-B\n"
                          "                    --output DIR/frame-%05d.png\n"
                          "      Renders only frames (keyframes of a zoom) A to B, skipping those there.\n"
                          "  quillion --render ... --print-frames\n"
                          "      Prints how many frames (or keyframes) --frames counts.\n"
                          "  quillion --assemble DIR --output VIDEO [--fps N] [--codec NAME]\n"
                          "      Joins the frames in DIR into the video.\n"
                          "  quillion --help | --version\n"
                          "\n"
                          "Options of --render:\n"
                          "  --type N           a new document of type N: 0 self-affine set, 1 tile set,\n"
                          "                     2 Mandelbrot set, 3 Appolony set\n"
                          "  --sample N         a new document holding sample N (0 to 12)\n"
                          "  --size WxH         the image size, 1 to 65536 each (default 640x480)\n"
                          "  --output IMAGE     write the image (.bmp or .png, or a video); a .png\n"
                          "                     holds the document, which opening the image opens; a large\n"
                          "                     image is built and written in bands of rows\n"
                          "  --png16            the .png with 16 bits per channel\n"
                          "  --supersample N    anti-alias: the mean of N x N samples per pixel, 1 to 8\n"
                          "  --adaptive         anti-alias only the pixels at edges (3 x 3 samples, or\n"
                          "                     N x N with --supersample N)\n"
                          "  --save DOC.frc     write the document file\n"
                          "  --data DATA.fdt    write the computed data (self-affine sets)\n"
                          "  --nearest-minibrot first move the view to the nearest minibrot of the\n"
                          "                     Mandelbrot set (with --save): its nucleus, a few times its\n"
                          "                     size, the count raised for its period\n"
                          "  --timeout SECONDS  give up when the render has taken SECONDS (above 0)\n"
                          "  --quiet            no status or progress lines on stderr\n"
                          "  --animate FRAMES   write FRAMES frames, 1 to 10000\n"
                          "  --step DEGREES     degrees turned per frame, 1 to 360 (default 18)\n"
                          "  --codec NAME       the video encoder of --animate, --zoom-video and\n"
                          "                     --assemble, one the file's container takes (default\n"
                          "                     libx264 for .mp4 and .mkv, libvpx-vp9 for .webm,\n"
                          "                     rawvideo for .avi); another is refused, naming those\n"
                          "                     it takes\n"
                          "  --zoom-video SECONDS  a zoom video of SECONDS from the start view to the\n"
                          "                     document's, the half size shrinking by one ratio a frame\n"
                          "  --from START.frc   the zoom's start view (default the kind's overview)\n"
                          "  --fps N            frames a second, 1 to 1000 (default 30; 15 for --animate)\n"
                          "  --exact            render every frame of the zoom, not one keyframe per\n"
                          "                     zoom factor of 2 scaled into the frames between\n"
                          "  --frames A-B       only units A to B, from 0 (B past the last is the last),\n"
                          "                     as PNG files named by the %d of --output\n"
                          "  --print-frames     print the number of units --frames counts and exit\n"
                          "  --assemble DIR     join DIR's frames (its quillion-plan.txt) into --output\n"
                          "\n"
                          "The window also takes Qt's own options, such as -platform NAME and -style NAME.\n"
                          "Exit status: 0 done, 1 a file could not be read or written, the build was\n"
                          "refused or the --timeout ran out, 2 the command line is wrong,\n"
                          "130 stopped by SIGINT (Ctrl+C), 143 stopped by SIGTERM. A stopped render writes\n"
                          "no file it had not written yet and leaves the files there as they were.\n");
}

QString VersionText() { return QStringLiteral("Quillion Version 0.9 alpha\n"); }

int CheckWindowCommandLine(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            break; // the rest are files
        if (arg.size() < 2 || arg[0] != '-')
            continue; // a file, or "-"
        std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
        const size_t eq = name.find('=');
        const bool hasValue = eq != std::string_view::npos;
        if (hasValue)
            name = name.substr(0, eq);
        if (!hasValue && (name == "help" || name == "h" || name == "?")) {
            std::fputs(qPrintable(UsageText()), stdout);
            return 0;
        }
        if (!hasValue && (name == "version" || name == "v")) {
            std::fputs(qPrintable(VersionText()), stdout);
            return 0;
        }
        const PlatformOption* option = FindPlatformOption(name);
        if (!option) {
            std::fprintf(stderr, "quillion: unknown option \"%s\" (quillion --help lists them)\n", argv[i]);
            return 2;
        }
        if (option->takesValue && !hasValue && ++i >= argc) {
            std::fprintf(stderr, "quillion: the option \"%s\" needs a value\n", argv[i - 1]);
            return 2;
        }
    }
    return -1;
}
