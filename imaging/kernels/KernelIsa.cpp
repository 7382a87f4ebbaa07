#include "imaging/kernels/KernelIsa.h"

#include <atomic>

namespace {

KernelIsa Widest()
{
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f"))
        return KernelIsa::kAvx512;
    if (__builtin_cpu_supports("avx2"))
        return KernelIsa::kAvx2;
    return KernelIsa::kSse2;
}

const KernelIsa g_widest = Widest();
std::atomic<int> g_override{-1};

} // namespace

const char* KernelIsaName(KernelIsa isa)
{
    switch (isa) {
    case KernelIsa::kSse2: return "SSE2";
    case KernelIsa::kAvx2: return "AVX2";
    case KernelIsa::kAvx512: return "AVX-512";
    default: return "scalar";
    }
}

bool KernelIsaSupported(KernelIsa isa) { return int(isa) <= int(g_widest); }

KernelIsa WidestKernelIsa() { return g_widest; }

KernelIsa ChosenKernelIsa()
{
    const int o = g_override.load(std::memory_order_relaxed);
    return o >= 0 ? KernelIsa(o) : g_widest;
}

void OverrideKernelIsa(KernelIsa isa)
{
    if (KernelIsaSupported(isa))
        g_override.store(int(isa));
}

void ClearKernelIsaOverride() { g_override.store(-1); }
