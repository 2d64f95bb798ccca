#!/usr/bin/env python3
"""Benchmark of the Java runtime search under wine64: how long the search takes and how many
java.exe processes it starts, with an empty version cache (cold) and with the cache the cold
run left behind (warm).

Twenty stand-in runtimes (testruntime/) are laid out where the search looks:
  * nine runtime homes named by absolute "A" entries of the search sequence,
  * eight homes behind Java vendor keys (JRE with a CurrentVersion, JDK, and the old
    "Java Runtime Environment" key), and two located runtimes under the current user,
  * one home named by the last "A" entry.
The minimum version is 17. The registry keys name versions in range, but every runtime except
the last answers -version with 11.0.x, so the search has to examine all twenty: each one's
version is learnt (cold: by starting its java.exe; warm: from the cache) and refused, until
the last one passes and its jvm.dll is loaded. The stand-in java.exe records every start.

Printed per run: the search time from the launcher's log (from "Searching for a JVM" to
"Loading of JVM-DLL successful"), the whole process's wall time, the number of distinct
java.exe paths the search examined (its "checkJavaExe (...)" log lines) and the number of
java.exe starts. The goal: no start on a warm run, one start per examined runtime on a cold
run.

Usage: search_bench.py [--warm-runs N]   (BUILD_DIR / DIST_DIR name the build, as for the tests)
The benchmark uses a Wine prefix of its own, <build>/wineprefix-bench-search, created on first use.
"""
import argparse
import re
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from benchwine import BUILD, fail, pack, wine_session  # noqa: E402
from conftest import NO_JAVA_HOMES, Wine, logged_env, read_log, stamped_log_lines, winpath  # noqa: E402
from runtimes import RuntimeRegistry, make_jre  # noqa: E402

WORK = BUILD / "bench" / "search"
MINIMUM = "17"
GOOD_VERSION = "17.0.2"
CHECK_LINE = re.compile(r"^checkJavaExe \((.*), \[out\], \d+, \d+, \d+\)$")


class Layout:
    """The twenty runtimes, the registry entries that lead to some of them, and the launcher."""

    def __init__(self, wine: Wine):
        shutil.rmtree(WORK, ignore_errors=True)
        WORK.mkdir(parents=True)
        self.runtimes = []
        old = iter(f"11.0.{n}" for n in range(1, 100))

        def runtime(name, version=None):
            made = make_jre(WORK / "runtimes" / name, version or next(old))
            self.runtimes.append(made)
            return made

        directories = [runtime(f"dir{n}") for n in range(1, 10)]
        registry = RuntimeRegistry(wine, WORK)
        registry.javasoft("JRE", "17", {"17": runtime("jre17"), "17.0.1": runtime("jre17.0.1"),
                                        "17.0.4": runtime("jre17.0.4")})
        registry.javasoft("JDK", None, {"17.0.5": runtime("jdk17.0.5"), "18": runtime("jdk18"),
                                        "19.0.1": runtime("jdk19.0.1")})
        registry.javasoft("Java Runtime Environment", None, {"17.0.6": runtime("oldkey17.0.6"),
                                                             "20": runtime("oldkey20")})
        registry.located(runtime("located1").java_exe)
        registry.located(runtime("located2").java_exe)
        self.good = runtime("good", GOOD_VERSION)
        self.registry = registry
        sequence = [f"A{winpath(r.root)}" for r in directories] + ["Y", f"A{winpath(self.good.root)}"]
        self.exe = pack(WORK, {101: "SearchBench", 107: "0", 122: "com.example.App", 126: MINIMUM,
                         128: ";".join(sequence)})

    def reset_registry(self):
        """Removes every key the search reads (the version cache among them) and writes the
        vendor keys and located runtimes again."""
        self.registry.clear()
        self.registry.apply()

    def starts(self):
        return sum(len(r.records("start")) for r in self.runtimes)

    def clear_records(self):
        for r in self.runtimes:
            r.clear_records()


def search_figures(log_text: str):
    """(search milliseconds, distinct java.exe paths examined) from one log, or None when the
    log holds no search that ended with a loaded JVM library."""
    start = end = None
    examined = set()
    for elapsed, text in stamped_log_lines(log_text):
        if text == "Searching for a JVM":
            start = elapsed
        elif text == "Loading of JVM-DLL successful":
            end = elapsed
        checked = CHECK_LINE.match(text)
        if checked:
            examined.add(checked.group(1).lower())
    if start is None or end is None:
        return None
    return end - start, len(examined)


def run_once(wine: Wine, layout: Layout, name: str):
    temp = WORK / f"temp-{name}"
    temp.mkdir()
    layout.clear_records()
    env = {**logged_env(temp), "QUILLWORK_LOG": None, **NO_JAVA_HOMES}
    started = time.monotonic()
    result = wine.run(layout.exe, ["/run"], env=env, timeout=600)
    seconds = time.monotonic() - started
    logs = sorted(temp.glob("qwk_nlog_*.log"))
    log_text = read_log(temp) if len(logs) == 1 else ""
    if result.returncode != 0:
        fail(f"the {name} run ended with {result.returncode}: {result.stderr}\n{log_text}")
    figures = search_figures(log_text)
    if figures is None:
        fail(f"the {name} run's log has no search that loaded a JVM library:\n{log_text}")
    if not layout.good.records("jvm-load"):
        fail(f"the {name} run did not load the fitting runtime's jvm.dll:\n{log_text}")
    search_ms, examined = figures
    return {"run": name, "search_ms": search_ms, "process_s": seconds, "examined": examined,
            "starts": layout.starts()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--warm-runs", type=int, default=1, help="number of warm runs (default 1)")
    options = parser.parse_args()
    with wine_session("search") as wine:
        layout = Layout(wine)
        layout.reset_registry()
        rows = [run_once(wine, layout, "cold")]
        rows += [run_once(wine, layout, "warm" if options.warm_runs == 1 else f"warm{n}")
                 for n in range(1, options.warm_runs + 1)]
        layout.registry.clear()

    print(f"runtime search benchmark: {len(layout.runtimes)} candidate runtimes "
          f"(9 directory entries, 8 vendor-key homes, 2 located, 1 fitting directory entry last), "
          f"minimum version {MINIMUM}")
    print(f"{'run':<6} {'search ms':>10} {'process s':>10} {'examined':>9} {'java.exe starts':>16}")
    for row in rows:
        print(f"{row['run']:<6} {row['search_ms']:>10} {row['process_s']:>10.2f} {row['examined']:>9} "
              f"{row['starts']:>16}")
    cold, warm = rows[0], rows[1:]
    cold_met = cold["starts"] == cold["examined"] == len(layout.runtimes)
    warm_met = all(row["starts"] == 0 for row in warm)
    print(f"goal, cold run: one java.exe start per examined runtime ({cold['starts']} starts, "
          f"{cold['examined']} examined of {len(layout.runtimes)}): " + ("met" if cold_met else "NOT MET"))
    print("goal, warm run: no java.exe start: " + ("met" if warm_met else "NOT MET"))


if __name__ == "__main__":
    main()
