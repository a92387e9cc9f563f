#include "benchplatform.h"

#include <unistd.h>

#include <cstdlib>

namespace mvbench {

std::filesystem::path BenchDir()
{
    const char* dir = std::getenv("MVBENCH_DIR");
    if (dir && *dir)
        return dir;
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state)
        return std::filesystem::path(state) / "mvbench";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/tmp") / ".local" / "state" / "mvbench";
}

uint64_t ProcessId() { return static_cast<uint64_t>(::getpid()); }

// Linux timers are precise already.
void UsePreciseTimers() {}

}  // namespace mvbench
