#pragma once
#include <cstdint>

// Physical and virtual memory of the machine, and the address space this
// process may still map, in bytes.
struct MemoryStatus {
    uint64_t totalPhysical = 0, availablePhysical = 0;
    uint64_t totalVirtual = 0, availableVirtual = 0;
    // What the process's address-space and data limits leave; the largest
    // value when it has none.
    uint64_t addressSpaceLeft = UINT64_MAX;
};
MemoryStatus QueryMemoryStatus();

// Bytes this process could still allocate and use: the machine's available
// memory (what the system could free for it, swap included), cut to what
// the process's own limits leave. Total RAM says nothing about either.
uint64_t MemoryAvailableToProcess();
