"""The exception every failing call of the package raises."""

from __future__ import annotations

from ._library import library


class ProbeError(Exception):
    """A call of the probe library failed.

    Attributes:
        code: the library's error code (negative; for example -1001 for a port that cannot be
            opened, -2xxx for a failure the probe reports).
        text: the library's fixed text for the code.
        detail: the library's explanation of this failure in words (the path and the system's
            reason, the file line, the differing bytes), or "" when it has none.
        operation: what was being done, such as "TOV_Open" or "load".
    """

    def __init__(self, code: int, text: str, detail: str = "", operation: str = "") -> None:
        self.code = code
        self.text = text
        self.detail = detail
        self.operation = operation
        message = "%s (%d)" % (text, code)
        if detail:
            message += ": " + detail
        if operation:
            message = operation + ": " + message
        super().__init__(message)


def error_text(code: int) -> str:
    """The library's fixed English text of an error code."""
    return library().TOV_ErrorTextGet(code).decode("utf-8", "replace")


def last_detail() -> str:
    """The library's explanation of the last failure of this thread ("" when it has none)."""
    return library().TOV_LastErrorDetail().decode("utf-8", "replace")


def check(code: int, operation: str) -> int:
    """Returns a success result (0 or positive) unchanged; raises ProbeError for an error code."""
    if code < 0:
        # The explanation is read first: it lives only until the next library call.
        detail = last_detail()
        raise ProbeError(code, error_text(code), detail, operation)
    return code
