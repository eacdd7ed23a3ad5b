"""The Probe class against the simulator on both transports: memory, registers, points, files,
the simulator's fault injection, and the errors a failing call raises."""

import ctypes
import os
import subprocess

import pytest

import tovlink
from tovlink.sim import Simulator

PROGRAMS = os.environ.get("TOV_ARM_PROGRAMS", "")
RAM = 0x40000


@pytest.fixture(params=["udp", "pty"])
def probe(request):
    with Simulator(core="arm1136", transport=request.param) as sim:
        with tovlink.Probe(sim.port) as probe:
            yield probe


def test_memory_registers_and_words_round_trip(probe):
    pattern = bytes(range(256)) * 160  # more than one request's worth
    probe.halt()
    probe.write(RAM, pattern)
    assert probe.read(RAM, len(pattern)) == pattern
    probe.write32(RAM, 0xDEADBEEF)
    assert probe.read(RAM, 4) == bytes.fromhex("efbeadde")  # the target is little-endian
    assert probe.read32(RAM) == 0xDEADBEEF
    assert probe.read8(RAM) == 0xEF and probe.read16(RAM + 2) == 0xDEAD
    probe.registers.write(r0=0xFFFFFFFF, pc=0x8000)
    assert probe.registers.read("r0", "pc", (600, 15)) == [0xFFFFFFFF, 0x8000, 0x8000]
    assert probe.state().halted and probe.state().pc == 0x8000
    assert probe.info().cpu_type == 0x8821
    with pytest.raises(KeyError):
        probe.registers["r16"]
    with pytest.raises(ValueError):
        probe.write8(RAM, 0x100)


def test_one_probe_per_process_and_closed_probe_refuses(probe):
    with pytest.raises(RuntimeError):
        tovlink.Probe(probe.port)
    probe.close()
    with pytest.raises(ValueError):
        probe.read32(RAM)


def test_missing_port_names_path_and_reason():
    with pytest.raises(tovlink.ProbeError) as caught:
        tovlink.Probe("/nonexistent/tovlink/ttyTOV 115200")
    error = caught.value
    assert error.code < 0
    assert error.text == tovlink.error_text(error.code)
    assert "/nonexistent/tovlink/ttyTOV" in error.detail
    assert "No such file or directory" in str(error)


@pytest.mark.skipif(not PROGRAMS, reason="the ARM test programs were not built")
def test_load_verify_dump_with_progress(probe, tmp_path):
    image = os.path.join(PROGRAMS, "hello_arm.srec")
    seen = []
    probe.load(image, progress=lambda done, total: seen.append((done, total)))
    assert seen and seen[-1][0] == seen[-1][1] > 0
    probe.verify(image)
    probe.verify(image.replace(".srec", ".hex"))  # the same program as Intel HEX and ELF
    probe.verify(image.replace(".srec", ".elf"), format="elf")

    entry = tovlink.ElfFile(os.path.join(PROGRAMS, "hello_arm.elf")).entry
    original = probe.read8(entry)
    probe.write8(entry, original ^ 0xFF)
    with pytest.raises(tovlink.ProbeError) as caught:
        probe.verify(image)
    assert caught.value.code == -1210 and "%08X" % entry in caught.value.detail.upper()

    dumped = tmp_path / "dump.srec"
    probe.dump(entry, 64, dumped)
    probe.write(entry, bytes(64))
    probe.load(dumped)
    assert probe.read8(entry) == original ^ 0xFF


@pytest.mark.tov_sim(faults="drop=0.1,dup=0.1,seed=5")
def test_plugin_simulator_with_faults_still_answers(tov_sim, tov_probe):
    assert "drop=0.1" in tov_sim.faults and tov_probe.port == tov_sim.port
    for value in range(0, 40, 4):
        tov_probe.write32(RAM + value, value * 0x01010101)
    assert [tov_probe.read32(RAM + v) for v in range(0, 40, 4)] == \
        [v * 0x01010101 for v in range(0, 40, 4)]


def test_channel_terminal_and_commands(tov_probe):
    data = bytes(range(256)) * 6  # more than one piece of 1024
    assert tov_probe.channel(2).write(data) == len(data)
    assert tov_probe.channel(2).read() == data
    assert tov_probe.channel(2).read() == b""
    assert "firmware" in tov_probe.command("help")
    tov_probe.command("print hello from the target")
    assert "hello from the target" in tov_probe.terminal.read()
    with pytest.raises(tovlink.ProbeError) as caught:
        tov_probe.command("no such command")
    assert -2207 <= caught.value.code <= -2201


# The simulator's bank of four byte-wide type-2 chips on a 32-bit bus, the probe's workspace in
# RAM at 0x40000.
FLASH = "2,0x80000,32,0x40000"


def test_flash_programs_then_skips_what_is_unchanged(tov_probe, tmp_path):
    data = os.urandom(0x300)
    image = tmp_path / "image.bin"
    image.write_bytes(data)
    seen = []
    report = tov_probe.flash(image, type=FLASH, base=0x20010000, verify=True,
                             progress=lambda done, total: seen.append((done, total)))
    assert (report.units_planned, report.units_erased) == (1, 1)
    assert report.bytes_programmed == len(data) and seen
    assert tov_probe.read(0x20010000, len(data)) == data
    again = tov_probe.flash(image, type=FLASH, base=0x20010000, skip_unchanged=True)
    assert (again.units_skipped, again.units_erased, again.bytes_programmed) == (1, 0, 0)
    assert again.bytes_as_memory == 0
    with pytest.raises(tovlink.ProbeError):
        tov_probe.flash(image, type="no such flash", base=0x20010000)
    # Where the flash lies reaches the library: data past its end refuses the file.
    with pytest.raises(tovlink.ProbeError, match="outside the flash at 0x20010000-0x200100FF"):
        tov_probe.flash(image, type=FLASH, base=0x20010000, flash_base=0x20010000,
                        flash_size=0x100, refuse_outside=True)


def test_structures_are_laid_out_as_the_library_lays_them_out():
    # The package lays out the library's structures again with ctypes; a field the header gained
    # and the package did not would let the library read and write past the package's copy.
    from tovlink import _library
    sizes = subprocess.run([os.environ["TOV_STRUCT_SIZES"]], check=True, capture_output=True,
                           text=True).stdout.split()
    expected = dict(zip(sizes[0::2], map(int, sizes[1::2])))
    assert len(expected) == 7
    for name, size in expected.items():
        assert ctypes.sizeof(getattr(_library, name)) == size, name
