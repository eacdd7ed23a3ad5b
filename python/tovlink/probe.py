"""The Probe class: one connection to a TOV debug probe and the target behind it."""

from __future__ import annotations

import ctypes
import os
import signal
import threading
import time
from ctypes import byref, c_uint8, c_uint16, c_uint32
from dataclasses import dataclass
from typing import Callable, Optional, Tuple, Union

from . import _library as lib
from .errors import check
from .registers import Registers
from .semihosting import Console, InputLike, OutputLike, RunResult

PathLike = Union[str, "os.PathLike[str]"]
#: A progress callback: (done, total) in the units of the call (bytes of the file or image).
Progress = Callable[[int, int], None]

IMAGE_FORMATS = {"auto": 0, "srec": 1, "ihex": 2, "elf": 3, "bin": 4}
ERASE_CHOICES = {"auto": 0, "chip": 1, "none": 2}
STATE_NAMES = {0: "reset", 1: "halted", 2: "running", 3: "error"}

# Bytes per memory request: the library splits them further into the probe's pieces.
_MEMORY_PIECE = 0x8000
_TERMINAL_ROOM = 1500
_REPLY_ROOM = 4096
_STATE_VALUES = 255

# The connection of this process: the library keeps exactly one.
_open_probe: Optional["Probe"] = None


@dataclass(frozen=True)
class State:
    """The target state: `name` is "reset", "halted", "running" or "error" (with the cause's
    code in `error`); `values` are the firmware's words (for ARM: stop cause, PC, CPSR)."""

    code: int
    error: int
    value: int
    values: Tuple[int, ...]

    @property
    def name(self) -> str:
        return STATE_NAMES.get(self.code, "state %d" % self.code)

    @property
    def halted(self) -> bool:
        return self.code == 1

    @property
    def running(self) -> bool:
        return self.code == 2

    @property
    def cause(self) -> Optional[int]:
        """Stop cause of a halted target (0 halt, 1 breakpoint, 2 watchpoint, 4 step, 9 call)."""
        return self.values[0] if self.values else None

    @property
    def pc(self) -> Optional[int]:
        """Program counter of a halted target."""
        return self.values[1] if len(self.values) > 1 else None


@dataclass(frozen=True)
class Info:
    """What the probe says about itself and its stored setup."""

    family: int
    version: int
    cpu_type: int
    setup_time: int
    setup_id: str


@dataclass(frozen=True)
class FlashReport:
    """What a flash call did: erase units (sectors or chip banks) planned, skipped as unchanged
    and erased, bytes programmed (in a dry run: the bytes that would be), the bytes of one
    unit, and the data bytes outside the flash that were written as memory."""

    units_planned: int
    units_skipped: int
    units_erased: int
    bytes_programmed: int
    unit_size: int
    bytes_as_memory: int = 0


class _Point:
    _delete_name = ""
    _kind = ""

    def __init__(self, probe: "Probe", identifier: int, address: int) -> None:
        self._probe = probe
        self.id = identifier
        self.address = address
        self._live = True

    def delete(self) -> None:
        """Removes the point from the probe (once; later calls do nothing)."""
        if self._live:
            self._live = False
            if not self._probe.closed:
                check(getattr(lib.library(), self._delete_name)(self.id), "delete " + self._kind)

    def __enter__(self):
        return self

    def __exit__(self, *exc) -> None:
        self.delete()

    def __del__(self) -> None:
        try:
            self.delete()
        except Exception:  # a closed link: the probe forgets its points anyway
            pass

    def __repr__(self) -> str:
        return "<%s %d at %#x>" % (self._kind, self.id, self.address)


class Breakpoint(_Point):
    """A breakpoint; deleting the object (or leaving its `with` block) removes it."""

    _delete_name = "TOV_BreakDelete"
    _kind = "breakpoint"


class Watchpoint(_Point):
    """A watchpoint; deleting the object (or leaving its `with` block) removes it."""

    _delete_name = "TOV_WatchDelete"
    _kind = "watchpoint"


class Terminal:
    """The probe's terminal: characters exchanged with the target through the probe."""

    def __init__(self, probe: "Probe") -> None:
        self._probe = probe

    def read(self) -> str:
        """The text pending at the probe ("" when none)."""
        self._probe._require_open()
        text = ctypes.create_string_buffer(_TERMINAL_ROOM)
        check(lib.library().TOV_TerminalRead(text), "terminal read")
        return text.value.decode("latin-1")

    def write(self, text: Union[str, bytes]) -> None:
        """Sends the characters one by one."""
        self._probe._require_open()
        data = text.encode("latin-1") if isinstance(text, str) else bytes(text)
        for character in data:
            check(lib.library().TOV_TerminalWrite(character), "terminal write")


class Channel:
    """One numbered byte channel between host and target."""

    def __init__(self, probe: "Probe", number: int) -> None:
        if not 0 <= number <= 0xFFFF:
            raise ValueError("channel number out of 16 bits: %d" % number)
        self._probe = probe
        self.number = number

    def read(self, size: int = 0xFFFF) -> bytes:
        """Up to `size` bytes (at most 65535) that the target sent; b"" when none."""
        self._probe._require_open()
        size = _count(size, 0xFFFF)
        buffer = (c_uint8 * max(size, 1))()
        got = check(lib.library().TOV_ChannelRead(self.number, size, buffer), "channel read")
        return bytes(buffer[:got])

    def write(self, data: bytes) -> int:
        """Sends the bytes (at most 65535); returns how many the probe accepted."""
        self._probe._require_open()
        data = bytes(data)
        _count(len(data), 0xFFFF)
        buffer = (c_uint8 * max(len(data), 1)).from_buffer_copy(data.ljust(1, b"\0"))
        return check(lib.library().TOV_ChannelWrite(self.number, len(data), buffer),
                     "channel write")


class Probe:
    """A connection to a TOV debug probe and the target behind it.

    The port text is what the library opens: ``"COM1 115200"`` (COM1 is the device in
    $TOV_COM1, else /dev/ttyS0), ``"/dev/ttyUSB0 57600"``, or ``"NETWORK 10.0.0.7 1"`` for a
    probe on the network. Use it in a ``with`` block, which closes the connection::

        with tovlink.Probe("COM1 115200") as probe:
            probe.halt()
            probe.load("app.elf")
            probe.registers["pc"] = 0x8000
            with probe.break_at(0x8100):
                probe.go()

    The library keeps one connection per process: open one Probe at a time. Every failing call
    raises ProbeError with the library's code, text and explanation. Addresses and values are
    unsigned 32-bit integers.

    Attributes:
        port: the port text the probe was opened with.
        registers: the target's registers (see tovlink.registers.Registers).
        terminal: the probe's terminal (see Terminal).
        byteorder: the target's byte order for read16/read32/write16/write32.
    """

    def __init__(self, port: str, *, start_firmware: bool = True,
                 byteorder: str = "little") -> None:
        """Opens the connection; with `start_firmware` (the default) also starts the probe's
        firmware, restarting a probe that waits in its loader. `byteorder` ("little" or "big")
        is the target's, for the 16- and 32-bit reads and writes."""
        if byteorder not in ("little", "big"):
            raise ValueError("byteorder must be 'little' or 'big'")
        self.byteorder = byteorder
        global _open_probe
        if _open_probe is not None and not _open_probe.closed:
            raise RuntimeError("a probe is open already (%s): the library keeps one connection "
                               "per process; close it first" % _open_probe.port)
        self.port = port
        self._open = False
        opener = lib.library().TOV_Connect if start_firmware else lib.library().TOV_Open
        check(opener(port.encode()), "open %s" % port)
        self._open = True
        _open_probe = self
        self.registers = Registers(self)
        self.terminal = Terminal(self)

    # Connection --------------------------------------------------------------------------

    @property
    def closed(self) -> bool:
        return not self._open

    def close(self) -> None:
        """Closes the connection (again: nothing)."""
        global _open_probe
        if self._open:
            self._open = False
            lib.library().TOV_Close()
            if _open_probe is self:
                _open_probe = None

    def __enter__(self) -> "Probe":
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def __repr__(self) -> str:
        return "<Probe %r%s>" % (self.port, " closed" if self.closed else "")

    def _require_open(self) -> None:
        if not self._open:
            raise ValueError("the probe is closed")

    @property
    def line_rate(self) -> int:
        """The negotiated serial line rate in baud (0 on the network)."""
        return lib.library().TOV_LineRateGet()

    # Run control -------------------------------------------------------------------------

    def info(self) -> Info:
        """The probe's firmware family and version, CPU type and stored setup."""
        self._require_open()
        info = lib.TargetInfo()
        check(lib.library().TOV_InfoGet(byref(info)), "info")
        return Info(info.family, info.version, info.cpuType, info.setupTime,
                    info.setupId.decode("latin-1"))

    def state(self) -> State:
        """The target state, with the firmware's values (for ARM: stop cause, PC, CPSR)."""
        self._require_open()
        state, error, value = c_uint16(), ctypes.c_int32(), c_uint32()
        count = c_uint16(_STATE_VALUES)
        values = (c_uint32 * _STATE_VALUES)()
        check(lib.library().TOV_StateGet(byref(state), byref(error), byref(value), byref(count),
                                         values), "state")
        return State(state.value, error.value, value.value, tuple(values[:count.value]))

    def halt(self) -> None:
        """Halts the target."""
        self._status(lib.library().TOV_TargetHalt, "halt")

    def go(self) -> None:
        """Starts the target from where it stands; returns at once (see `run` and `wait`)."""
        self._status(lib.library().TOV_TargetStart, "go")

    def reset(self, value: int = 0) -> None:
        """Resets the target; `value` goes to the firmware (and extends the wait by as many ms)."""
        self._require_open()
        check(lib.library().TOV_TargetReset2(_count(value, 0xFFFF)), "reset")

    def step(self, first: int = 0, second: int = 0, third: int = 1) -> int:
        """Steps the target; the fields are the firmware's (for ARM: one instruction). Returns
        the firmware's result (for ARM: the new PC)."""
        self._require_open()
        result = c_uint32()
        check(lib.library().TOV_TargetStep(first, second, _count(third, 0xFFFF), byref(result)),
              "step")
        return result.value

    def wait(self, timeout: float = 10.0, interval: float = 0.01) -> State:
        """Waits until the target no longer runs and returns its state; raises TimeoutError."""
        deadline = time.monotonic() + timeout
        while True:
            state = self.state()
            if not state.running:
                return state
            if time.monotonic() >= deadline:
                raise TimeoutError("the target still runs after %.1f s" % timeout)
            time.sleep(interval)

    def _status(self, function, operation: str) -> None:
        self._require_open()
        check(function(), operation)

    # Memory ------------------------------------------------------------------------------

    def read(self, address: int, size: int, access: int = 0) -> bytes:
        """`size` bytes of target memory from `address`; `access` goes to the firmware."""
        self._require_open()
        out = bytearray()
        while len(out) < size:
            piece = min(size - len(out), _MEMORY_PIECE)
            buffer = (c_uint8 * piece)()
            check(lib.library().TOV_MemoryRead(_address(address + len(out)), access, piece,
                                               buffer), "read memory at %#x" % address)
            out += bytes(buffer)
        return bytes(out)

    def write(self, address: int, data: bytes, access: int = 0) -> None:
        """Writes the bytes into target memory from `address` on."""
        self._require_open()
        data = bytes(data)
        for start in range(0, len(data), _MEMORY_PIECE):
            piece = data[start:start + _MEMORY_PIECE]
            buffer = (c_uint8 * len(piece)).from_buffer_copy(piece)
            check(lib.library().TOV_MemoryWrite(_address(address + start), access, len(piece),
                                                buffer), "write memory at %#x" % address)

    def read8(self, address: int) -> int:
        """One byte of target memory."""
        return self.read(address, 1)[0]

    def read16(self, address: int) -> int:
        """A 16-bit value of target memory in the target's byte order (`byteorder`)."""
        return int.from_bytes(self.read(address, 2), self.byteorder)

    def read32(self, address: int) -> int:
        """A 32-bit value of target memory in the target's byte order, such as a variable."""
        return int.from_bytes(self.read(address, 4), self.byteorder)

    def write8(self, address: int, value: int) -> None:
        """Writes one byte."""
        self.write(address, _value(value, 1, self.byteorder))

    def write16(self, address: int, value: int) -> None:
        """Writes a 16-bit value in the target's byte order."""
        self.write(address, _value(value, 2, self.byteorder))

    def write32(self, address: int, value: int) -> None:
        """Writes a 32-bit value in the target's byte order."""
        self.write(address, _value(value, 4, self.byteorder))

    # Points ------------------------------------------------------------------------------

    def break_at(self, address: int, *, thumb: bool = False, kind: int = 1) -> Breakpoint:
        """Sets a breakpoint (`thumb`: on a 16-bit instruction); it lives as long as the
        returned object, or until its delete() or the end of its `with` block."""
        self._require_open()
        where = _address(address) | (1 if thumb else 0)
        identifier = check(lib.library().TOV_BreakAdd(where, kind), "break at %#x" % address)
        return Breakpoint(self, identifier, address)

    def watch(self, address: int, size: int = 4, *, read: bool = False, write: bool = True,
              mask: Optional[int] = None) -> Watchpoint:
        """Sets a watchpoint on an access of `size` bytes (1, 2 or 4) at `address`, or with
        `mask` on every address that equals `address` in the mask's bits; `read` and `write`
        choose the accesses. It lives as long as the returned object."""
        self._require_open()
        if not (read or write):
            raise ValueError("a watchpoint watches reads, writes or both")
        if mask is None and size not in (1, 2, 4):
            raise ValueError("watch size must be 1, 2 or 4")
        mode = (0x80 if mask is not None else 0x40) | (0x02 if read else 0) | \
            (0x04 if write else 0)
        bound = mask if mask is not None else size
        identifier = check(lib.library().TOV_WatchAdd(mode, _address(address), bound, 1, 0),
                           "watch %#x" % address)
        return Watchpoint(self, identifier, address)

    # Probe services ----------------------------------------------------------------------

    def channel(self, number: int) -> Channel:
        """The byte channel `number` between host and target."""
        return Channel(self, number)

    def command(self, text: str) -> str:
        """Passes a command to the probe firmware's interpreter and returns its reply."""
        self._require_open()
        reply = ctypes.create_string_buffer(_REPLY_ROOM)
        check(lib.library().TOV_DirectCommand(text.encode("latin-1"), _REPLY_ROOM, reply),
              "command %r" % text)
        return reply.value.decode("latin-1")

    # Files and images --------------------------------------------------------------------

    def load(self, path: PathLike, offset: int = 0, base: Optional[int] = None, *,
             format: str = "auto", progress: Optional[Progress] = None) -> None:
        """Loads an image into target memory: S-records, Intel HEX, ELF or a raw binary (by
        its contents, or `format` "srec", "ihex", "elf", "bin"). `offset` is added to every
        address; `base` is where a raw binary goes."""
        self._image("TOV_ImageLoad", "load", path, offset, base, format, progress)

    def verify(self, path: PathLike, offset: int = 0, base: Optional[int] = None, *,
               format: str = "auto", progress: Optional[Progress] = None) -> None:
        """Compares target memory with an image; a difference raises ProbeError (-1210) whose
        detail names the address and the bytes."""
        self._image("TOV_ImageVerify", "verify", path, offset, base, format, progress)

    def dump(self, address: int, size: int, path: PathLike, *,
             progress: Optional[Progress] = None) -> None:
        """Writes `size` bytes of target memory from `address` into an S-record file; an
        existing file is replaced only when the whole dump succeeded."""
        self._require_open()
        with _ProgressHook(progress):
            check(lib.library().TOV_DumpFileFast(os.fsencode(path), _address(address),
                                                 _count(size, 0xFFFFFFFF)),
                  "dump to %s" % os.fspath(path))

    def flash(self, path: PathLike, type: str, erase: str = "auto",
              skip_unchanged: bool = False, verify: bool = False, *, offset: int = 0,
              base: Optional[int] = None, format: str = "auto", sector_size: int = 0,
              dry_run: bool = False, progress: Optional[Progress] = None,
              flash_base: int = 0, flash_size: int = 0,
              refuse_outside: bool = False) -> FlashReport:
        """Programs an image into flash. `type` describes the flash as tov's --type does
        ("TYPE,CHIPSIZE,BUSBITS,WORKSPACE" for external chips, "hc12:...", "555:...",
        "uc3f:...", "sgfm:..."). `erase`: "auto" (the sectors the image touches), "chip" or
        "none"; `skip_unchanged` leaves sectors that hold the image's bytes already; `verify`
        reads everything back; `dry_run` plans and reports without erasing or programming.
        `flash_base`/`flash_size` say where the flash lies (size 0: the whole image is flash):
        data outside it is written as memory, or with `refuse_outside` refuses the file."""
        self._require_open()
        if erase not in ERASE_CHOICES:
            raise ValueError("erase must be one of %s" % ", ".join(ERASE_CHOICES))
        options = _image_options(offset, base, format)
        flash = lib.FlashOptions(type.encode(), ERASE_CHOICES[erase], sector_size,
                                 int(skip_unchanged), int(verify), int(dry_run), flash_base,
                                 flash_size, int(refuse_outside))
        report = lib.FlashReport()
        with _ProgressHook(progress):
            check(lib.library().TOV_ImageFlash(os.fsencode(path), byref(options), byref(flash),
                                               byref(report)),
                  "flash %s" % os.fspath(path))
        return FlashReport(report.unitsPlanned, report.unitsSkipped, report.unitsErased,
                           report.bytesProgrammed, report.unitSize, report.bytesAsMemory)

    def _image(self, name: str, operation: str, path: PathLike, offset: int,
               base: Optional[int], format: str, progress: Optional[Progress]) -> None:
        self._require_open()
        options = _image_options(offset, base, format)
        with _ProgressHook(progress):
            code = getattr(lib.library(), name)(os.fsencode(path), byref(options))
        check(code, "%s %s" % (operation, os.fspath(path)))

    # Running programs --------------------------------------------------------------------

    def run(self, timeout: Optional[float] = None, stdin: InputLike = None,
            root: Optional[PathLike] = None, *, stdout: OutputLike = None, args: str = "",
            allow_system: bool = False) -> RunResult:
        """Runs the program from where the target stands until it ends or stops, serving its
        semihosting calls: console output goes to `stdout` (a text or binary stream; by default
        it is collected in the result's `output`), console input comes from `stdin` (a text,
        bytes or a stream; none by default), files are opened beneath `root` (default: the
        current directory; names leading out of it fail), `args` is the program's command line.
        Host commands are refused unless `allow_system`. `timeout` in seconds halts a program
        that runs longer. Ctrl-C halts the target and raises KeyboardInterrupt.

        Returns a RunResult: ``result.exited``, ``result.exit_status``, ``result.stop``,
        ``result.pc``. A failing request raises ProbeError."""
        self._require_open()
        console = Console(stdin, stdout)
        raw = lib.RunResult()
        millis = 0 if timeout is None else max(1, min(int(timeout * 1000), 0xFFFFFFFF))
        # Ctrl-C is taken as a request to stop: the library halts the target at the next look.
        previous = None
        if threading.current_thread() is threading.main_thread():
            previous = signal.signal(signal.SIGINT, console.interrupt)
        try:
            code = lib.library().TOV_RunSemihosted(
                byref(console.callbacks), os.fsencode(root) if root is not None else None,
                args.encode("utf-8"), millis, 1 if allow_system else 0, byref(raw))
        finally:
            if previous is not None:
                signal.signal(signal.SIGINT, previous)
        if console.interrupted:
            raise KeyboardInterrupt
        check(code, "run")
        if console.failure is not None:
            raise console.failure
        return console.result(raw)


class _ProgressHook:
    """Hands the library's progress to a Python callable during one call."""

    def __init__(self, progress: Optional[Progress]) -> None:
        self._progress = progress
        self._function = None

    def __enter__(self) -> None:
        if self._progress is not None:
            progress = self._progress
            self._function = lib.ProgressFn(lambda done, total, _user: progress(done, total))
            lib.library().TOV_ProgressSet(self._function, None)

    def __exit__(self, *exc) -> None:
        if self._function is not None:
            lib.library().TOV_ProgressSet(lib.ProgressFn(), None)
            self._function = None


def _image_options(offset: int, base: Optional[int], format: str) -> lib.ImageOptions:
    if format not in IMAGE_FORMATS:
        raise ValueError("format must be one of %s" % ", ".join(IMAGE_FORMATS))
    return lib.ImageOptions(IMAGE_FORMATS[format], offset & 0xFFFFFFFF,
                            0 if base is None else _address(base), int(base is not None))


def _value(value: int, size: int, order: str) -> bytes:
    if not 0 <= value < 1 << (8 * size):
        raise ValueError("value %#x does not fit in %d bits" % (value, 8 * size))
    return value.to_bytes(size, order)


def _address(value: int) -> int:
    if not 0 <= value <= 0xFFFFFFFF:
        raise ValueError("address out of 32 bits: %#x" % value)
    return value


def _count(value: int, limit: int) -> int:
    if not 0 <= value <= limit:
        raise ValueError("count %d out of range 0..%d" % (value, limit))
    return value
