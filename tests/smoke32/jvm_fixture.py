#!/usr/bin/env python3
"""Fixture and checks of the 32-bit JVM smoke (smoke_jvm.sh).

Every 32-bit process costs about a minute under emulation, so the whole fixture is laid out
here without Wine: two packed launchers, two stand-in runtimes and ONE registry file that
the smoke imports with a single `regedit /S`. That file holds

* the Java vendor key that leads the first launcher's registry search to its runtime;
* a version cache entry for each runtime's java.exe (its file time as Wine reports it and
  its version), so that no runtime has to be started with -version;
* TEMP and TMP of the user's environment (Wine takes them from the registry, not from the
  Unix environment), so that the logs and the extraction directory land in the work folder;
* the second runtime's bin folder on the user's PATH, which Wine appends to the system PATH,
  so that the second launcher finds that runtime through the search path.

Subcommands (WORK is the smoke's work folder):
  prepare WORK                 lay everything out and write WORK/registry.reg
  check-log WORK N             qwk_nlog_N.log: byte-order mark, CR LF, header, line prefixes
  check-extraction WORK        the included file was extracted and logged with its size
  check-search WORK            the registry search found the runtime without a probe and loaded it
  check-launch WORK            the stand-in VM was created and main got the right arguments
  check-refusal WORK           the runtime whose jvm.dll is 64-bit was refused with message 1016
  main-called WORK             exits with 0 once the service's application has entered main
  check-service WORK           the service's commands answered as they should and the
                               application got the service's options and the shutdown line
A failing check says why on standard error and exits with 1.
"""
import os
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))

from conftest import DIST, winpath  # noqa: E402
from runtimes import Do, JavaWorld, filetime_of, make_jre, read_records, version_cache_key  # noqa: E402

BITS = int(os.environ.get("SMOKE_BITS", "32"))
LAUNCHER = DIST / f"launcher{BITS}.exe"
PACKER = DIST / "packer"
VERSION = "17.0.2"
MAIN_CLASS = "com.example.App"
LAUNCHER_CLASS = "com/ravel/runtime/WinLauncher"
APP_ARGUMENTS = '-x "a b"'
COMMAND_ARGUMENTS = ["two words"]
INCLUDED = "app.jar"
INCLUDED_CONTENT = bytes(range(256)) * 3 + b"smoke"  # 0x97 among them, which scrambles to 0
MESSAGES = {
    1005: "The registered Java runtime cannot be loaded",
    1016: "No usable {0}-bit Java runtime",
    1017: "The Java runtime named by {0} cannot be loaded",
    1019: "The Java runtime in {0} cannot be loaded",
}
SERVICE_NAME = "RavelSmoke"
LOG_LINE = re.compile(r"^\[(0|[1-9]\d*):(0|[1-9]\d{0,2})\] ")
LOG_HEADER = re.compile(r"Started executable (.+) at (\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4})")


class Layout:
    """Where everything of the smoke lives below WORK."""

    def __init__(self, work):
        self.work = Path(work).resolve()
        self.temp = self.work / "temp"
        self.registry = self.work / "registry.reg"
        self.run_app = self.work / "run" / "app"
        self.run_exe = self.run_app / "SmokeRun.exe"
        self.run_jre = self.work / "run" / "jre17"
        self.refuse_app = self.work / "refuse" / "app"
        self.refuse_exe = self.refuse_app / "SmokeRefuse.exe"
        self.refuse_jre = self.work / "refuse" / "jre64dll"
        self.service_app = self.work / "service"
        self.service_exe = self.service_app / "SmokeService.exe"
        self.service_jre = self.service_app / "jre"
        self.service_script = self.service_jre / "world.standin"

    def result(self, name):
        """(exit code, stdout, stderr) the smoke saved for a run named `name`. Lines of the
        emulator ("qemu: uncaught target signal ...", from a crashing system process of the
        prefix that shares the handles) are not the launcher's and are dropped."""
        code = int((self.work / f"{name}.rc").read_text().strip())

        def text(suffix):
            lines = (self.work / f"{name}.{suffix}").read_bytes().decode("utf-8", "replace").split("\n")
            return "\n".join(line for line in lines if not line.startswith("qemu: "))
        return code, text("out"), text("err")

    def log_text(self, n):
        return (self.temp / f"qwk_nlog_{n}.log").read_bytes().decode("utf-8-sig")

    def log(self, n):
        """Lines of log n without the header and without their "[s:ms] " prefixes."""
        return [LOG_LINE.sub("", line) for line in self.log_text(n).split("\r\n")[2:] if line]


def fail(reason):
    print(f"  {reason}", file=sys.stderr)
    sys.exit(1)


def expect(condition, reason):
    if not condition:
        fail(reason)


def expect_lines(lines, wanted):
    """Every wanted line is in the log, in the given order."""
    position = 0
    for line in wanted:
        try:
            position = lines.index(line, position) + 1
        except ValueError:
            fail(f"log line {line!r} missing (or out of order); log:\n    " + "\n    ".join(lines))


# ---------------------------------------------------------------------------------------
# prepare


def pack(exe: Path, settings: dict, files=()):
    exe.parent.mkdir(parents=True, exist_ok=True)
    lines = [f"setting {k} = {v}\n" for k, v in settings.items()]
    lines += [f"message {k} = {v}\n" for k, v in MESSAGES.items()]
    lines += [f"file {name} = {source}\n" for name, source in files]
    description = exe.with_suffix(".desc")
    description.write_text("".join(lines), encoding="utf-8")
    status = os.spawnv(os.P_WAIT, str(PACKER), [str(PACKER), str(LAUNCHER), str(description), str(exe)])
    expect(status == 0, f"packer failed for {exe}")


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def cache_entry(java_exe: Path, version: str):
    """The version cache entry the launcher would have written after probing `java_exe`."""
    stamp = filetime_of(java_exe).to_bytes(8, "little")
    return [f"[HKEY_CURRENT_USER\\{version_cache_key(java_exe)}]",
            '"LastWriteTime"=hex:' + ",".join(f"{b:02x}" for b in stamp),
            f'"Version"={reg_string(version)}', ""]


def registry_file(layout: Layout) -> str:
    # The file is imported by the 64-bit regedit; a 32-bit program sees the machine's
    # software keys in their 32-bit view, below Wow6432Node.
    machine_software = "HKEY_LOCAL_MACHINE\\SOFTWARE" + ("\\Wow6432Node" if BITS == 32 else "")
    javasoft = machine_software + "\\JavaSoft"
    ravel = "HKEY_CURRENT_USER\\SOFTWARE\\brightmoor-labs\\ravel"
    lines = ["Windows Registry Editor Version 5.00", "",
             # Leftovers of an earlier smoke in the same prefix go first.
             f"[-{javasoft}]", f"[-{ravel}\\jvms]", f"[-{ravel}\\locatedjvms]", "",
             f"[{javasoft}\\JRE]", f'"CurrentVersion"={reg_string("17")}', "",
             f"[{javasoft}\\JRE\\17]", f'"JavaHome"={reg_string(winpath(layout.run_jre))}', ""]
    lines += cache_entry(layout.run_jre / "bin" / "java.exe", VERSION)
    lines += cache_entry(layout.refuse_jre / "bin" / "java.exe", VERSION)
    lines += cache_entry(layout.service_jre / "bin" / "java.exe", VERSION)
    lines += ["[HKEY_CURRENT_USER\\Environment]",
              f'"TEMP"={reg_string(winpath(layout.temp))}',
              f'"TMP"={reg_string(winpath(layout.temp))}',
              f'"PATH"={reg_string(winpath(layout.refuse_jre / "bin"))}', ""]
    return "\r\n".join(lines)


def prepare(layout: Layout):
    layout.temp.mkdir(parents=True)
    source = layout.run_app / "included.bin"
    source.parent.mkdir(parents=True)
    source.write_bytes(INCLUDED_CONTENT)
    pack(layout.run_exe, {101: "SmokeRun", 107: "0", 122: MAIN_CLASS, 124: APP_ARGUMENTS, 128: "Y"},
         [(INCLUDED, source.name)])
    pack(layout.refuse_exe, {101: "SmokeRefuse", 107: "0", 122: MAIN_CLASS, 128: "S"})
    make_jre(layout.run_jre, VERSION, bits=BITS)
    # Only a library of the other bitness, which LoadLibrary refuses.
    make_jre(layout.refuse_jre, VERSION, bits=BITS, jvm=(), broken_jvm=("server",))
    # The service's application waits for the shutdown line on standard input.
    pack(layout.service_exe, {101: SERVICE_NAME, 107: "0", 122: MAIN_CLASS, 128: "Bjre"})
    service_runtime = make_jre(layout.service_jre, VERSION, bits=BITS)
    service_runtime.use_world(JavaWorld().main(Do.read_line(), Do.ret()))
    text = registry_file(layout)
    layout.registry.write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))


# ---------------------------------------------------------------------------------------
# checks


def check_log(layout: Layout, n: int, exe: Path):
    data = (layout.temp / f"qwk_nlog_{n}.log").read_bytes()
    expect(data.startswith(b"\xef\xbb\xbf"), "no UTF-8 byte-order mark")
    expect(not data[3:].startswith(b"\xef\xbb\xbf"), "a second byte-order mark")
    expect(data.count(b"\r\n") > 5 and data.count(b"\n") == data.count(b"\r\n") == data.count(b"\r"),
           "line ends are not all CR LF")
    lines = data[3:].decode("utf-8").split("\r\n")
    header = LOG_HEADER.fullmatch(lines[0])
    expect(header is not None, f"header {lines[0]!r}")
    expect(header.group(1) == winpath(exe), f"header names {header.group(1)!r}, not {winpath(exe)!r}")
    expect(lines[1] == "", "no empty line after the header")
    expect(lines[-1] == "", "the last line is not complete")
    times = []
    for line in lines[2:-1]:
        match = LOG_LINE.match(line)
        expect(match is not None, f"line without the [s:ms] prefix: {line!r}")
        times.append(int(match.group(1)) * 1000 + int(match.group(2)))
    expect(times == sorted(times), "time prefixes go backwards")


def extracted_file(layout: Layout, run: int) -> str:
    """The Windows path the run's log says the included file was extracted to."""
    prefix, suffix = "extracting ", f" (size: {len(INCLUDED_CONTENT)})"
    found = [line[len(prefix):-len(suffix)] for line in layout.log(run)
             if line.startswith(prefix) and line.endswith(suffix)]
    expect(len(found) == 1, f"expected one extracted file in the log of run {run}, found {found}")
    return found[0]


def check_extraction(layout: Layout):
    # The run has ended normally, so its extraction directory and temp file are gone again;
    # what was extracted, with its size, is in the log.
    extracted = extracted_file(layout, 1)
    expect(extracted.lower().endswith("\\" + INCLUDED.lower()), f"{extracted} is not the included file")
    expect(extracted.startswith(winpath(layout.temp) + "\\rvl"), f"{extracted} is not in the temp directory")
    expect_lines(layout.log(1), ["extracting files", "Included files: 1", f"extracting {extracted} (size: "
                                 f"{len(INCLUDED_CONTENT)})", "extracting files done"])
    left = sorted(p.name for p in layout.temp.glob("rvl*"))
    expect(left == [], f"the run left {left} in {layout.temp}")


def normalised(path: Path) -> str:
    return winpath(path).lower()


def check_search(layout: Layout):
    exe = normalised(layout.run_jre / "bin" / "java.exe")
    bin_dir = normalised(layout.run_jre / "bin")
    expect_lines(layout.log(1), [
        "Searching for a JVM",
        "Testing location  (type Y)",
        # (the path as the vendor key leads to it; normalised from then on)
        f"checkJavaExe ({winpath(layout.run_jre)}\\bin\\java.exe, [out], 0, 0, 0)", "file exists",
        f"got version from registry {VERSION}", "checkJavaExe returning 1",
        f"found sun {exe} {VERSION}",
        f"Trying to load JVM-DLL from {exe}",
        f"Trying {bin_dir}\\client\\jvm.dll (exists 0)",
        f"Trying {bin_dir}\\server\\jvm.dll (exists 1)",
        "Loading of JVM-DLL successful"])
    expect(not any(line.startswith("got version from execution") for line in layout.log(1)),
           "a runtime was probed although its version was cached")
    runtime_records = read_records(layout.run_jre / "standin.log")
    starts = [r for r in runtime_records if r.kind == "start"]
    expect(not starts, f"java.exe was started: {starts}")
    loads = [r for r in runtime_records if r.kind == "jvm-load"]
    expect(len(loads) == 1, f"expected one jvm-load record, got {loads}")


def check_launch(layout: Layout):
    code, _, err = layout.result("run")
    expect(code == 0, f"exit code {code}, standard error {err!r}")
    records = read_records(layout.run_jre / "standin.log")
    created = [r for r in records if r.kind == "jvm-create"]
    expect(len(created) == 1 and created[0]["result"] == "0", f"JNI_CreateJavaVM: {created}")
    options = created[0].options()
    extracted = extracted_file(layout, 1)
    extraction = extracted[:extracted.rindex("\\")]
    wanted = {f"-Dravel.tempDir={extraction}", f"-Djava.class.path={extracted}"}
    expect(wanted <= set(options), f"options {options} lack {wanted - set(options)}")
    expect(not any(o.startswith("-Dravel.isService") for o in options) and "-Xrs" not in options,
           f"service options in a direct run: {options}")
    mains = [r for r in records if r.kind == "call" and r.get("method") == "main"]
    expect(len(mains) == 1 and mains[0]["class"] == LAUNCHER_CLASS and mains[0]["static"] == "1",
           f"main calls: {mains}")
    main = mains[0]
    arguments = [main[f"arg0[{i}]"] for i in range(int(main["arg0.length"]))]
    # Wine's command line names the program by its full Windows path.
    expected = ["false", MAIN_CLASS, "", "", "false", winpath(layout.run_exe), "-x", "a b", *COMMAND_ARGUMENTS]
    expect(arguments == expected, f"main arguments {arguments}, expected {expected}")
    properties = [(r["name"], r["value"]) for r in records if r.kind == "property-set"]
    expect(("ravel.moduleName", winpath(layout.run_exe)) in properties, f"properties set: {properties}")
    ends = [r for r in records if r.kind == "destroy-end"]
    expect(len(ends) == 1, f"the VM was not destroyed: {ends}")
    violations = [r.fields for r in records if r.kind == "jni-violation"]
    expect(not violations, f"JNI rules broken: {violations}")
    expect_lines(layout.log(1), ["Creating JVM", "JVM created", "calling main", "main returned", "launch done"])


def check_refusal(layout: Layout):
    code, _, err = layout.result("refuse")
    expect(code == 1, f"exit code {code}")
    message = err.replace("\r\n", "\n").split("\n")[0]
    expect(message == MESSAGES[1016].replace("{0}", str(BITS)), f"message {message!r}")
    exe = normalised(layout.refuse_jre / "bin" / "java.exe")
    bin_dir = normalised(layout.refuse_jre / "bin")
    lines = layout.log(2)
    expect_lines(lines, [
        "Testing location  (type S)",
        # (the path as the PATH entry leads to it; normalised from then on)
        f"checkJavaExe ({winpath(layout.refuse_jre)}\\bin\\java.exe, [out], 0, 0, 0)",
        f"got version from registry {VERSION}",
        "checkJavaExe returning 1",
        f"Trying to load JVM-DLL from {exe}",
        f"Trying {bin_dir}\\server\\jvm.dll (exists 1)",
        "Failed with error code 193",
        "Search sequence finished",
        "ERROR: Could not get DLL-Handle."])
    expect("Loading of JVM-DLL successful" not in lines, "the 64-bit library counted as loaded")
    loaded = [r for r in read_records(layout.refuse_jre / "standin.log") if r.kind in ("jvm-load", "start")]
    expect(not loaded, f"the refused runtime ran: {loaded}")


def service_records(layout: Layout):
    transcript = layout.service_script.with_suffix(".transcript")
    return read_records(transcript) if transcript.exists() else []


def main_called(layout: Layout):
    records = service_records(layout)
    sys.exit(0 if any(r.kind == "call" and r.get("method") == "main" for r in records) else 1)


def check_service(layout: Layout):
    expected_output = {
        "install": (0, f"Installed service '{SERVICE_NAME}'."),
        "start": (0, f"Starting service '{SERVICE_NAME}'."),
        "status": (0, "Running."),
        "stop": (0, f"Stopping service '{SERVICE_NAME}'.\nService stopped"),
        # (uninstall stops the service first, and says it is already stopped)
        "uninstall": (0, f"Uninstalled service '{SERVICE_NAME}'."),
    }
    for step, (code, text) in expected_output.items():
        got_code, out, err = layout.result(step)
        out = out.replace("\r\n", "\n")
        expect(got_code == code and (text + "\n") in out,
               f"/{step}: exit code {got_code}, output {out!r}, standard error {err!r}")
    records = service_records(layout)
    created = [r for r in records if r.kind == "jvm-create"]
    expect(len(created) == 1, f"expected one VM of the service's child, got {created}")
    options = created[0].options()
    expect("-Xrs" in options and "-Dravel.isService=true" in options, f"service options missing: {options}")
    mains = [r for r in records if r.kind == "call" and r.get("method") == "main"]
    expect(len(mains) == 1, f"main calls: {mains}")
    arguments = [mains[0][f"arg0[{i}]"] for i in range(int(mains[0]["arg0.length"]))]
    # The child gets the service's name after the launcher's own leading arguments.
    expect(SERVICE_NAME in arguments[5:], f"main arguments {arguments} lack the service name")
    lines = [r for r in records if r.kind == "stdin-line"]
    expect(len(lines) == 1 and lines[0]["hex"] == "300a" and lines[0].get("eof") != "1",
           f"the application read {[(r.get('hex'), r.get('eof')) for r in lines]}, not the shutdown line 0 LF")
    expect(any(r.kind == "destroy-end" for r in records), "the service's VM was not destroyed")


def main(argv):
    if len(argv) < 3:
        fail(__doc__)
    command, layout = argv[1], Layout(argv[2])
    if command == "prepare":
        prepare(layout)
    elif command == "check-log":
        n = int(argv[3])
        check_log(layout, n, layout.run_exe if n == 1 else layout.refuse_exe)
    elif command == "check-extraction":
        check_extraction(layout)
    elif command == "check-search":
        check_search(layout)
    elif command == "check-launch":
        check_launch(layout)
    elif command == "check-refusal":
        check_refusal(layout)
    elif command == "main-called":
        main_called(layout)
    elif command == "check-service":
        check_service(layout)
    else:
        fail(f"unknown command {command}")


if __name__ == "__main__":
    main(sys.argv)
