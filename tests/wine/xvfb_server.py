"""A private X server for tests that look at real windows: the Wine tests' message boxes and
window borders, and the real JVM's splash screen."""
import os
import shutil
import subprocess
from contextlib import contextmanager

import pytest


@contextmanager
def xvfb_server():
    """Starts Xvfb on a free display (800x600, 24 bits) and yields its name (":N"); the server
    ends with the block. Fails at once when Xvfb is not installed."""
    if shutil.which("Xvfb") is None:
        pytest.fail("Xvfb is missing: run scripts/install-deps.sh")
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24",
                               "-nolisten", "tcp"], pass_fds=(write_end,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        assert chunk, "Xvfb did not report its display"
        number += chunk
    os.close(read_end)
    try:
        yield ":" + number.decode().strip()
    finally:
        server.terminate()
        server.wait(timeout=30)
