#!/usr/bin/env python3
"""Benchmark of the supervised service under wine64 and Wine's real Service Control Manager:
how long a start request takes to reach the application's main, and a stop request to reach
the stopped state, when the application ends at once on the shutdown line.

One launcher is installed as a demand-start service with a stand-in JRE beside it (found
through setting 128) whose main reads one line from standard input and exits with 0. Each
cycle:
  * start: `sc start` is issued; the time runs until the stand-in has recorded the call of
    main (its record file is polled every few milliseconds);
  * stop: `sc stop` is issued; the time runs until the service process (the supervisor) has
    left the Unix process list, which it does right after reporting the stopped state; the
    SCM is then asked whether the service is stopped with exit code 0.
Both are measured from the moment the request's Wine program is started, so they include
that program's own start; its cost is shown separately (the median run time of `sc query`).
The supervisor's log gives the in-service part of a stop as well: from the control handler's
first line to the line that notes the child's end.

The first cycle pays for the runtime's version probe and is reported apart; the medians are
over the cycles after it.

Start-up: with the launcher's log off and Wine's trace of module loads and service functions
on, further cycles and runs give the time from the load of the executable to its first call
to the SCM, for the service process (StartServiceCtrlDispatcherW), for an administration
command (/status: OpenSCManagerW) and, as a yardstick, for Wine's own `sc query`.

Usage: service_bench.py [--cycles N] [--startup-runs N]   (BUILD_DIR / DIST_DIR name the build)
The benchmark uses a Wine prefix of its own, <build>/wineprefix-bench-service, created on first
use. Its services log (the system environment of that prefix turns the log on while it runs).
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import time
from pathlib import Path

# benchwine puts the Wine tests' helpers on the module path.
from benchwine import MachineLoad, bench_prefix, ensure_prefix, fail, pack, require_built

from conftest import (BUILD, DIST, WINE64, Wine, logs_of, service_managers, stamped_log_lines,  # noqa: E402
                      winpath)
from runtimes import Do, JavaWorld, make_jre  # noqa: E402

WORK = BUILD / "bench" / "service"
NAME = "RavelBenchService"
SYSTEM_ENVIRONMENT = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"
NO_LOG = {"RAVEL_LOG": None, "QUILLWORK_LOG": None}
POLL_SECONDS = 0.003
TIMEOUT_SECONDS = 60
# Wine's own trace of the processes measured for start-up: when each module is loaded and
# when each service function is entered, with millisecond time stamps. Tracing only these
# two channels costs the traced processes next to nothing.
STARTUP_TRACE = "+timestamp,+loaddll,+service"
TRACE_LINE = re.compile(r"^(\d+\.\d+):([0-9a-f]+):trace:(loaddll|service):(.*)$")
STARTUP_TRACE_FILE = BUILD / "bench" / "service-startup-trace.txt"


class Session:
    """The benchmark's prefix with an SCM whose services log, kept up by one idle process.
    The system processes are started by one quiet command before anything else runs: two
    Wine programs racing to start them can leave two SCMs running side by side."""

    def __init__(self):
        require_built(DIST / "launcher64.exe", DIST / "packer", BUILD / "win64" / "envrun.exe",
                      BUILD / "win64" / "sleeper.exe")
        self.wine = Wine(bench_prefix("service"))
        ensure_prefix(self.wine)
        self.keepalive = None
        self.set_system_variable("RAVEL_LOG", "yes")
        self.restart()

    def quiet(self, *args):
        return subprocess.run([WINE64, *args], env=self.wine.base_env(), timeout=120,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    def set_system_variable(self, name, value):
        """Sets (value None: removes) a variable of the system environment, which the SCM
        hands to the services it starts after the next restart."""
        if value is None:
            self.quiet("reg", "delete", SYSTEM_ENVIRONMENT, "/v", name, "/f")
        else:
            self.quiet("reg", "add", SYSTEM_ENVIRONMENT, "/v", name, "/d", value, "/f")

    def restart(self, trace: Path = None):
        """A new session with one SCM. With `trace`, Wine's debug output of the system
        processes and of the services they start (which inherit it) is appended to that file."""
        self.stop_keepalive()
        for _ in range(3):
            self.wine.kill_server()
            subprocess.run(["wineserver", "-p"], env=self.wine.base_env(), timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with open(trace if trace else os.devnull, "ab") as output:
                subprocess.run([WINE64, "sc", "query", "RavelWarmUp"], env=self.wine.base_env(), timeout=120,
                               stdout=subprocess.DEVNULL, stderr=output)
            managers = service_managers(self.wine.prefix)
            if len(managers) == 1:
                self.keepalive = subprocess.Popen([WINE64, str(BUILD / "win64" / "sleeper.exe")],
                                                  env=self.wine.base_env(), stdout=subprocess.DEVNULL,
                                                  stderr=subprocess.DEVNULL)
                return
        fail(f"the prefix's server did not come up with one Service Control Manager: {managers}")

    def stop_keepalive(self):
        if self.keepalive is not None:
            self.keepalive.kill()
            self.keepalive.wait()
            self.keepalive = None

    def close(self):
        self.set_system_variable("RAVEL_LOG", None)
        self.set_system_variable("WINEDEBUG", None)
        self.stop_keepalive()
        self.wine.kill_server()


class BenchService:
    def __init__(self, wine: Wine):
        self.wine = wine
        shutil.rmtree(WORK, ignore_errors=True)
        WORK.mkdir(parents=True)
        self.exe = pack(WORK, {101: NAME, 107: "0", 122: "com.example.App", 128: "Bjre"}, name="svcbench.exe")
        self.jre = make_jre(self.exe.parent / "jre", release={"STANDIN_TRANSCRIPT": "standin.log"})
        self.jre.use_world(JavaWorld().main(Do.read_line(), Do.exit(0)))
        self.temp = next(p for p in (wine.prefix / "drive_c" / "users").glob("*/Temp") if p.parent.name != "Public")
        self.remove_logs()
        installed = wine.run(self.exe, ["/install"], env=NO_LOG)
        if installed.returncode != 0:
            fail(f"the service could not be installed: {installed.stdout}")

    def main_calls(self) -> int:
        return sum(1 for r in self.jre.records("call") if r["method"] == "main")

    def supervisor_pids(self):
        marker = winpath(self.exe).lower()
        found = []
        for entry in Path("/proc").iterdir():
            if entry.name.isdigit():
                try:
                    command = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode("utf-8", "replace")
                except OSError:
                    continue
                if marker in command.lower() and "__qwk_restart" not in command:
                    found.append(int(entry.name))
        return found

    def state(self):
        """(state, Win32 exit code) from `sc query`, asked up to three times: a query that
        answers nothing usable is reported only when it keeps doing so."""
        for _ in range(3):
            result = self.wine.command("sc", "query", NAME)
            fields = dict(re.findall(r"^\s*(STATE|WIN32_EXIT_CODE)\s*:\s*(\d+)", result.stdout, re.M))
            if "STATE" in fields:
                return int(fields["STATE"]), int(fields["WIN32_EXIT_CODE"])
            time.sleep(0.5)
        fail(f"sc query gave no state (exit {result.returncode}): {result.stdout} {result.stderr}")

    def request(self, word):
        return subprocess.Popen([WINE64, "sc", word, NAME], env=self.wine.base_env(),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def start(self) -> float:
        calls = self.main_calls()
        started = time.monotonic()
        request = self.request("start")
        while self.main_calls() == calls:
            if time.monotonic() - started > TIMEOUT_SECONDS:
                fail(f"main was not called within {TIMEOUT_SECONDS} s of the start request")
            time.sleep(POLL_SECONDS)
        seconds = time.monotonic() - started
        request.wait(timeout=TIMEOUT_SECONDS)
        return seconds

    def stop(self) -> float:
        if len(self.supervisor_pids()) != 1:
            fail(f"expected one running service process, found {self.supervisor_pids()}")
        started = time.monotonic()
        request = self.request("stop")
        while self.supervisor_pids():
            if time.monotonic() - started > TIMEOUT_SECONDS:
                fail(f"the service did not stop within {TIMEOUT_SECONDS} s of the stop request")
            time.sleep(POLL_SECONDS)
        seconds = time.monotonic() - started
        request.wait(timeout=TIMEOUT_SECONDS)
        state = self.state()
        if state != (1, 0):
            fail(f"after the stop the SCM shows state {state[0]} with exit code {state[1]}, not stopped with 0")
        return seconds

    def in_service_stop_ms(self):
        """From the control handler's first line to the line that notes the child's end, in
        the newest supervisor log of this launcher; None when no log holds both lines."""
        for lines in reversed(self.logs()):
            if any(text.startswith("command line ") and text.endswith(" __qwk_restart") for _, text in lines):
                continue
            handled = next((ms for ms, text in lines if text == "control handler request 1"), None)
            ended = next((ms for ms, text in lines if text.startswith("process terminated")), None)
            return None if handled is None or ended is None else ended - handled
        return None

    def logs(self):
        """(milliseconds, text) of every line of each log of this launcher, oldest log first."""
        return [stamped_log_lines(log.read_bytes().decode("utf-8-sig", "replace"))
                for log in logs_of(self.exe, self.temp)]

    def remove_logs(self):
        for log in logs_of(self.exe, self.temp):
            log.unlink()

    def remove(self):
        self.wine.run(self.exe, ["/uninstall"], env=NO_LOG)
        self.remove_logs()


def first_scm_calls(trace: str, exe_name: str):
    """(milliseconds, function) for each process of `exe_name` in a Wine trace: from the load
    of the executable, the first thing Wine traces of a new process, to the first service
    function the same thread enters. Processes that enter none are left out."""
    loaded = {}
    calls = []
    marker = "\\" + exe_name.lower() + '"'
    for line in trace.splitlines():
        match = TRACE_LINE.match(line)
        if not match:
            continue
        seconds, thread, channel, text = float(match[1]), match[2], match[3], match[4]
        if channel == "loaddll":
            if "Loaded " in text and marker in text.lower():
                loaded[thread] = seconds
        elif thread in loaded:
            calls.append(((seconds - loaded.pop(thread)) * 1000, text.split(" ", 1)[0]))
    return calls


def traced_first_scm_call(wine: Wine, args, exe_name: str):
    """Runs one Wine program with the start-up trace on and the launcher's log off; the
    (milliseconds, function) of its first service call, or None."""
    env = dict(wine.base_env(), WINEDEBUG=STARTUP_TRACE)
    for name in NO_LOG:
        env.pop(name, None)
    completed = subprocess.run([WINE64, *[str(a) for a in args]], env=env, timeout=TIMEOUT_SECONDS,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    calls = first_scm_calls(completed.stderr.decode("utf-8", "replace"), exe_name)
    return calls[0] if calls else None


def startup_figures(session: Session, runs: int):
    """Start-up to the first call to the SCM, with the log off as users run them: of the
    service process (to StartServiceCtrlDispatcherW; the SCM starts it, so its trace comes
    through the system environment and the output the system processes inherit), of an
    administration command (/status, to OpenSCManagerW) and, for comparison, of Wine's own
    minimal SCM client (`sc query`). Returns {name: list of milliseconds}."""
    STARTUP_TRACE_FILE.unlink(missing_ok=True)
    session.set_system_variable("RAVEL_LOG", None)
    session.set_system_variable("WINEDEBUG", STARTUP_TRACE)
    session.restart(STARTUP_TRACE_FILE)
    service = BenchService(session.wine)
    try:
        for _ in range(runs):
            service.start()
            service.stop()
        status = [traced_first_scm_call(session.wine, [service.exe, "/status"], service.exe.name) for _ in range(runs)]
        query = [traced_first_scm_call(session.wine, ["sc", "query", NAME], "sc.exe") for _ in range(runs)]
    finally:
        service.remove()
    supervisor = [ms for ms, function in first_scm_calls(STARTUP_TRACE_FILE.read_text(errors="replace"),
                                                          service.exe.name)
                  if function == "StartServiceCtrlDispatcherW"]
    return {
        "service process -> StartServiceCtrlDispatcherW": supervisor,
        "/status -> OpenSCManagerW": [ms for ms, function in filter(None, status) if function == "OpenSCManagerW"],
        "Wine's sc query -> OpenSCManagerW": [ms for ms, function in filter(None, query)
                                             if function == "OpenSCManagerW"],
    }


def request_cost(wine: Wine, runs=5) -> float:
    """Median wall time of one `sc query`: what issuing a request through a Wine program costs."""
    times = []
    for _ in range(runs):
        started = time.monotonic()
        wine.command("sc", "query", NAME)
        times.append(time.monotonic() - started)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cycles", type=int, default=12, help="start/stop cycles, the first one a warm-up "
                                                               "(default 12, at least 11)")
    parser.add_argument("--startup-runs", type=int, default=10,
                        help="traced runs of each kind for the start-up figures (default 10, at least 5)")
    options = parser.parse_args()
    cycles = max(options.cycles, 11)
    session = Session()
    try:
        service = BenchService(session.wine)
        load = MachineLoad()
        try:
            rows = []
            for _ in range(cycles):
                with load.round():
                    start_s = service.start()
                    stop_s = service.stop()
                rows.append((start_s, stop_s, service.in_service_stop_ms()))
            cost = request_cost(session.wine)
        finally:
            service.remove()
        startup = startup_figures(session, max(options.startup_runs, 5))
    finally:
        session.close()

    warm = rows[1:]
    print(f"service benchmark: {cycles} start/stop cycles of one service (first one a warm-up), application "
          f"ending at once on the shutdown line")
    print(f"{'cycle':<7} {'start->main ms':>15} {'stop->stopped ms':>17} {'in-service stop ms':>19}")
    for number, (start_s, stop_s, inside) in enumerate(rows, 1):
        label = "warm-up" if number == 1 else str(number)
        print(f"{label:<7} {start_s * 1000:>15.0f} {stop_s * 1000:>17.0f} {'-' if inside is None else inside:>19}")
    insides = [inside for _, _, inside in warm if inside is not None]
    print(f"median over {len(warm)} cycles: start request -> main called "
          f"{statistics.median(r[0] for r in warm) * 1000:.0f} ms; stop request -> stopped "
          f"{statistics.median(r[1] for r in warm) * 1000:.0f} ms; in-service stop "
          + (f"{statistics.median(insides):.0f} ms" if insides else "not logged"))
    print(f"cost of issuing one request (median run time of `sc query`): {cost * 1000:.0f} ms")
    print(load.describe("cycles"))
    print("start-up to the first SCM call, log off (Wine's trace, 1 ms steps: from the load of the executable "
          "to the first service function it enters):")
    for name, values in startup.items():
        if not values:
            fail(f"the trace shows no start-up of the kind '{name}'")
        print(f"  {name:<48} median {statistics.median(values):5.1f} ms  min {min(values):5.1f} ms  "
              f"({len(values)} runs)")


if __name__ == "__main__":
    main()
