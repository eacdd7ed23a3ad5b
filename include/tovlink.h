/*
 * tovlink.h - the probe API: open a link to a TOV debug probe and talk to it.
 *
 * Every function returns a signed 32-bit result unless noted: 0 or a positive value (a length,
 * count or identifier) means success, a negative value is an error code whose text
 * TOV_ErrorTextGet gives. The library keeps one connection per process and is not thread-safe:
 * call it from one thread at a time. Every call blocks until the probe answered or the time-outs
 * are spent. Strings passed in are read during the call only; the library keeps no pointer.
 * No exception leaves the library: a call that fails inside the library itself (memory
 * exhausted) returns -1202, and TOV_LastErrorDetail then begins with "internal failure:".
 * The number after each function is its ordinal.
 */
#ifndef TOVLINK_H
#define TOVLINK_H

#include <stdint.h>

#include "tov_types.h"

/* The version of this header; TOV_VersionGet gives the library's, which may be newer. */
#define TOVLINK_VERSION_MAJOR 0
#define TOVLINK_VERSION_MINOR 1
#define TOVLINK_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TOV_API __attribute__((visibility("default")))
#else
#define TOV_API
#endif

/* Types: TargetInfo, RegisterDescriptor and StartupEntry are in tov_types.h. */

/* Link and session --------------------------------------------------------------------------- */

/* (2) Parses a dotted IPv4 address ("10.0.0.1") and returns it in network byte order as it lies
 * in memory (0x0100000A for 10.0.0.1), or 0xFFFFFFFF for a malformed text or 0.0.0.0. */
TOV_API uint32_t TOV_INetAddr(const char* address);

/* (3) Opens the connection, closing one that is open. `parameters` is "COMn [RATE]" (COMn is the
 * device in environment variable TOV_COMn, else /dev/ttyS(n-1)), "/dev/PATH [RATE]", or
 * "NETWORK HOST [1|2]" (UDP port 2001 or 2002, checked with up to six link pings). RATE defaults
 * to 115200; the line rate is negotiated with the probe. Returns 0, -1202 for bad parameters or a
 * host that cannot be resolved, or the transport's error (-1001, -1101, -1201, ...).
 * A serial port is opened exclusively and with an advisory lock (flock) held until the
 * connection is closed; TOV_LastErrorDetail says why a port could not be used. */
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

/* Target access -------------------------------------------------------------------------------
 * Requests answered by the probe carry a status: 0, or a probe-side code (-2001 ... -2207) that is
 * returned sign-extended. An answer of the wrong code or length gives -1205. A NULL pointer where
 * data is needed gives -1202 without traffic. */

/* (17) Starts (runs) the target. Returns its status. */
TOV_API int32_t TOV_TargetStart(void);

/* (18) Halts the target; the request is sent up to three times while no answer comes. */
TOV_API int32_t TOV_TargetHalt(void);

/* (19) Resets the target: TOV_TargetReset2(0). */
TOV_API int32_t TOV_TargetReset(void);

/* (70) Resets the target with a firmware-defined value that also extends the wait by that many
 * ms (0: a wait of 5000 ms). */
TOV_API int32_t TOV_TargetReset2(uint16_t value);

/* (20) Steps the target; the fields are the firmware's, `third` also extends the wait in ms.
 * `result` receives the answer's value whatever the status. */
TOV_API int32_t TOV_TargetStep(uint32_t first, uint32_t second, uint16_t third, uint32_t* result);

/* (27) Reads the target state (0 reset, 1 ready, 2 running, 3 error with its cause in `error`).
 * On entry `valueCount` is the capacity of `values`; on return the number stored. */
TOV_API int32_t TOV_StateGet(uint16_t* state, int32_t* error, uint32_t* value,
                             uint16_t* valueCount, uint32_t* values);

/* (32) Starts the target up with up to 128 firmware-defined entries (more: -1202). */
TOV_API int32_t TOV_TargetStartup(uint16_t value, uint32_t parameter, uint16_t entryCount,
                                  const StartupEntry* entries);

/* (26) Reads the probe information: firmware family and version, CPU type, stored setup. */
TOV_API int32_t TOV_InfoGet(TargetInfo* info);

/* (33) Sets the debug clock speed (unit defined by the firmware). */
TOV_API int32_t TOV_SetBdmSpeed(uint32_t speed);

/* (13) Reads `count` registers (at most 373) into `values`; on a non-zero status `values` is
 * left untouched. */
TOV_API int32_t TOV_RegisterGet(uint16_t count, const RegisterDescriptor* registers,
                                uint32_t* values);

/* (14) Writes `count` registers (at most 186). */
TOV_API int32_t TOV_RegisterSet(uint16_t count, const RegisterDescriptor* registers,
                                const int32_t* values);

/* (50) Reads floating-point registers first..last (at most 128), 8 raw bytes each as the probe
 * sends them. */
TOV_API int32_t TOV_FPRegGet(uint16_t first, uint16_t last, uint8_t* data);

/* (51) Writes floating-point registers first..last, 8 raw bytes each. */
TOV_API int32_t TOV_FPRegSet(uint16_t first, uint16_t last, const uint8_t* data);

/* (61) Reads vector registers first..last (at most 64), 16 raw bytes each. */
TOV_API int32_t TOV_VRegGet(uint16_t first, uint16_t last, uint8_t* data);

/* (62) Writes vector registers first..last, 16 raw bytes each. */
TOV_API int32_t TOV_VRegSet(uint16_t first, uint16_t last, const uint8_t* data);

/* (15) Reads `count` bytes of target memory in pieces of 1024; `access` goes to the firmware
 * unchanged. Returns 0 or the first failure; earlier pieces are already in `buffer`. */
TOV_API int32_t TOV_MemoryRead(uint32_t address, uint16_t access, uint16_t count,
                               uint8_t* buffer);

/* (16) Writes `count` bytes of target memory in pieces of 1024; earlier pieces stay written. */
TOV_API int32_t TOV_MemoryWrite(uint32_t address, uint16_t access, uint16_t count,
                                const uint8_t* data);

/* (37) (38) (39) Read one byte, 16-bit word or 32-bit word of target memory. */
TOV_API int32_t TOV_GetByte(uint32_t address, uint8_t* value);
TOV_API int32_t TOV_GetWord(uint32_t address, uint16_t* value);
TOV_API int32_t TOV_GetLong(uint32_t address, uint32_t* value);

/* (34) (35) (36) Write one byte, 16-bit word or 32-bit word; -2106 when the value the probe
 * reads back differs. */
TOV_API int32_t TOV_SetByte(uint32_t address, uint8_t value);
TOV_API int32_t TOV_SetWord(uint32_t address, uint16_t value);
TOV_API int32_t TOV_SetLong(uint32_t address, uint32_t value);

/* (21) Adds a breakpoint; returns its identifier (0..65535) or a status/error. */
TOV_API int32_t TOV_BreakAdd(uint32_t address, uint32_t kind);

/* (22) Reads a breakpoint's value; `value` receives it whatever the status. */
TOV_API int32_t TOV_BreakRead(uint16_t identifier, uint32_t* value);

/* (23) Deletes a breakpoint (a negative identifier is sent as 0xFFFF). */
TOV_API int32_t TOV_BreakDelete(int32_t identifier);

/* (24) Adds a watchpoint; returns its identifier or a status/error. */
TOV_API int32_t TOV_WatchAdd(uint16_t mode, uint32_t address, uint32_t bound, uint32_t third,
                             uint32_t fourth);

/* (25) Deletes a watchpoint (a negative identifier is sent as 0xFFFF). */
TOV_API int32_t TOV_WatchDelete(int32_t identifier);

/* (28) Copies the pending terminal text, zero-terminated, into `text` (room for 1500 bytes);
 * an empty text means nothing was pending. */
TOV_API int32_t TOV_TerminalRead(char* text);

/* (29) Sends one character to the probe's terminal. */
TOV_API int32_t TOV_TerminalWrite(uint8_t character);

/* (55) Reads up to `count` bytes from a channel; returns the number received. */
TOV_API int32_t TOV_ChannelRead(uint16_t channel, uint16_t count, uint8_t* buffer);

/* (56) Writes `count` bytes to a channel; returns the number the probe accepted. */
TOV_API int32_t TOV_ChannelWrite(uint16_t channel, uint16_t count, const uint8_t* data);

/* (30) Passes a command text (at most 1023 characters) to the probe's interpreter and copies at
 * most capacity-1 characters of its reply, zero-terminated, into `reply` (nothing when capacity
 * is 0). Returns the interpreter's status (-2201 ... -2207 for a bad command). */
TOV_API int32_t TOV_DirectCommand(const char* command, uint16_t capacity, char* reply);

/* Download, files and flash ----------------------------------------------------------------------
 * Files are Motorola S-record text files. -1207 means a file could not be opened, read or parsed.
 * No other request may be sent between TOV_InitDownload and TOV_EndDownload. */

/* (8) Starts a bulk download; `mode` goes to the probe unchanged (the file functions use 0).
 * Blocks are compressed when `compress` is non-zero and the link is serial. */
TOV_API int32_t TOV_InitDownload(uint8_t mode, uint8_t compress);

/* (9) Sends data to target memory with up to three blocks in flight. The first error (-1201 after
 * four resends, -1206 when the probe reports a failure) is returned by every later call until
 * the next TOV_InitDownload. */
TOV_API int32_t TOV_Download(uint32_t address, uint16_t length, const uint8_t* data);

/* (10) Waits until every block is acknowledged; `detail` receives the probe's error detail. */
TOV_API int32_t TOV_EndDownload(uint32_t* detail);

/* (42) Writes a buffer to target memory with write-block requests; `result` receives the word
 * of the last answer. -1206 when the probe reports a write error. */
TOV_API int32_t TOV_LoadBlock(uint32_t address, uint16_t length, const uint8_t* data,
                              uint32_t* result);

/* (44) Compares target memory with a buffer; -1210 on a difference. */
TOV_API int32_t TOV_VerifyBlock(uint32_t address, uint16_t length, const uint8_t* data,
                                uint32_t* result);

/* (43) (71) Loads an S-record file into target memory, each address plus `offset`; `detail`
 * receives the probe's error detail. */
TOV_API int32_t TOV_LoadFile(const char* path, uint32_t* detail);
TOV_API int32_t TOV_LoadFile2(const char* path, uint32_t offset, uint32_t* detail);

/* (45) (72) Verifies target memory against an S-record file; -1210 on a difference. */
TOV_API int32_t TOV_VerifyFile(const char* path, uint32_t* detail);
TOV_API int32_t TOV_VerifyFile2(const char* path, uint32_t offset, uint32_t* detail);

/* (40) Reads target memory (as TOV_MemoryRead with access 0). */
TOV_API int32_t TOV_DumpBlock(uint32_t address, uint16_t length, uint8_t* buffer);

/* (41) Writes `count` bytes of target memory from `address` on into an S-record file (S1, S2 or
 * S3 records of 32 bytes, chosen by the last address), reading 32 bytes per request. A regular
 * file is written beside the target under a temporary name and renamed over it only when the
 * whole dump succeeded: on failure an existing file keeps its bytes and no new file appears.
 * Where no file can be made beside it, the target is written directly. */
TOV_API int32_t TOV_DumpFile(const char* path, uint32_t address, uint32_t count);

/* (46) Describes the external flash: type code, size of one chip in bytes, (reserved, no
 * effect), bus width in bits (8, 16, 32, 64) and the target workspace address for the probe.
 * Sends nothing; -1202 for an unknown type or bus width. */
TOV_API int32_t TOV_FlashSetType(uint16_t type, uint32_t chipSize, uint32_t reserved,
                                 uint16_t busBits, uint32_t workspace);

/* (48) Programs a buffer into flash; -1209 when the probe reports a programming error. */
TOV_API int32_t TOV_FlashWriteBlock(uint32_t address, uint16_t length, const uint8_t* data,
                                    uint32_t* result);

/* (49) (73) Programs an S-record file into flash, each address plus `offset`. */
TOV_API int32_t TOV_FlashWriteFile(const char* path, uint32_t* detail);
TOV_API int32_t TOV_FlashWriteFile2(const char* path, uint32_t offset, uint32_t* detail);

/* (47) Erases the flash sector at the address; -1208 when the erase fails or times out. */
TOV_API int32_t TOV_FlashEraseSector(uint32_t sector);

/* (60) Erases flash: mode 2 the whole chip, mode 1 a block (types 22-24), else the sector at the
 * address. */
TOV_API int32_t TOV_FlashErase(uint16_t mode, uint32_t address);

/* (53) Sets up the on-chip flash of a paged 16-bit target: variant, type (bit 15: translate
 * banked addresses of file loads), bus width in bits (8, 16, 32), flash size, workspace. */
TOV_API int32_t TOV_FlashSetupHC12(uint16_t variant, uint16_t type, uint16_t busBits,
                                   uint32_t flashSize, uint32_t workspace);

/* (54) Erases the on-chip flash set up by TOV_FlashSetupHC12 at the address; -1208 on failure. */
TOV_API int32_t TOV_FlashEraseHC12(uint32_t address, uint32_t selection);

/* (57) Sets up the row-organised on-chip flash (type 16 or 17) with its mode parameter. */
TOV_API int32_t TOV_FlashSetup555(uint16_t type, uint32_t parameter, uint32_t workspace);

/* (58) Has the probe erase that flash: a sector (`sector` non-zero) or what `selection` names. */
TOV_API int32_t TOV_FlashErase555(uint32_t address, uint32_t selection, uint16_t sector,
                                  uint32_t parameter, uint32_t workspace);

/* (59) Programs an S-record file into that flash (set up as type 16); -1207 for a bad file or
 * data beyond 0x70000 bytes, -1209 when programming fails. */
TOV_API int32_t TOV_FlashWrite555(const char* path, uint32_t* detail);

/* (67) Sets up on-chip flash of type 25 or 26. */
TOV_API int32_t TOV_FlashSetupUC3F(uint16_t type, uint32_t workspace);

/* (68) Has the probe erase that flash: a sector (`sector` non-zero) or what `selection` names. */
TOV_API int32_t TOV_FlashEraseUC3F(uint32_t address, uint32_t selection, uint16_t sector,
                                   uint32_t workspace);

/* (69) Sets up the on-chip flash of a 32-bit controller as type 21; erased with TOV_FlashErase. */
TOV_API int32_t TOV_FlashSetupSGFM(uint32_t parameter, uint32_t workspace);

/* Maintenance -------------------------------------------------------------------------------- */
/* These open the connection with `port` (as TOV_Open) themselves and always close it. */

/* (52) Updates the probe's firmware and logic for target family `family` (0..35, else -1202) from
 * the newest files "BASE.nnn" found by appending to `path` (a directory ending in '/'). `mode`:
 * 0 what is outdated, 1 also the firmware, 2 also the logic, 3 both. -1301 unknown probe, -1302
 * firmware file missing or bad, -1306 logic file missing or bad, -1304/-1305 logic device. */
TOV_API int32_t TOV_UpdateFirmwareLogic(const char* port, const char* path, uint16_t family,
                                        uint16_t mode);

/* (65) Writes the probe's IP address, subnet mask and default gateway (dotted texts; an invalid
 * or empty text is stored as 255.255.255.255) with its MAC. -1202 on a TOV-X, -1303 when the
 * record reads back differently. */
TOV_API int32_t TOV_ConfigNetwork(const char* port, const char* ip, const char* mask,
                                  const char* gateway);

/* (66) Reads the probe's identity, versions and network record into the caller's buffers, which
 * must hold at least: description 27 bytes, family 14, versions 14, mac 18, ip/mask/gateway 16
 * each. Buffers with nothing to show (the addresses of a TOV-X) are left empty. */
TOV_API int32_t TOV_GetConfiguration(const char* port, char* description, char* family,
                                     char* versions, char* mac, char* ip, char* mask,
                                     char* gateway);

/* (63) Stores an automatic programming job for a paged 16-bit target in the probe, which then
 * programs targets by itself. It connects as TOV_Connect does (the firmware keeps running) and
 * disconnects before returning. `type` is the target type (13 is refused with -1202); with bit 15
 * set the program file holds paged CPU addresses. b..h are stored for the probe as given (b as
 * its low byte). `entries` holds 3 x `entryCount` words, stored as 12-byte entries. The program
 * file (NULL or "" for none) may hold up to 256 KB, the second file up to 4 KB. Both files are
 * read before anything is sent. -1207 bad file, -1208/-1209 erase/program failed, -1210 read
 * back differently. */
TOV_API int32_t TOV_EnableAutoProgHC12(const char* port, uint16_t type, uint16_t b, uint16_t c,
                                       uint16_t d, uint16_t entryCount, const uint32_t* entries,
                                       uint8_t e, uint8_t f, const char* programPath, uint8_t g,
                                       uint8_t h, const char* secondPath);

/* (64) Removes a stored automatic programming job (connects, erases it, disconnects). */
TOV_API int32_t TOV_DisableAutoProgHC12(const char* port);

/* Extensions without an ordinal ------------------------------------------------------------ */

/* Returns the line rate the open serial connection runs at after negotiation, in baud; 0 when no
 * connection is open or it is a network connection. */
TOV_API uint32_t TOV_LineRateGet(void);

/* Progress of the long calls: `done` out of `total` units, called from inside them: bytes of the
 * S-record file read (file loads, verifies and flash writes, and the firmware file of
 * TOV_UpdateFirmwareLogic), bytes written (block calls), bytes dumped (TOV_DumpFile,
 * TOV_DumpFileFast) or image bytes stored (TOV_EnableAutoProgHC12). */
typedef void (*TOV_ProgressFn)(uint32_t done, uint32_t total, void* user);

/* Registers (or with NULL removes) the progress callback; `user` is handed back unchanged. */
TOV_API void TOV_ProgressSet(TOV_ProgressFn fn, void* user);

/* The library's version as "MAJOR.MINOR.PATCH". */
TOV_API const char* TOV_VersionGet(void);

/* As TOV_DumpFile, writing the same file byte for byte, but reading target memory in the probe's
 * largest pieces (1024 bytes) instead of one request per record. */
TOV_API int32_t TOV_DumpFileFast(const char* path, uint32_t address, uint32_t count);

/* Images: program files read into memory whole and checked before anything is sent (no two
 * pieces of data over the same byte, nothing past address 0xFFFFFFFF), then loaded, verified or
 * programmed into flash. Image file formats of the TOV_Image* calls: */
#define TOV_IMAGE_AUTO 0  /* recognised from the content; unknown content is a raw binary */
#define TOV_IMAGE_SREC 1  /* S-records */
#define TOV_IMAGE_IHEX 2  /* Intel HEX */
#define TOV_IMAGE_ELF 3   /* ELF executable: its allocated sections with contents, or without
                           * section headers its loadable segments, at their physical addresses */
#define TOV_IMAGE_BIN 4   /* raw binary, the whole file at `base` */
typedef struct TOV_ImageOptions {
    uint32_t format;   /* TOV_IMAGE_* */
    uint32_t offset;   /* added to every address of the file */
    uint32_t base;     /* address of a raw binary's first byte */
    uint32_t hasBase;  /* nonzero when base is given (a raw binary needs it) */
} TOV_ImageOptions;

/* Loads the image file at `path` into target memory (options NULL: format recognised, offset 0).
 * The file is read whole first: a file that cannot be read or is malformed, a raw binary without
 * a base or a file with addresses of its own given one gives -1207 before anything is sent, with
 * TOV_LastErrorDetail naming the file and the place (line, segment or section, or both ranges of
 * overlapping data). An unknown format gives -1202. Progress counts data bytes. */
TOV_API int32_t TOV_ImageLoad(const char* path, const TOV_ImageOptions* options);
/* As TOV_ImageLoad, with the probe's detail word of a failed transfer in `detail` (may be NULL). */
TOV_API int32_t TOV_ImageLoad2(const char* path, const TOV_ImageOptions* options,
                               uint32_t* detail);
/* Compares target memory with the image file; -1210 at the first difference, which
 * TOV_LastErrorDetail gives with the expected and found bytes. */
TOV_API int32_t TOV_ImageVerify(const char* path, const TOV_ImageOptions* options);
TOV_API int32_t TOV_ImageVerify2(const char* path, const TOV_ImageOptions* options,
                                 uint32_t* detail);

#define TOV_ERASE_AUTO 0  /* erase only the sectors the image touches */
#define TOV_ERASE_CHIP 1  /* erase the chip banks the image touches */
#define TOV_ERASE_NONE 2  /* program without erasing */
typedef struct TOV_FlashOptions {
    const char* type;         /* set-up text as tov flash --type takes it; NULL: the set-up made before with TOV_FlashSetType and friends */
    uint32_t erase;           /* TOV_ERASE_* */
    uint32_t sectorSize;      /* 0: the set-up's default */
    uint32_t skipUnchanged;   /* nonzero: leave sectors that already hold the image's bytes */
    uint32_t verify;          /* nonzero: read back and compare after programming */
    uint32_t dryRun;          /* nonzero: plan only, nothing erased or programmed */
    uint32_t flashBase;       /* where the flash lies: data outside flashBase .. */
    uint32_t flashSize;       /* .. flashBase + flashSize - 1 is written as memory; 0: all is flash */
    uint32_t refuseOutside;   /* nonzero: data outside the flash refuses the file (-1202) */
} TOV_FlashOptions;
typedef struct TOV_FlashReport {
    uint32_t unitsPlanned, unitsSkipped, unitsErased;
    uint32_t bytesProgrammed;  /* in a dry run: the bytes that would be programmed */
    uint32_t unitSize;         /* bytes of one erase unit (sector or chip bank); 0 unplanned */
    uint32_t probeDetail;      /* the probe's detail word of a failed program or verify */
    uint32_t bytesAsMemory;    /* data bytes outside the flash, written as memory */
} TOV_FlashReport;

/* Programs the image file into flash: plans the erase units (sectors, or chip banks with
 * TOV_ERASE_CHIP) the image touches, leaves those already holding the image's bytes when asked,
 * erases and programs the rest, and verifies when asked; a dry run only plans (with
 * skipUnchanged it reads the flash to compare, otherwise it needs no connection). A set-up type
 * that cannot erase is programmed without erasing. On-chip set-ups take neither erase choices
 * nor sector sizes, skipping nor dry runs (-1202). The image is read whole before anything is
 * sent (-1207 as for TOV_ImageLoad); -1202 for a set-up text that is no set-up or a missing
 * set-up, -1208 erase, -1209 program, -1210 verify failures, each with TOV_LastErrorDetail naming
 * the file and the step or address. `report` (may be NULL) is filled also when the call fails.
 * Progress counts data bytes of programming and verifying. */
TOV_API int32_t TOV_ImageFlash(const char* path, const TOV_ImageOptions* image,
                               const TOV_FlashOptions* flash, TOV_FlashReport* report);

/* Explains the last failure of the calling thread in words, or returns "" when it has no
 * explanation: for ports and files the path and the system's reason, for a malformed S-record
 * file its name, line number and what is wrong, for a verify difference the address with the
 * expected and found bytes. The opening, file, dump and flash functions start by forgetting the
 * previous explanation, as does every request sent. The text is owned by the library and stays
 * valid until the next library call of the same thread. */
TOV_API const char* TOV_LastErrorDetail(void);

/* Running a program with its semihosting calls served ----------------------------------------
 * TOV_RunSemihosted starts the halted target where it stands and serves the ARM semihosting calls
 * of the program it runs (operation in r0, parameter block in r1) on the host until the program
 * ends or the target stops for another reason: console output and input go through the caller's
 * callbacks, files are opened beneath a root directory, and host commands are refused unless
 * asked for. Every callback is called from inside TOV_RunSemihosted on the calling thread. */

/* The program's console, given by the caller. Any of the three functions may be NULL: output is
 * then dropped (counted as written), input is at its end, the run is never asked to stop. */
typedef struct TOV_ConsoleCallbacks {
    /* Takes `n` bytes the program wrote; returns how many it took (a negative or short count
     * tells the program that the rest was not written). */
    int32_t (*write)(const char* data, uint32_t n, void* user);
    /* Puts at most `size` bytes of input into `buffer`, ideally one line with its newline; returns
     * the count, 0 at the end of input. */
    int32_t (*read)(char* buffer, uint32_t size, void* user);
    /* Called every few milliseconds while the program runs; a non-zero result halts the target
     * and ends the run with TOV_RUN_STOPPED. A console read it was waiting in is made again when
     * the program is run next. */
    int32_t (*poll)(void* user);
    /* Handed back to each function unchanged. */
    void* user;
} TOV_ConsoleCallbacks;

/* Flags of TOV_RunSemihosted. */
#define TOV_RUN_ALLOW_SYSTEM 0x1u /* let the program run host commands (shell text it chooses) */

/* How a run ended: the `end` of TOV_RunResult.
 *   EXITED        the program ended (exit, or return from main); exitStatus holds its status
 *   EXCEPTION     the program reported an exception or an abnormal end; reason holds its code
 *   HALTED        the target halted for another cause: a breakpoint, a watchpoint, a step, a
 *                 halt from elsewhere (cause and pc)
 *   TIMED_OUT     the time limit passed and the target was halted
 *   STOPPED       the poll callback asked to stop and the target was halted
 *   BAD_CALL      an unknown or malformed semihosting call; the target stays halted on it
 *   TARGET_ERROR  the probe reports the target in its error state (stateError)
 *   FAILED        a request failed; the call returns its code */
#define TOV_RUN_EXITED 0u
#define TOV_RUN_EXCEPTION 1u
#define TOV_RUN_HALTED 2u
#define TOV_RUN_TIMED_OUT 3u
#define TOV_RUN_STOPPED 4u
#define TOV_RUN_BAD_CALL 5u
#define TOV_RUN_TARGET_ERROR 6u
#define TOV_RUN_FAILED 7u

typedef struct TOV_RunResult {
    uint32_t end;        /* TOV_RUN_... */
    int32_t exitStatus;  /* TOV_RUN_EXITED: the status the program gave (0 when it gave none) */
    uint32_t reason;     /* TOV_RUN_EXITED or _EXCEPTION: the semihosting reason code */
                         /* (0x20026 for a normal end) */
    uint32_t cause;      /* stop cause of the last halt the probe reported (1 breakpoint, ...) */
    uint32_t pc;         /* program counter and CPSR at that halt; after TOV_RUN_TIMED_OUT and */
    uint32_t cpsr;       /* TOV_RUN_STOPPED the PC is moved back onto a call cut short */
    uint16_t state;      /* the last target state read (1 halted, 3 error) */
    uint16_t reserved;
    int32_t stateError;  /* TOV_RUN_TARGET_ERROR: the error the probe gives for the target */
} TOV_RunResult;

/* Runs the program on the halted target until it ends or stops, serving its semihosting calls.
 * `console` may be NULL (no console). Files the program opens, removes or renames are taken
 * beneath `root` (NULL or "": the current directory): a name that leads out of it, by "..", an
 * absolute path or a link, fails in the program (error number EACCES). `commandLine` is what
 * the program's command-line call returns (NULL: ""; cut at 255 characters). `timeoutMs` limits
 * the run (0: no limit). `flags` is 0 or TOV_RUN_ALLOW_SYSTEM. Files the program left open are
 * closed when the call returns. `result` (required) is filled however the run ended. Returns 0
 * when the run ended as `result->end` says, -1202 for a NULL `result` or unknown flags, -1203
 * when not connected, or the error of the request that failed (`end` TOV_RUN_FAILED; the
 * target may then be running). */
TOV_API int32_t TOV_RunSemihosted(const TOV_ConsoleCallbacks* console, const char* root,
                                  const char* commandLine, uint32_t timeoutMs, uint32_t flags,
                                  TOV_RunResult* result);

#ifdef __cplusplus
}
#endif

#endif /* TOVLINK_H */
