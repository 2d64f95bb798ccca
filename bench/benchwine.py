"""What the benchmarks share: the build they measure, a Wine prefix of their own below the
build directory, and a Wine session kept up for the whole benchmark.

The Wine tests' helpers (tests/wine/conftest.py, tests/wine/runtimes.py) are reused, so a
benchmark lays out runtimes and runs programs exactly as the tests do. BUILD_DIR and
DIST_DIR name the build, as for the tests.
"""
import contextlib
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "wine"))

from conftest import BUILD, DIST, WINE64, Wine, launcher_description, service_managers  # noqa: E402

EMULATION_ENTRY = Path("/proc/sys/fs/binfmt_misc/qemu-i386")
# A benchmark runs one Wine program at a time: with the Wine server it keeps about one core
# busy (0.6 on average over whole rounds, measured on an otherwise idle machine). A round in
# which more cores than this were busy on average shared the machine with other work.
CONTENDED_BUSY_CORES = 1.5
# Share of contended rounds above which a result counts as measured on a loaded machine.
LOADED_ROUND_SHARE = 0.1


def fail(text: str):
    """Ends the benchmark with a non-zero exit: what it measures did not work at all."""
    print(f"BENCHMARK FAILED: {text}", file=sys.stderr, flush=True)
    sys.exit(1)


def require_built(*paths: Path):
    for path in paths:
        if not path.exists():
            fail(f"{path} is missing: run `make build` first")


def cpu_times():
    """(busy, total) jiffies of all cores together, from /proc/stat (idle and I/O wait are not busy)."""
    fields = [int(v) for v in Path("/proc/stat").read_text().split("\n", 1)[0].split()[1:]]
    total = sum(fields[:8])
    return total - fields[3] - fields[4], total


class MachineLoad:
    """Whether other work shared the machine while the timed rounds ran: the busy share of
    all cores is sampled around each round, and a round that kept clearly more cores busy
    than the benchmark alone can is counted as contended. A loaded machine stretches some
    runs of either side several times over, so its ratios say little about the launcher."""

    def __init__(self):
        self.cores = os.cpu_count() or 1
        self.busy = []

    @contextlib.contextmanager
    def round(self):
        start = cpu_times()
        yield
        busy, total = cpu_times()
        elapsed = (total - start[1]) / self.cores
        self.busy.append((busy - start[0]) / elapsed if elapsed > 0 else 0.0)

    def contended(self, number: int) -> bool:
        return self.busy[number] > CONTENDED_BUSY_CORES

    @property
    def loaded(self) -> bool:
        return sum(map(self.contended, range(len(self.busy)))) > LOADED_ROUND_SHARE * len(self.busy)

    def describe(self, unit="rounds") -> str:
        count = sum(map(self.contended, range(len(self.busy))))
        verdict = "LOADED: these figures are not those of a quiet machine" if self.loaded else "quiet"
        return (f"machine: {count} of {len(self.busy)} {unit} kept more than {CONTENDED_BUSY_CORES} of "
                f"{self.cores} cores busy on average (the benchmark alone keeps about one busy): {verdict}")


def bench_prefix(name: str) -> Path:
    return BUILD / f"wineprefix-bench-{name}"


def ensure_prefix(wine: Wine):
    """Creates the prefix on first use. The i386 emulation entry is switched off meanwhile
    (as the Wine tests do), or Wine would set up the prefix's 32-bit half under emulation,
    which takes minutes instead of seconds; it is switched back on afterwards, so that a
    32-bit stage that needs it is disturbed for those seconds only."""
    if (wine.prefix / "system.reg").exists():
        return
    emulation_was_on = EMULATION_ENTRY.exists() and EMULATION_ENTRY.read_text().startswith("enabled")
    if emulation_was_on and not set_emulation("0"):
        print("note: the i386 emulation entry is enabled; creating the prefix takes minutes", flush=True)
        emulation_was_on = False
    wine.prefix.mkdir(parents=True, exist_ok=True)
    try:
        completed = subprocess.run([WINE64, "wineboot", "-i"], env=wine.base_env(), timeout=900,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # wineboot returns before the prefix's server has finished writing the registry.
        subprocess.run(["wineserver", "-w"], env=wine.base_env(), timeout=300)
    finally:
        if emulation_was_on:
            set_emulation("1")
    if not (wine.prefix / "system.reg").exists():
        fail(f"wineboot could not create the prefix {wine.prefix} (exit {completed.returncode})")


def set_emulation(value: str) -> bool:
    try:
        EMULATION_ENTRY.write_text(value)
        return True
    except OSError:
        return False


@contextlib.contextmanager
def wine_session(name: str):
    """A Wine object on the benchmark's own prefix, with the prefix's server and system
    processes kept running by one idle process, so that no measured start pays for starting
    them. They are started with their output going nowhere: system processes inherit the
    output handles of whoever starts them, and a captured run would otherwise wait for the
    end of a file or pipe that one of them holds open. Everything is stopped at the end."""
    require_built(DIST / "launcher64.exe", DIST / "packer", BUILD / "win64" / "envrun.exe",
                  BUILD / "win64" / "sleeper.exe")
    wine = Wine(bench_prefix(name))
    ensure_prefix(wine)
    subprocess.run(["wineserver", "-k"], env=wine.base_env(), timeout=60)
    keepalive = subprocess.Popen([WINE64, str(BUILD / "win64" / "sleeper.exe")], env=wine.base_env(),
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        # The keep-alive process starts the session; a second Wine program started before
        # that session is up could start system processes of its own, so it waits for the
        # session's Service Control Manager first.
        deadline = time.monotonic() + 60
        while not service_managers(wine.prefix) and time.monotonic() < deadline:
            time.sleep(0.1)
        # One Wine program run to its end makes sure the session is fully up before timing.
        subprocess.run([WINE64, "cmd", "/c", "exit"], env=wine.base_env(), timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        yield wine
    finally:
        keepalive.kill()
        keepalive.wait()
        wine.kill_server()


def pack(work: Path, settings: dict, name="bench.exe") -> Path:
    """Writes a launcher configured with `settings` (id -> text) into `work`/app."""
    app = work / "app"
    app.mkdir(parents=True, exist_ok=True)
    description = app / (name + ".desc")
    description.write_text(launcher_description(settings), encoding="utf-8")
    exe = app / name
    completed = subprocess.run([str(DIST / "packer"), str(DIST / "launcher64.exe"), str(description), str(exe)],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if completed.returncode != 0:
        fail(f"the packer failed: {completed.stderr.decode(errors='replace')}")
    return exe
