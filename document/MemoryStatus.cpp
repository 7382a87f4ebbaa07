#include "document/MemoryStatus.h"

#include <sys/sysinfo.h>

MemoryStatus QueryMemoryStatus()
{
    MemoryStatus m;
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return m;
    const uint64_t unit = info.mem_unit ? info.mem_unit : 1;
    m.totalPhysical = uint64_t(info.totalram) * unit;
    m.availablePhysical = (uint64_t(info.freeram) + uint64_t(info.bufferram)) * unit;
    m.totalVirtual = m.totalPhysical + uint64_t(info.totalswap) * unit;
    m.availableVirtual = m.availablePhysical + uint64_t(info.freeswap) * unit;
    return m;
}
