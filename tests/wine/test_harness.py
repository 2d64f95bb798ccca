"""The suite's own footing: how its Wine processes are started."""
import os
from pathlib import Path

import pytest

from conftest import service_managers

ADDR_NO_RANDOMIZE = 0x0040000


@pytest.mark.skipif(os.environ.get("WINE_NO_ASLR") != "yes",
                    reason="the stage was not started through run.sh with randomisation off")
def test_wine_processes_run_without_address_randomisation(wine):
    # The Service Control Manager was started by the session's first Wine command and
    # inherited the personality from it; with randomisation on, about one Wine
    # process start in two thousand fails to map the shared user data.
    managers = service_managers(wine.prefix)
    assert managers, "the session's Service Control Manager is not running"
    for pid in managers:
        personality = int(Path(f"/proc/{pid}/personality").read_text(), 16)
        assert personality & ADDR_NO_RANDOMIZE, f"services.exe ({pid}) runs with personality {personality:#x}"
