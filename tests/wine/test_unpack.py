"""Restoring a runtime whose class libraries are stored as *.jar.pack, the first time its home
is checked: the runtime's own unpack200.exe is run once per missing JAR, the user sees one
progress line, the packed files are deleted, and a missing unpack200.exe ends the launcher
with its configured message."""
from pathlib import Path

from conftest import LoggedLauncher, log_lines, winpath
from runtimes import jar_bytes, make_jre, runtime_registry  # noqa: F401

UNPACK_FAILED = "Cannot prepare the Java runtime"
NOTICE = "Preparing JRE ...\n"


def run_launcher(wine, pack, directory: Path, home: Path, kind="0"):
    launcher = LoggedLauncher(wine, pack, directory, {101: "UnpackTest", 107: kind, 128: f"A{winpath(home)}"},
                              messages={1021: UNPACK_FAILED})
    result, log = launcher.run_logged()
    return result, log_lines(log)


def unpack_starts(runtime):
    return [r["command"] for r in runtime.starts("unpack200.exe")]


def expected_command(home, relative_jar):
    packed = winpath(home).lower() + "\\" + relative_jar + ".pack"
    jar = winpath(home).lower() + "\\" + relative_jar
    return f'-r "{packed}" "{jar}"'


def test_packed_class_library_is_unpacked_once_with_one_notice(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", "1.8.0_201", packed=["rt.jar"])
    result, lines = run_launcher(wine, pack, tmp_path, jre.root)
    assert unpack_starts(jre) == [expected_command(jre.root, "lib\\rt.jar")]
    assert result.stdout.replace("\r\n", "\n").count(NOTICE) == 1
    assert (jre.root / "lib" / "rt.jar").read_bytes() == jar_bytes("rt.jar")
    assert not (jre.root / "lib" / "rt.jar.pack").exists()
    home = winpath(jre.root).lower()
    start = lines.index(f"checking {home}\\lib\\rt.jar")
    assert lines[start:start + 7] == [
        f"checking {home}\\lib\\rt.jar", "Unpacking JRE", f"{home}\\bin\\unpack200.exe",
        expected_command(jre.root, "lib\\rt.jar"), "waiting for unpack200 to finish", "unpack done",
        "Unpacking JRE done"]
    # Unpacked first, then checked: the old runtime answers only with its rt.jar in place.
    assert lines.index("Unpacking JRE done") < next(i for i, l in enumerate(lines) if l.startswith("checkJavaExe ("))
    assert "got version from execution 1.8.0_201" in lines


def test_every_packed_jar_of_lib_and_lib_ext_is_unpacked_under_one_notice(wine, pack, tmp_path, runtime_registry):
    packed = ["rt.jar", "jsse.jar", "ext/localedata.jar"]
    jre = make_jre(tmp_path / "jre", "1.8.0_201", packed=packed)
    result, lines = run_launcher(wine, pack, tmp_path, jre.root)
    commands = unpack_starts(jre)
    assert sorted(commands[:2]) == sorted(expected_command(jre.root, f"lib\\{n}") for n in ("rt.jar", "jsse.jar"))
    assert commands[2:] == [expected_command(jre.root, "lib\\ext\\localedata.jar")]
    assert result.stdout.replace("\r\n", "\n").count(NOTICE) == 1
    assert lines.count("Unpacking JRE") == 1 and lines.count("Unpacking JRE done") == 1
    for name in packed:
        target = jre.root / "lib" / Path(name)
        assert target.read_bytes() == jar_bytes(name)
        assert not target.with_name(target.name + ".pack").exists()


def test_packed_file_whose_jar_exists_is_left_alone(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", "1.8.0_201")
    leftover = jre.root / "lib" / "rt.jar.pack"
    leftover.write_bytes(b"not used")
    result, lines = run_launcher(wine, pack, tmp_path, jre.root)
    assert unpack_starts(jre) == []
    assert NOTICE not in result.stdout.replace("\r\n", "\n")
    assert f"checking {winpath(jre.root).lower()}\\lib\\rt.jar" in lines
    assert "Unpacking JRE" not in lines and "Unpacking JRE done" not in lines
    assert leftover.read_bytes() == b"not used"


def test_home_without_packed_files_logs_nothing_of_unpacking(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", "17.0.2")
    _, lines = run_launcher(wine, pack, tmp_path, jre.root)
    assert not any(line.startswith(("checking ", "Unpacking")) for line in lines)
    assert unpack_starts(jre) == []


def test_missing_unpack200_ends_the_launcher_with_message_1021(wine, pack, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", "1.8.0_201", packed=["rt.jar"], unpack200=False)
    result, lines = run_launcher(wine, pack, tmp_path, jre.root)
    assert result.returncode == 1
    assert result.stdout.replace("\r\n", "\n") == NOTICE
    assert UNPACK_FAILED in result.stderr
    assert "could not create unpack process" in lines
    assert (jre.root / "lib" / "rt.jar.pack").exists()
    assert not any(line.startswith("checkJavaExe (") for line in lines)
