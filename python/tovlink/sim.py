"""Starts the probe simulator `tovsim` for a test: on a private pseudo-terminal or a private
loopback address, waits for its ready line and stops it on exit."""

from __future__ import annotations

import os
import random
import selectors
import shutil
import signal
import subprocess
import tempfile
import time
from typing import List, Optional, Sequence

SIMULATOR_VARIABLE = "TOV_SIM"


def simulator_path() -> str:
    """The tovsim to start: $TOV_SIM, the one installed or built beside the library, or the
    one on PATH."""
    if os.environ.get(SIMULATOR_VARIABLE):
        return os.environ[SIMULATOR_VARIABLE]
    try:
        from . import _paths
        beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), _paths.SIMULATOR)
        if os.access(beside, os.X_OK):
            return os.path.normpath(beside)
    except ImportError:
        pass
    found = shutil.which("tovsim")
    if not found:
        raise FileNotFoundError("tovsim not found: set $%s to its path" % SIMULATOR_VARIABLE)
    return found


def private_address(rng: Optional[random.Random] = None) -> str:
    """A loopback address unlikely to be used by anyone else: 127.200-254.x.y."""
    rng = rng or random.SystemRandom()
    return "127.%d.%d.%d" % (rng.randint(200, 254), rng.randint(0, 255), rng.randint(1, 254))


class SimulatorError(RuntimeError):
    """The simulator could not be started; the text holds what it said."""


class Simulator:
    """A running `tovsim` while the object is open (use it in a ``with`` block)::

        with Simulator(core="arm1136", transport="udp") as sim:
            with tovlink.Probe(sim.port) as probe:
                ...

    `core` is "arm1136" (an emulated ARM1136 runs the program in target memory) or "model"
    (the PC only advances). `transport` is "udp" (a private 127.x.y.z, probe port 1) or "pty"
    (a pseudo-terminal in a private directory). `faults` is the simulator's fault list, for
    example "drop=0.05,seed=7". `options` are further tovsim options, such as
    ["--model", "A"]. `port` is the text to open the probe with.
    """

    def __init__(self, core: str = "arm1136", transport: str = "udp",
                 faults: Optional[str] = None, *, rate: int = 115200,
                 address: Optional[str] = None, options: Sequence[str] = (),
                 executable: Optional[str] = None, ready_timeout: float = 15.0) -> None:
        if transport not in ("udp", "pty"):
            raise ValueError("transport must be 'udp' or 'pty'")
        self.core = core
        self.transport = transport
        self.faults = faults
        self.rate = rate
        self.address = address
        self.options = list(options)
        self.executable = executable
        self.ready_timeout = ready_timeout
        self.ready_line = ""
        self.path: Optional[str] = None
        self._directory: Optional[str] = None
        self._process: Optional[subprocess.Popen] = None

    @property
    def port(self) -> str:
        """The text that opens the simulated probe: "NETWORK ADDRESS 1" or "PATH RATE"."""
        if self.transport == "udp":
            return "NETWORK %s 1" % self.address
        return "%s %d" % (self.path, self.rate)

    @property
    def running(self) -> bool:
        return self._process is not None and self._process.poll() is None

    def start(self) -> "Simulator":
        """Starts the simulator and waits for its ready line; raises SimulatorError."""
        if self.running:
            return self
        self._directory = tempfile.mkdtemp(prefix="tovsim-")
        # A chosen address may be taken by someone else: a few fresh ones are tried.
        attempts = 1 if self.transport == "pty" or self.address else 5
        for attempt in range(attempts):
            if self.transport == "udp" and (attempt > 0 or not self.address):
                self.address = private_address()
            try:
                self._launch()
                return self
            except SimulatorError:
                if attempt + 1 == attempts:
                    self.stop()
                    raise

    def _command(self) -> List[str]:
        command = [self.executable or simulator_path(), "--core", self.core,
                   "--rate", str(self.rate)]
        if self.transport == "udp":
            command += ["--udp", self.address]
        else:
            self.path = os.path.join(self._directory, "ttyTOV")
            command += ["--serial", self.path]
        if self.faults:
            command += ["--faults", self.faults]
        return command + self.options

    def _launch(self) -> None:
        errors = open(os.path.join(self._directory, "stderr"), "w+b")
        with errors:
            self._process = subprocess.Popen(self._command(), stdin=subprocess.DEVNULL,
                                             stdout=subprocess.PIPE, stderr=errors)
            line = self._read_ready_line()
            if line.startswith("ready"):
                self.ready_line = line
                return
            self._kill()
            errors.seek(0)
            said = errors.read(4096).decode("utf-8", "replace").strip()
        raise SimulatorError("tovsim did not get ready: %s" % (said or line or "no output"))

    def _read_ready_line(self) -> str:
        out = self._process.stdout
        line = b""
        deadline = time.monotonic() + self.ready_timeout
        with selectors.DefaultSelector() as selector:
            selector.register(out, selectors.EVENT_READ)
            while not line.endswith(b"\n") and len(line) < 4096:
                left = deadline - time.monotonic()
                if left <= 0 or not selector.select(left):
                    break
                byte = os.read(out.fileno(), 1)
                if not byte:
                    break
                line += byte
        return line.decode("utf-8", "replace").strip()

    def stop(self) -> None:
        """Stops the simulator (SIGTERM, then SIGKILL after 5 s) and removes its directory."""
        self._kill()
        if self._directory:
            shutil.rmtree(self._directory, ignore_errors=True)
            self._directory = None

    def _kill(self) -> None:
        process, self._process = self._process, None
        if process is None:
            return
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        if process.stdout:
            process.stdout.close()

    def __enter__(self) -> "Simulator":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()

    def __repr__(self) -> str:
        return "<Simulator %s %s%s>" % (self.core, self.port if self._directory else "",
                                        " running" if self.running else "")
