#!/usr/bin/env python3
"""The demo: packs demo/hello.toml onto the prebuilt 64-bit launcher, runs the application
under wine64 and as a Windows service, and tells in a few lines what happened.

No Windows Java runtime can be had on these machines, so the runtime the demo bundles is the
project's stand-in (testruntime/): a java.exe that answers -version and a jvm.dll that
implements the JNI invocation interface and records everything the launcher asks of it. The
launcher cannot tell the difference; what it would hand a real JVM is what the demo prints.
The last part runs the same Java-side runtime and a real application on the Linux JDK
through the launcher's own JNI code, when that host has been built.

Usage: demo.py   (BUILD_DIR / DIST_DIR name the build, as for the tests)
"""
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "wine"))

from conftest import BUILD, DIST, WINE64, Wine, winpath  # noqa: E402
from runtimes import Do, JavaWorld, make_jre, read_transcript, transcript_path  # noqa: E402

WORK = BUILD / "demo"
PREFIX = BUILD / "wineprefix-demo"
APP = WORK / "HelloApp"
EXE = APP / "HelloApp.exe"
LOG_LINE = re.compile(r"^\[\d+:\d+\] ")


def say(text=""):
    print(text, flush=True)


def step(title):
    say()
    say(f"== {title}")


def start_session(wine: Wine):
    """Creates the prefix on first use and starts its session with one process that stays
    until the demo ends: Wine's Service Control Manager and the services live only while
    some process of the prefix does. The session's system processes inherit the output
    handles of whoever starts them, so the first process writes nowhere."""
    if not (PREFIX / "system.reg").exists():
        say("creating the demo's Wine prefix (once, under a minute)")
        PREFIX.mkdir(parents=True, exist_ok=True)
        subprocess.run([WINE64, "wineboot", "-i"], env=wine.base_env(), timeout=600,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    quiet = {"stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    subprocess.run(["wineserver", "-k"], env=wine.base_env(), timeout=60, **quiet)
    keepalive = subprocess.Popen([WINE64, str(BUILD / "win64" / "sleeper.exe")], env=wine.base_env(), **quiet)
    subprocess.run([WINE64, "sc", "query", "HelloApp"], env=wine.base_env(), timeout=120, **quiet)
    return keepalive


def lay_out():
    """The application folder as a team would ship it: the packed launcher, the bundled
    runtime in jre\\, the VM-options file beside the launcher and the Java-side jar."""
    shutil.rmtree(WORK, ignore_errors=True)
    APP.mkdir(parents=True)
    runtime = make_jre(APP / "jre", "17.0.9", bits=64)
    # The application: the launcher class's main greets, and in the service it waits for the
    # shutdown line the service sends on stop.
    world = JavaWorld().main(Do.print("Hello from HelloApp"), Do.property("ravel.isService"), Do.read_line())
    runtime.use_world(world)
    (APP / "HelloApp.vmoptions").write_text("# read by the launcher at start\n-Xmx256m\n-Ddemo.greeting=hello\n")
    (APP / "lib").mkdir()
    shutil.copy(build_hello_jar(WORK / "real"), APP / "lib" / "hello.jar")
    shutil.copy(DIST / "ravel-runtime.jar", APP / "lib" / "ravel-runtime.jar")
    config = WORK / "hello.toml"
    shutil.copy(ROOT / "demo" / "hello.toml", config)
    completed = subprocess.run([str(DIST / "packer"), str(DIST / "launcher64.exe"), str(config), str(EXE)],
                               capture_output=True, text=True)
    if completed.returncode != 0:
        sys.exit("packing failed: " + completed.stderr.strip())
    say(f"packed {EXE} from dist/launcher64.exe and demo/hello.toml")


def log_lines(temp: Path):
    logs = sorted(temp.glob("qwk_nlog_*.log"))
    if not logs:
        return []
    text = logs[-1].read_bytes().decode("utf-8-sig", "replace")
    return [LOG_LINE.sub("", line) for line in text.split("\r\n")[2:] if line]


def why_this_runtime(lines):
    """The search's decisions from the diagnostic log, in order."""
    wanted = ("Testing location", "found ", "checkJavaExe returning", "Trying to load JVM-DLL",
              "Loading of JVM-DLL successful", "got version")
    started = False
    out = []
    for line in lines:
        if line.startswith("Searching for a JVM"):
            started = True
        if started and line.startswith(wanted):
            out.append(line)
        if line.startswith("Loading of JVM-DLL successful"):
            break
    return out


def main_arguments(record):
    return [record[f"arg0[{i}]"] for i in range(int(record["arg0.length"]))]


def show_run(wine: Wine):
    step("run: HelloApp.exe /run \"first argument\" Grüße")
    temp = WORK / "temp"
    temp.mkdir()
    result = wine.run(EXE, ["/run", "first argument", "Grüße"],
                      env={"RAVEL_LOG": "yes", "TEMP": winpath(temp), "TMP": winpath(temp)})
    for line in result.stdout.replace("\r\n", "\n").splitlines():
        say(f"  application output: {line}")
    say(f"  exit code: {result.returncode}")
    transcript = read_transcript(transcript_path(APP / "jre" / "world.standin"))
    if not transcript:
        sys.exit("the launcher did not create the JVM; its log:\n  " + "\n  ".join(log_lines(temp)))
    say("  runtime chosen, from the diagnostic log:")
    for line in why_this_runtime(log_lines(temp)):
        say(f"    {line}")
    say("  JVM options handed to JNI_CreateJavaVM:")
    for option in transcript.options():
        say(f"    {option}")
    mains = [r for r in transcript.records if r.kind == "call" and r.get("method") == "main"]
    if not mains:
        sys.exit("main was not called")
    say(f"  {mains[0]['class'].replace('/', '.')}.main received:")
    for i, argument in enumerate(main_arguments(mains[0])):
        say(f"    [{i}] {argument!r}")
    return result.returncode == 0


def wait_for_main(transcript_file: Path, seconds=30):
    """/start returns once the service runs; its child may still be creating the JVM."""
    deadline = time.time() + seconds
    while time.time() < deadline:
        if transcript_file.exists() and "method=main" in transcript_file.read_text(errors="replace"):
            return
        time.sleep(0.3)


def show_service(wine: Wine):
    step("service: /install, /start, /status, /stop, /uninstall")
    transcript_file = transcript_path(APP / "jre" / "world.standin")
    transcript_file.unlink(missing_ok=True)
    ok = True
    wine.run(EXE, ["/uninstall"])  # a leftover of an interrupted earlier demo
    for word in ("install", "start", "status", "stop", "uninstall"):
        if word == "status":
            wait_for_main(transcript_file)
        result = wine.run(EXE, [f"/{word}"])
        text = " / ".join(line for line in result.stdout.replace("\r\n", "\n").splitlines() if line)
        say(f"  /{word:<9} exit code {result.returncode}: {text}")
        ok = ok and result.returncode == 0
    records = read_transcript(transcript_file).records
    lines = [r for r in records if r.kind == "stdin-line"]
    service = [r for r in records if r.kind == "property"]
    if service:
        say(f"  the application saw ravel.isService = {service[0].get('value')!r}")
    if lines:
        say(f"  on stop the application read {lines[0]['line']!r} from standard input and returned")
    else:
        ok = False
        say("  the application did not receive the shutdown line")
    return ok


def build_hello_jar(out: Path) -> Path:
    """Compiles the demo's real Java application (demo/src) for Java 8 into a jar."""
    classes = out / "classes"
    sources = sorted(str(p) for p in (ROOT / "demo" / "src").rglob("*.java"))
    subprocess.run(["javac", "--release", "8", "-d", str(classes), *sources], check=True)
    jar = out / "hello.jar"
    subprocess.run(["jar", "--create", "--file", str(jar), "-C", str(classes), "."], check=True)
    return jar


def show_real_jvm():
    """The launcher's option assembly and JVM sequence, built natively, on the Linux JDK with
    the Java-side runtime jar and the real demo application."""
    host = BUILD / "native" / "real_jvm_host"
    runtime_jar = DIST / "ravel-runtime.jar"
    if not host.exists():
        say()
        say(f"(skipping the real-JVM part: {host} is missing; `make build` makes it)")
        return True
    step("the same launcher code and Java-side runtime on the Linux JDK, with the real HelloApp")
    out = WORK / "real"
    jar = out / "hello.jar"
    description = out / "host.description"
    # The Linux JVM separates class path entries with ":", so both archives go into one
    # entry, marked optional because no single file has that joined name.
    description.write_text("\n".join([
        "setting 107 = 0",
        "setting 122 = com.example.hello.Main",
        f"setting 121 = A0{runtime_jar}:{jar}",
        "setting 123 = -Dhello.mode=real-jvm",
        "setting 124 = --greeting \"from the configuration\"",
        "launcher /opt/HelloApp/HelloApp.exe",
    ]) + "\n", encoding="utf-8")
    # As in "/run": the launcher's own path first, then the command-line arguments.
    arguments = ["/opt/HelloApp/HelloApp.exe", "first argument", "Grüße"]
    completed = subprocess.run([str(host), str(description), *arguments], capture_output=True,
                               text=True, encoding="utf-8", env={**os.environ, "LC_ALL": "C.UTF-8"})
    for line in completed.stdout.splitlines():
        say(f"  application output: {line}")
    outcome = [line for line in completed.stderr.splitlines() if line.startswith("outcome: ")]
    say(f"  {outcome[-1] if outcome else 'no outcome'}, exit code {completed.returncode}")
    return completed.returncode == 0


def main():
    for needed in (DIST / "launcher64.exe", DIST / "packer", DIST / "ravel-runtime.jar",
                   BUILD / "win64" / "envrun.exe"):
        if not needed.exists():
            sys.exit(f"{needed} is missing: run `make build` first")
    wine = Wine(PREFIX)
    keepalive = start_session(wine)
    try:
        lay_out()
        ok = show_run(wine)
        ok = show_service(wine) and ok
    finally:
        keepalive.kill()
        wine.kill_server()
    ok = show_real_jvm() and ok
    say()
    say("demo finished" if ok else "demo finished with errors (see above)")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
