#pragma once
// Lowers the address-space limit of the calling process to what it maps now
// plus `extra` bytes, so that larger allocations fail as they would on a
// machine without the memory. Meant for a death-test child, which ends
// after; sanitizers reserve far more than any such limit and cannot run
// under one.

#include <malloc.h>
#include <sys/resource.h>

#include <cstdint>
#include <fstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kAddressLimitWorks = false;
#elif defined(__has_feature)
inline constexpr bool kAddressLimitWorks = !(__has_feature(address_sanitizer) || __has_feature(thread_sanitizer));
#else
inline constexpr bool kAddressLimitWorks = true;
#endif

inline bool LimitAddressSpace(uint64_t extra)
{
    malloc_trim(0); // free heap would otherwise serve what the limit should refuse
    std::ifstream status("/proc/self/status");
    std::string key;
    uint64_t kb = 0;
    while (status >> key)
        if (key == "VmSize:" && (status >> kb))
            break;
    if (kb == 0)
        return false;
    struct rlimit limit {};
    if (getrlimit(RLIMIT_AS, &limit) != 0)
        return false;
    limit.rlim_cur = (kb << 10) + extra;
    return setrlimit(RLIMIT_AS, &limit) == 0;
}
