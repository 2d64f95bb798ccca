"""The launcher's own paths, its temp directory and the working directory of setting 146,
seen from outside through the diagnostic log and the usage line."""
import re
from pathlib import Path

import pytest

from conftest import NO_JAVA_HOMES, logged_env, read_log, winpath
from runtimes import make_jre, runtimecheck

BASIC = "setting 101 = PathsTest\nsetting 107 = 0\n"
USAGE = "Usage: {}.exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect"


def with_workdir(value: str) -> str:
    return BASIC + f"setting 146 = {value}\n"


def logged_run(wine, exe, temp: Path, extra_env=None, args=("/help",)):
    """Runs `exe` with the log on and TEMP/TMP at `temp`; returns the result."""
    temp.mkdir(parents=True, exist_ok=True)
    return wine.run(exe, list(args), env={**logged_env(temp), **(extra_env or {})})


def workdir_lines(log: str):
    return re.findall(r"change working directory to ([^\r\n]*)", log)


def test_working_directory_unchanged_without_setting(wine, pack, tmp_path):
    exe = pack(BASIC, directory=tmp_path / "app")
    result = logged_run(wine, exe, tmp_path / "t")
    assert result.returncode == 0
    log = read_log(tmp_path / "t")
    assert "working directory unchanged" in log
    assert workdir_lines(log) == []


def test_working_directory_placeholder_of_the_launcher_directory(wine, pack, tmp_path):
    app = tmp_path / "app"
    exe = pack(with_workdir("%RAVEL_EXEDIR%work"), directory=app)
    (app / "work").mkdir()
    logged_run(wine, exe, tmp_path / "t")
    log = read_log(tmp_path / "t")
    assert workdir_lines(log) == [winpath(app) + "\\work"]
    assert f"expanding2 %RAVEL_EXEDIR% to {winpath(app)}\\ in {winpath(app)}\\work." in log


def test_relative_working_directory_resolved_against_launcher_with_case_kept(wine, pack, tmp_path):
    app = tmp_path / "MixedCase App"
    exe = pack(with_workdir("Sub\\..\\Data\\\\Files"), directory=app)
    (app / "Data" / "Files").mkdir(parents=True)
    logged_run(wine, exe, tmp_path / "t")
    # Normalised by the system, doubled backslashes collapsed, case as written.
    assert workdir_lines(read_log(tmp_path / "t")) == [winpath(app) + "\\Data\\Files"]


def test_working_directory_from_environment_and_temp_placeholders(wine, pack, tmp_path):
    base = tmp_path / "base"
    (base / "x").mkdir(parents=True)
    exe = pack(with_workdir("${RAVEL_WD_BASE}\\x"), directory=tmp_path / "app")
    logged_run(wine, exe, tmp_path / "t", {"RAVEL_WD_BASE": winpath(base)})
    assert workdir_lines(read_log(tmp_path / "t")) == [winpath(base) + "\\x"]

    exe = pack(with_workdir("${launcher:sys.tempDir}"), directory=tmp_path / "app2")
    logged_run(wine, exe, tmp_path / "t2")
    assert workdir_lines(read_log(tmp_path / "t2")) == [winpath(tmp_path / "t2") + "\\"]


def test_unknown_placeholder_stays_in_the_working_directory(wine, pack, tmp_path):
    app = tmp_path / "app"
    exe = pack(with_workdir("${NO_SUCH_VARIABLE_H1}"), directory=app)
    logged_run(wine, exe, tmp_path / "t", {"NO_SUCH_VARIABLE_H1": None})
    assert workdir_lines(read_log(tmp_path / "t")) == [winpath(app) + "\\${NO_SUCH_VARIABLE_H1}"]


def test_launcher_in_folder_outside_the_code_page_finds_itself(wine, pack, tmp_path):
    folder = tmp_path / "日本語フォルダ"
    exe = pack(with_workdir("%RAVEL_EXEDIR%work"), name="jp.exe", directory=folder)
    (folder / "work").mkdir()
    result = logged_run(wine, exe, tmp_path / "t")
    # The block was found through the exact wide path, so the configured usage is printed.
    assert result.returncode == 0
    assert result.stdout.replace("\r\n", "\n") == USAGE.format("jp") + "\n"
    log = read_log(tmp_path / "t")
    assert f"init file name {winpath(exe)} {winpath(exe)} " in log
    # Placeholders in a working directory take the 8-bit-derived launcher directory, which
    # here can only be a short form: no character of it may have been lost.
    [directory] = workdir_lines(log)
    assert directory.endswith("\\work")
    assert "?" not in directory and "~" in directory
    assert all(ord(c) < 128 for c in directory)


def test_help_in_folder_outside_the_code_page_without_log(wine, pack, tmp_path):
    exe = pack(BASIC, name="Tool.exe", directory=tmp_path / "Ελληνικά 中文")
    result = wine.run(exe, ["/help"])
    assert result.returncode == 0
    assert result.stdout.replace("\r\n", "\n") == USAGE.format("Tool") + "\n"


@pytest.mark.parametrize("bad_temp, exists", [
    ("missing-parent\\temp", False),   # cannot be created: its parent does not exist
    ("日本語temp", True),                # its 8-bit form loses characters
    ("Rene\u0301temp", True),           # holds a decomposed accent
])
def test_unusable_temp_falls_back_to_the_profile_temp(wine, pack, tmp_path, bad_temp, exists):
    profile = tmp_path / "profile"
    profile_temp = profile / "AppData" / "Local" / "Temp"
    profile_temp.mkdir(parents=True)
    if exists:
        (tmp_path / bad_temp).mkdir()
    temp = winpath(tmp_path) + "\\" + bad_temp
    exe = pack(with_workdir("${launcher:sys.tempDir}"), directory=tmp_path / "app")
    env = {"RAVEL_LOG": "yes", "TEMP": temp, "TMP": temp, "USERPROFILE": winpath(profile)}
    result = wine.run(exe, ["/help"], env=env)
    assert result.returncode == 0
    # The log goes to the chosen temp directory, and the placeholder names the same one.
    log = read_log(profile_temp)
    assert workdir_lines(log) == [winpath(profile_temp)]
    if exists:
        assert not list((tmp_path / bad_temp).iterdir())
    assert not list(tmp_path.glob("**/rvltw*")), "probe directories must be removed"


def test_log_leaves_the_long_temp_path_setting_in_force(wine, pack, tmp_path):
    # The temp folder (without spaces, which would split the option) is given in its short
    # form; setting 10009 makes the 8-bit temp path its long form. The log starts before the
    # configuration is read, and must not fix the temp path before the setting is known:
    # with the log on or off the JVM option that names the temp directory is the same.
    app = tmp_path / "app"
    exe = pack(BASIC + "setting 128 = Bjre\nsetting 122 = com.example.App\n"
               "setting 123 = -Dseen.temp=${launcher:sys.tempDir}\nsetting 10009 = 1\n", directory=app)
    jre = make_jre(app / "jre", "17.0.2")
    temp = tmp_path / "long-temp-folder-name"
    temp.mkdir()
    short = runtimecheck(wine, "shortpath", winpath(temp))["shortpath"]
    assert "~" in short

    def seen_temp(log_on):
        jre.clear_records()
        env = {"TEMP": short, "TMP": short, "RAVEL_LOG": "yes" if log_on else None, "QUILLWORK_LOG": None,
               **NO_JAVA_HOMES}
        result = wine.run(exe, ["/run-redirect"], env=env)
        assert result.returncode == 0, result.stderr
        [created] = jre.records("jvm-create")
        return [o for o in created.options() if o.startswith("-Dseen.temp=")]

    log_off = seen_temp(log_on=False)
    assert log_off == [f"-Dseen.temp={winpath(temp)}\\"]
    assert seen_temp(log_on=True) == log_off
    # The log went to the same folder, and the choice made after the configuration logged
    # its switch to the long form.
    assert f"using long path {winpath(temp)}\\" in read_log(temp)


# A folder name whose 8-bit form holds a byte of 0x80 or above that is not the character of
# the same value: the euro sign is 0x80 in code page 1252, Wine's ANSI code page here.
def test_eight_bit_paths_keep_their_characters_when_widened(wine, pack, tmp_path):
    app = tmp_path / "Kasse€"
    temp = tmp_path / "temp€"
    temp.mkdir()
    jre = make_jre(app / "jre", "17.0.2", release={"STANDIN_TRANSCRIPT": "standin.log"})
    (app / "work").mkdir()
    (app / "payload.txt").write_text("x")
    description = (BASIC + "setting 122 = com.example.App\nsetting 128 = Bjre\n"
                   "setting 146 = %RAVEL_EXEDIR%work\n"
                   "setting 123 = -Dexedir=%RAVEL_EXEDIR% -Dtemp=${launcher:sys.tempDir}\n"
                   'setting 124 = "${RAVEL_TEMPDIR}" "${launcher:sys.jvmHome}"\n'
                   "file payload.txt = payload.txt\n")
    exe = pack(description, directory=app)
    result = wine.run(exe, ["/run-redirect"], env={**logged_env(temp), **NO_JAVA_HOMES, "QUILLWORK_LOG": None})
    log = read_log(temp)
    assert result.returncode == 0, (result, log)
    [create] = jre.records("jvm-create")
    options = create.options()

    def option(prefix):
        [found] = [o[len(prefix):] for o in options if o.startswith(prefix)]
        return found

    # The 8-bit forms hold the folder's characters (nothing was replaced by "?" or a short form).
    assert option("-Dexedir=") == winpath(app) + "\\"
    assert option("-Dtemp=") == winpath(temp) + "\\"
    extraction = option("-Dravel.tempDir=")
    assert extraction.startswith(winpath(temp) + "\\")
    # The working directory made from the 8-bit launcher directory exists: the JVM runs in it.
    assert workdir_lines(log) == [winpath(app) + "\\work"]
    assert create["cwd"] == winpath(app) + "\\work"
    # The application's arguments name the extraction directory and the runtime home exactly
    # as the JVM options do.
    [main] = [r for r in jre.records("call") if r.get("method") == "main"]
    arguments = [main[f"arg0[{i}]"] for i in range(int(main["arg0.length"]))]
    assert arguments[6:8] == [extraction, (winpath(app / "jre" / "bin") + "\\..").lower()]
