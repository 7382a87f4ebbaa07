#pragma once
// Fractals by the document's type code and by sample number.

#include <memory>

#include "model/Fractal.h"
#include "model/FractalKinds.h"

// The kind of that type code (KindOfType), with its defaults.
std::unique_ptr<CFractal> CreateFractalOfType(int type);
// Sample number n of the Samples menu; 12 is the Mandelbrot set.
std::unique_ptr<CFractal> CreateSample(int n);
