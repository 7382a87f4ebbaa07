#include "document/ProcessMemory.h"

#include <sys/resource.h>
#include <sys/sysinfo.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <string>

namespace {

// A "Label:   123 kB" line of a /proc file, in bytes; `fallback` if absent.
uint64_t ProcValue(const char* file, const std::string& label, uint64_t fallback)
{
    std::ifstream in(file);
    std::string word;
    while (in >> word) {
        if (word == label) {
            uint64_t kb = 0;
            return in >> kb ? kb << 10 : fallback;
        }
    }
    return fallback;
}

// What a limit leaves once `used` bytes count against it.
uint64_t Room(int resource, uint64_t used)
{
    struct rlimit limit {};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<uint64_t>::max();
    return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

} // namespace

uint64_t MemoryAvailableToProcess()
{
    constexpr uint64_t kUnknown = std::numeric_limits<uint64_t>::max();
    uint64_t machine = ProcValue("/proc/meminfo", "MemAvailable:", kUnknown);
    if (machine == kUnknown) {
        struct sysinfo info {};
        if (sysinfo(&info) == 0)
            machine = (uint64_t(info.freeram) + info.bufferram) * (info.mem_unit ? info.mem_unit : 1);
    } else {
        machine += ProcValue("/proc/meminfo", "SwapFree:", 0);
    }
    const uint64_t space = Room(RLIMIT_AS, ProcValue("/proc/self/status", "VmSize:", 0));
    const uint64_t data = Room(RLIMIT_DATA, ProcValue("/proc/self/status", "VmData:", 0));
    return std::min({machine, space, data});
}
