"""Programs built with newlib's semihosting library run through Probe.run: console both ways,
exit status, files beneath the root, points that stop the run, time limits and Ctrl-C."""

import os
import signal
import threading

import pytest

import tovlink

PROGRAMS = os.environ.get("TOV_ARM_PROGRAMS", "")
pytestmark = pytest.mark.skipif(not PROGRAMS, reason="the ARM test programs were not built")


def start(probe, name, state="arm"):
    """Loads a program and points the core at its entry with a stack; its symbols."""
    elf = tovlink.ElfFile(os.path.join(PROGRAMS, "%s_%s.elf" % (name, state)))
    probe.halt()
    probe.load(os.path.join(PROGRAMS, "%s_%s.srec" % (name, state)))
    probe.registers.write(cpsr=0x1D3, pc=elf.entry, sp=0x80000)
    return elf


@pytest.mark.parametrize("state", ["arm", "thumb"])
def test_console_input_and_output(tov_probe, state):
    start(tov_probe, "console_read", state)
    result = tov_probe.run(timeout=30, stdin="Ada\n")
    assert (result.end, result.exit_status) == ("exited", 0)
    assert result.text == "name? echo: Ada\n"


def test_exit_status_and_output_stream(tov_probe, capsys):
    start(tov_probe, "exit_status")
    assert tov_probe.run(timeout=30).exit_status == 3
    start(tov_probe, "hello")
    result = tov_probe.run(timeout=30, stdout=__import__("sys").stdout)
    assert result.exited and result.output == b""
    assert capsys.readouterr().out == "Hello, world!\n"


def test_files_stay_beneath_the_root(tov_probe, tmp_path):
    root = tmp_path / "root"
    root.mkdir()
    start(tov_probe, "file_io")
    result = tov_probe.run(timeout=30, root=root, args="file_io .")
    assert result.text == "read 4 bytes: 4567, length 16\ndone\n"
    assert (root / "kept.bin").read_bytes() == b"\x00\x01\x7f\x80\xfe\xff\n\r"

    start(tov_probe, "escape")
    result = tov_probe.run(timeout=30, root=root)
    assert result.text == "up refused, passwd refused, inside opened\n"
    assert not (tmp_path / "outside").exists() and (root / "inside.txt").exists()


def test_breakpoint_stops_the_run_until_deleted(tov_probe):
    elf = start(tov_probe, "busy_loop")
    point = tov_probe.break_at(elf.symbol("tick"))
    result = tov_probe.run(timeout=30)
    assert (result.end, result.stop, result.pc) == ("halted", "breakpoint", elf.symbol("tick"))
    del point  # removes it from the probe
    ticks = tov_probe.read32(elf.symbol("ticks"))
    result = tov_probe.run(timeout=0.3)
    assert result.end == "timed out" and tov_probe.state().halted
    assert tov_probe.read32(elf.symbol("ticks")) > ticks + 1


def test_watchpoint_and_ctrl_c_stop_the_run(tov_probe):
    elf = start(tov_probe, "busy_loop")
    with tov_probe.watch(elf.symbol("ticks"), 4, write=True):
        assert tov_probe.run(timeout=30).stop == "watchpoint"
    timer = threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT))
    with pytest.raises(KeyboardInterrupt):
        timer.start()
        tov_probe.run(timeout=30)
    timer.join()
    assert tov_probe.state().halted
