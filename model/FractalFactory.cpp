#include "model/FractalFactory.h"

#include "model/AppolonySet.h"
#include "model/MandelbrotSet.h"
#include "model/Samples.h"
#include "model/TileSet.h"

const char* const kFractalTypeNames[4] = {"Self-Affine Set", "Tile Set", "Mandelbrot Set",
                                          "Appolony Set"};

std::unique_ptr<CFractal> CreateFractalOfType(int type)
{
    switch (type) {
    case kTypeSelfAffine: return CreateSample(0);
    case kTypeTile: return std::make_unique<CTileSet>();
    case kTypeMandelbrot: return std::make_unique<CMandelbrotSet>();
    default: return std::make_unique<CAppolonySet>();
    }
}

std::unique_ptr<CFractal> CreateSample(int n)
{
    return MakeSample(n);
}
