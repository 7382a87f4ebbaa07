#pragma once
// The video part of `quillion --render` beyond the plain turning
// animation: --zoom-video SECONDS (a zoom from --from START.frc or the
// kind's overview to the document's view) into a video file, --frames A-B
// into PNG files named by a %d pattern (a zoom's frames or keyframes, or a
// turning animation's frames), --print-frames, and `quillion --assemble
// DIR`, which joins a folder of such frames into the video.
//
// A folder of frames holds kPlanFileName, the plan every range run writes
// (the same bytes from any run) and the assembly reads: a folder holding
// another video's plan is refused, so frames of two videos never mix.

#include <QString>

#include "app/HeadlessRender.h"

class CFractal;
class HeadlessWatch;

inline constexpr const char* kPlanFileName = "quillion-plan.txt";

int RunHeadlessVideo(CFractal& fractal, int fractalType, const VideoRequest& request, HeadlessWatch& watch);

int RunHeadlessAssemble(const QString& dir, const QString& output, const QString& fps, const QString& codec, bool quiet,
                        HeadlessWatch& watch);
