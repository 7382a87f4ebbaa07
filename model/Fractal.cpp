#include "model/Fractal.h"

#include "model/FractalKinds.h"

#include "imaging/Canvas.h"

int CFractal::Draw(CCanvas&) { return 0; }

bool CFractal::ValueChanged(int, PropertyItem&) { return false; }

void CFractal::Click(int, int, ClickButton) {}

uint64_t CFractal::MemoryNeed(unsigned, unsigned) { return 0; }

int CFractal::PassCount() { return 1; }

void CFractal::Refuse(CCanvas& canvas, const std::string& why)
{
    m_refusal = why;
    canvas.SetStatus(why);
}

CFractal::Place CFractal::Overview() const
{
    const std::unique_ptr<CFractal> fresh = KindOf(*this).make();
    return fresh ? Place{fresh->m_centerX, fresh->m_centerY, fresh->m_halfSize} : Place{};
}
