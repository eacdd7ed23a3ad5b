"""pytest fixtures for board tests that run against the simulator in CI and against a real probe
on the bench.

- ``tov_sim``: a started tovsim (a new one per test). Its settings come from the marker
  ``@pytest.mark.tov_sim(core=..., transport=..., faults=...)`` and the options
  ``--tov-core`` and ``--tov-transport``.
- ``tov_probe``: an open Probe: on the port given by ``--tov-port`` or $TOV_PORT when either is
  set (a real probe, or a simulator started elsewhere), else on ``tov_sim``.

The plugin is registered through the package's ``pytest11`` entry point, so installing the
package is all a test needs.
"""

from __future__ import annotations

import os
from typing import TYPE_CHECKING, Iterator

import pytest

if TYPE_CHECKING:
    from .probe import Probe
    from .sim import Simulator

PORT_VARIABLE = "TOV_PORT"


def pytest_addoption(parser: pytest.Parser) -> None:
    group = parser.getgroup("tovlink", "TOV debug probe")
    group.addoption("--tov-port", default=None, metavar="PORT",
                    help='open the probe on PORT ("COM1 115200", "NETWORK 10.0.0.7 1") instead '
                         "of a simulator; default $%s" % PORT_VARIABLE)
    group.addoption("--tov-core", default="arm1136", metavar="KIND",
                    help="the simulator's core: arm1136 (default) or model")
    group.addoption("--tov-transport", default="udp", choices=("udp", "pty"),
                    help="how the simulator is reached: udp (default) or pty")


def pytest_configure(config: pytest.Config) -> None:
    config.addinivalue_line(
        "markers", "tov_sim(core=None, transport=None, faults=None, options=()): settings of the "
                   "simulator the tov_sim and tov_probe fixtures start")


def probe_port(config: pytest.Config) -> str:
    """The port given for a real probe, or "" for the simulator."""
    return config.getoption("tov_port") or os.environ.get(PORT_VARIABLE, "")


@pytest.fixture
def tov_sim(request: pytest.FixtureRequest) -> Iterator["Simulator"]:
    """A started simulator, stopped after the test."""
    from .sim import Simulator

    marker = request.node.get_closest_marker("tov_sim")
    settings = dict(marker.kwargs) if marker else {}
    settings.setdefault("core", request.config.getoption("tov_core"))
    settings.setdefault("transport", request.config.getoption("tov_transport"))
    with Simulator(**settings) as sim:
        yield sim


@pytest.fixture
def tov_probe(request: pytest.FixtureRequest) -> Iterator["Probe"]:
    """An open probe: on --tov-port / $TOV_PORT when given, else on a fresh simulator."""
    from .probe import Probe

    port = probe_port(request.config)
    if not port:
        port = request.getfixturevalue("tov_sim").port
    with Probe(port) as probe:
        yield probe
