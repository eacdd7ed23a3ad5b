"""A board test: the same file runs in CI against the simulator and on the bench against a
probe (pytest --tov-port "COM1 115200", or $TOV_PORT).

The program is an ordinary newlib program built with --specs=rdimon.specs: its console and exit
reach the host through semihosting. It adds 2, 4 and 6 into the global `total` in `add` and
prints "sum 12 total 12".
"""

import os
import pathlib

import tovlink

PROGRAM = pathlib.Path(os.environ.get("BOARD_PROGRAM",
                                      pathlib.Path(__file__).with_name("debug_me.elf")))
STACK_TOP = 0x80000
SUPERVISOR = 0x1D3  # Supervisor mode, ARM state, interrupts masked


def test_program_adds_and_reports(tov_probe):
    elf = tovlink.ElfFile(PROGRAM)
    tov_probe.halt()
    tov_probe.load(PROGRAM)
    tov_probe.verify(PROGRAM)
    tov_probe.registers.write(cpsr=SUPERVISOR, pc=elf.entry, sp=STACK_TOP)

    # Stop at the first call of add(): nothing is added yet.
    with tov_probe.break_at(elf.symbol("add"), thumb=elf.is_thumb("add")):
        stop = tov_probe.run(timeout=30)
        assert (stop.end, stop.stop) == ("halted", "breakpoint")
        assert stop.pc == elf.symbol("add")
        assert tov_probe.read32(elf.symbol("total")) == 0
        assert tov_probe.registers["r0"] == 1  # its argument

    # Without the breakpoint the program runs to its end.
    result = tov_probe.run(timeout=30)
    assert result.exited, result
    assert result.exit_status == 0
    assert result.text == "sum 12 total 12\n"
    assert tov_probe.read32(elf.symbol("total")) == 12
