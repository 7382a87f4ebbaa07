#include "document/ProgressText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/Fractal.h"

namespace {

// Before this much time, and before a pass has ended or this share of the
// first one is done, the rate of the first rows (often the cheap or the
// dear ones) says little.
constexpr double kFirstSeconds = 1.0;
constexpr double kFirstShare = 0.05;

std::string About(long long n, const char* unit) { return "about " + std::to_string(n) + " " + unit + " left"; }

// Seconds the build has left, or a negative number while there is no
// telling yet. The running pass goes on at its own rate once it has shown
// one; the passes after it take as long as the finished ones did on
// average (the first pass, before any has finished, as long as it takes
// itself).
double SecondsLeft(const PassReading& r, double share)
{
    if (r.seconds < kFirstSeconds)
        return -1;
    const int pass = std::max(r.pass, 1);
    const int after = std::max(r.passes - pass, 0);
    const double passSeconds = std::clamp(r.passSeconds, 0.0, r.seconds);
    const double finished = r.seconds - passSeconds;
    const double mean = pass > 1 ? finished / (pass - 1) : -1;
    const double ownTotal = share >= kFirstShare ? passSeconds / share : -1;
    const double passLeft = ownTotal >= 0 ? ownTotal - passSeconds : mean >= 0 ? mean * (1 - share) : -1;
    const double each = mean >= 0 ? mean : ownTotal;
    if (passLeft < 0 || each < 0)
        return -1;
    return passLeft + after * each;
}

} // namespace

std::string TimeLeftText(double seconds)
{
    if (!(seconds > 0) || !std::isfinite(seconds))
        return {};
    if (seconds < 59.5)
        return About(std::max(1LL, std::llround(seconds)), "s");
    if (seconds < 59.5 * 60)
        return About(std::llround(seconds / 60), "min");
    // Hours, with the minutes to the nearest ten.
    const long long minutes = std::llround(seconds / 600) * 10;
    if (minutes % 60 == 0)
        return About(minutes / 60, "h");
    return "about " + std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min left";
}

std::string PassStatusText(const PassReading& r)
{
    // Whole per cent by integer division: 100 only when the last row is in.
    const int64_t done = std::max<int64_t>(r.done, 0);
    const int64_t percent = r.total > 0 ? std::min<int64_t>(done * 100 / r.total, 100) : 100;
    std::string text = r.label + ", " + std::to_string(percent) + " %";
    const double share = r.total > 0 ? std::min(double(done) / double(r.total), 1.0) : 1.0;
    if (share >= 1 && r.pass >= r.passes)
        return text; // the last pass is done: nothing left to guess
    // The rate is that of the rows done since the pass's times began.
    const int64_t first = std::clamp<int64_t>(r.first, 0, std::max<int64_t>(r.total - 1, 0));
    const double timed =
        r.total > first ? std::clamp(double(done - first) / double(r.total - first), 0.0, 1.0) : share;
    const std::string left = TimeLeftText(SecondsLeft(r, timed));
    if (!left.empty())
        text += ", " + left;
    return text;
}

std::string BuildStatusLine(const CFractal& fractal, const std::string& status)
{
    const PassReading pass = fractal.m_passProgress.Read();
    if (pass.running)
        return PassStatusText(pass);
    const double progress = fractal.m_progress;
    if (!(progress >= 0.0))
        return status;
    char head[64];
    std::snprintf(head, sizeof head, "[%3.1f%%] ", progress);
    return head + status;
}

std::string FrameStatusText(unsigned frame, unsigned frames, double seconds, double frameSeconds)
{
    frame = std::clamp(frame, 1u, std::max(frames, 1u));
    std::string text = "Frame " + std::to_string(frame) + " of " + std::to_string(frames);
    const unsigned done = frame - 1;
    if (done == 0 || seconds < kFirstSeconds)
        return text;
    frameSeconds = std::clamp(frameSeconds, 0.0, seconds);
    const double each = (seconds - frameSeconds) / done;
    // This frame's share is what it has not yet taken of the average.
    const double left = std::max(each - frameSeconds, 0.0) + each * (frames - frame);
    const std::string guess = TimeLeftText(left);
    return guess.empty() ? text : text + ", " + guess;
}
