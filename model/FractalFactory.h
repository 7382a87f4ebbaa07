#pragma once
// Fractals by the document's type code and by sample number.

#include <memory>

#include "model/Fractal.h"

// Document type codes ("Fractal Type" in files, New Fractal rows).
enum FractalType { kTypeSelfAffine = 0, kTypeTile = 1, kTypeMandelbrot = 2, kTypeAppolony = 3 };
extern const char* const kFractalTypeNames[4];

// 0 the first self-affine sample, 1 a tile set, 2 the Mandelbrot set, any
// other value the Appolony set.
std::unique_ptr<CFractal> CreateFractalOfType(int type);
// Sample number n of the Samples menu; 12 is the Mandelbrot set.
std::unique_ptr<CFractal> CreateSample(int n);
