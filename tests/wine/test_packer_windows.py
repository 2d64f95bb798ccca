"""The Windows build of the packer (dist/packer.exe) under wine64 gives the same bytes as the
Linux packer: the packed launcher from a TOML configuration, the configuration that inspect
prints back, and the refusal of a configuration with a mistake."""
import subprocess

import pytest

from conftest import DIST, winpath

CONFIG = """\
[application]
kind = 1
main_class = "com.example.Main"
arguments = "--name \\"a b\\""
working_directory = '${RAVEL_EXEDIR}data'

[java]
min_version = "11"
search_sequence = ['Rjre', "EJAVA_HOME", "Y"]

[classpath]
entries = ['A1lib\\app.jar', 'S0lib']

[[jvm.version_options]]
versions = "11-17"
options = "-Xss2m -Dlatin=\\u00e9"

[service]
name = "PackerSvc"

[messages]
error_title = "Fehler \\u20ac \\U0001F600"

[messages.de]
error_title = "Fehler"

[messages.de_CH]
error_title = "Fehlermeldung"

[raw.settings]
9000 = "\\u0000raw"

[[files]]
path = 'lib\\native.dll'
source = "in/native.dll"
"""


@pytest.fixture
def workspace(tmp_path):
    (tmp_path / "in").mkdir()
    (tmp_path / "in" / "native.dll").write_bytes(bytes(range(256)) * 3)
    (tmp_path / "app.toml").write_text(CONFIG, encoding="utf-8")
    return tmp_path


def linux_packer(*args):
    return subprocess.run([str(DIST / "packer"), *map(str, args)], capture_output=True, timeout=60)


def windows_packer(wine, *args):
    exe = DIST / "packer.exe"
    if not exe.exists():
        pytest.fail(f"{exe} is missing: run `make build` first")
    return wine.run(exe, args=[winpath(a) if hasattr(a, "parts") else a for a in args], timeout=120)


def test_windows_packer_writes_the_same_launcher(wine, workspace):
    launcher = DIST / "launcher64.exe"
    linux = linux_packer(launcher, workspace / "app.toml", workspace / "linux.exe")
    assert linux.returncode == 0, linux.stderr
    result = windows_packer(wine, launcher, workspace / "app.toml", workspace / "windows.exe")
    assert result.returncode == 0, result.stderr
    linux_bytes = (workspace / "linux.exe").read_bytes()
    assert (workspace / "windows.exe").read_bytes() == linux_bytes
    # The block really carries the configuration: the included file follows XORed.
    assert bytes(b ^ 0x97 for b in bytes(range(256))) in linux_bytes


def test_windows_inspect_prints_what_linux_prints(wine, workspace):
    launcher = DIST / "launcher64.exe"
    assert linux_packer(launcher, workspace / "app.toml", workspace / "packed.exe").returncode == 0
    for side in ("linux", "windows"):
        (workspace / side).mkdir()
    linux = linux_packer("inspect", workspace / "packed.exe", "--files", workspace / "linux" / "files",
                         "-o", workspace / "linux" / "back.toml")
    assert linux.returncode == 0, linux.stderr
    result = windows_packer(wine, "inspect", workspace / "packed.exe", "--files", workspace / "windows" / "files",
                            "-o", workspace / "windows" / "back.toml")
    assert result.returncode == 0, result.stderr
    printed = (workspace / "windows" / "back.toml").read_bytes()
    assert printed == (workspace / "linux" / "back.toml").read_bytes()
    assert b'source = "files/lib/native.dll"' in printed
    assert (workspace / "windows" / "files" / "lib" / "native.dll").read_bytes() == bytes(range(256)) * 3
    # Printed to standard output (no folder for the files): the same text, with no CR added.
    linux_stdout = linux_packer("inspect", workspace / "packed.exe")
    windows_stdout = windows_packer(wine, "inspect", workspace / "packed.exe")
    assert windows_stdout.returncode == 0, windows_stdout.stderr
    assert windows_stdout.stdout == linux_stdout.stdout.decode("utf-8")
    assert "# [[files]]" in windows_stdout.stdout and "\r" not in windows_stdout.stdout
    # What the Windows packer printed packs back to the very same launcher.
    again = windows_packer(wine, launcher, workspace / "windows" / "back.toml", workspace / "again.exe")
    assert again.returncode == 0, again.stderr
    assert (workspace / "again.exe").read_bytes() == (workspace / "packed.exe").read_bytes()


def test_windows_packer_refuses_a_mistake_and_writes_nothing(wine, workspace):
    (workspace / "bad.toml").write_text('[java]\nmin_version = "11"\nsearch_sequence = ["Qjre"]\n', encoding="utf-8")
    result = windows_packer(wine, DIST / "launcher64.exe", workspace / "bad.toml", workspace / "bad.exe")
    assert result.returncode == 1
    assert "bad.toml:3: java.search_sequence entry \"Qjre\": unknown type letter 'Q'" in result.stderr
    assert not (workspace / "bad.exe").exists()
    assert not (workspace / "bad.exe.packing").exists()


def text(output):
    return output if isinstance(output, str) else output.decode("utf-8")


def test_help_and_version_go_to_standard_output(wine):
    for name, run in (("linux", linux_packer), ("windows", lambda *a: windows_packer(wine, *a))):
        helped = run("--help")
        assert helped.returncode == 0, (name, helped.stderr)
        assert text(helped.stdout).startswith("usage: packer <prebuilt launcher.exe>"), name
        assert "--effective" in text(helped.stdout) and text(helped.stderr) == "", name
        version = run("--version")
        assert version.returncode == 0, (name, version.stderr)
        assert text(version.stdout).strip() == "packer 1.0.0", name
        # A wrong command line is still a usage error on standard error.
        wrong = run("--helps")
        assert wrong.returncode == 2 and "usage: packer" in text(wrong.stderr), name
        assert text(wrong.stdout) == "", name


def test_effective_view_shows_defaults_and_packs_to_the_same_launcher(wine, workspace):
    launcher = DIST / "launcher64.exe"
    assert linux_packer(launcher, workspace / "app.toml", workspace / "packed.exe").returncode == 0
    linux = linux_packer("inspect", "--effective", workspace / "packed.exe", "--files", workspace / "files",
                         "-o", workspace / "effective.toml")
    assert linux.returncode == 0, linux.stderr
    text = (workspace / "effective.toml").read_text(encoding="utf-8")
    assert 'kind = "gui"\n' in text
    assert "# default: output_keep = 3\n" in text and "# default: reset_seconds = 86400\n" in text
    assert "# default: min_version" not in text
    windows = windows_packer(wine, "inspect", "--effective", workspace / "packed.exe")
    assert windows.returncode == 0, windows.stderr
    assert "# default: output_keep = 3\n" in windows.stdout
    again = linux_packer(launcher, workspace / "effective.toml", workspace / "again.exe")
    assert again.returncode == 0, again.stderr
    assert (workspace / "again.exe").read_bytes() == (workspace / "packed.exe").read_bytes()


def test_a_write_that_fails_says_why(wine, workspace):
    launcher = DIST / "launcher64.exe"
    target = workspace / "missing" / "out.exe"
    linux = linux_packer(launcher, workspace / "app.toml", target)
    assert linux.returncode == 1
    assert f"cannot write {target}: No such file or directory" in linux.stderr.decode()
    windows = windows_packer(wine, launcher, workspace / "app.toml", target)
    assert windows.returncode == 1
    # The Windows packer gives the system's own message for the failure.
    assert f"cannot write {winpath(target)}: " in windows.stderr, windows.stderr
    reason = windows.stderr.split(f"cannot write {winpath(target)}: ", 1)[1].strip()
    assert reason and "path" in reason.lower(), windows.stderr
    assert not target.parent.exists()


def test_every_mistake_is_reported_with_a_suggestion(wine, workspace):
    (workspace / "bad.toml").write_text('[application]\nmin_version = "11"\nkind = "gooey"\n[servce]\n',
                                        encoding="utf-8")
    for result in (linux_packer(DIST / "launcher64.exe", workspace / "bad.toml", workspace / "bad.exe"),
                   windows_packer(wine, DIST / "launcher64.exe", workspace / "bad.toml", workspace / "bad.exe")):
        stderr = text(result.stderr)
        assert result.returncode == 1
        lines = [line for line in stderr.splitlines() if "bad.toml:" in line]
        assert len(lines) == 3, stderr
        assert lines[0].endswith('bad.toml:2: unknown key "min_version" in [application] '
                                 '(did you mean [java] min_version?)'), stderr
        assert "bad.toml:3: application.kind \"gooey\"" in lines[1]
        assert lines[2].endswith("bad.toml:4: unknown table [servce] (did you mean [service]?)"), stderr
        assert not (workspace / "bad.exe").exists()
