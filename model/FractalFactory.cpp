#include "model/FractalFactory.h"

#include "model/Samples.h"

std::unique_ptr<CFractal> CreateFractalOfType(int type) { return KindOfType(type).make(); }

std::unique_ptr<CFractal> CreateSample(int n) { return MakeSample(n); }
