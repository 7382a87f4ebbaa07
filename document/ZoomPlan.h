#pragma once
// The views of a zoom video: from a start view to an end view at a
// constant zoom speed, the half size of frame k being start x ratio^k.
// The centre follows the end point: frame k, of half size h, is centred at
//     c(h) = E + (S - E) (h - h_end) / (h_start - h_end)
// (S, E the start and end centres), so the end point keeps its place in
// the frame while the size shrinks, and glides to the middle only over
// the last doublings. Every view lies inside the views of larger half
// size when the end point lies in the start view, which keyframes use.
//
// Below the normal doubles the sizes are FloatExp (numbers/WideSize.h),
// the pace of the zoom worked from their logarithms; a plan whose sizes
// are all normal doubles keeps the doubles' arithmetic, and its bytes.
//
// Keyframes (the default): one keyframe at every zoom factor of 2 (the
// factor is a little below 2 so the last is the end view), each rendered
// kKeyframeScale times the frame's size a side, so the frames made from it
// never take fewer than one of its pixels per frame pixel. Exact mode
// renders every frame. Plain C++: the headless renderer and a window
// share it, and a plan file written beside the frames lets the assembly
// recompute every view.

#include <string>
#include <vector>

#include "document/BuildSteps.h"
#include "document/OffscreenRender.h"
#include "numbers/Coordinate.h"

struct ZoomPlace {
    WholeCoordinate x, y; // the centre, whole at depth
    double half = 1;
    // The half size's digits where `half` cannot hold it, else empty.
    std::string halfDigits = {};
    FloatExp Half() const { return WideSize(half, halfDigits); }
    void SetHalf(FloatExp size);
};

class CFractal;
// The view a fractal's rows hold, with the centre's digits where its kind
// keeps them; and its kind's overview, where a zoom starts by default.
ZoomPlace ZoomPlaceOf(const CFractal& fractal);
ZoomPlace ZoomOverviewOf(const CFractal& fractal);

struct ZoomSettings {
    unsigned frames = 0; // at least 2 (1 in exact mode)
    unsigned fps = 30;
    unsigned width = 0, height = 0;
    bool exact = false;
    AntiAliasing aa = {};
    ZoomPlace start, end;
    // Whether the kind keeps whole digits (deep views); its centres are
    // doubles only when not.
    bool deepViews = true;
};

constexpr unsigned kMaxZoomFrames = 1000000;
constexpr unsigned kKeyframeScale = 2;
// Past this margin the keyframes would hold more pixels than the frames
// they stand for: the end lies too far outside the start view.
constexpr double kMaxKeyframeMargin = 2.0;

class ZoomPlan {
public:
    // False, with a sentence, for settings that make no video.
    static bool Make(const ZoomSettings& settings, ZoomPlan& plan, std::string& error);

    const ZoomSettings& Settings() const { return m_s; }
    unsigned Frames() const { return m_s.frames; }
    unsigned Keyframes() const { return m_s.exact ? 0 : m_keys + 1; }
    // What --frames counts: frames in exact mode, else keyframes.
    unsigned Units() const { return m_s.exact ? Frames() : Keyframes(); }
    FloatExp FrameHalf(unsigned k) const;
    ZoomPlace FramePlace(unsigned k) const;
    ZoomPlace KeyframePlace(unsigned j) const;
    unsigned KeyWidth() const { return m_keyWidth; }
    unsigned KeyHeight() const { return m_keyHeight; }
    // The place and size a unit renders at.
    ZoomPlace UnitPlace(unsigned i) const { return m_s.exact ? FramePlace(i) : KeyframePlace(i); }
    unsigned UnitWidth() const { return m_s.exact ? m_s.width : m_keyWidth; }
    unsigned UnitHeight() const { return m_s.exact ? m_s.height : m_keyHeight; }
    // The keyframe j of the pair frame k lies between (j + 1 the other,
    // when there is one) and the weight of j + 1, 0 to 1.
    void Between(unsigned k, unsigned& j, double& weight) const;

    // The plan as the lines of its file, and read back; the reader refuses
    // what the writer does not make.
    std::string Text() const;
    static bool Read(const std::string& text, ZoomPlan& plan, std::string& error);

private:
    FloatExp KeyHalf(unsigned j) const;
    ZoomPlace PlaceAt(FloatExp half, FloatExp pixelSize) const;
    ZoomSettings m_s;
    FloatExp m_h0, m_hN;       // the start and end half sizes
    bool m_wide = false;       // one of them lies below the normal doubles
    FloatExp m_dx, m_dy;       // S - E
    unsigned m_keys = 0;       // keyframe intervals
    double m_margin = 1;       // keyframe half / its frames' largest half
    unsigned m_keyWidth = 0, m_keyHeight = 0;
};

// "frame-%05d.png": a file name with one %d, %Nd or %0Nd (N up to 9) and
// no other per cent sign; Format gives unit i's name. False when the
// pattern is not one.
bool CheckFramePattern(const std::string& pattern, std::string& error);
std::string FormatFramePattern(const std::string& pattern, unsigned i);
