#!/usr/bin/env python3
"""Benchmark of a whole run under wine64: what the launcher costs on top of the JVM it starts.

A packed launcher started with /run-redirect, with a stand-in runtime (testruntime/) beside
it whose Java main returns at once, is timed against a minimal host, jnihost.exe launch,
that loads the same jvm.dll, creates the VM on a thread of its own with the options the
launcher gave it and calls the same main with the same arguments. So both do the same VM
work and the difference is the launcher's own: loading the system libraries it imports,
reading its configuration, the environment preparations, the runtime search (with a warm
version cache, as on every run but the first), option assembly. A third subject, the host
loading advapi32.dll as well, shows the share of that library: the launcher needs it on
every run (the registry), and so does a real jvm.dll, but the stand-in does not, so only
here does the plain host get away without it. user32.dll, which a real jvm.dll imports
too, is delay-loaded by the launcher and not loaded on such a run at all.

All are started by testtools/measure (measure.exe), which times from just before process
creation until the process has ended, inside Wine, so Wine's own start of the measuring
program is not counted. Each round runs every subject once, in an order that rotates from
round to round, and the median of the per-round ratios is printed. Every run must reach main (the
stand-in's records show the call) or the benchmark fails. Peak memory comes from separate
runs that sample the child (measure --poll), so that sampling does not disturb the timing.
Finally a few runs with the launcher's log on show where the launcher's time goes (the
largest median steps between consecutive log lines).

The goals: the launcher at most 1.05 times the host that loads advapi32.dll and at most 1.10
times the bare host (medians of per-round ratios), its peak working set at most 1 MiB above
the host's. They are meant for a quiet machine; the benchmark samples how busy the machine's
cores are around each round, counts a round that kept clearly more of them busy than the
benchmark alone can as shared with other work, and calls the result loaded when more than a
tenth of the rounds were.

Usage: run_bench.py [--pairs N] [--memory-runs N] [--log-runs N]   (BUILD_DIR / DIST_DIR name the build)
The benchmark uses a Wine prefix of its own, <build>/wineprefix-bench-run.
"""
import argparse
import re
import shutil
import statistics
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from benchwine import BUILD, MachineLoad, fail, pack, require_built, wine_session  # noqa: E402
from conftest import Wine, read_log, stamped_log_lines, winpath  # noqa: E402
from runtimes import JNIHOST, RAVEL_LAUNCHER, make_jre  # noqa: E402

WORK = BUILD / "bench" / "run"
MEASURE = BUILD / "win64" / "measure.exe"
# Goals, each on the median of per-round ratios: against the host that loads advapi32.dll as
# the launcher and every real jvm.dll do, and against the bare host. Peak working set: at most
# the host's plus this many bytes.
GOAL_RATIO_ADVAPI = 1.05
GOAL_RATIO_BARE = 1.10
GOAL_EXTRA_WORKING_SET = 1024 * 1024
MEASURE_LINE = re.compile(r"^measure\.(\w+)=(.*)$")


class Subject:
    """One side of the comparison: a command line, and how to tell that a run reached main."""

    def __init__(self, name: str, command_line: str, jre):
        self.name = name
        self.command_line = command_line
        self.jre = jre

    def run(self, wine: Wine, env: dict, poll_ms=None) -> dict:
        """Runs the subject once under measure.exe; returns measure's figures. Fails the
        benchmark when the run did not end normally in main."""
        self.jre.clear_records()
        raw = (f"--poll {poll_ms} " if poll_ms else "") + "-- " + self.command_line
        result = wine.run(MEASURE, raw=raw, env=env, timeout=300)
        figures = {}
        for line in result.stdout.replace("\r\n", "\n").split("\n"):
            match = MEASURE_LINE.match(line)
            if match:
                figures[match.group(1)] = match.group(2)
        if "wallMs" not in figures:
            fail(f"{self.name}: measure.exe gave no figures (exit {result.returncode}): {result.stderr}")
        if figures["exitCode"] != "0":
            fail(f"{self.name} ended with {figures['exitCode']}: {result.stdout}{result.stderr}")
        if not main_called(self.jre):
            fail(f"{self.name} did not reach main; stand-in records: {self.jre.records()}")
        return {"wallMs": float(figures["wallMs"]), "peakWorkingSet": int(figures["peakWorkingSet"]),
                "peakPagefile": int(figures["peakPagefile"]), "memorySamples": int(figures["memorySamples"])}


def main_called(jre) -> bool:
    """Whether the VM recorded a call of the launcher class's main that ended normally."""
    calls = [r for r in jre.records("call") if r.get("method") == "main" and r.get("class") == RAVEL_LAUNCHER]
    return len(calls) == 1 and not jre.records("exception-thrown")


def quote_for_crt(args) -> str:
    """A command line that the C runtime's argument parsing (jnihost's wmain) splits back
    into exactly `args`: backslashes before a quote are doubled."""
    return subprocess.list2cmdline([str(a) for a in args])


class Setup:
    """The packed launcher with its runtime, and the host command line made from what the
    launcher handed the VM on a first run."""

    def __init__(self, wine: Wine):
        shutil.rmtree(WORK, ignore_errors=True)
        WORK.mkdir(parents=True)
        self.temp = WORK / "temp"
        self.temp.mkdir()
        self.exe = pack(WORK, {101: "RunBench", 107: "0", 122: "com.example.App", 128: "Bjre"})
        self.jre = make_jre(WORK / "app" / "jre", "17.0.2")
        self.env = {"RAVEL_LOG": None, "QUILLWORK_LOG": None, "TEMP": winpath(self.temp),
                    "TMP": winpath(self.temp), "RAVEL_JAVA_HOME": None, "QUILLWORK_JAVA_HOME": None}
        # The first run fills the version cache (a java.exe probe), as any earlier run of
        # the application would have; its records give the VM options and main arguments.
        self.launcher = Subject("launcher", quote_for_crt([winpath(self.exe)]) + " /run-redirect", self.jre)
        self.launcher.run(wine, self.env)
        created = self.jre.records("jvm-create")
        [call] = [r for r in self.jre.records("call") if r.get("method") == "main"]
        arguments = [call[f"arg0[{i}]"] for i in range(int(call["arg0.length"]))]
        args_file = WORK / "host-args.bin"
        args_file.write_bytes(b"".join(a.encode("utf-8", "surrogatepass") + b"\0" for a in arguments))
        host_args = [winpath(JNIHOST), "launch", winpath(self.jre.jvm_dll()), "--class", RAVEL_LAUNCHER,
                     "--args", winpath(args_file)]
        vm_options = ["--"] + created[0].options()
        self.host = Subject("host", quote_for_crt(host_args + vm_options), self.jre)
        # The launcher imports advapi32.dll (registry, services); a real jvm.dll imports it
        # as well, so with a real runtime the host would pay for it too. The stand-in does
        # not, so this host loads it to show that share apart.
        preload = ["--preload", "advapi32.dll"]
        self.host_libs = Subject("host+advapi", quote_for_crt(host_args + preload + vm_options), self.jre)
        self.subjects = (self.launcher, self.host, self.host_libs)
        self.options = created[0].options()
        self.arguments = arguments

    def logged_run(self, wine: Wine, n: int):
        """(wall ms, log text) of one more launcher run with the log on."""
        log_dir = WORK / f"log{n}"
        shutil.rmtree(log_dir, ignore_errors=True)
        log_dir.mkdir()
        env = dict(self.env, RAVEL_LOG="yes", TEMP=winpath(log_dir), TMP=winpath(log_dir))
        figures = self.launcher.run(wine, env)
        return figures["wallMs"], read_log(log_dir)


def time_rounds(wine: Wine, setup: Setup, rounds: int, load: MachineLoad):
    """Rounds of one run per subject; the order rotates with every round, so that the
    launcher and the host alternate and neither is always first. Returns one
    {subject name: wall ms} per round; `load` notes how busy the machine was in each."""
    rows = []
    subjects = list(setup.subjects)
    for n in range(rounds):
        order = subjects[n % len(subjects):] + subjects[:n % len(subjects)]
        with load.round():
            rows.append({subject.name: subject.run(wine, setup.env)["wallMs"] for subject in order})
    return rows


def peak_memory(wine: Wine, subject: Subject, env: dict, runs: int):
    """The largest peaks over `runs` sampled runs, or None when the system gave no figure."""
    results = [subject.run(wine, env, poll_ms=1) for _ in range(runs)]
    sampled = [r for r in results if r["memorySamples"] > 0]
    if not sampled:
        return None
    return max(r["peakWorkingSet"] for r in sampled), max(r["peakPagefile"] for r in sampled)


def time_profile(logged_runs, count: int):
    """Where the launcher's time goes, from several logged runs whose lines are the same:
    the median wall time, the median span from the first to the last log line, and the
    `count` largest median steps between consecutive lines as (ms, line before, line after)
    in log order. One run on a loaded machine can show a step that is only a pause; the
    median over runs shows the steps every run takes."""
    runs = [stamped_log_lines(text) for _, text in logged_runs]
    shape = [text for _, text in runs[0]]
    if len(shape) < 2 or any([text for _, text in run] != shape for run in runs[1:]):
        fail("the logged runs do not log the same lines; no profile can be made")
    steps = []
    for i in range(1, len(shape)):
        steps.append((statistics.median(run[i][0] - run[i - 1][0] for run in runs), i, shape[i - 1], shape[i]))
    largest = sorted(sorted(steps, key=lambda s: -s[0])[:count], key=lambda s: s[1])
    wall = statistics.median(wall for wall, _ in logged_runs)
    span = statistics.median(run[-1][0] - run[0][0] for run in runs)
    return wall, span, [(ms, before, after) for ms, _, before, after in largest]


def mib(value: int) -> str:
    return f"{value / (1024 * 1024):.1f} MiB"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--pairs", type=int, default=20,
                        help="rounds timed, each with a launcher/host pair (default 20, at least 20)")
    parser.add_argument("--memory-runs", type=int, default=3, help="sampled runs per side for peak memory (default 3)")
    parser.add_argument("--log-runs", type=int, default=5, help="logged launcher runs for the profile (default 5)")
    options = parser.parse_args()
    if options.pairs < 20:
        parser.error("--pairs must be at least 20")
    require_built(MEASURE, JNIHOST)
    with wine_session("run") as wine:
        setup = Setup(wine)
        # One unmeasured run of each, so that all start from warm file caches.
        for subject in setup.subjects:
            subject.run(wine, setup.env)
        load = MachineLoad()
        rows = time_rounds(wine, setup, options.pairs, load)
        memory = {s.name: peak_memory(wine, s, setup.env, options.memory_runs) for s in setup.subjects}
        logged_runs = [setup.logged_run(wine, n) for n in range(options.log_runs)]

    print(f"run benchmark: launcher /run-redirect against jnihost launch, {len(rows)} rounds of alternating runs, "
          f"{len(setup.options)} VM options, {len(setup.arguments)} main arguments")
    print(f"{'':<12} {'median ms':>10} {'min ms':>9} {'max ms':>9} {'peak working set':>17} {'peak pagefile':>14}")
    for subject in setup.subjects:
        walls = [row[subject.name] for row in rows]
        peaks = memory[subject.name]
        working, pagefile = (mib(peaks[0]), mib(peaks[1])) if peaks else ("n/a", "n/a")
        print(f"{subject.name:<12} {statistics.median(walls):>10.1f} {min(walls):>9.1f} {max(walls):>9.1f} "
              f"{working:>17} {pagefile:>14}")
    quiet_rows = [row for n, row in enumerate(rows) if not load.contended(n)]
    for host, goal in ((setup.host_libs, GOAL_RATIO_ADVAPI), (setup.host, GOAL_RATIO_BARE)):
        ratios = [row["launcher"] / row[host.name] for row in rows]
        quartiles = statistics.quantiles(ratios, n=4)
        median_ratio = statistics.median(ratios)
        print(f"median of per-round ratios launcher/{host.name}: {median_ratio:.3f} "
              f"(quartiles {quartiles[0]:.3f} .. {quartiles[2]:.3f}); goal at most {goal:.2f}: "
              + ("met" if median_ratio <= goal else "NOT MET"))
        if load.loaded and len(quiet_rows) >= 5:
            quiet = statistics.median(row["launcher"] / row[host.name] for row in quiet_rows)
            print(f"  (only the {len(quiet_rows)} rounds without other work: {quiet:.3f}; for information, "
                  f"not the goal's measure)")
    launcher_peak, host_peak = memory[setup.launcher.name], memory[setup.host.name]
    if launcher_peak and host_peak:
        extra = launcher_peak[0] - host_peak[0]
        print(f"peak working set: launcher {mib(extra)} over the host; goal at most "
              f"{mib(GOAL_EXTRA_WORKING_SET)} over: " + ("met" if extra <= GOAL_EXTRA_WORKING_SET else "NOT MET"))
    else:
        print("peak working set: the system gave no figure; goal not judged")
    print(load.describe())
    wall, span, steps = time_profile(logged_runs, 8)
    print(f"where the launcher's time goes, medians of {len(logged_runs)} runs with the log on "
          f"(the log itself costs time): wall {wall:.0f} ms, of it {span} ms from the first to the "
          f"last log line; largest steps between log lines:")
    for ms, before, after in steps:
        print(f"  {ms:>5} ms  {before[:60]!r} -> {after[:60]!r}")

if __name__ == "__main__":
    main()
