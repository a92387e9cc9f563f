#include "sysinfo.h"

#include <windows.h>

namespace platform::sysinfo {

uint64_t PhysicalMemoryBytes()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!::GlobalMemoryStatusEx(&status))
        return 0;
    return status.ullTotalPhys;
}

}  // namespace platform::sysinfo
