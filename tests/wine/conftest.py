"""Fixtures for running the real launcher under the 64-bit Wine.

Every test gets a `wine` object that runs Windows programs in the suite's Wine prefix and a
`pack` function that writes a configured launcher from a description with the packer.
Programs are started through envrun.exe so that a test can set any environment variable
inside the Windows process (TEMP and TMP included) and give the exact command line.

Below them: reading the diagnostic log back (the log file of a folder, its lines without
the time prefix, its lines with the time in milliseconds), a launcher whose every run is
logged into a folder of its own, a private Xvfb display for tests of real windows, and a
look at the running Linux processes (every Wine process is one).
"""
import os
import re
import shutil
import subprocess
from contextlib import contextmanager
from dataclasses import dataclass
from pathlib import Path

import pytest

from xvfb_server import xvfb_server

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

    def base_env(self, display=None):
        """Wine's own environment for the suite's prefix; without an X `display` (":N") Wine
        has none, so a message box returns at once instead of waiting for a user."""
        env = dict(os.environ)
        env["WINEPREFIX"] = str(self.prefix)
        env["WINEDEBUG"] = "-all"
        env.pop("DISPLAY", None)
        if display:
            env["DISPLAY"] = display
        env.setdefault("LC_ALL", "C.UTF-8")
        return env

    def envrun_command(self, exe, args=(), raw=None, env=None, unix_env=None):
        """(argument vector, Unix environment) that start `exe` through envrun.exe with `args`
        (quoted as needed) or the exact `raw` argument text.

        `env` holds variables set inside the Windows process (value None removes one);
        `unix_env` adds variables to Wine's own environment (for example LC_ALL).
        """
        tail = raw if raw is not None else " ".join(quote_argument(a) for a in args)
        command_line = quote_argument(winpath(exe)) + (" " + tail if tail else "")
        process_env = self.base_env()
        if unix_env:
            process_env.update(unix_env)
        process_env["ENVRUN_COMMAND_LINE"] = command_line
        assignments = [f"{k}={'' if v is None else v}" for k, v in (env or {}).items()]
        return [WINE64, str(self.envrun), *assignments, "--"], process_env

    def run(self, exe, args=(), raw=None, env=None, cwd=None, timeout=120, input=None, unix_env=None):
        """Runs `exe` as envrun_command describes and waits for its end.
        Returns the exit code and the decoded standard output and error.
        """
        argv, process_env = self.envrun_command(exe, args, raw, env, unix_env)
        command_line = process_env["ENVRUN_COMMAND_LINE"]
        completed = _run_to_files(
            argv, env=process_env, cwd=cwd or Path(exe).parent, timeout=timeout,
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


def start_system_processes(w):
    """Starts the server and the prefix's system processes (the Service Control Manager among
    them) from a process whose output goes nowhere: they inherit the output handles of
    whoever starts them, and a test that captured output would otherwise wait for the end
    of a pipe that a system process holds open."""
    subprocess.run(["wineserver", "-p"], env=w.base_env(), timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINE64, "sc", "query", "RavelWarmUp"], env=w.base_env(), timeout=120,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


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
    subprocess.run(["wineserver", "-k"], env=w.base_env(), timeout=60)
    start_system_processes(w)
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


# --- the diagnostic log ----------------------------------------------------------------------

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


def logs_of(exe, directory):
    """The log files in `directory` whose header names `exe`, lowest number (oldest) first: a
    folder that several launchers log into, as the services' temp folder is, holds logs of each."""
    header = f"Started executable {winpath(exe)} at "
    numbered = sorted(Path(directory).glob("qwk_nlog_*.log"), key=lambda p: int(p.stem.rsplit("_", 1)[1]))
    return [f for f in numbered if f.read_bytes().decode("utf-8-sig", "replace").startswith(header)]


# The "[s:ms] " prefix of every line after the header: seconds and milliseconds since the
# log started. test_log checks the exact form; readers here only need to take it off.
LOG_STAMP = re.compile(r"^\[(-?\d+):(-?\d+)\] ")
# "Started executable <path> at <time>", then an empty line: the time text brings its own
# line feed.
LOG_HEADER_LINES = 2


def _body_lines(text):
    return text.split("\r\n")[LOG_HEADER_LINES:]


def log_lines(text):
    """The log's lines without their "[s:ms] " prefixes (the header and empty lines dropped)."""
    return [LOG_STAMP.sub("", line) for line in _body_lines(text) if line]


def stamped_log_lines(text):
    """(milliseconds since the log started, line without its prefix) for every line after the
    header that has the prefix."""
    result = []
    for line in _body_lines(text):
        match = LOG_STAMP.match(line)
        if match:
            result.append((int(match[1]) * 1000 + int(match[2]), line[match.end():]))
    return result


def temp_env(temp):
    """Variables that make `temp` the temp directory of a run, and so the log's folder."""
    return {"TEMP": winpath(temp), "TMP": winpath(temp)}


def logged_env(temp):
    """Variables that switch the log on and make `temp` the temp directory of a run."""
    return {"RAVEL_LOG": "yes", **temp_env(temp)}


# The two environment homes name runtimes of their own; tests that are not about them hide
# them, so that a variable set on the machine adds no candidate.
NO_JAVA_HOMES = {"RAVEL_JAVA_HOME": None, "QUILLWORK_JAVA_HOME": None}


def launcher_description(settings, messages=None) -> str:
    """The packer's lines for `settings` and `messages` (id -> text), in their order."""
    text = "".join(f"setting {k} = {v}\n" for k, v in settings.items())
    return text + "".join(f"message {k} = {v}\n" for k, v in (messages or {}).items())


class LoggedLauncher:
    """A launcher packed from `settings` and `messages` into `directory/<folder>`. Every run
    gets a new folder `directory/log<n>` as its temp directory and logs there, so its log is
    the only one in that folder."""

    def __init__(self, wine, pack, directory: Path, settings: dict, messages=None, folder="app"):
        self.wine = wine
        self.directory = directory
        self.app = directory / folder
        self.exe = pack(launcher_description(settings, messages), directory=self.app)
        self.runs = 0

    def new_log_folder(self) -> Path:
        self.runs += 1
        temp = self.directory / f"log{self.runs}"
        temp.mkdir(parents=True)
        return temp

    def run_logged(self, args=("/run",), env=None, **options):
        """(result, log text) of one run to its end. `env` adds to (or, with None, removes
        from) the variables that switch the log on; `options` go to Wine.run."""
        temp = self.new_log_folder()
        result = self.wine.run(self.exe, list(args), env={**logged_env(temp), **(env or {})}, **options)
        return result, read_log(temp)


# --- real windows ----------------------------------------------------------------------------

@contextmanager
def xvfb_display(wine, tools=("Xvfb",), programs=()):
    """A private Xvfb display (":N") for the block. The Wine server is restarted on entry and
    on exit, so that no Wine process of the prefix keeps a connection to an earlier (or no)
    display. Fails at once when one of `tools` is not installed or one of `programs` is not
    built."""
    for tool in tools:
        if shutil.which(tool) is None:
            pytest.fail(f"{tool} is missing: run scripts/install-deps.sh")
    for program in programs:
        if not program.exists():
            pytest.fail(f"{program} is missing: run `make build` first")
    try:
        with xvfb_server() as display:
            wine.kill_server()
            try:
                yield display
            finally:
                wine.kill_server()
    finally:
        # The files that follow in this worker find the prefix as the session left it.
        start_system_processes(wine)


# --- running processes -----------------------------------------------------------------------

def linux_processes(read):
    """{process id: read(its /proc folder)} of the running Linux processes (every Wine process
    is one) for which `read` gives something other than None. A process that ends while it
    is read, or whose files may not be read, is passed over."""
    found = {}
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            value = read(entry)
        except OSError:
            continue
        if value is not None:
            found[int(entry.name)] = value
    return found


def service_managers(prefix: Path):
    """Unix process ids of the Service Control Managers running for `prefix`."""
    def manager_of_prefix(entry):
        command = (entry / "cmdline").read_bytes()
        environment = (entry / "environ").read_bytes().split(b"\0")
        if b"services.exe" in command.lower() and f"WINEPREFIX={prefix}".encode() in environment:
            return True
        return None
    return list(linux_processes(manager_of_prefix))
