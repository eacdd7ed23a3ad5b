/*
 * tovlink.h - the probe API: open a link to a TOV debug probe and talk to it.
 *
 * Every function returns a signed 32-bit result unless noted: 0 or a positive value (a length,
 * count or identifier) means success, a negative value is an error code whose text
 * TOV_ErrorTextGet gives. The library keeps one connection per process and is not thread-safe:
 * call it from one thread at a time. Every call blocks until the probe answered or the time-outs
 * are spent. Strings passed in are read during the call only; the library keeps no pointer.
 * The number after each function is its ordinal.
 */
#ifndef TOVLINK_H
#define TOVLINK_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TOV_API __attribute__((visibility("default")))
#else
#define TOV_API
#endif

/* Link and session --------------------------------------------------------------------------- */

/* (2) Parses a dotted IPv4 address ("10.0.0.1") and returns it in network byte order as it lies
 * in memory (0x0100000A for 10.0.0.1), or 0xFFFFFFFF for a malformed text or 0.0.0.0. */
TOV_API uint32_t TOV_INetAddr(const char* address);

/* (3) Opens the connection, closing one that is open. `parameters` is "COMn [RATE]" (COMn is the
 * device in environment variable TOV_COMn, else /dev/ttyS(n-1)), "/dev/PATH [RATE]", or
 * "NETWORK HOST [1|2]" (UDP port 2001 or 2002, checked with up to six link pings). RATE defaults
 * to 115200; the line rate is negotiated with the probe. Returns 0, -1202 for bad parameters or a
 * host that cannot be resolved, or the transport's error (-1001, -1101, -1201, ...). */
TOV_API int32_t TOV_Open(const char* parameters);

/* (4) Puts frame type 0x30 into every later command frame of this connection. */
TOV_API void TOV_SetNetFrameType(void);

/* (5) Closes the connection if one is open. Always returns 0. */
TOV_API int32_t TOV_Close(void);

/* (6) Sends one request message (at most 1498 bytes) and copies the answer message into
 * `answer`. `extraTimeout` ms are added to the transport's wait for the answer. Returns the
 * answer length (> 0), -1203 when not connected, -1202 for a too long request, -1204 when the
 * answer exceeds `answerCapacity` (nothing copied), or -1201 after three unanswered sends
 * (every later call then returns -1201 until the connection is opened again). */
TOV_API int32_t TOV_Transaction(int32_t requestLength, const uint8_t* request,
                                int32_t answerCapacity, uint8_t* answer, int32_t extraTimeout);

/* (7) Returns and clears the event bits the probe sent since the last call (0 when closed). */
TOV_API uint8_t TOV_GetPendingEvents(void);

/* (11) Opens like TOV_Open, then starts the probe's firmware; a probe still in its loader is
 * given 2 s to restart and opened again. Resets the kept state of the file and flash calls. */
TOV_API int32_t TOV_Connect(const char* parameters);

/* (12) Same as TOV_Close. */
TOV_API int32_t TOV_Disconnect(void);

/* (31) Returns the fixed English text of an error code. The text is owned by the library; for an
 * unknown code it is "TOV: Unknown error number (N)" in a buffer that the next unknown code
 * overwrites. Never returns NULL. */
TOV_API const char* TOV_ErrorTextGet(int32_t code);

/* Extensions without an ordinal ------------------------------------------------------------ */

/* Returns the line rate the open serial connection runs at after negotiation, in baud; 0 when no
 * connection is open or it is a network connection. */
TOV_API uint32_t TOV_LineRateGet(void);

#ifdef __cplusplus
}
#endif

#endif /* TOVLINK_H */
