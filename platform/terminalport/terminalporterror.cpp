// The one place every backend failure passes through: the code of the last failed call,
// kept per thread as the system keeps its own.
#include "terminalport.h"

namespace platform::terminalport {

namespace {
thread_local uint32_t lastError = 0;
}

uint32_t LastError() { return lastError; }
void SetLastError(uint32_t code) { lastError = code; }

bool Fail(uint32_t code)
{
    lastError = code;
    return false;
}

}  // namespace platform::terminalport
