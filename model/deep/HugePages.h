#pragma once
// The large arrays a deep build fills at once (orbits, skip tables) ask the
// kernel for huge pages where it grants them on request: each first touch
// of a page faults, and in a virtual machine a fault can cost more than the
// work done on the page; 2 MB pages fault 512 times less often. Only the
// advice differs: the bytes, and where they are, are the same.

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace huge_pages {

// Advises the whole 2 MB pages inside [p, p + bytes); nothing where the
// platform has no such advice, or where the range holds none.
inline void Advise(const void* p, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    const uintptr_t begin = (uintptr_t(p) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (uintptr_t(p) + bytes) & ~(kHuge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

// v.reserve(n), its storage advised before any of it is touched.
template <class T>
void Reserve(std::vector<T>& v, size_t n)
{
    if (v.capacity() >= n)
        return;
    v.reserve(n);
    Advise(v.data(), v.capacity() * sizeof(T));
}

} // namespace huge_pages
