#pragma once
#include <cstdint>

// Physical and virtual memory of the machine, in bytes.
struct MemoryStatus {
    uint64_t totalPhysical = 0, availablePhysical = 0;
    uint64_t totalVirtual = 0, availableVirtual = 0;
};
MemoryStatus QueryMemoryStatus();
