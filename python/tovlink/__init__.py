"""Script a TOV debug probe from Python: the probe API of libtovlink.so in Python's idiom.

    import tovlink

    with tovlink.Probe("COM1 115200") as probe:
        probe.halt()
        probe.load("app.elf")
        print(probe.state().name, hex(probe.registers["pc"]))

`Probe` is the connection (see help(tovlink.Probe)); every failure raises `ProbeError`.
`tovlink.sim.Simulator` starts the probe simulator for tests, `tovlink.elf.ElfFile` reads a
program's entry and symbols, and the pytest plugin gives the fixtures `tov_sim` and `tov_probe`.
The library is found beside the package, or where $TOV_LIBRARY names it.
"""

from ._library import library_path
from .elf import ElfFile
from .errors import ProbeError, error_text
from .probe import (Breakpoint, Channel, FlashReport, Info, Probe, State, Terminal,
                    Watchpoint)
from .semihosting import RunResult

try:  # written by the build with the version of the library it was built with
    from ._paths import VERSION as __version__
except ImportError:  # the source tree, not built
    __version__ = "0+unknown"


def library_version() -> str:
    """The version of the loaded libtovlink.so ("MAJOR.MINOR.PATCH")."""
    from ._library import library
    return library().TOV_VersionGet().decode()


__all__ = ["Breakpoint", "Channel", "ElfFile", "FlashReport", "Info", "Probe", "ProbeError",
           "RunResult", "State", "Terminal", "Watchpoint", "error_text", "library_path",
           "library_version"]
