// Reads a tty's settings back from the kernel, as the driver holds them.
#pragma once

#include <cstdint>

namespace testsupport {

struct TtyState {
    uint32_t ospeed = 0;
    bool bother = false;   // an arbitrary rate
    int dataBits = 0;
    bool twoStopBits = false;
    bool rtsCts = false;
    bool xon = false, xoff = false;
    bool raw = false;      // no echo, no canonical mode, no signals, no output processing
    int vstart = 0, vstop = 0;
};

bool ReadTty(int fd, TtyState& state);

}  // namespace testsupport
