/* Bench extensions exported by the simulated driver library: the loopback rig's PC-side
 * ports COM1 and COM2 and converter 0's own serial port MVPORT-0, opened like serial devices,
 * and the counter of time the bench has spent waiting in real mode. Every function that
 * returns int returns 0 on success and one of the MVB_ERROR_* codes on failure.
 * Thread-safe; a read blocks only its caller, and a write from another thread wakes it.
 * In real timing, calls on MVPORT-0 take the bench's request latency as the converter's
 * driver requests do; the PC's own COM ports answer at once. */
#ifndef MVBENCH_PORTS_H
#define MVBENCH_PORTS_H

#include <stdint.h>

#include "mvusb.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void *MVB_PORT;

#define MVB_ERROR_NOT_FOUND 2          /* the part is not on the bench */
#define MVB_ERROR_ACCESS_DENIED 5      /* already open, or opens fail (bench fault) */
#define MVB_ERROR_INVALID_HANDLE 6     /* not an open port */
#define MVB_ERROR_GEN_FAILURE 31       /* the converter went away, or the bench state is unusable */
#define MVB_ERROR_INVALID_PARAMETER 87 /* bad buffer, size, code or line setting */

/* Escape functions. */
#define MVB_SETRTS 3
#define MVB_CLRRTS 4
#define MVB_SETDTR 5
#define MVB_CLRDTR 6

/* Modem status bits. */
#define MVB_MS_CTS 0x10u
#define MVB_MS_DSR 0x20u
#define MVB_MS_RING 0x40u
#define MVB_MS_RLSD 0x80u

/* "\\.\COM1", "\\.\COM2" (the rig's PC ports) or "\\.\MVPORT-0" (converter 0's own serial
 * port); any letter case, the "\\.\" prefix optional. Fails when the part is not on the bench
 * (no rig attached for COM1/COM2, no converter 0 for MVPORT-0), when it is already open (no
 * sharing), or when the bench's opens-fail fault is on. A port opens with empty buffers,
 * DTR and RTS clear, and time-outs that make reads return at once. */
MV_EXPORT int MVB_PortOpen(const char *path, MVB_PORT *port);
/* Drops DTR and RTS and frees the port; bytes still in flight to it are lost. */
MV_EXPORT void MVB_PortClose(MVB_PORT port);
MV_EXPORT int MVB_PortEscape(MVB_PORT port, int function); /* 3 SETRTS, 4 CLRRTS, 5 SETDTR, 6 CLRDTR */
/* Baud rate 50..4000000; stop bits code 0 (1), 1 (1.5), 2 (2); parity code 0 none, 1 odd,
 * 2 even, 3 mark, 4 space; 5 to 8 data bits. */
MV_EXPORT int MVB_PortSetLine(MVB_PORT port, uint32_t baud, int stopBitsCode, int parityCode, int dataBits);
/* Win32 COMMTIMEOUTS semantics, in milliseconds: interval between received bytes, read total
 * = multiplier x bytes + constant, write total likewise (writes never wait on the bench: the
 * transmitter queues every byte at once and the bytes arrive as the line carries them).
 * As there, all-zero read time-outs wait until every byte asked for has come. */
MV_EXPORT int MVB_PortSetTimeouts(MVB_PORT port, uint32_t readInterval, uint32_t readMultiplier,
                                  uint32_t readConstant, uint32_t writeMultiplier, uint32_t writeConstant);
MV_EXPORT int MVB_PortRead(MVB_PORT port, void *buffer, uint32_t size, uint32_t *got);
MV_EXPORT int MVB_PortWrite(MVB_PORT port, const void *buffer, uint32_t size, uint32_t *put);
/* What the port sees on its inputs: 0x10 CTS, 0x20 DSR, 0x40 RI, 0x80 DCD. For MVPORT-0 that
 * is the converter's inputs (from the rig's COM ports or from the modem). */
MV_EXPORT int MVB_PortModemStatus(MVB_PORT port, uint32_t *status);

/* Microseconds of request latency and line time the bench has charged in this process (the
 * waits it did in real mode), and a reset of that counter: the benchmarks compare a pass's
 * duration with it. */
MV_EXPORT uint64_t MVB_ChargedMicroseconds(void);
MV_EXPORT void MVB_ResetCharged(void);

#ifdef __cplusplus
}
#endif

#endif
