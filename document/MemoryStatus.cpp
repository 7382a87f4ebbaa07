#include "document/MemoryStatus.h"

#include <sys/resource.h>
#include <sys/sysinfo.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The value of a "Name:   1234 kB" line of a /proc file, in bytes; 0 when
// the line is missing.
uint64_t ProcKilobytes(const char* file, const std::string& name)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, name.size(), name) != 0 || line.size() <= name.size() || line[name.size()] != ':')
            continue;
        std::istringstream value(line.substr(name.size() + 1));
        uint64_t kb = 0;
        if (value >> kb)
            return kb << 10;
        return 0;
    }
    return 0;
}

// What a limit leaves once `used` bytes count against it.
uint64_t Room(int resource, uint64_t used)
{
    struct rlimit limit {};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return UINT64_MAX;
    return limit.rlim_cur > used ? uint64_t(limit.rlim_cur) - used : 0;
}

} // namespace

MemoryStatus QueryMemoryStatus()
{
    MemoryStatus m;
    m.addressSpaceLeft = std::min(Room(RLIMIT_AS, ProcKilobytes("/proc/self/status", "VmSize")),
                                  Room(RLIMIT_DATA, ProcKilobytes("/proc/self/status", "VmData")));
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return m;
    const uint64_t unit = info.mem_unit ? info.mem_unit : 1;
    m.totalPhysical = uint64_t(info.totalram) * unit;
    // Free memory leaves out the caches the kernel gives back on demand;
    // the kernel's own estimate counts them.
    m.availablePhysical = ProcKilobytes("/proc/meminfo", "MemAvailable");
    if (m.availablePhysical == 0)
        m.availablePhysical = (uint64_t(info.freeram) + uint64_t(info.bufferram)) * unit;
    m.totalVirtual = m.totalPhysical + uint64_t(info.totalswap) * unit;
    m.availableVirtual = m.availablePhysical + uint64_t(info.freeswap) * unit;
    return m;
}

uint64_t MemoryAvailableToProcess()
{
    const MemoryStatus m = QueryMemoryStatus();
    // Without the machine's figures only the limits are known.
    const uint64_t machine = m.totalPhysical ? m.availableVirtual : UINT64_MAX;
    return std::min(machine, m.addressSpaceLeft);
}
