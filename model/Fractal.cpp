#include "model/Fractal.h"

int CFractal::Draw(CCanvas&)
{
    return 0;
}

bool CFractal::ValueChanged(int, PropertyItem&)
{
    return false;
}

void CFractal::Click(int, int, int) {}

uint64_t CFractal::MemoryNeed(unsigned, unsigned)
{
    return 0;
}

int CFractal::PassCount()
{
    return 1;
}
