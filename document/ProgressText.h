#pragma once
// The words of a running build's status line.

#include <string>

#include "model/PassProgress.h"

class CFractal;

// "about 12 s left", "about 3 min left", "about 1 h 20 min left": whole
// seconds under a minute, whole minutes under an hour, then hours and tens
// of minutes. Empty for a time that is not a positive number.
std::string TimeLeftText(double seconds);

// "Iteration 3 of 10, 42 %, about 12 s left": the pass, how much of it is
// done (never rounded up to 100 % before it is), and the time the whole
// build has left, once it has run long enough for the guess to mean
// something: the running pass at its own rate, the passes after it as long
// as the finished ones took on average.
std::string PassStatusText(const PassReading& pass);

// The status line of a running build: its passes while the fractal runs
// one, else "[42.5%] status" while it reports a percentage, else the
// status alone.
std::string BuildStatusLine(const CFractal& fractal, const std::string& status);

// "Frame 7 of 20, about 12 s left": the frame being written (from 1), of
// how many, `seconds` after the first began and `frameSeconds` after this
// one began. The frames still to come take as long as the finished ones
// did on average; before one has finished there is no telling.
std::string FrameStatusText(unsigned frame, unsigned frames, double seconds, double frameSeconds);
