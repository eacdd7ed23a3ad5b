/*
 * tovrdi.h - the RDI 1.5.1 target library of the TOV probe: the types a debugger and the library
 * share (handles, host interface, configuration object, procedure vector), the error and
 * information codes the library uses, and the seven WinRDI entry points it exports.
 *
 * A debugger loads libtovrdi.so, checks it with WinRDI_Valid_RDI_DLL, negotiates the version,
 * may show WinRDI_Config over its configuration object, and takes the procedure vector from
 * WinRDI_GetRDIProcVec. Every procedure returns an RDIError_* code. The library serves one probe
 * connection at a time and serialises its procedures with one lock.
 */
#ifndef TOVRDI_H
#define TOVRDI_H

#include <stdarg.h>
#include <stdint.h>

#include "tov_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define TOVRDI_API __attribute__((visibility("default")))
#else
#define TOVRDI_API
#endif

typedef uint32_t ARMword;
typedef uint32_t RDI_AccessType;

/* Opaque handles handed out by the library: the agent (the probe connection) and the module
 * (the target processor). Breakpoint and watchpoint handles, and thread handles. */
typedef struct RDI_AgentRecord* RDI_AgentHandle;
typedef struct RDI_ModuleRecord* RDI_ModuleHandle;
typedef uintptr_t RDI_PointHandle;
typedef uintptr_t RDI_ThreadHandle;
typedef void RDI_DbgState;

/* The debugger's configuration object: a tag/value hash table with a parent. Tags are stored
 * upper-cased and compared without regard to case. The library reads and updates it in place
 * with malloc'ed texts; the debugger owns and frees it.
 *
 * Keys the library reads at RDI_OpenAgent: SERIALPORT (1-4 COM1-COM4, else the network; 1),
 * SERIALLINESPEED (9600), TOVSTARTUP (0 reset, else halt; 0), ETHERNETTARGET (the probe's host),
 * COMMANDPATH (put in front of preload.cmd and postload.cmd), and for the target program's
 * semihosting calls:
 *   SEMIHOSTINGROOT    a folder: the program's host file names are taken beneath it and any name
 *                      leading out of it (by "..", an absolute name or a link) fails with -1; a
 *                      root that cannot be used refuses every host file operation and says why
 *                      in a "### Error:" line. Absent: names are the host's own (the default).
 *   SEMIHOSTINGSYSTEM  0 refuses the program's host commands (SYS_SYSTEM gives -1); default 1.
 *   SEMIHOSTINGHEAP    "BASE,LIMIT,STACKBASE,STACKLIMIT" (decimal or 0x numbers): the heap info
 *                      answer (0 leaves a word to the program's start-up code). Absent: 0,
 *                      top - 0x4000, top, top - 0x4000 with the top of memory of RDI_Info 0x15
 *                      (0x80000 at load). A text not of that form refuses the open. */
struct ConfigTable;
typedef struct ConfigEntry {
    char* tag;                 /* NULL for a free slot */
    char* value;               /* NULL when the tag has no value */
    struct ConfigTable* child; /* nested table, or NULL */
} ConfigEntry;
typedef struct ConfigTable {
    int32_t size; /* number of slots: a power of two, 0 before the first entry */
    ConfigEntry* entries;
    struct ConfigTable* parent; /* NULL at the top */
} ConfigTable;
typedef ConfigTable* RDI_ConfigPointer;

/* The debugger's host-OS interface. The library prints its call log and messages through
 * dbgprint(dbgarg, ...) and does console I/O of the target program through the others. */
typedef void RDI_Hif_DbgArg;
typedef void RDI_Hif_HostArg;
typedef void RDI_Hif_ResetArg;
typedef void RDI_Hif_DbgPrint(RDI_Hif_DbgArg* arg, const char* format, va_list ap);
typedef void RDI_Hif_DbgPause(RDI_Hif_DbgArg* arg);
typedef void RDI_Hif_WriteC(RDI_Hif_HostArg* arg, int c);
typedef int RDI_Hif_ReadC(RDI_Hif_HostArg* arg);
/* Writes `length` bytes of `buffer` to the console and returns how many bytes it did NOT write:
 * 0 when all were written. The library writes the rest again in a further call only while the
 * entry makes progress. */
typedef int RDI_Hif_Write(RDI_Hif_HostArg* arg, const char* buffer, int length);
typedef char* RDI_Hif_GetS(RDI_Hif_HostArg* arg, char* buffer, int length);
typedef void RDI_Hif_ResetProc(RDI_Hif_ResetArg* arg);

typedef struct RDI_HostosInterface {
    RDI_Hif_DbgPrint* dbgprint;
    RDI_Hif_DbgPause* dbgpause;
    RDI_Hif_DbgArg* dbgarg;
    RDI_Hif_WriteC* writec;
    RDI_Hif_ReadC* readc;
    RDI_Hif_Write* write;
    RDI_Hif_GetS* gets;
    RDI_Hif_HostArg* hostosarg;
    RDI_Hif_ResetProc* reset;
    RDI_Hif_ResetArg* resetarg;
} RDI_HostosInterface;

/* Procedure signatures. */
typedef int RDI_OpenAgentProc(RDI_AgentHandle* agent, unsigned type, RDI_ConfigPointer config,
                              const RDI_HostosInterface* hostif, RDI_DbgState* dbgState);
typedef int RDI_CloseAgentProc(RDI_AgentHandle agent);
typedef int RDI_OpenProc(RDI_ModuleHandle module, unsigned type, RDI_ConfigPointer config,
                         const RDI_HostosInterface* hostif, RDI_DbgState* dbgState);
typedef int RDI_CloseProc(RDI_ModuleHandle module);
typedef int RDI_ReadProc(RDI_ModuleHandle module, ARMword source, void* dest, unsigned* nbytes,
                         RDI_AccessType type);
typedef int RDI_WriteProc(RDI_ModuleHandle module, const void* source, ARMword dest,
                          unsigned* nbytes, RDI_AccessType type);
typedef int RDI_CPUReadProc(RDI_ModuleHandle module, unsigned mode, uint32_t mask, ARMword* state);
typedef int RDI_CPUWriteProc(RDI_ModuleHandle module, unsigned mode, uint32_t mask,
                             const ARMword* state);
typedef int RDI_CPReadProc(RDI_ModuleHandle module, unsigned cpnum, uint32_t mask, ARMword* state);
typedef int RDI_CPWriteProc(RDI_ModuleHandle module, unsigned cpnum, uint32_t mask,
                            const ARMword* state);
typedef int RDI_SetBreakProc(RDI_ModuleHandle module, ARMword address, unsigned type, ARMword bound,
                             RDI_ThreadHandle thread, RDI_PointHandle* handle);
typedef int RDI_ClearBreakProc(RDI_ModuleHandle module, RDI_PointHandle handle);
typedef int RDI_SetWatchProc(RDI_ModuleHandle module, ARMword address, unsigned type,
                             unsigned datatype, ARMword bound, RDI_ThreadHandle thread,
                             RDI_PointHandle* handle);
typedef int RDI_ClearWatchProc(RDI_ModuleHandle module, RDI_PointHandle handle);
typedef int RDI_ExecuteProc(RDI_AgentHandle agent, RDI_ModuleHandle* module, int stopOthers,
                            RDI_PointHandle* handle);
typedef int RDI_StepProc(RDI_AgentHandle agent, RDI_ModuleHandle* module, int stopOthers,
                         unsigned ninstr, RDI_PointHandle* handle);
typedef int RDI_InfoProc(void* handle, unsigned type, ARMword* arg1, ARMword* arg2);
typedef void RDI_UnusedProc(void);

/* The procedure vector: a type name and 26 entries; this library fills the first 17. */
typedef struct RDI_ProcVec {
    char rditypename[12];
    RDI_OpenAgentProc* openagent;
    RDI_CloseAgentProc* closeagent;
    RDI_OpenProc* open;
    RDI_CloseProc* close;
    RDI_ReadProc* read;
    RDI_WriteProc* write;
    RDI_CPUReadProc* CPUread;
    RDI_CPUWriteProc* CPUwrite;
    RDI_CPReadProc* CPread;
    RDI_CPWriteProc* CPwrite;
    RDI_SetBreakProc* setbreak;
    RDI_ClearBreakProc* clearbreak;
    RDI_SetWatchProc* setwatch;
    RDI_ClearWatchProc* clearwatch;
    RDI_ExecuteProc* execute;
    RDI_StepProc* step;
    RDI_InfoProc* info;
    RDI_UnusedProc* pointinquiry;
    RDI_UnusedProc* addconfig;
    RDI_UnusedProc* loadconfigdata;
    RDI_UnusedProc* selectconfig;
    RDI_UnusedProc* drivernames;
    RDI_UnusedProc* cpunames;
    RDI_UnusedProc* errmess;
    RDI_UnusedProc* loadagent;
    RDI_UnusedProc* targetisdead;
} RDI_ProcVec;

/* RDI error codes the library returns. */
#define RDIError_NoError 0
/* Stops by exception, by the vector: reset, undefined instruction, software interrupt, prefetch
 * abort, data abort, address exception, IRQ, FIQ. */
#define RDIError_Reset 1
#define RDIError_UndefinedInstruction 2
#define RDIError_SoftwareInterrupt 3
#define RDIError_PrefetchAbort 4
#define RDIError_DataAbort 5
#define RDIError_AddressException 6
#define RDIError_IRQ 7
#define RDIError_FIQ 8
#define RDIError_NotInitialised 128
#define RDIError_UnableToInitialise 129
#define RDIError_WrongByteSex 130
#define RDIError_UnknownCoPro 135
#define RDIError_UnimplementedType 139
#define RDIError_BreakpointReached 143
#define RDIError_WatchpointAccessed 144
#define RDIError_NoSuchPoint 145
#define RDIError_UserInterrupt 147
#define RDIError_CantSetPoint 148
#define RDIError_IncompatibleRDILevels 149
#define RDIError_TargetRunning 158
#define RDIError_TargetBroken 162
#define RDIError_TargetStopped 163
#define RDIError_LittleEndian 240
#define RDIError_BigEndian 241
#define RDIError_UnimplementedMessage 254
/* Any failure of the probe link itself (no answer, port busy, ...), and a failure inside the
 * library (memory exhausted), which is logged as "### Error: internal failure: ...". */
#define TOVRDI_LinkError 200

/* RDI_OpenAgent and RDI_Open type bits. */
#define RDIOpen_Warm 0x01u
#define RDIOpen_ByteSexShift 2
#define RDIOpen_ByteSexMask 0x0Cu
#define RDIOpen_NoStartup 0x10u /* open the channel without resetting or halting the target */

/* RDI_SetBreak and RDI_SetWatch types and data types. */
#define RDIPoint_EQ 0x0u        /* low 4 bits: the point is at the address itself */
#define RDIPoint_MASK 0x7u      /* low 4 bits (watchpoints): the address under the bound as mask */
#define RDIPoint_16Bit 0x10u    /* the breakpoint is on a 16-bit (Thumb) instruction */
#define RDIWatch_ByteRead 0x01u /* data type bits 0-2: reads of 1, 2, 4 bytes */
#define RDIWatch_HalfRead 0x02u
#define RDIWatch_WordRead 0x04u
#define RDIWatch_ByteWrite 0x08u /* data type bits 3-5: writes of 1, 2, 4 bytes */
#define RDIWatch_HalfWrite 0x10u
#define RDIWatch_WordWrite 0x20u

/* RDI_Info codes. */
#define RDIInfo_Target 0x0u
#define RDIInfo_Points 0x1u
#define RDIInfo_Step 0x2u
#define RDIInfo_MMU 0x3u
#define RDIInfo_SemiHosting 0x5u
#define RDIInfo_CoPro 0x6u
#define RDIInfo_Icebreaker 0x7u
#define RDIInfo_CanTargetExecute 0x14u
#define RDIInfo_SetTopMem 0x15u
#define RDIInfo_ForceSystemReset 0x24u
#define RDISignal_Stop 0x100u
#define RDIVector_Catch 0x180u
#define RDISemiHosting_SetState 0x181u
#define RDISemiHosting_GetState 0x182u
#define RDISemiHosting_SetVector 0x183u
#define RDISemiHosting_GetVector 0x184u
#define RDIInfo_GetAddressSetting 0x194u
#define RDIInfo_SetAddressSetting 0x195u
#define RDISet_Cmdline 0x300u
#define RDIInfo_RequestCoProDesc 0x401u
#define RDIInfo_Nothing 0x8A01u
#define RDIInfo_Modules 0x1Cu /* A1 != 0: fill A2 (an RDI_ModuleDesc) with the module; A1 = 1 */
#define RDIInfo_DownloadBlockSize 0x187u /* A1 = 1024, the write size preferred in a download */
#define RDIInfo_GetCacheSelected 0x198u
#define RDIInfo_SetCacheSelected 0x199u
#define RDIInfo_GetMemoryArea 0x19Au
#define RDIInfo_SetMemoryArea 0x19Bu
#define RDIInfo_GetByteSex 0x304u
#define RDIInfo_SetByteSex 0x305u
#define RDIInfo_GetLog 0x800u
#define RDIInfo_SetLog 0x801u
#define RDIInfo_BeginDownload 0xA01u /* preload commands, then the download starts */
#define RDIInfo_EndDownload 0xA02u   /* flush, end, statistics, postload commands */

/* The module description RDI_Info(RDIInfo_Modules) writes where its second argument points:
 * the processor's type and name texts, the module's own procedure vector (NULL: the module is
 * driven through the agent's vector), and the module handle to pass to the procedures. With
 * natural alignment the handle lies at byte 20 on a 32-bit build and at byte 24 on a 64-bit one. */
typedef struct RDI_ModuleDesc {
    char type[8];           /* "ARM" */
    char name[8];           /* "ARM1" */
    const RDI_ProcVec* rdi; /* NULL */
    RDI_ModuleHandle handle;
} RDI_ModuleDesc;

/* The yield callback the debugger registers; called while the target runs. */
typedef void WinRDI_YieldArg;
typedef void WinRDI_YieldProc(WinRDI_YieldArg* arg);

/* The WinRDI entry points: the only symbols the library exports. */
TOVRDI_API int WinRDI_Valid_RDI_DLL(void);
/* 150, or 151 after WinRDI_SetVersion with 151 or more. */
TOVRDI_API int WinRDI_GetVersion(void);
/* Switches to 151 when `version` is 151 or more; returns 151. */
TOVRDI_API int WinRDI_SetVersion(int version);
TOVRDI_API const char* WinRDI_Get_DLL_Description(void);
/* Replaces the yield callback; a NULL callback removes it. */
TOVRDI_API void WinRDI_Register_Yield_Callback(WinRDI_YieldProc* callback, WinRDI_YieldArg* arg);
TOVRDI_API const RDI_ProcVec* WinRDI_GetRDIProcVec(void);
/* Shows the "TOV Configuration" dialog over `config`: 1 confirmed (values written back),
 * 0 cancelled, -1 when it cannot be shown (no display); nothing is written then. `parent` is the
 * owning window (a QWidget*), or NULL. */
TOVRDI_API int WinRDI_Config(RDI_ConfigPointer config, void* parent);

#ifdef __cplusplus
}
#endif

#endif /* TOVRDI_H */
