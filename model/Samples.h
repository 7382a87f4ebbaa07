#pragma once
// The named sets of the Samples menu.

#include <memory>

#include "model/Fractal.h"

// 0-11 the self-affine samples, 12 the Mandelbrot set, above 12 the
// segment drawn in the plane. A negative index gives sample 0.
std::unique_ptr<CFractal> MakeSample(int index);
