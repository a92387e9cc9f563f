// Line settings of a Linux tty through the termios2 interface (any baud rate via BOTHER).
// Kept apart from the rest of the Linux backend because the kernel's termios2 header and the
// C library's <termios.h> cannot share a translation unit.
#pragma once

#include "terminalport.h"

namespace platform::terminalport::linux_tty {

// Fills baud rate, byte size, parity, stop bits, the flow-control and parity-check bits and
// the XON/XOFF characters from the driver. False with errno set when the driver refuses.
bool ReadLine(int fd, Dcb& dcb);

// Puts those fields into the driver, in raw mode. A value the device cannot take fails with
// EINVAL before anything is changed. False with errno set.
bool WriteLine(int fd, const Dcb& dcb);

}  // namespace platform::terminalport::linux_tty
