// What the program asks of the machine itself: how much physical memory it has (for a
// sensible default of the receive views' memory budget).
//
// Threads: any thread.
#pragma once

#include <cstdint>

namespace platform::sysinfo {

// The machine's physical memory in bytes; 0 when the system does not say.
uint64_t PhysicalMemoryBytes();

}  // namespace platform::sysinfo
