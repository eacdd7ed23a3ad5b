"""Running a loaded program with its semihosting calls served by the library: the console
adapter between Python streams and the library's callbacks, and the result of a run."""

from __future__ import annotations

import ctypes
import io
from dataclasses import dataclass
from typing import BinaryIO, Optional, TextIO, Union

from ._library import ConsoleCallbacks, PollFn, ReadFn, RunResult as _CRunResult, WriteFn

# How a run ended (the library's TOV_RUN_... values), by name.
ENDS = ("exited", "exception", "halted", "timed out", "stopped", "bad call", "target error",
        "failed")
#: Stop causes the probe's ARM firmware reports for a halted target.
CAUSES = {0: "halt", 1: "breakpoint", 2: "watchpoint", 4: "step", 9: "semihosting"}

InputLike = Union[None, str, bytes, BinaryIO, TextIO]
OutputLike = Union[None, BinaryIO, TextIO]


@dataclass(frozen=True)
class RunResult:
    """How a run of the program ended.

    Attributes:
        end: "exited" (the program ended: see exit_status), "exception" (it reported an
            abnormal end: see reason), "halted" (a breakpoint, watchpoint or other stop: see
            cause and pc), "timed out", "stopped" (interrupted from the host), "bad call"
            (an unknown or malformed semihosting call), or "target error".
        exit_status: the program's exit status when it exited, else None.
        reason: the semihosting reason code of an exit or exception (0x20026: normal end).
        cause: the stop cause the probe reported for the last halt (see `stop`).
        pc: the program counter at that halt.
        output: what the program wrote to its console, when no stdout stream was given.
    """

    end: str
    exit_status: Optional[int]
    reason: int
    cause: int
    pc: int
    cpsr: int
    state_error: int
    output: bytes = b""

    @property
    def exited(self) -> bool:
        """Whether the program ran to its end."""
        return self.end == "exited"

    @property
    def stop(self) -> str:
        """The stop cause in words ("breakpoint", "watchpoint", "step", "halt", ...)."""
        return CAUSES.get(self.cause, "cause %d" % self.cause)

    @property
    def text(self) -> str:
        """The console output as text (UTF-8, undecodable bytes replaced)."""
        return self.output.decode("utf-8", "replace")


class Console:
    """Connects the program's console to Python: output to a stream or collected in memory,
    input from a text, bytes or a stream. A failure of a stream stops the run and is raised
    after it."""

    def __init__(self, stdin: InputLike, stdout: OutputLike) -> None:
        if isinstance(stdin, str):
            stdin = stdin.encode("utf-8")
        if isinstance(stdin, (bytes, bytearray)):
            stdin = io.BytesIO(bytes(stdin))
        self._stdin = stdin
        self._stdout = stdout
        self.collected = bytearray()
        self.interrupted = False
        self.failure: Optional[BaseException] = None
        # The library holds the function pointers only during the run; these references keep
        # them alive that long.
        self.callbacks = ConsoleCallbacks(WriteFn(self._write), ReadFn(self._read),
                                          PollFn(self._poll), None)

    def _write(self, data, n, _user) -> int:
        try:
            chunk = ctypes.string_at(data, n)
            if self._stdout is None:
                self.collected += chunk
            elif isinstance(self._stdout, io.TextIOBase) or hasattr(self._stdout, "encoding"):
                self._stdout.write(chunk.decode("utf-8", "replace"))
                self._stdout.flush()
            else:
                self._stdout.write(chunk)
                self._stdout.flush()
            return n
        except KeyboardInterrupt:
            self.interrupted = True
            return n
        except BaseException as error:  # kept and raised after the run: not lost in C
            self.failure = self.failure or error
            return -1

    def _read(self, buffer, size, _user) -> int:
        try:
            if self._stdin is None:
                return 0
            line = self._stdin.readline(size)
            if isinstance(line, str):
                line = line.encode("utf-8")
                # A text line may grow when encoded: keep what fits, whole characters only.
                line = line[:size].decode("utf-8", "ignore").encode("utf-8")
            ctypes.memmove(buffer, line, len(line))
            return len(line)
        except KeyboardInterrupt:
            self.interrupted = True
            return 0
        except BaseException as error:
            self.failure = self.failure or error
            return 0

    def interrupt(self, _signal=None, _frame=None) -> None:
        """The SIGINT handler during a run: asks the run to stop at its next look."""
        self.interrupted = True

    def _poll(self, _user) -> int:
        return 1 if self.interrupted or self.failure else 0

    def result(self, raw: _CRunResult) -> RunResult:
        end = ENDS[raw.end] if raw.end < len(ENDS) else "end %d" % raw.end
        return RunResult(end=end, exit_status=raw.exitStatus if end == "exited" else None,
                         reason=raw.reason, cause=raw.cause, pc=raw.pc, cpsr=raw.cpsr,
                         state_error=raw.stateError, output=bytes(self.collected))

