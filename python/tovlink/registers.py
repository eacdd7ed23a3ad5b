"""Target registers by name or by (group, number), as the probe's ARM firmware numbers them."""

from __future__ import annotations

import ctypes
from typing import Dict, Iterable, List, Tuple, Union

from ._library import RegisterDescriptor, library
from .errors import check

RegisterName = Union[str, Tuple[int, int]]

CURRENT_MODE = 600  # r0..r15 of the mode the core is in
CPSR_GROUP = 601

#: Names accepted for the registers of the current mode and the status register.
NAMES: Dict[str, Tuple[int, int]] = {"r%d" % n: (CURRENT_MODE, n) for n in range(16)}
NAMES.update({"sp": (CURRENT_MODE, 13), "lr": (CURRENT_MODE, 14), "pc": (CURRENT_MODE, 15),
              "cpsr": (CPSR_GROUP, 0)})

# Registers per request: the probe's limit for writes, well within it for reads.
_PER_REQUEST = 186


def descriptor(name: RegisterName) -> Tuple[int, int]:
    """The (group, number) of a register name ("r0".."r15", "sp", "lr", "pc", "cpsr"), or a
    (group, number) pair passed through."""
    if isinstance(name, str):
        try:
            return NAMES[name.lower()]
        except KeyError:
            raise KeyError("unknown register %r (known: %s, or a (group, number) pair)"
                           % (name, ", ".join(NAMES))) from None
    group, number = name
    if not (0 <= group <= 0xFFFF and 0 <= number <= 0xFFFF):
        raise ValueError("register group and number are 16-bit values: %r" % (name,))
    return int(group), int(number)


class Registers:
    """The target's registers: ``probe.registers["pc"]``, ``probe.registers[600, 0] = 5``.

    Reading or writing several at once takes one request: ``registers.read("r0", "r1")``,
    ``registers.write(pc=0x8000, sp=0x80000)``. Values are unsigned 32-bit integers.
    """

    def __init__(self, probe) -> None:
        self._probe = probe

    def __getitem__(self, name: RegisterName) -> int:
        return self.read(name)[0]

    def __setitem__(self, name: RegisterName, value: int) -> None:
        self._write([(descriptor(name), value)])

    def read(self, *names: RegisterName) -> List[int]:
        """The values of the named registers, in order."""
        self._probe._require_open()
        wanted = [descriptor(name) for name in names]
        values: List[int] = []
        for start in range(0, len(wanted), _PER_REQUEST):
            piece = wanted[start:start + _PER_REQUEST]
            descriptors = (RegisterDescriptor * len(piece))(*piece)
            out = (ctypes.c_uint32 * len(piece))()
            check(library().TOV_RegisterGet(len(piece), descriptors, out), "read registers")
            values.extend(out)
        return values

    def write(self, **values: int) -> None:
        """Writes registers given by name: ``write(pc=0x8000, cpsr=0x1D3)``."""
        self._write([(descriptor(name), value) for name, value in values.items()])

    def _write(self, pairs: Iterable[Tuple[Tuple[int, int], int]]) -> None:
        self._probe._require_open()
        pairs = list(pairs)
        for start in range(0, len(pairs), _PER_REQUEST):
            piece = pairs[start:start + _PER_REQUEST]
            descriptors = (RegisterDescriptor * len(piece))(*(d for d, _ in piece))
            words = (ctypes.c_int32 * len(piece))(
                *(ctypes.c_int32(_word(v)).value for _, v in piece))
            check(library().TOV_RegisterSet(len(piece), descriptors, words), "write registers")


def _word(value: int) -> int:
    if not -0x80000000 <= value <= 0xFFFFFFFF:
        raise ValueError("register value out of 32 bits: %#x" % value)
    return value & 0xFFFFFFFF
