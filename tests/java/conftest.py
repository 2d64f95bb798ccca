"""Fixtures for the Java-side runtime tests: the runtime jars (built by java/build.sh into
the native build directory), the small applications under apps/ compiled once per session,
and runners for the `java` command and for the native host of the launcher's JNI code."""
import json
import os
import subprocess
import sys
import time
from pathlib import Path
from types import SimpleNamespace

import pytest

# The X server helper is shared with the Wine tests.
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from xvfb_server import xvfb_server  # noqa: E402

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
JDK = Path(os.environ.get("RAVEL_JDK", "/usr/lib/jvm/java-17-openjdk-amd64"))
BUILD = Path(os.environ.get("BUILD_DIR", REPO / "build"))
JAR_DIR = Path(os.environ.get("RUNTIME_JAR_DIR", BUILD / "native" / "java"))
HOST = Path(os.environ.get("REAL_JVM_HOST", BUILD / "native" / "real_jvm_host"))
# Java reads and writes UTF-8 on its standard streams and in its file names under this
# locale, so non-ASCII arguments round-trip through the command line.
JAVA_ENV = {**os.environ, "LC_ALL": "C.UTF-8", "LANG": "C.UTF-8"}


def _run(command, **kwargs):
    subprocess.run([str(c) for c in command], check=True, **kwargs)


@pytest.fixture(scope="session")
def built(tmp_path_factory):
    runtime = JAR_DIR / "ravel-runtime.jar"
    quillwork = JAR_DIR / "qwkruntime.jar"
    for jar in (runtime, quillwork):
        assert jar.is_file(), f"{jar} missing: build it first (tests/java/run.sh does)"
    out = tmp_path_factory.mktemp("apps")
    probe, recorder, module_classes, mods = out / "probe", out / "recorder", out / "modclasses", out / "mods"
    mods.mkdir()
    javac = JDK / "bin" / "javac"
    _run([javac, "--release", "8", "-encoding", "UTF-8", "-cp", runtime, "-d", probe,
          *sorted((HERE / "apps" / "probe").glob("*.java"))])
    _run([javac, "--release", "8", "-d", recorder, *sorted((HERE / "apps" / "recorder").rglob("*.java"))])
    _run([javac, "--release", "11", "-d", module_classes, *sorted((HERE / "apps" / "modapp").rglob("*.java"))])
    _run([JDK / "bin" / "jar", "--create", "--file", mods / "app.jar", "--main-class", "com.example.Main",
          "-C", module_classes, "."])
    return SimpleNamespace(runtime=runtime, quillwork=quillwork, probe=probe, recorder=recorder, mods=mods)


class Result:
    def __init__(self, completed, seconds):
        self.returncode = completed.returncode
        self.stdout = completed.stdout
        self.stderr = completed.stderr
        self.seconds = seconds

    def lines(self, prefix, stream="stdout"):
        text = getattr(self, stream)
        return [line[len(prefix):] for line in text.splitlines() if line.startswith(prefix)]

    def probe(self):
        found = self.lines("PROBE ")
        assert len(found) == 1, (self.stdout, self.stderr)
        return json.loads(found[0])


def run_process(command, input=None, timeout=60, cwd=None):
    started = time.monotonic()
    completed = subprocess.run([str(c) for c in command], input=input, capture_output=True, text=True,
                               encoding="utf-8", timeout=timeout, env=JAVA_ENV, cwd=cwd)
    return Result(completed, time.monotonic() - started)


@pytest.fixture
def java():
    def run(*args, input="", timeout=60, cwd=None):
        return run_process([JDK / "bin" / "java", *args], input=input, timeout=timeout, cwd=cwd)
    return run


@pytest.fixture
def host(tmp_path):
    """Runs the native host with a description (dict of settings plus extra lines)."""
    assert HOST.is_file(), f"{HOST} missing: build it first (tests/java/run.sh does)"

    def describe(settings, extra):
        lines = [f"setting {k} = {v}" for k, v in settings.items()] + list(extra)
        description = tmp_path / "host.description"
        description.write_text("\n".join(lines) + "\n", encoding="utf-8")
        return description

    def run(settings, *arguments, extra=(), input="", timeout=60):
        result = run_process([HOST, describe(settings, extra), *arguments], input=input, timeout=timeout)
        result.log = result.lines("launcher-log: ", "stderr")
        outcome = result.lines("outcome: ", "stderr")
        result.outcome = outcome[-1] if outcome else None
        result.options = [line.split(": ", 1)[1] for line in result.log if line.startswith("vmoption ")
                          and not line.startswith("vmoption count")]
        return result

    def start(settings, *arguments, extra=(), env=None):
        """The host as a running process with piped standard streams (bytes); `env` adds to
        the environment."""
        return subprocess.Popen([str(HOST), str(describe(settings, extra)), *arguments], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, env={**JAVA_ENV, **(env or {})})

    run.start = start
    return run


@pytest.fixture
def xvfb_display():
    """A private Xvfb display (":N", 800x600, 24 bits) for one test."""
    with xvfb_server() as display:
        yield display
