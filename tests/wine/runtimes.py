"""Java runtime homes made of the stand-in runtime, and the registry entries that lead to them.

The stand-in (built from testruntime/ into <build>/win64/testruntime and <build>/win32/testruntime)
behaves as the launcher expects a runtime to behave and records what was asked of it:

* `java.exe` / `javaw.exe -version` write the banner of the version in the home's `release`
  file to standard error; extra release keys change that (see `make_jre`'s `release`).
* `jvm.dll` is a JNI stand-in: JNI_CreateJavaVM checks the init args and creates a VM whose
  Java world (classes, and what `main` and the other methods do) a test describes with a
  `JavaWorld` script; everything the launcher does with it is written to a transcript, read
  with `read_transcript` (testruntime/README.md documents both formats).
* `jli.dll` expands `@file` arguments with JLI_InitArgProcessing / JLI_PreprocessArg /
  JLI_MemFree and records its calls.
* `unpack200.exe` turns `X.jar.pack` (a header line followed by the JAR) back into `X.jar`.
* `ucrtbase.dll` only records that it was loaded.

Every start and library call appends a `Record` to `standin.log` in the runtime's root (the
folder holding `release`; for a JDK with a JRE inside, the JDK's top), or to the file named by
the variable STANDIN_RECORD when a test sets it. The VM's transcript goes to the file the
option -Dstandin.transcript names, else beside the script (`<script stem>.transcript`), else
to that same record file.

Layouts:
  make_jre:  release, bin\\java.exe, bin\\javaw.exe, bin\\unpack200.exe, bin\\jli.dll, bin\\<vm>\\jvm.dll,
             lib\\rt.jar (old numbering only) or lib\\*.jar.pack, lib\\ext\\*.jar.pack
  make_jdk:  as a JRE plus lib\\tools.jar; with `embedded_jre` (default for 1.x versions) the
             JVM libraries live in jre\\bin\\<vm>\\jvm.dll next to jre\\bin\\java.exe.

`RuntimeRegistry` (fixture `runtime_registry`) writes the Java vendor keys, the located and
shared runtime keys and the installations value in one `regedit /S` import per `apply()`, and
the version cache byte for byte through runtimecheck.exe; it removes all of them before and
after each test. A test module uses the fixture by importing it:
`from runtimes import runtime_registry  # noqa: F401`.

runtimecheck.exe (testruntime/runtimecheck, test-only) looks from the Windows side: it loads a
jvm.dll and calls it, starts a program the way the launcher starts a probe (`run_like_probe`),
and reads file times, short paths and registry values. jnihost.exe (testruntime/jnihost,
test-only) creates a VM through a jvm.dll as the launcher does and drives its JNI functions
(`jnihost`, `launch_main`), and calls a jli.dll (`jli_expand`).
"""
import io
import urllib.parse
import zipfile
from dataclasses import dataclass, field
from pathlib import Path

import pytest

from conftest import BUILD, winpath

STANDIN_DIRS = {64: BUILD / "win64" / "testruntime", 32: BUILD / "win32" / "testruntime"}
RUNTIMECHECK = STANDIN_DIRS[64] / "runtimecheck.exe"
JNIHOST = STANDIN_DIRS[64] / "jnihost.exe"
PACK_HEADER = b"standin-pack200 1\n"
RECORD_FILE = "standin.log"

# Wine prefers its own builtin ucrtbase.dll even when a program loads one by full path; with
# this in a Wine process's Unix environment (`unix_env=`), the stand-in's copy is loaded.
NATIVE_UCRTBASE = {"WINEDLLOVERRIDES": "ucrtbase=n,b"}

# 1970-01-01 as a FILETIME (100-ns units since 1601-01-01).
FILETIME_UNIX_EPOCH = 116444736000000000


def standin_file(name: str, bits: int) -> Path:
    """A built file of the stand-in for the given bitness; fails the test when it is missing."""
    path = STANDIN_DIRS[bits] / name
    if not path.exists():
        pytest.fail(f"{path} is missing: run `make build` first")
    return path


# ---------------------------------------------------------------------------------------
# Records


@dataclass
class Record:
    kind: str
    fields: dict

    def __getitem__(self, key):
        return self.fields[key]

    def get(self, key, default=None):
        return self.fields.get(key, default)

    def options(self):
        """The option strings of a "jvm-create" record, in order."""
        return [self.fields[f"option{i}"] for i in range(int(self.fields.get("nOptions", 0)))
                if f"option{i}" in self.fields]


def parse_records(text: str):
    records = []
    for line in text.split("\n"):
        if not line:
            continue
        kind, *pairs = line.split("\t")
        fields = {}
        for pair in pairs:
            key, _, value = pair.partition("=")
            fields[urllib.parse.unquote(key)] = urllib.parse.unquote(value)
        records.append(Record(urllib.parse.unquote(kind), fields))
    return records


def read_records(path, kind=None):
    """Records of a record file (none when it does not exist), optionally of one kind.
    Java strings are written as exact UTF-8 of their UTF-16 units, with an unpaired surrogate
    as its own three-byte sequence, which "surrogatepass" turns back into that unit."""
    path = Path(path)
    if not path.exists():
        return []
    records = parse_records(path.read_bytes().decode("utf-8", "surrogatepass"))
    return [r for r in records if kind is None or r.kind == kind]


# ---------------------------------------------------------------------------------------
# Runtime homes


@dataclass
class Runtime:
    root: Path          # the home; for a JDK its top folder, where `release` is
    version: str
    bits: int
    kind: str           # "jre" or "jdk"
    embedded_jre: bool = False

    @property
    def java_exe(self) -> Path:
        return self.root / "bin" / "java.exe"

    @property
    def javaw_exe(self) -> Path:
        return self.root / "bin" / "javaw.exe"

    @property
    def jre_home(self) -> Path:
        """Where the JVM libraries of this runtime are: the JDK's `jre` or the home itself."""
        return self.root / "jre" if self.embedded_jre else self.root

    def jvm_dll(self, vm="server") -> Path:
        return self.jre_home / "bin" / vm / "jvm.dll"

    @property
    def win(self) -> str:
        return winpath(self.root)

    @property
    def record_file(self) -> Path:
        return self.root / RECORD_FILE

    def records(self, kind=None):
        return read_records(self.record_file, kind)

    def starts(self, program="java.exe"):
        """The recorded starts of one program of this runtime (compared without case)."""
        return [r for r in self.records("start") if r["program"].lower() == program.lower()]

    def clear_records(self):
        self.record_file.unlink(missing_ok=True)

    @property
    def jli_dll(self) -> Path:
        return self.jre_home / "bin" / "jli.dll"

    def use_world(self, world: "JavaWorld", name="world.standin") -> Path:
        """Makes `world` the Java world of every VM of this runtime: the script is written to
        the runtime's root and named by the release key STANDIN_SCRIPT (an option
        -Dstandin.script still takes precedence). Returns the script's path; the transcript
        is written beside it (see `transcript`)."""
        path = world.write(self.root / name)
        self.set_release(STANDIN_SCRIPT=name)
        return path

    def transcript(self, name="world.standin") -> "Transcript":
        """The transcript of the world set with `use_world`."""
        return read_transcript(transcript_path(self.root / name))

    def set_release(self, **keys):
        """Adds or replaces keys of the `release` file (a value of None removes the key)."""
        path = self.root / "release"
        current = {}
        for line in path.read_text(encoding="utf-8").splitlines():
            key, sep, value = line.partition("=")
            if sep:
                current[key] = value
        for key, value in keys.items():
            if value is None:
                current.pop(key, None)
            else:
                current[key] = f'"{value}"'
        path.write_text("".join(f"{k}={v}\n" for k, v in current.items()), encoding="utf-8")


def is_old_numbering(version: str) -> bool:
    return version.startswith("1.")


def jar_bytes(name: str) -> bytes:
    """A small, valid JAR whose content names it, so that a round trip can be compared."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as jar:
        for entry, text in (("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n"),
                            ("standin/" + name + ".txt", f"content of {name}\n" * 20)):
            # A fixed time stamp keeps the bytes the same on every call.
            jar.writestr(zipfile.ZipInfo(entry, date_time=(2020, 1, 1, 0, 0, 0)), text)
    return buffer.getvalue()


def pack_bytes(jar: bytes) -> bytes:
    return PACK_HEADER + jar


def pack_jar(jar_path) -> Path:
    """Replaces X.jar by X.jar.pack as the stand-in's unpack200 expects it; returns the new path."""
    jar_path = Path(jar_path)
    packed = jar_path.with_name(jar_path.name + ".pack")
    packed.write_bytes(pack_bytes(jar_path.read_bytes()))
    jar_path.unlink()
    return packed


def _write_release(root: Path, version, runtime_version, version_date, release):
    lines = {"JAVA_VERSION": version}
    lines["JAVA_RUNTIME_VERSION"] = runtime_version or _default_runtime_version(version)
    if version_date:
        lines["JAVA_VERSION_DATE"] = version_date
    lines.update(release or {})
    root.mkdir(parents=True, exist_ok=True)
    (root / "release").write_text("".join(f'{k}="{v}"\n' for k, v in lines.items()), encoding="utf-8")


def _default_runtime_version(version: str) -> str:
    return version + ("-b09" if is_old_numbering(version) else "+8")


def _fill_bin(bin_dir: Path, bits, jvm, broken_jvm, javaw, unpack200, ucrtbase, jli=True):
    bin_dir.mkdir(parents=True, exist_ok=True)
    (bin_dir / "java.exe").write_bytes(standin_file("java.exe", bits).read_bytes())
    if jli:
        (bin_dir / "jli.dll").write_bytes(standin_file("jli.dll", bits).read_bytes())
    if javaw:
        (bin_dir / "javaw.exe").write_bytes(standin_file("javaw.exe", bits).read_bytes())
    if unpack200:
        (bin_dir / "unpack200.exe").write_bytes(standin_file("unpack200.exe", bits).read_bytes())
    if ucrtbase:
        (bin_dir / "ucrtbase.dll").write_bytes(standin_file("ucrtbase.dll", bits).read_bytes())
    for vm in jvm:
        (bin_dir / vm).mkdir(parents=True, exist_ok=True)
        (bin_dir / vm / "jvm.dll").write_bytes(standin_file("jvm.dll", bits).read_bytes())
    # A library of the other bitness: present, but LoadLibrary refuses it (bad image format).
    other = 32 if bits == 64 else 64
    for vm in broken_jvm:
        (bin_dir / vm).mkdir(parents=True, exist_ok=True)
        (bin_dir / vm / "jvm.dll").write_bytes(standin_file("jvm.dll", other).read_bytes())


def _fill_lib(lib_dir: Path, version, packed):
    """Class library JARs: rt.jar for the old numbering, plus the packed ones asked for."""
    lib_dir.mkdir(parents=True, exist_ok=True)
    wanted = set(packed)
    if is_old_numbering(version):
        wanted.add("rt.jar")
    for name in sorted(wanted):
        target = lib_dir / name
        target.parent.mkdir(parents=True, exist_ok=True)
        if name in packed:
            target.with_name(target.name + ".pack").write_bytes(pack_bytes(jar_bytes(name)))
        else:
            target.write_bytes(jar_bytes(name))


def make_jre(directory, version="17.0.2", *, bits=64, jvm=("server",), broken_jvm=(), javaw=True,
             unpack200=True, ucrtbase=False, jli=True, packed=(), runtime_version=None, version_date=None,
             release=None) -> Runtime:
    """Lays out a JRE in `directory`.

    jvm:        bin subfolders that get a working jvm.dll ("server", "client", ...)
    broken_jvm: bin subfolders that get a jvm.dll of the other bitness, which cannot load
    jli:        whether bin holds the argument-file library jli.dll
    packed:     JARs below lib stored packed instead ("rt.jar", "ext/localedata.jar")
    release:    extra release keys, e.g. {"STANDIN_EXIT_CODE": "3"}, {"STANDIN_HANG": "1"}
                (sleep for ever, standard error open), {"STANDIN_HANG": "stderr-closed"},
                {"STANDIN_BANNER": "banner.txt"} (that file's bytes are the banner),
                {"STANDIN_CREATE_RESULT": "-1"} (JNI_CreateJavaVM fails with that result),
                {"STANDIN_SCRIPT": "world.standin"} (see `Runtime.use_world`)
    """
    root = Path(directory)
    _write_release(root, version, runtime_version, version_date, release)
    _fill_bin(root / "bin", bits, jvm, broken_jvm, javaw, unpack200, ucrtbase, jli)
    _fill_lib(root / "lib", version, packed)
    return Runtime(root, version, bits, "jre")


def make_jdk(directory, version="17.0.2", *, bits=64, embedded_jre=None, jvm=None, jre_jvm=("server",),
             broken_jvm=(), javaw=True, unpack200=True, ucrtbase=False, jli=True, tools_jar=True, packed=(),
             runtime_version=None, version_date=None, release=None) -> Runtime:
    """Lays out a JDK in `directory`.

    embedded_jre: a `jre` folder with its own bin\\java.exe and JVM libraries (jre_jvm), as JDKs
                  of the old numbering have; default: True for 1.x versions.
    jvm:          bin subfolders of the JDK itself with a jvm.dll; default: none with an embedded
                  JRE, else ("server",).
    packed:       JARs below the class library folder (jre\\lib with an embedded JRE) stored packed.
    """
    root = Path(directory)
    if embedded_jre is None:
        embedded_jre = is_old_numbering(version)
    if jvm is None:
        jvm = () if embedded_jre else ("server",)
    _write_release(root, version, runtime_version, version_date, release)
    _fill_bin(root / "bin", bits, jvm, () if embedded_jre else broken_jvm, javaw, unpack200, ucrtbase, jli)
    if embedded_jre:
        _fill_bin(root / "jre" / "bin", bits, jre_jvm, broken_jvm, javaw, unpack200, ucrtbase, jli)
        _fill_lib(root / "jre" / "lib", version, packed)
        (root / "lib").mkdir(parents=True, exist_ok=True)
    else:
        _fill_lib(root / "lib", version, packed)
    if tools_jar:
        (root / "lib" / "tools.jar").write_bytes(jar_bytes("tools.jar"))
    return Runtime(root, version, bits, "jdk", embedded_jre)


def filetime_of(path) -> int:
    """The last-write time of a file as Wine's file search reports it (a 64-bit FILETIME)."""
    return Path(path).stat().st_mtime_ns // 100 + FILETIME_UNIX_EPOCH


# ---------------------------------------------------------------------------------------
# The test-only Windows helper


@dataclass
class CheckResult:
    returncode: int
    values: dict = field(default_factory=dict)

    def __getitem__(self, key):
        return self.values[key]

    def get(self, key, default=None):
        return self.values.get(key, default)


def runtimecheck(wine, *args, env=None, unix_env=None, timeout=120) -> CheckResult:
    """Runs runtimecheck.exe (see testruntime/runtimecheck) and parses its key=value lines."""
    result = wine.run(RUNTIMECHECK, [str(a) for a in args], env=env, unix_env=unix_env, timeout=timeout)
    values = {}
    for line in result.stdout.replace("\r\n", "\n").split("\n"):
        key, sep, value = line.partition("=")
        if sep:
            values[key] = urllib.parse.unquote(value)
    return CheckResult(result.returncode, values)


def run_like_probe(wine, directory, command_line: str, timeout_ms=5000, program=None) -> CheckResult:
    """Starts `command_line` (exactly as it stands) as the launcher starts a probe or
    unpack200: standard error on a pipe, hidden window, terminated after `timeout_ms`.
    `program`, when given, is the application name. The command line travels in a file in
    `directory`, so any quoting reaches the child unchanged."""
    directory = Path(directory)
    directory.mkdir(parents=True, exist_ok=True)
    command_file = directory / "runtimecheck-command.txt"
    command_file.write_bytes(command_line.encode("utf-8"))
    args = ["run", timeout_ms, winpath(command_file)] + ([winpath(program)] if program is not None else [])
    return runtimecheck(wine, *args, timeout=timeout_ms / 1000 + 60)


# ---------------------------------------------------------------------------------------
# The stand-in VM: world scripts, transcripts and the test-only host

RAVEL_LAUNCHER = "com/ravel/runtime/WinLauncher"
QUILLWORK_LAUNCHER = "com/quillwork/runtime/launcher/WinLauncher"
COMMON = "com/quillwork/runtime/installer/platform/win32/Common"
WNDPROC = "com/quillwork/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc"
MAIN_SIGNATURE = "([Ljava/lang/String;)V"
SPLASH_SIGNATURE = "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V"
# Exit code of a process the stand-in VM aborts (unimplemented JNI function, unusable reference).
ABORT_EXIT_CODE = 134
JNI_OK, JNI_ERR, JNI_EDETACHED, JNI_EVERSION, JNI_EEXIST, JNI_EINVAL = 0, -1, -2, -3, -5, -6


def _script_string(text: str) -> str:
    """A quoted string literal of the script: escapes for quote, backslash and line breaks,
    and \\uXXXX for an unpaired surrogate (which UTF-8 cannot carry)."""
    out = []
    for char in text:
        if char in '"\\':
            out.append("\\" + char)
        elif char == "\n":
            out.append("\\n")
        elif char == "\r":
            out.append("\\r")
        elif char == "\t":
            out.append("\\t")
        elif 0xD800 <= ord(char) <= 0xDFFF:
            out.append(f"\\u{ord(char):04x}")
        else:
            out.append(char)
    return '"' + "".join(out) + '"'


class Do:
    """The actions of a scripted method, one script line each (README: "Actions")."""

    @staticmethod
    def ret(value=None):
        """Ends the method; a value for a non-void method: int, bool, float, None or str."""
        if value is None:
            return "return"
        if isinstance(value, bool):
            return "return " + ("true" if value else "false")
        if isinstance(value, str):
            return "return " + _script_string(value)
        return f"return {value}"

    @staticmethod
    def returns_null():
        return "return null"

    @staticmethod
    def throw(class_name, message=None):
        """Throws a new exception; toString() then gives "<dotted class>: <message>"."""
        return f"throw {class_name}" + ("" if message is None else f" {message}")

    @staticmethod
    def exit(code):
        """Ends the process with `code`, as System.exit does."""
        return f"exit {code}"

    @staticmethod
    def sleep(ms):
        return f"sleep {ms}"

    @staticmethod
    def read_line():
        """Reads standard input up to a line feed (or its end) and records the bytes."""
        return "read-line"

    @staticmethod
    def thread(ms, daemon=False):
        """Starts a thread that sleeps `ms` and records "thread-done"; DestroyJavaVM waits
        for it unless it is a daemon."""
        return f"{'daemon-thread' if daemon else 'thread'} {ms}"

    @staticmethod
    def property(name):
        """Records the current value of a system property."""
        return f"property {name}"

    @staticmethod
    def print(text):
        return f"print {text}"

    @staticmethod
    def print_error(text):
        return f"print-error {text}"

    @staticmethod
    def note(text):
        """Writes a "note" record, to mark a point in the transcript."""
        return f"note {text}"


class JavaWorld:
    """A world script for the stand-in VM. It edits the default world (java.lang basics and
    the launcher classes, whose methods return at once): `cls` opens a class, `static` and
    `method` add or replace a method of the open class with the given actions (`Do`)."""

    def __init__(self):
        self.lines = []

    def cls(self, name, extends=None):
        self.lines.append(f"class {name}" + (f" extends {extends}" if extends else ""))
        return self

    def static(self, name, signature, *actions):
        self.lines.append(f"static {name} {signature}")
        self.lines.extend(actions)
        return self

    def method(self, name, signature, *actions):
        self.lines.append(f"method {name} {signature}")
        self.lines.extend(actions)
        return self

    def remove_class(self, name):
        self.lines.append(f"remove-class {name}")
        return self

    def remove_method(self, name, signature):
        """Removes a method of the open class."""
        self.lines.append(f"remove-method {name} {signature}")
        return self

    def main(self, *actions, launcher=RAVEL_LAUNCHER):
        """Gives the launcher class's main the actions."""
        return self.cls(launcher).static("main", MAIN_SIGNATURE, *actions)

    def raw(self, line):
        self.lines.append(line)
        return self

    def text(self) -> str:
        return "".join(line + "\n" for line in self.lines)

    def write(self, path) -> Path:
        path = Path(path)
        path.write_bytes(self.text().encode("utf-8"))
        return path


def transcript_path(script) -> Path:
    """Where the VM writes its transcript when a script but no -Dstandin.transcript is given."""
    return Path(script).with_suffix(".transcript")


def standin_options(script, transcript=None):
    """The JVM options that name a world script (and a transcript file) for the stand-in."""
    options = [f"-Dstandin.script={winpath(script)}"]
    if transcript is not None:
        options.append(f"-Dstandin.transcript={winpath(transcript)}")
    return options


@dataclass
class JavaObject:
    """An object argument other than a string or an array: its class."""
    cls: str


@dataclass
class JavaClass:
    """A java.lang.Class argument: the class it stands for."""
    name: str


def java_value(fields: dict, key: str):
    """The Java value recorded under `key` as a Python value: None, bool, int, float, str,
    a list for arrays, JavaClass or JavaObject."""
    kind = fields.get(key + ".type")
    if kind is None:
        raise KeyError(key)
    if kind == "null" or kind == "void":
        return None
    if kind == "boolean":
        return fields[key] == "true"
    if kind in ("byte", "char", "short", "int", "long"):
        return int(fields[key])
    if kind in ("float", "double"):
        return float(fields[key])
    if kind == "string":
        return fields[key]
    if kind == "array":
        return [java_value(fields, f"{key}[{i}]") for i in range(int(fields[key + ".length"]))]
    if kind == "class":
        return JavaClass(fields[key])
    return JavaObject(fields[key])


@dataclass
class Call:
    """A method call the VM ran: which method, through which JNI function, with what."""
    function: str
    cls: str
    method: str
    signature: str
    static: bool
    receiver: str
    args: list
    record: Record


class Transcript:
    """The records of one VM, with views for the questions tests ask."""

    def __init__(self, records):
        self.records = records

    def __bool__(self):
        return bool(self.records)

    def of(self, kind):
        return [r for r in self.records if r.kind == kind]

    def kinds(self):
        return [r.kind for r in self.records]

    def create(self) -> Record:
        """The one "jvm-create" record."""
        [create] = self.of("jvm-create")
        return create

    def options(self):
        return self.create().options()

    def lookups(self):
        """Every class and method lookup in order: ("FindClass", name, result) or
        (function, class, name, signature, result)."""
        out = []
        for r in self.records:
            if r.kind == "find-class":
                out.append(("FindClass", r["name"], r["result"]))
            elif r.kind == "get-method-id":
                out.append((r["function"], r["class"], r["name"], r["signature"], r["result"]))
        return out

    def calls(self, cls=None, method=None):
        out = []
        for r in self.of("call"):
            if (cls is None or r["class"] == cls) and (method is None or r["method"] == method):
                args = [java_value(r.fields, f"arg{i}") for i in range(int(r["nArgs"]))]
                out.append(Call(r["function"], r["class"], r["method"], r["signature"], r["static"] == "1",
                                r.get("receiver"), args, r))
        return out

    def properties_set(self):
        """(name, value) of every System.setProperty, in order."""
        return [(r["name"], r["value"]) for r in self.of("property-set")]

    def violations(self):
        """(function, rule) of every recorded breach of the JNI's rules, in order."""
        return [(r["function"], r["rule"]) for r in self.of("jni-violation")]

    def index(self, kind, **fields):
        """Position of the first record of `kind` whose fields include `fields`."""
        for i, r in enumerate(self.records):
            if r.kind == kind and all(r.get(k) == v for k, v in fields.items()):
                return i
        raise AssertionError(f"no {kind} record with {fields} in {self.kinds()}")


def read_transcript(path) -> Transcript:
    return Transcript(read_records(path))


def jnihost(wine, *args, input=None, env=None, timeout=120) -> CheckResult:
    """Runs jnihost.exe (testruntime/jnihost) and parses its key=value lines; `stderr` is kept
    in the values under "__stderr__"."""
    result = wine.run(JNIHOST, [str(a) for a in args], env=env, input=input, timeout=timeout)
    values = {"__stderr__": result.stderr}
    for line in result.stdout.replace("\r\n", "\n").split("\n"):
        key, sep, value = line.partition("=")
        if sep:
            values[key] = urllib.parse.unquote(value, errors="surrogatepass")
    return CheckResult(result.returncode, values)


def launch_main(wine, runtime: Runtime, options=(), args=(), *, cls=None, stack=None, keep=False,
                ignore=True, version=None, input=None, directory=None) -> CheckResult:
    """Creates a VM of `runtime` and calls main as the launcher does (jnihost launch): on a
    thread with a `stack`-byte reservation when given, with the JVM `options` and the main
    arguments `args` (any Python strings, unpaired surrogates included)."""
    directory = Path(directory or runtime.root.parent)
    args_file = directory / "jnihost-args.bin"
    args_file.write_bytes(b"".join(a.encode("utf-8", "surrogatepass") + b"\0" for a in args))
    flags = ["--args", winpath(args_file), "--ignore", "1" if ignore else "0"]
    if cls is not None:
        flags += ["--class", cls]
    if stack is not None:
        flags += ["--stack", str(stack)]
    if version is not None:
        flags += ["--version", hex(version)]
    if keep:
        flags.append("--keep")
    return jnihost(wine, "launch", winpath(runtime.jvm_dll()), *flags, "--", *options, input=input)


def jli_expand(wine, runtime: Runtime, *args, disable=False) -> CheckResult:
    """Calls the runtime's jli.dll as the launcher does (jnihost jli) for each argument."""
    return jnihost(wine, "jli", winpath(runtime.jli_dll), *(["--disable"] if disable else []), *args)


# ---------------------------------------------------------------------------------------
# Registry

JAVASOFT = "SOFTWARE\\JavaSoft"
JAVASOFT_PRODUCTS = ("JRE", "JDK", "Java Runtime Environment", "Java Development Kit")
RAVEL = "SOFTWARE\\brightmoor-labs\\ravel"
QUILLWORK = "SOFTWARE\\brightmoor-labs\\quillwork"
LOCATED = RAVEL + "\\locatedjvms"
VERSION_CACHE = RAVEL + "\\jvms"
SHARED = QUILLWORK + "\\sharedjvms"
INSTALLATIONS = QUILLWORK + "\\installations"
HIVES = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}
REG_SZ, REG_BINARY = 1, 3


def _as_windows_path(path) -> str:
    return path if isinstance(path, str) else winpath(path)


def slash_key(java_exe) -> str:
    """A java.exe path as the located and shared runtime keys name it: forward slashes."""
    return _as_windows_path(java_exe).replace("\\", "/")


def version_cache_key(java_exe) -> str:
    """The version cache key of a java.exe: its normalised (lower-case) path with forward
    slashes, below the cache root."""
    return VERSION_CACHE + "\\" + _as_windows_path(java_exe).lower().replace("\\", "/")


def _reg_string(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


class RuntimeRegistry:
    """Registry entries for the runtime search, written in batches through `regedit /S`.

    The entry methods collect; `apply()` imports everything collected so far. `hive` is
    "HKLM" or "HKCU"; `view` 32 writes an HKLM entry where 32-bit programs read it (the
    Wow6432Node branch); HKCU\\SOFTWARE is shared by both views.
    """

    def __init__(self, wine, directory: Path):
        self.wine = wine
        self.directory = Path(directory)
        self.pending = {}  # full key path -> list of value lines of a .reg file
        self.exact_values = []  # (hive, view, key, name, type, bytes) written byte for byte
        self.imports = 0

    # -- entries

    def javasoft(self, product, current_version=None, homes=None, hive="HKLM", view=64):
        """A Java vendor key: "CurrentVersion" and one subkey per version with "JavaHome".
        `homes` maps version names to homes (Path, Runtime or Windows path text)."""
        assert product in JAVASOFT_PRODUCTS, product
        base = self._key(hive, view, JAVASOFT + "\\" + product)
        values = self.pending.setdefault(base, [])
        if current_version is not None:
            values.append(f'"CurrentVersion"={_reg_string(current_version)}')
        for version, home in (homes or {}).items():
            if isinstance(home, Runtime):
                home = home.root
            self.pending.setdefault(base + "\\" + version, []).append(
                f'"JavaHome"={_reg_string(_as_windows_path(home))}')
        return self

    def located(self, java_exe, hive="HKCU", view=64):
        """A located runtime: a subkey named by the java.exe path with forward slashes."""
        self.pending.setdefault(self._key(hive, view, LOCATED + "\\" + slash_key(java_exe)), [])
        return self

    def shared(self, sharing_key, java_exe, hive="HKCU", view=64):
        key = SHARED + "\\" + sharing_key + "\\" + slash_key(java_exe)
        self.pending.setdefault(self._key(hive, view, key), [])
        return self

    def installations(self, app_id, directories, hive="HKCU", view=64):
        """The installations value of an application: its directories joined by ';'."""
        data = ";".join(_as_windows_path(d) for d in directories)
        self.pending.setdefault(self._key(hive, view, INSTALLATIONS), []).append(
            f"{_reg_string(app_id)}={_reg_string(data)}")
        return self

    def version_cache(self, java_exe, version, last_write=None, terminated=False):
        """A version cache entry under HKCU, as the launcher writes it: "LastWriteTime" as 8
        binary bytes (default: the file's current time) and "Version" as a string whose
        stored size excludes the terminator (unless `terminated`)."""
        if last_write is None:
            last_write = filetime_of(java_exe)
        text = version.encode("utf-16-le") + (b"\0\0" if terminated else b"")
        key = version_cache_key(java_exe)
        self.exact_values.append(("HKCU", 0, key, "LastWriteTime", REG_BINARY, last_write.to_bytes(8, "little")))
        self.exact_values.append(("HKCU", 0, key, "Version", REG_SZ, text))
        return self

    # -- writing

    def apply(self):
        lines = []
        for key, values in self.pending.items():
            lines.append(f"[{key}]")
            lines.extend(values)
            lines.append("")
        self.pending = {}
        if lines:
            self._import(lines)
        if self.exact_values:
            self._set_exact(self.exact_values)
            self.exact_values = []

    def unapplied(self):
        return list(self.pending) + [v[2] for v in self.exact_values]

    def clear(self):
        """Removes every key the runtime search reads, in both hives and both views."""
        keys = []
        for hive in HIVES:
            for view in (64, 32):
                for sub in (LOCATED, VERSION_CACHE, SHARED, INSTALLATIONS):
                    keys.append(self._key(hive, view, sub))
                for product in JAVASOFT_PRODUCTS:
                    keys.append(self._key(hive, view, JAVASOFT + "\\" + product))
        self._import([f"[-{key}]" for key in dict.fromkeys(keys)])

    def read_value(self, hive, key, name, view=None):
        """(type, bytes) of a value, read from the Windows side; None when it is absent."""
        args = ["regvalue", hive, key, name] + ([str(view)] if view else [])
        result = runtimecheck(self.wine, *args)
        if result.returncode != 0:
            return None
        return int(result["type"]), bytes.fromhex(result["data"])

    def _key(self, hive, view, key):
        if view == 32 and hive == "HKLM" and key.upper().startswith("SOFTWARE\\"):
            key = "SOFTWARE\\Wow6432Node\\" + key[len("SOFTWARE\\"):]
        return HIVES[hive] + "\\" + key

    def _import(self, lines):
        self.imports += 1
        reg = self.directory / f"runtime-registry-{self.imports}.reg"
        text = "Windows Registry Editor Version 5.00\r\n\r\n" + "\r\n".join(lines) + "\r\n"
        reg.write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
        result = self.wine.command("regedit", "/S", winpath(reg))
        assert result.returncode == 0, f"regedit failed: {result.stderr}"

    # Wine's regedit stores a terminator after hex(1) string data, so values whose exact size
    # matters are written through runtimecheck.exe instead.
    def _set_exact(self, values):
        self.imports += 1
        listing = self.directory / f"runtime-registry-{self.imports}.txt"
        listing.write_bytes("".join(
            f"{hive}\t{view}\t{key}\t{name}\t{kind}\t{data.hex()}\n"
            for hive, view, key, name, kind, data in values).encode("utf-8"))
        result = runtimecheck(self.wine, "regset", winpath(listing))
        assert result.returncode == 0, f"regset failed: {result.values}"


@pytest.fixture
def runtime_registry(wine, tmp_path):
    """A RuntimeRegistry on a registry without any runtime-search keys; they are removed
    again after the test. Entries collected but never applied fail the test."""
    directory = tmp_path / "registry"
    directory.mkdir()
    registry = RuntimeRegistry(wine, directory)
    registry.clear()
    yield registry
    unapplied = registry.unapplied()
    registry.pending, registry.exact_values = {}, []
    registry.clear()
    assert not unapplied, f"registry entries collected but never applied: {unapplied}"
