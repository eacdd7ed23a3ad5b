"""A small reader of ELF executables for board scripts: the entry point and the addresses of
symbols, so that a test can point the target at a program and set points on its functions."""

from __future__ import annotations

import os
import struct
from typing import Dict, Union

# Bounds on what is read: a table larger than this is not a program for a debug probe.
_MAX_FILE = 256 * 1024 * 1024
_MAX_SECTIONS = 65535


class ElfError(ValueError):
    """The file is not an ELF file this reader understands; the text says why."""


class ElfFile:
    """The entry point and symbol table of an ELF file (32 or 64 bits, either byte order).

    ``ElfFile("app.elf").entry``; ``.symbol("main")`` is the address of a symbol (a Thumb
    function's without its state bit; ``.is_thumb("main")`` tells the state); ``.symbols``
    maps every named function and object to its address.
    """

    def __init__(self, path: Union[str, "os.PathLike[str]"]) -> None:
        self.path = os.fspath(path)
        with open(self.path, "rb") as file:
            data = file.read(_MAX_FILE + 1)
        if len(data) > _MAX_FILE:
            raise ElfError("%s: larger than %d bytes" % (self.path, _MAX_FILE))
        self._data = data
        if data[:4] != b"\x7fELF" or len(data) < 52:
            raise ElfError("%s: not an ELF file" % self.path)
        bits = {1: 32, 2: 64}.get(data[4])
        order = {1: "<", 2: ">"}.get(data[5])
        if bits is None or order is None:
            raise ElfError("%s: unknown ELF class or byte order" % self.path)
        self.bits = bits
        self._order = order
        if bits == 32:
            self.entry, shoff = self._unpack("I", 24)[0], self._unpack("I", 32)[0]
            shentsize, shnum = self._unpack("HH", 46)
        else:
            self.entry, shoff = self._unpack("Q", 24)[0], self._unpack("Q", 40)[0]
            shentsize, shnum = self._unpack("HH", 58)
        self._thumb: Dict[str, bool] = {}
        self.symbols: Dict[str, int] = self._read_symbols(shoff, shentsize, shnum)

    def symbol(self, name: str) -> int:
        """The address of a symbol; KeyError names a missing one."""
        try:
            return self.symbols[name]
        except KeyError:
            raise KeyError("%s has no symbol %r" % (self.path, name)) from None

    def is_thumb(self, name: str) -> bool:
        """Whether a function symbol is Thumb code (the state bit of its ARM symbol value)."""
        self.symbol(name)
        return self._thumb.get(name, False)

    def _unpack(self, layout: str, offset: int):
        size = struct.calcsize(self._order + layout)
        if offset < 0 or offset + size > len(self._data):
            raise ElfError("%s: truncated at offset %d" % (self.path, offset))
        return struct.unpack_from(self._order + layout, self._data, offset)

    def _section(self, shoff: int, shentsize: int, index: int):
        at = shoff + index * shentsize
        if self.bits == 32:
            _, kind, _, _, offset, size, link, _, _, entsize = self._unpack("IIIIIIIIII", at)
        else:
            _, kind, _, _, offset, size, link, _, _, entsize = self._unpack("IIQQQQIIQQ", at)
        if offset + size > len(self._data):
            raise ElfError("%s: section %d runs past the end of the file" % (self.path, index))
        return kind, offset, size, link, entsize

    def _read_symbols(self, shoff: int, shentsize: int, shnum: int) -> Dict[str, int]:
        symbols: Dict[str, int] = {}
        if shoff == 0 or shnum == 0:
            return symbols
        if shnum > _MAX_SECTIONS or shentsize < (40 if self.bits == 32 else 64):
            raise ElfError("%s: malformed section table" % self.path)
        for index in range(shnum):
            kind, offset, size, link, entsize = self._section(shoff, shentsize, index)
            if kind != 2 or entsize == 0 or link >= shnum:  # SHT_SYMTAB
                continue
            _, names, names_size, _, _ = self._section(shoff, shentsize, link)
            for at in range(offset, offset + size - entsize + 1, entsize):
                if self.bits == 32:
                    name, value, _, info, _, shndx = self._unpack("IIIBBH", at)
                else:
                    name, info, _, shndx, value, _ = self._unpack("IBBHQQ", at)
                if info & 0xF not in (1, 2) or shndx == 0 or name >= names_size:  # object/func
                    continue
                end = self._data.find(b"\0", names + name, names + names_size)
                text = self._data[names + name:end if end >= 0 else names + names_size]
                label = text.decode("utf-8", "replace")
                if info & 0xF == 2:
                    self._thumb[label] = bool(value & 1)
                    value &= ~1
                symbols[label] = value
        return symbols


def entry_point(path: Union[str, "os.PathLike[str]"]) -> int:
    """The entry address of an ELF program."""
    return ElfFile(path).entry


__all__ = ["ElfFile", "ElfError", "entry_point"]
