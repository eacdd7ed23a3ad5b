"""Runs pytest on test files copied into a scratch folder outside the repository, with only the
given package folder on the path, so that the tests see the package as an installed one.

    run_outside.py --pythonpath DIR [--copy SRC=NAME]... [--simulator TOVSIM] TEST.py...

With --simulator a tovsim is started apart on a private loopback address and the tests are
given its port with --tov-port, as a bench run would give a real probe's.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile


def start_simulator(tovsim, folder):
    """A tovsim on a private 127.x.y.z; its process and port text."""
    for _ in range(5):
        address = "127.%d.%d.%d" % (random.randint(200, 254), random.randint(0, 255),
                                    random.randint(1, 254))
        process = subprocess.Popen([tovsim, "--udp", address, "--core", "arm1136"],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, cwd=folder)
        line = process.stdout.readline().decode()
        if line.startswith("ready"):
            return process, "NETWORK %s 1" % address
        process.kill()
        process.wait()
        print("tovsim did not start: %s" % line, file=sys.stderr)
    sys.exit("no simulator")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pythonpath", required=True)
    parser.add_argument("--copy", action="append", default=[])
    parser.add_argument("--simulator")
    parser.add_argument("tests", nargs="+")
    options = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="tovlink-pytest-")
    simulator = None
    try:
        for test in options.tests:
            shutil.copy(test, folder)
        for item in options.copy:
            source, _, name = item.partition("=")
            shutil.copy(source, os.path.join(folder, name or os.path.basename(source)))
        environment = dict(os.environ, PYTHONPATH=os.path.abspath(options.pythonpath),
                           PYTHONDONTWRITEBYTECODE="1")
        environment.pop("TOV_PORT", None)
        command = [sys.executable, "-m", "pytest", "-v", "-p", "no:cacheprovider"]
        if options.simulator:
            simulator, port = start_simulator(options.simulator, folder)
            command += ["--tov-port", port]
            print("tovsim started apart: --tov-port \"%s\"" % port, flush=True)
        command += [os.path.basename(test) for test in options.tests]
        return subprocess.call(command, cwd=folder, env=environment)
    finally:
        if simulator is not None:
            simulator.terminate()
            simulator.wait()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
