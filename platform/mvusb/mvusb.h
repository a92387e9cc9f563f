/* The converter maker's USB driver library: the five functions Eemint calls and the request
 * codes it sends through MV_IoCtl. Every function returns a 32-bit status, 0 for success.
 * Eemint links to the simulated bench's implementation by default, or to a site's own
 * library (CMake option MVUSB_LIBRARY). */
#ifndef MVUSB_H
#define MVUSB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define MV_API __stdcall
#else
#define MV_API
#endif

#if defined(_WIN32) && defined(MVUSB_BUILDING)
#define MV_EXPORT __declspec(dllexport)
#elif defined(MVUSB_BUILDING)
#define MV_EXPORT __attribute__((visibility("default")))
#else
#define MV_EXPORT
#endif

typedef uint32_t MV_STATUS;
typedef void *MV_HANDLE;

#define MV_OK ((MV_STATUS)0)

/* MV_IoCtl request codes. Integers in the buffers are little-endian. */
#define MV_IOCTL_READ_EE_WORD      0x220080u /* in: word index (32-bit, 0..63); out: the word (2 bytes) */
#define MV_IOCTL_WRITE_EE_WORD     0x220084u /* in and out: word index (16-bit), low byte, high byte */
#define MV_IOCTL_ERASE_EE          0x220088u /* no buffers; every word then reads 0xFFFF */
#define MV_IOCTL_SET_BAUD_RATE     0x220104u /* in: baud rate (32-bit) */
#define MV_IOCTL_SET_LINE_CONTROL  0x22010Cu /* in: stop-bits code, parity code, word length (3 bytes) */
#define MV_IOCTL_SET_TIMEOUTS      0x22011Cu /* in: read and write time-out in ms (32-bit each) */
#define MV_IOCTL_SET_HIGH_SPEED    0x220164u /* no buffers; sent in the 115200-baud set-up */
#define MV_IOCTL_GET_MODEM_STATUS  0x220168u /* out: modem status (32-bit) */

/* Bits of the modem status returned by MV_IOCTL_GET_MODEM_STATUS. */
#define MV_MODEM_CTS 0x10u
#define MV_MODEM_DSR 0x20u
#define MV_MODEM_RI  0x40u
#define MV_MODEM_DCD 0x80u

/* Opens the converter at a device index (0 = first plugged in; indices are dense). */
MV_EXPORT MV_STATUS MV_API MV_Open(int deviceIndex, MV_HANDLE *handle);
MV_EXPORT MV_STATUS MV_API MV_Close(MV_HANDLE handle);
/* Reads what the converter's serial side has received: 0 to bytesToRead bytes, after at
 * most the read time-out. */
MV_EXPORT MV_STATUS MV_API MV_Read(MV_HANDLE handle, void *buffer, uint32_t bytesToRead,
                                   uint32_t *bytesRead);
/* Sends on the converter's serial side; may accept fewer bytes than asked. */
MV_EXPORT MV_STATUS MV_API MV_Write(MV_HANDLE handle, const void *buffer, uint32_t bytesToWrite,
                                    uint32_t *bytesWritten);
MV_EXPORT MV_STATUS MV_API MV_IoCtl(MV_HANDLE handle, uint32_t requestCode, void *inBuffer,
                                    uint32_t inSize, void *outBuffer, uint32_t outSize,
                                    uint32_t *bytesReturned, void *overlapped);

#ifdef __cplusplus
}
#endif

#endif
