"""Finds libtovlink.so and declares the C functions the package calls, with their types.

The library is looked for, in this order: the file named by $TOV_LIBRARY; the one next to the
package (after `cmake --install`, or in the build tree's copy of the package); the dynamic
loader's own search.
"""

from __future__ import annotations

import ctypes
import os
from ctypes import (CFUNCTYPE, POINTER, Structure, c_char, c_char_p, c_int32, c_uint8,
                    c_uint16, c_uint32, c_void_p)
from typing import Optional

LIBRARY_VARIABLE = "TOV_LIBRARY"
_SONAME = "libtovlink.so.0"


class TargetInfo(Structure):
    _fields_ = [("family", c_uint16), ("version", c_uint16), ("cpuType", c_uint16),
                ("setupTime", c_uint32), ("setupId", c_char * 41)]


class RegisterDescriptor(Structure):
    _fields_ = [("group", c_uint16), ("number", c_uint16)]


class ImageOptions(Structure):
    _fields_ = [("format", c_uint32), ("offset", c_uint32), ("base", c_uint32),
                ("hasBase", c_uint32)]


class FlashOptions(Structure):
    _fields_ = [("type", c_char_p), ("erase", c_uint32), ("sectorSize", c_uint32),
                ("skipUnchanged", c_uint32), ("verify", c_uint32), ("dryRun", c_uint32),
                ("flashBase", c_uint32), ("flashSize", c_uint32), ("refuseOutside", c_uint32)]


class FlashReport(Structure):
    _fields_ = [("unitsPlanned", c_uint32), ("unitsSkipped", c_uint32),
                ("unitsErased", c_uint32), ("bytesProgrammed", c_uint32), ("unitSize", c_uint32),
                ("probeDetail", c_uint32), ("bytesAsMemory", c_uint32)]


ProgressFn = CFUNCTYPE(None, c_uint32, c_uint32, c_void_p)
WriteFn = CFUNCTYPE(c_int32, POINTER(c_char), c_uint32, c_void_p)
ReadFn = CFUNCTYPE(c_int32, POINTER(c_char), c_uint32, c_void_p)
PollFn = CFUNCTYPE(c_int32, c_void_p)


class ConsoleCallbacks(Structure):
    _fields_ = [("write", WriteFn), ("read", ReadFn), ("poll", PollFn), ("user", c_void_p)]


class RunResult(Structure):
    _fields_ = [("end", c_uint32), ("exitStatus", c_int32), ("reason", c_uint32),
                ("cause", c_uint32), ("pc", c_uint32), ("cpsr", c_uint32), ("state", c_uint16),
                ("reserved", c_uint16), ("stateError", c_int32)]


_i32, _u8, _u16, _u32 = c_int32, c_uint8, c_uint16, c_uint32
_bytes = POINTER(c_uint8)

# name: (result type, argument types). Functions missing from an older library are left out
# (see `has`), so that what remains still works.
_PROTOTYPES = {
    "TOV_Open": (_i32, [c_char_p]),
    "TOV_Connect": (_i32, [c_char_p]),
    "TOV_Close": (_i32, []),
    "TOV_ErrorTextGet": (c_char_p, [_i32]),
    "TOV_LastErrorDetail": (c_char_p, []),
    "TOV_VersionGet": (c_char_p, []),
    "TOV_LineRateGet": (_u32, []),
    "TOV_ProgressSet": (None, [ProgressFn, c_void_p]),
    "TOV_TargetStart": (_i32, []),
    "TOV_TargetHalt": (_i32, []),
    "TOV_TargetReset2": (_i32, [_u16]),
    "TOV_TargetStep": (_i32, [_u32, _u32, _u16, POINTER(_u32)]),
    "TOV_StateGet": (_i32, [POINTER(_u16), POINTER(_i32), POINTER(_u32), POINTER(_u16),
                            POINTER(_u32)]),
    "TOV_InfoGet": (_i32, [POINTER(TargetInfo)]),
    "TOV_RegisterGet": (_i32, [_u16, POINTER(RegisterDescriptor), POINTER(_u32)]),
    "TOV_RegisterSet": (_i32, [_u16, POINTER(RegisterDescriptor), POINTER(_i32)]),
    "TOV_MemoryRead": (_i32, [_u32, _u16, _u16, _bytes]),
    "TOV_MemoryWrite": (_i32, [_u32, _u16, _u16, _bytes]),
    "TOV_BreakAdd": (_i32, [_u32, _u32]),
    "TOV_BreakDelete": (_i32, [_i32]),
    "TOV_WatchAdd": (_i32, [_u16, _u32, _u32, _u32, _u32]),
    "TOV_WatchDelete": (_i32, [_i32]),
    "TOV_TerminalRead": (_i32, [c_char_p]),
    "TOV_TerminalWrite": (_i32, [_u8]),
    "TOV_ChannelRead": (_i32, [_u16, _u16, _bytes]),
    "TOV_ChannelWrite": (_i32, [_u16, _u16, _bytes]),
    "TOV_DirectCommand": (_i32, [c_char_p, _u16, c_char_p]),
    "TOV_DumpFileFast": (_i32, [c_char_p, _u32, _u32]),
    "TOV_ImageLoad": (_i32, [c_char_p, POINTER(ImageOptions)]),
    "TOV_ImageVerify": (_i32, [c_char_p, POINTER(ImageOptions)]),
    "TOV_ImageFlash": (_i32, [c_char_p, POINTER(ImageOptions), POINTER(FlashOptions),
                              POINTER(FlashReport)]),
    "TOV_RunSemihosted": (_i32, [POINTER(ConsoleCallbacks), c_char_p, c_char_p, _u32, _u32,
                                 POINTER(RunResult)]),
}

_library: Optional[ctypes.CDLL] = None


def _candidates() -> list:
    found = []
    if os.environ.get(LIBRARY_VARIABLE):
        found.append(os.environ[LIBRARY_VARIABLE])
    try:
        from . import _paths  # written by the build next to the package
        found.append(os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                   _paths.LIBRARY)))
    except ImportError:
        pass
    found.append(_SONAME)
    return found


def library() -> ctypes.CDLL:
    """The loaded library with its prototypes set; loaded at the first call."""
    global _library
    if _library is None:
        errors = []
        for candidate in _candidates():
            try:
                loaded = ctypes.CDLL(candidate)
                break
            except OSError as error:
                errors.append(str(error))
        else:
            raise OSError("libtovlink.so not found (set $%s to its path): %s"
                          % (LIBRARY_VARIABLE, "; ".join(errors)))
        for name, (restype, argtypes) in _PROTOTYPES.items():
            function = getattr(loaded, name, None)
            if function is not None:
                function.restype = restype
                function.argtypes = argtypes
        _library = loaded
    return _library


def has(name: str) -> bool:
    """Whether the loaded library exports the function `name`."""
    return hasattr(library(), name)


def library_path() -> str:
    """Where the library was loaded from."""
    return library()._name
