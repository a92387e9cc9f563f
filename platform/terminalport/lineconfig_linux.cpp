#include "lineconfig_linux.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace platform::terminalport::linux_tty {

namespace {

struct Speed {
    uint32_t rate;
    tcflag_t code;
};
constexpr Speed kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool Fails(int code)
{
    errno = code;
    return false;
}

}  // namespace

bool ReadLine(int fd, Dcb& dcb)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    dcb.baudRate = tio.c_ospeed;
    switch (tio.c_cflag & CSIZE) {
    case CS5: dcb.byteSize = 5; break;
    case CS6: dcb.byteSize = 6; break;
    case CS7: dcb.byteSize = 7; break;
    default: dcb.byteSize = 8; break;
    }
    if (!(tio.c_cflag & PARENB))
        dcb.parity = 0;
    else if (tio.c_cflag & CMSPAR)
        dcb.parity = (tio.c_cflag & PARODD) ? 3 : 4;
    else
        dcb.parity = (tio.c_cflag & PARODD) ? 1 : 2;
    dcb.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;

    uint32_t flags = dcb.flags & ~(fParity | fOutxCtsFlow | fOutX | fInX | fRtsControlMask);
    flags |= fBinary;
    if (tio.c_iflag & INPCK)
        flags |= fParity;
    if (tio.c_cflag & CRTSCTS)
        flags |= fOutxCtsFlow | (kControlHandshake << kRtsControlShift);
    else
        flags |= dcb.flags & fRtsControlMask;  // the caller's view of the RTS line
    if (tio.c_iflag & IXON)
        flags |= fOutX;
    if (tio.c_iflag & IXOFF)
        flags |= fInX;
    dcb.flags = flags;
    dcb.xonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.xoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    return true;
}

bool WriteLine(int fd, const Dcb& dcb)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;

    // Everything the device cannot do is refused before anything changes.
    tcflag_t size = 0;
    switch (dcb.byteSize) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return Fails(EINVAL);
    }
    if (dcb.baudRate == 0 || dcb.parity > 4 || dcb.stopBits > 2)
        return Fails(EINVAL);
    const uint32_t dtrControl = (dcb.flags & fDtrControlMask) >> kDtrControlShift;
    const uint32_t rtsControl = (dcb.flags & fRtsControlMask) >> kRtsControlShift;
    if ((dcb.flags & (fOutxDsrFlow | fDsrSensitivity | fNull | fAbortOnError)) ||
        dtrControl == kControlHandshake)
        return Fails(EINVAL);
    if ((dcb.flags & fErrorChar) && dcb.errorChar != 0)  // bad bytes read as NUL only
        return Fails(EINVAL);

    // Raw mode: no line editing, echo, signals or output processing.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                     IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= CREAD | CLOCAL | size;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    tcflag_t code = BOTHER;
    for (const auto& speed : kSpeeds)
        if (speed.rate == dcb.baudRate)
            code = speed.code;
    tio.c_cflag |= code | (code << IBSHIFT);
    tio.c_ospeed = tio.c_ispeed = dcb.baudRate;

    switch (dcb.parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (dcb.stopBits != 0)  // one and a half stop bits is what CSTOPB gives with five data bits
        tio.c_cflag |= CSTOPB;
    if (dcb.flags & fParity)
        tio.c_iflag |= INPCK;
    if ((dcb.flags & fOutxCtsFlow) || rtsControl == kControlHandshake)
        tio.c_cflag |= CRTSCTS;
    if (dcb.flags & fOutX)
        tio.c_iflag |= IXON;
    if (dcb.flags & fInX)
        tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = static_cast<cc_t>(dcb.xonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.xoffChar);
    if (ioctl(fd, TCSETS2, &tio) != 0)
        return false;
    // Some drivers quietly keep their own framing (a pseudo-terminal is always 8 bits without
    // parity); a frame the device did not take is reported, not left for the user to find.
    termios2 back{};
    if (ioctl(fd, TCGETS2, &back) != 0)
        return false;
    constexpr tcflag_t frame = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    if ((back.c_cflag & frame) != (tio.c_cflag & frame))
        return Fails(EINVAL);
    return true;
}

}  // namespace platform::terminalport::linux_tty
