#pragma once
#include <cstdint>

// Bytes this process could still allocate and use: the machine's available
// memory (what the system could free for it, swap included), cut to what
// the process's own address-space and data limits leave. Total RAM says
// nothing about either.
uint64_t MemoryAvailableToProcess();
