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

Usage: service_bench.py [--cycles N]   (BUILD_DIR / DIST_DIR name the build, as for the tests)
The benchmark uses a Wine prefix of its own, <build>/wineprefix-bench-service, created on first
use. Its services log (the system environment of that prefix turns the log on while it runs).
"""
import argparse
import re
import shutil
import statistics
import subprocess
import time
from pathlib import Path

# benchwine puts the Wine tests' helpers on the module path.
from benchwine import bench_prefix, ensure_prefix, fail, pack, require_built

from conftest import (BUILD, DIST, WINE64, Wine, logs_of, service_managers, stamped_log_lines,  # noqa: E402
                      winpath)
from runtimes import Do, JavaWorld, make_jre  # noqa: E402

WORK = BUILD / "bench" / "service"
NAME = "RavelBenchService"
SYSTEM_ENVIRONMENT = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"
NO_LOG = {"RAVEL_LOG": None, "QUILLWORK_LOG": None}
POLL_SECONDS = 0.003
TIMEOUT_SECONDS = 60


class Session:
    """The benchmark's prefix with an SCM whose services log, kept up by one idle process.
    The system processes are started by one quiet command before anything else runs: two
    Wine programs racing to start them can leave two SCMs running side by side."""

    def __init__(self):
        require_built(DIST / "launcher64.exe", DIST / "packer", BUILD / "win64" / "envrun.exe",
                      BUILD / "win64" / "sleeper.exe")
        self.wine = Wine(bench_prefix("service"))
        ensure_prefix(self.wine)
        self.quiet("reg", "add", SYSTEM_ENVIRONMENT, "/v", "RAVEL_LOG", "/d", "yes", "/f")
        self.restart()
        self.keepalive = subprocess.Popen([WINE64, str(BUILD / "win64" / "sleeper.exe")], env=self.wine.base_env(),
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def quiet(self, *args):
        return subprocess.run([WINE64, *args], env=self.wine.base_env(), timeout=120,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode

    def restart(self):
        for _ in range(3):
            self.wine.kill_server()
            subprocess.run(["wineserver", "-p"], env=self.wine.base_env(), timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.quiet("sc", "query", "RavelWarmUp")
            managers = service_managers(self.wine.prefix)
            if len(managers) == 1:
                return
        fail(f"the prefix's server did not come up with one Service Control Manager: {managers}")

    def close(self):
        self.quiet("reg", "delete", SYSTEM_ENVIRONMENT, "/v", "RAVEL_LOG", "/f")
        self.keepalive.kill()
        self.keepalive.wait()
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
    options = parser.parse_args()
    cycles = max(options.cycles, 11)
    session = Session()
    try:
        service = BenchService(session.wine)
        try:
            rows = []
            for _ in range(cycles):
                start_s = service.start()
                stop_s = service.stop()
                rows.append((start_s, stop_s, service.in_service_stop_ms()))
            cost = request_cost(session.wine)
        finally:
            service.remove()
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


if __name__ == "__main__":
    main()
