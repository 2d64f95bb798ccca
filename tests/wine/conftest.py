"""Fixtures for running the real launcher under the 64-bit Wine.

Every test gets a `wine` object that runs Windows programs in the suite's Wine prefix and a
`pack` function that writes a configured launcher from a description with the packer.
Programs are started through envrun.exe so that a test can set any environment variable
inside the Windows process (TEMP and TMP included) and give the exact command line.
"""
import os
import subprocess
from dataclasses import dataclass
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("BUILD_DIR", ROOT / "build"))
DIST = Path(os.environ.get("DIST_DIR", ROOT / "dist"))
WINE64 = "/usr/lib/wine/wine64"
# Each parallel test worker gets a prefix (and so a Wine server) of its own: some tests
# restart the server or change its locale, which must not disturb the other worker.
_WORKER = os.environ.get("PYTEST_XDIST_WORKER", "")
PREFIX = Path(os.environ.get("WINE_TEST_PREFIX", BUILD / "wineprefix64")).with_name(
    Path(os.environ.get("WINE_TEST_PREFIX", BUILD / "wineprefix64")).name + (f"-{_WORKER}" if _WORKER else ""))


def winpath(path) -> str:
    """The Windows form of a Unix path, through Wine's Z: drive."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def quote_argument(arg: str) -> str:
    """Quotes an argument for the launcher's splitting rules (no escaping of quotes)."""
    if arg == "" or any(c in arg for c in " \t"):
        return '"' + arg + '"'
    return arg


def _run_to_files(args, env, timeout, cwd=None, input=None):
    """subprocess.run with the output captured in files instead of pipes. A Wine process may
    start the prefix's system processes (the Service Control Manager, for one), which inherit
    its output handles and outlive it; reading a pipe would then wait for their end."""
    import tempfile
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        completed = subprocess.run(args, env=env, cwd=cwd, timeout=timeout, input=input,
                                   stdout=out, stderr=err)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(args, completed.returncode, out.read(), err.read())


# The command line and result of the latest Wine.run of this test process, shown when a
# log that run should have written is missing.
last_run = None


@dataclass
class Result:
    returncode: int
    stdout: str
    stderr: str


class Wine:
    def __init__(self, prefix: Path):
        self.prefix = prefix
        self.envrun = BUILD / "win64" / "envrun.exe"

    def base_env(self):
        env = dict(os.environ)
        env["WINEPREFIX"] = str(self.prefix)
        env["WINEDEBUG"] = "-all"
        env.pop("DISPLAY", None)
        env.setdefault("LC_ALL", "C.UTF-8")
        return env

    def run(self, exe, args=(), raw=None, env=None, cwd=None, timeout=120, input=None, unix_env=None):
        """Runs `exe` with `args` (quoted as needed) or the exact `raw` argument text.

        `env` holds variables set inside the Windows process (value None removes one);
        `unix_env` adds variables to Wine's own environment (for example LC_ALL).
        Returns the exit code and the decoded standard output and error.
        """
        exe_win = winpath(exe)
        tail = raw if raw is not None else " ".join(quote_argument(a) for a in args)
        command_line = quote_argument(exe_win) + (" " + tail if tail else "")
        process_env = self.base_env()
        if unix_env:
            process_env.update(unix_env)
        process_env["ENVRUN_COMMAND_LINE"] = command_line
        assignments = [f"{k}={'' if v is None else v}" for k, v in (env or {}).items()]
        completed = _run_to_files(
            [WINE64, str(self.envrun), *assignments, "--"],
            env=process_env, cwd=cwd or Path(exe).parent, timeout=timeout,
            input=input.encode() if isinstance(input, str) else input)
        result = Result(completed.returncode,
                        completed.stdout.decode("utf-8", "replace"),
                        completed.stderr.decode("utf-8", "replace"))
        global last_run
        last_run = (command_line, result)
        return result

    def command(self, *args, timeout=120, encoding="cp437"):
        """Runs one of Wine's own programs (reg, sc, cmd) directly. They write to a pipe in
        the OEM code page, which is 437 under the suite's default locale."""
        completed = subprocess.run([WINE64, *args], env=self.base_env(), timeout=timeout,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return Result(completed.returncode,
                      completed.stdout.decode(encoding, "replace"),
                      completed.stderr.decode(encoding, "replace"))

    def kill_server(self):
        subprocess.run(["wineserver", "-k"], env=self.base_env(), timeout=60)


def service_managers(prefix: Path):
    """Unix process ids of the Service Control Managers running for `prefix`."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes()
            environment = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if b"services.exe" in command.lower() and f"WINEPREFIX={prefix}".encode() in environment:
            found.append(int(entry.name))
    return found


@pytest.fixture(scope="session")
def wine():
    for needed in (DIST / "launcher64.exe", DIST / "packer", BUILD / "win64" / "envrun.exe"):
        if not needed.exists():
            pytest.fail(f"{needed} is missing: run `make build` first")
    w = Wine(PREFIX)
    if not (PREFIX / "system.reg").exists():
        PREFIX.mkdir(parents=True, exist_ok=True)
        subprocess.run([WINE64, "wineboot", "-i"], env=w.base_env(), timeout=300,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Start the server and the prefix's system processes (the Service Control Manager among
    # them) from a process whose output goes nowhere: they inherit the output handles of
    # whoever starts them, and a test that captured output would otherwise wait for the end
    # of a pipe that a system process holds open.
    subprocess.run(["wineserver", "-k"], env=w.base_env(), timeout=60)
    subprocess.run(["wineserver", "-p"], env=w.base_env(), timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINE64, "sc", "query", "RavelWarmUp"], env=w.base_env(), timeout=120,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    yield w
    w.kill_server()


@pytest.fixture(scope="session")
def keepalive(wine):
    """Keeps one ordinary Wine process running, so the prefix's Service Control Manager and
    services live between the commands of a test."""
    process = subprocess.Popen([WINE64, str(BUILD / "win64" / "sleeper.exe")], env=wine.base_env(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    yield process
    process.kill()
    process.wait()


@pytest.fixture
def pack(tmp_path):
    """pack(description, name="app.exe", directory=None, launcher=None) -> path of the packed launcher.

    The description uses the packer's line format; included files named in it are looked
    up relative to the directory the launcher is written to.
    """
    def _pack(description: str, name: str = "app.exe", directory=None, launcher=None):
        target_dir = Path(directory) if directory else tmp_path
        target_dir.mkdir(parents=True, exist_ok=True)
        desc = target_dir / (name + ".desc")
        desc.write_text(description, encoding="utf-8")
        out = target_dir / name
        source = Path(launcher) if launcher else DIST / "launcher64.exe"
        completed = subprocess.run([str(DIST / "packer"), str(source), str(desc), str(out)],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        assert completed.returncode == 0, completed.stderr.decode()
        return out
    return _pack


def describe_last_run() -> str:
    if last_run is None:
        return "no launcher run yet"
    command_line, result = last_run
    return (f"last run: {command_line}\nexit code {result.returncode}\n"
            f"stdout: {result.stdout!r}\nstderr: {result.stderr!r}")


def _listing(directory) -> str:
    folder = Path(directory)
    return str(sorted(p.name for p in folder.iterdir())) if folder.is_dir() else "nothing: there is no such folder"


def read_log(directory) -> str:
    """The text of the single log file in `directory` (UTF-8 with byte-order mark)."""
    logs = sorted(Path(directory).glob("qwk_nlog_*.log"))
    assert len(logs) == 1, (f"expected one log file, found {logs}; the folder holds "
                            f"{_listing(directory)}\n{describe_last_run()}")
    return logs[0].read_bytes().decode("utf-8-sig")

