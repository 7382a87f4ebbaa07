#include "imaging/VectorState.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>

namespace {

bool ReadableState()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    // The OS must have enabled XSAVE before XGETBV exists at all.
    if (!__get_cpuid(1, &a, &b, &c, &d) || !(c & bit_OSXSAVE))
        return false;
    if (__get_cpuid_max(0, nullptr) < 0xD)
        return false;
    __cpuid_count(0xD, 1, a, b, c, d);
    return (a & (1u << 2)) != 0;
}

const bool g_readable = ReadableState();
const bool g_avx = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
}();

} // namespace

bool CanReadUpperVectorState() { return g_readable; }

bool UpperVectorStateDirty()
{
    if (!g_readable)
        return false;
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(1));
    // Bit 2: the upper 128 bits of ymm0-15.
    return (lo & (1u << 2)) != 0;
}

void CleanUpperVectorState()
{
    if (g_avx)
        __asm__ volatile("vzeroupper" ::: "memory");
}

#else

bool CanReadUpperVectorState() { return false; }
bool UpperVectorStateDirty() { return false; }
void CleanUpperVectorState() {}

#endif
