#pragma once
// What both fuzz targets share: a canvas of a fixed small size that presses
// Stop as soon as a build says "Building...", so every build the fuzzer
// starts must end quickly whatever the file asks for.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging/Canvas.h"
#include "model/Fractal.h"

class StoppingView : public CanvasView {
public:
    StoppingView(CCanvas& canvas, unsigned width, unsigned height) : m_canvas(canvas), m_width(width), m_height(height)
    {
        m_canvas.m_view = this;
    }
    ~StoppingView() override { m_canvas.m_view = nullptr; }

    void ClientSize(unsigned& width, unsigned& height) override
    {
        width = m_width;
        height = m_height;
    }
    void StatusChanged() override
    {
        if (m_fractal && m_canvas.Status() == "Building...")
            m_fractal->m_stop = true;
    }
    void SetSize(unsigned width, unsigned height)
    {
        m_width = width;
        m_height = height;
    }

    CFractal* m_fractal = nullptr; // whose Stop to press

private:
    CCanvas& m_canvas;
    unsigned m_width, m_height;
};

// A finding the sanitizers cannot see: say what differs and abort, so
// libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what, const std::string& first = {}, const std::string& second = {})
{
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    if (!first.empty() || !second.empty()) {
        size_t i = 0;
        while (i < first.size() && i < second.size() && first[i] == second[i])
            ++i;
        const size_t from = i < 80 ? 0 : i - 80;
        std::fprintf(stderr, "first differs at byte %zu:\n--- first\n%s\n--- second\n%s\n", i,
                     first.substr(from, 200).c_str(), second.substr(from, 200).c_str());
    }
    std::abort();
}
