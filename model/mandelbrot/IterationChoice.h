#pragma once
// The count a Mandelbrot or Julia view is built with while the user has not
// set one: chosen from the escape counts of a coarse probe of the view.
//
// The probe (kProbeColumns wide, the view's shape) is built with a count
// `cap`. The chosen count N is the least, at least the floor and rounded up
// to two significant digits, past which at most kLateShare of the probe's
// pixels still escape below the cap; it holds once the cap is at least 4 N,
// so that few pixels shown as inside at N would escape at four times N.
// Until then the probe is built again with a higher cap.
//
// A probe wholly inside at its cap tells nothing: the view may lie inside a
// component, or so near a parabolic point that every escape comes later.
// Deep views, made near the boundary, then raise the cap fourfold up to
// the most (and take the most if it stays so); views that doubles resolve
// keep the floor, as a black one costs the whole count for every pixel.

#include <cstdint>
#include <functional>
#include <vector>

namespace iteration_choice {

constexpr int kProbeColumns = 64;
constexpr double kLateShare = 0.003;
constexpr int kReach = 4;

// N for a probe's escape counts (-1: none by its cap), at least `floor`.
int CountForProbe(const std::vector<int32_t>& counts, int floor);

// `probe(cap, counts)` fills the probe's escape counts built with `cap`,
// false when stopped or refused. The first cap is kReach times `floor`,
// none above `most`, whatever count the view had before: the same view
// always chooses the same count. Returns 0 when a probe failed.
int ChooseIterations(int floor, int most, bool raiseWhollyInside,
                     const std::function<bool(int, std::vector<int32_t>&)>& probe);

} // namespace iteration_choice
