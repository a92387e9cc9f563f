#include "sysinfo.h"

#include <unistd.h>

namespace platform::sysinfo {

uint64_t PhysicalMemoryBytes()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long size = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || size <= 0)
        return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(size);
}

}  // namespace platform::sysinfo
