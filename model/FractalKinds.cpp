#include "model/FractalKinds.h"

#include <algorithm>
#include <array>

#include "model/appolony/AppolonySet.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "model/tile/TileSet.h"

namespace {

// Each kind defines its own row beside its class; this list registers them,
// in type-code order.
const FractalKind* const kKinds[] = {&kSelfAffineKind, &kTileKind, &kMandelbrotKind, &kAppolonyKind};

constexpr int kKindCount = int(std::size(kKinds));

const FractalKind kNoKind{};

} // namespace

std::span<const FractalKind* const> FractalKinds() { return kKinds; }

const FractalKind& KindOf(const CFractal& fractal)
{
    for (const FractalKind* kind : kKinds)
        if (kind->code == fractal.m_kind)
            return *kind;
    return kNoKind;
}

const FractalKind& KindOfType(int type) { return *kKinds[type >= 0 && type < kKindCount ? type : kKindCount - 1]; }

const FractalKind* KindNamed(std::string_view name)
{
    for (const FractalKind* kind : kKinds)
        if (name == kind->name)
            return kind;
    return nullptr;
}

const char* const* KindTypeNames()
{
    static const std::array<const char*, kKindCount> names = [] {
        std::array<const char*, kKindCount> n{};
        std::transform(std::begin(kKinds), std::end(kKinds), n.begin(), [](const FractalKind* k) { return k->name; });
        return n;
    }();
    return names.data();
}

int NewDocumentType(int type) { return unsigned(type) > unsigned(kKindCount) ? kTypeMandelbrot : type; }
