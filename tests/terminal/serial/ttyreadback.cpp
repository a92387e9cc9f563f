#include "ttyreadback.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace testsupport {

bool ReadTty(int fd, TtyState& state)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    state.ospeed = tio.c_ospeed;
    state.bother = (tio.c_cflag & CBAUD) == BOTHER;
    switch (tio.c_cflag & CSIZE) {
    case CS5: state.dataBits = 5; break;
    case CS6: state.dataBits = 6; break;
    case CS7: state.dataBits = 7; break;
    default: state.dataBits = 8; break;
    }
    state.twoStopBits = tio.c_cflag & CSTOPB;
    state.rtsCts = tio.c_cflag & CRTSCTS;
    state.xon = tio.c_iflag & IXON;
    state.xoff = tio.c_iflag & IXOFF;
    state.raw = !(tio.c_lflag & (ECHO | ICANON | ISIG)) && !(tio.c_oflag & OPOST);
    state.vstart = tio.c_cc[VSTART];
    state.vstop = tio.c_cc[VSTOP];
    return true;
}

}  // namespace testsupport
