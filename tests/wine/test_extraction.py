"""Included files: extraction into a per-run directory under the temp directory, and its removal.

A `/run` of these launchers extracts the included files and then fails (there is no Java
runtime here), so the process ends through the fatal exit, which removes the extraction
directory again. To look at what was extracted, some tests start a fresh Wine server with
the umask 0222: every file the launcher creates is then read-only to Wine, the cleanup at
exit cannot delete it, and the files stay behind for the test to read. The launcher itself
is the shipped one, unchanged.
"""
import os
from contextlib import contextmanager
from pathlib import Path

import pytest

from conftest import NO_JAVA_HOMES, logged_env, read_log, temp_env, winpath
from test_run import App

BASE = "setting 101 = ExtractTest\nsetting 107 = 0\nmessage 1009 = Extraction failed: {0}\n"

# Every byte value, so that 0x00 and 0x97 (which scrambles to 0x00) are among them; 6001
# bytes take one full chunk of 6000 and a second chunk of one byte.
BIG = (bytes(range(256)) * 24)[:6001]

# What a launcher writes into the temp file it holds while its extraction directory exists.
OWNER_MARK = b"ravel extraction directory owner"


@contextmanager
def files_survive_cleanup(wine):
    """Runs inside the block create read-only files that the launcher's cleanup cannot delete."""
    wine.kill_server()
    old = os.umask(0o222)
    try:
        yield
    finally:
        os.umask(old)
        wine.kill_server()


def make_launcher(pack, tmp_path, files, extra=""):
    """Packs a launcher whose included files are `files` (name -> content), in that order."""
    source_dir = tmp_path / "pack"
    source_dir.mkdir(exist_ok=True)
    lines = [BASE, extra]
    for index, (name, content) in enumerate(files.items()):
        source = source_dir / f"source{index}"
        source.write_bytes(content)
        lines.append(f"file {name} = {source.name}\n")
    return pack("".join(lines), directory=source_dir)


def run(wine, exe, temp, log=False):
    temp.mkdir(exist_ok=True)
    return wine.run(exe, ["/run"], env=logged_env(temp) if log else temp_env(temp))


def extraction_directories(temp):
    return sorted(p for p in temp.glob("rvl*_dir*") if p.is_dir())


def tree(directory):
    """Relative path (with "/") -> content of every file below `directory`."""
    return {p.relative_to(directory).as_posix(): p.read_bytes() for p in directory.rglob("*") if p.is_file()}


def test_included_files_are_extracted_unscrambled(wine, pack, tmp_path):
    exe = make_launcher(pack, tmp_path, {
        "lib\\a.jar": b"first jar",
        "lib\\b.jar": b"second jar",
        "big.bin": BIG,
        "empty.txt": b"",
        "after-empty.txt": b"found after the empty file",
    })
    temp = tmp_path / "temp"
    with files_survive_cleanup(wine):
        result = run(wine, exe, temp)
    assert result.returncode == 1  # the run goes on past extraction and fails without Java
    [directory] = extraction_directories(temp)
    # "<temp file>_dir<number>": the temp file named there exists beside it, marked as the
    # lock of a launcher (this one ended without removing it: its files were read-only).
    temp_file, _, number = directory.name.rpartition("_dir")
    assert number.lstrip("-").isdigit()
    assert (temp / temp_file).read_bytes().startswith(OWNER_MARK)
    assert tree(directory) == {
        "lib/a.jar": b"first jar",
        "lib/b.jar": b"second jar",
        "big.bin": BIG,
        "after-empty.txt": b"found after the empty file",
    }


@pytest.mark.parametrize("count, expected", [
    ("1", {"one.txt"}),
    ("2", {"one.txt", "two.txt"}),
    ("7", {"one.txt", "two.txt", "three.txt"}),
])
def test_count_setting_limits_the_files_extracted(wine, pack, tmp_path, count, expected):
    exe = make_launcher(pack, tmp_path, {"one.txt": b"1", "two.txt": b"22", "three.txt": b"333"},
                        extra=f"setting 2002 = {count}\n")
    temp = tmp_path / "temp"
    with files_survive_cleanup(wine):
        run(wine, exe, temp)
    [directory] = extraction_directories(temp)
    assert set(tree(directory)) == expected


def test_empty_name_in_the_list_stops_extraction(wine, pack, tmp_path):
    exe = make_launcher(pack, tmp_path, {"one.txt": b"1", "two.txt": b"22"},
                        extra="setting 2003 = one.txt;;two.txt\n")
    temp = tmp_path / "temp"
    with files_survive_cleanup(wine):
        run(wine, exe, temp)
    [directory] = extraction_directories(temp)
    assert tree(directory) == {"one.txt": b"1"}


def test_extraction_directory_is_removed_by_the_fatal_exit(wine, pack, tmp_path):
    exe = make_launcher(pack, tmp_path, {"lib\\a.jar": b"a", "big.bin": BIG})
    temp = tmp_path / "temp"
    result = run(wine, exe, temp)
    assert result.returncode == 1
    assert extraction_directories(temp) == []
    # The temp file the directory was named after goes with it.
    assert list(temp.glob("rvl*")) == []


def test_no_included_files_creates_no_directory(wine, pack, tmp_path):
    exe = make_launcher(pack, tmp_path, {"a.txt": b"a"}, extra="setting 2002 = 0\n")
    temp = tmp_path / "temp"
    with files_survive_cleanup(wine):
        result = run(wine, exe, temp)
    assert result.returncode == 1
    # Not even a temp name was asked for.
    assert list(temp.glob("rvl*.tmp*")) == []


@pytest.mark.parametrize("name", ["..\\escaped.txt", "lib\\..\\..\\escaped.txt", "\\escaped-h3.txt", "ABSOLUTE"])
def test_names_outside_the_directory_are_refused(wine, pack, tmp_path, name):
    temp = tmp_path / "temp"
    temp.mkdir()
    targets = [temp / "escaped.txt", tmp_path / "escaped.txt", Path("/escaped-h3.txt"), tmp_path / "absolute.txt"]
    if name == "ABSOLUTE":
        name = winpath(tmp_path / "absolute.txt")
    exe = make_launcher(pack, tmp_path, {"good.txt": b"good", "bad": b"must not be written"},
                        extra=f"setting 2003 = good.txt;{name}\n")
    with files_survive_cleanup(wine):
        result = run(wine, exe, temp)
    for target in targets:
        assert not target.exists(), target
    assert result.returncode == 1
    assert "Extraction failed: 11" in result.stderr
    # The files before the refused one were extracted; nothing else was.
    [directory] = extraction_directories(temp)
    assert tree(directory) == {"good.txt": b"good"}


@pytest.mark.parametrize("name", ["NUL", "con.txt", "lib\\AUX", "Com1.log ", "...", "lib\\ .\\x.txt"])
def test_device_names_and_names_of_dots_or_spaces_are_refused(wine, pack, tmp_path, name):
    # Written through, a device name would vanish into the device (or wait on a port) and a
    # name of dots or spaces would be the folder itself: the run fails like any unsafe name.
    temp = tmp_path / "temp"
    temp.mkdir()
    exe = make_launcher(pack, tmp_path, {"good.txt": b"good", "bad": b"must not be written"},
                        extra=f"setting 2003 = good.txt;{name}\n")
    with files_survive_cleanup(wine):
        result = run(wine, exe, temp)
    assert result.returncode == 1
    assert "Extraction failed: 11" in result.stderr
    [directory] = extraction_directories(temp)
    assert tree(directory) == {"good.txt": b"good"}


def test_truncated_content_fails_the_run_and_removes_the_directory(wine, pack, tmp_path):
    exe = make_launcher(pack, tmp_path, {"a.txt": b"a", "big.bin": BIG})
    exe.write_bytes(exe.read_bytes()[:-1])
    temp = tmp_path / "temp"
    result = run(wine, exe, temp)
    assert result.returncode == 1
    assert "Extraction failed: 16" in result.stderr
    assert extraction_directories(temp) == []


def test_missing_record_header_is_an_internal_error(wine, pack, tmp_path):
    exe = make_launcher(pack, tmp_path, {"a.txt": b"a"}, extra="setting 2002 = 2\nsetting 2003 = a.txt;b.txt\n")
    temp = tmp_path / "temp"
    result = run(wine, exe, temp)
    assert result.returncode == 1
    assert "Internal Error: readLong" in result.stderr
    assert extraction_directories(temp) == []


def test_log_traces_extraction_and_cleanup(wine, pack, tmp_path):
    exe = make_launcher(pack, tmp_path, {
        "lib\\a.jar": b"first jar",
        "lib\\b.jar": b"second jar",
        "empty.txt": b"",
        "big.bin": BIG,
    })
    temp = tmp_path / "temp"
    run(wine, exe, temp, log=True)
    log = read_log(temp)
    [directory_line] = [line for line in log.splitlines() if "Temp dir3: " in line]
    directory = directory_line.split("Temp dir3: ", 1)[1]
    assert directory.startswith(winpath(temp) + "\\rvl") and "_dir" in directory
    for expected in [
        "Included files: 4",
        f"creating directory {directory}\\lib",
        f"extracting {directory}\\lib\\a.jar (size: 9)",
        f"extracting {directory}\\lib\\b.jar (size: 10)",
        f"extracting {directory}\\empty.txt (size: 0)",
        f"extracting {directory}\\big.bin (size: 6001)",
        "extracting files done",
        f"emptying {directory}",
        f"attempting to remove {directory}\\lib (1)",
        f"attempting to delete {directory}\\lib\\a.jar",
        f"attempting to delete {directory}\\big.bin",
    ]:
        assert expected in log, expected
    # The second file of lib finds the directory there: created twice, failing never.
    lines = log.splitlines()
    assert sum(line.endswith(f"creating directory {directory}\\lib") for line in lines) == 2
    assert "failed to create directory" not in log
    assert extraction_directories(temp) == []


# ---------------------------------------------------------------------------------------
# Runs that reach the (stand-in) JVM and end normally or through System.exit.


def run_to_the_end(wine, pack, tmp_path, script=None):
    """Runs a launcher with an included jar and an included file in a subdirectory to the
    end of its JVM; returns the run's result, its temp directory and its log."""
    a = App(wine, pack, tmp_path, files={"inc.jar": BIG * 50, "conf\\app.properties": b"k=v"}, script=script)
    temp = tmp_path / "temp-run"
    temp.mkdir()
    env = {**logged_env(temp), "QUILLWORK_LOG": None, **NO_JAVA_HOMES, "MANPATH": None}
    result = wine.run(a.exe, ["/run-redirect"], env=env)
    return result, temp, read_log(temp), a.jre.records()


def test_a_normal_end_removes_the_directory_and_its_temp_file(wine, pack, tmp_path):
    result, temp, log, records = run_to_the_end(wine, pack, tmp_path)
    assert result.returncode == 0, log
    assert "dest JVM" in log and "launch done" in log
    assert "attempting to delete " in log
    # Nothing of the run is left: no directory, no temp file.
    assert list(temp.glob("rvl*")) == []
    # With a directory to remove, the VM is given the exit hook a System.exit goes through.
    [create] = [r for r in records if r.kind == "jvm-create"]
    assert "exit" in create.options()


def test_system_exit_removes_the_directory_and_its_temp_file(wine, pack, tmp_path):
    script = "class com/ravel/runtime/WinLauncher\nstatic main ([Ljava/lang/String;)V\nexit 3\n"
    result, temp, log, records = run_to_the_end(wine, pack, tmp_path, script=script)
    assert result.returncode == 3
    assert [r["origin"] for r in records if r.kind == "exit"] == ["com.ravel.runtime.WinLauncher.main"]
    # The process ended inside the JVM: the launcher never returned from main.
    assert "main returned" not in log
    assert "emptying " in log
    assert list(temp.glob("rvl*")) == []


def test_directories_of_ended_launchers_are_removed_at_start(wine, pack, tmp_path):
    temp = tmp_path / "temp"
    temp.mkdir()
    # A launcher that ended without cleaning up (killed): its marked temp file, nobody
    # holding it, and its directory with a subdirectory.
    (temp / "rvlA1.tmp").write_bytes(OWNER_MARK + b" 1234\r\n")
    ended = temp / "rvlA1.tmp_dir77"
    (ended / "lib").mkdir(parents=True)
    (ended / "lib" / "a.jar").write_bytes(b"old jar")
    (ended / "big.bin").write_bytes(BIG)
    # Another one with a folder linked into it (a junction under Windows; Wine shows a Unix
    # symbolic link to a directory as a reparse point in listings): it goes as a link, and
    # what it points to stays.
    (temp / "rvlD4.tmp").write_bytes(OWNER_MARK + b" 99\r\n")
    linked = temp / "rvlD4.tmp_dir-8"
    linked.mkdir()
    (linked / "x.txt").write_bytes(b"x")
    victim = tmp_path / "victim"
    (victim / "sub").mkdir(parents=True)
    (victim / "precious.txt").write_bytes(b"keep me")
    (victim / "sub" / "precious.txt").write_bytes(b"keep me too")
    (linked / "link").symlink_to(victim, target_is_directory=True)
    # Not a launcher's lock (an older launcher's empty temp file, or another program's), or
    # none at all: kept.
    (temp / "rvlB2.tmp").write_bytes(b"")
    (temp / "rvlB2.tmp_dir5").mkdir()
    (temp / "rvlB2.tmp_dir5" / "x.txt").write_bytes(b"x")
    (temp / "rvlC3.tmp_dir6").mkdir()

    exe = make_launcher(pack, tmp_path, {"a.txt": b"a"})
    run(wine, exe, temp, log=True)
    log = read_log(temp)
    assert f"removing the extraction directory of an ended launcher: {winpath(ended)}" in log
    assert not ended.exists() and not (temp / "rvlA1.tmp").exists()

    assert f"removing link {winpath(linked)}\\link" in log
    assert not (linked / "x.txt").exists()
    assert (victim / "precious.txt").read_bytes() == b"keep me"
    assert (victim / "sub" / "precious.txt").read_bytes() == b"keep me too"
    # Wine opens the link's target even when asked for the link itself, so the removal
    # through that handle is refused there and the link stays; a directory that stays keeps
    # its temp file, for a later launcher to try again.
    assert linked.exists() == (temp / "rvlD4.tmp").exists()

    assert (temp / "rvlB2.tmp_dir5" / "x.txt").exists() and (temp / "rvlB2.tmp").exists()
    assert (temp / "rvlC3.tmp_dir6").is_dir()
