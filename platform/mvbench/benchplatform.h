// What the simulated bench asks of the operating system beyond files (platform_fileutil):
// where its folder lies by default, the process id that seeds converter ids, and timers fine
// enough for its millisecond latencies. Backends: benchplatform_linux.cpp,
// benchplatform_win32.cpp.
//
// Threads: every call may come from any thread.
#pragma once

#include <cstdint>
#include <filesystem>

namespace mvbench {

// The bench folder: $MVBENCH_DIR when set and not empty, else the per-user default: mvbench
// under $XDG_STATE_HOME (~/.local/state) on Linux, under %LOCALAPPDATA% on Windows. Read at
// every call.
std::filesystem::path BenchDir();

uint64_t ProcessId();

// Asks for timer waits and sleeps of about a millisecond for the rest of the process (the
// first call does it; Windows otherwise rounds them up to its clock tick of about 16 ms).
void UsePreciseTimers();

}  // namespace mvbench
