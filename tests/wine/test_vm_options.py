"""JVM options from the VM-options file beside the launcher, the files it includes, the
configured option strings, the version-specific entries, the locale arguments, "-J" arguments
and Java argument files: watched through the diagnostic log and the options the stand-in
jvm.dll received."""
import re
from pathlib import Path

import pytest

from conftest import LoggedLauncher, log_lines, winpath
from runtimes import make_jre, standin_file


class VmLauncher(LoggedLauncher):
    """A launcher beside which VM-options files are written; every run is logged into a
    folder of its own and returns the options the stand-in JVM was created with."""

    def __init__(self, wine, pack, directory: Path, jre, settings=None):
        super().__init__(wine, pack, directory,
                         {101: "VmOptionsTest", 128: "A" + winpath(jre.root), 166: "1", **(settings or {})})
        self.jre = jre

    def write(self, relative, text):
        path = self.app / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text.encode("latin-1"))
        return path

    def run(self, args=(), env=None):
        self.jre.clear_records()
        _, log = self.run_logged(["/run", *args], env=env)
        lines = log_lines(log)
        created = self.jre.records("jvm-create")
        assert len(created) == 1, f"expected one JVM creation, log:\n" + "\n".join(lines)
        return created[0].options(), lines

    def own_options(self, options):
        """The options after the launcher's own properties and before the class path."""
        start = next(i for i, o in enumerate(options) if o.startswith("-Dravel.consoleCodepage="))
        end = next(i for i, o in enumerate(options) if o.startswith("-Djava.class.path="))
        return options[start + 1:end]


@pytest.fixture
def launcher(wine, pack, tmp_path):
    return VmLauncher(wine, pack, tmp_path, make_jre(tmp_path / "jre", "17.0.2"))


def test_the_file_named_without_exe_is_preferred(launcher):
    launcher.write("app.vmoptions", "-Dfrom=short\n")
    launcher.write("app.exe.vmoptions", "-Dfrom=long\n")
    options, lines = launcher.run()
    assert launcher.own_options(options) == ["-Dfrom=short"]
    tried = [line for line in lines if line.startswith(("vmoptions2:", "vmoptions:"))]
    assert len(tried) == 1
    assert tried[0].startswith(f"vmoptions2: exe {winpath(launcher.exe)} file: {winpath(launcher.app / 'app.vmoptions')}, file: ")
    assert not tried[0].endswith("file: 0000000000000000")

    (launcher.app / "app.vmoptions").unlink()
    options, lines = launcher.run()
    assert launcher.own_options(options) == ["-Dfrom=long"]
    tried = [line for line in lines if line.startswith(("vmoptions2:", "vmoptions:"))]
    assert tried[0].endswith(f"app.vmoptions, file: 0000000000000000")
    assert tried[1].startswith(f"vmoptions: opts2: {winpath(launcher.app / 'app.exe.vmoptions')}, file: ")
    assert not tried[1].endswith("file: 0000000000000000")
    assert len(tried) == 2


def test_without_a_file_all_four_names_are_tried_and_the_launch_goes_on(launcher):
    options, lines = launcher.run()
    tried = [line for line in lines if line.startswith(("vmoptions2:", "vmoptions:"))]
    # The long path and the module path, each without and with ".exe".
    assert [t.split(":")[0] for t in tried] == ["vmoptions2", "vmoptions", "vmoptions2", "vmoptions"]
    assert all(t.endswith("file: 0000000000000000") for t in tried)
    assert "default vmoptions file: 0000000000000000" in lines
    assert launcher.own_options(options) == []


def test_lines_are_trimmed_and_comment_lines_skipped(launcher):
    launcher.write("app.vmoptions", "  -Xmx512m  \r\n# -Xmx1g\r\n\r\n\t-Dsp=a b\t\n-Dx=1 # big\n-Dlast")
    options, _ = launcher.run()
    assert launcher.own_options(options) == ["-Xmx512m", "-Dsp=a b", "-Dx=1 # big", "-Dlast"]


def test_includes_resolve_against_the_including_file_or_the_launcher_directory(launcher):
    launcher.write("app.vmoptions", "-include-options conf\\main.vmoptions\n-Dafter\n")
    launcher.write("conf/main.vmoptions", "-Dmain\n-include-options common.vmoptions\n")
    launcher.write("conf/common.vmoptions", "-Dconf.common\n")
    launcher.write("common.vmoptions", "-Dapp.common\n")
    options, lines = launcher.run()
    assert launcher.own_options(options) == ["-Dmain", "-Dconf.common", "-Dafter"]
    main = winpath(launcher.app / "conf" / "main.vmoptions")
    common = winpath(launcher.app / "conf" / "common.vmoptions")
    i = lines.index("after exp from conf\\main.vmoptions conf\\main.vmoptions")
    assert re.fullmatch(rf"adding vmoptions from \([0-9A-F]{{16}}\) <{re.escape(main)}> \(conf\\main.vmoptions\)",
                        lines[i + 1])
    assert any(re.fullmatch(rf"adding vmoptions from \([0-9A-F]{{16}}\) <{re.escape(common)}> \(common.vmoptions\)", l)
               for l in lines)
    assert lines.count("adding vmoptions 2") == 2 and lines.count("adding vmoptions 3") == 2


def test_configured_and_j_includes_resolve_against_the_launcher_directory(wine, pack, tmp_path):
    jre = make_jre(tmp_path / "jre", "17.0.2")
    launcher = VmLauncher(wine, pack, tmp_path, jre, {123: "-include-options common.vmoptions", 125: "1"})
    launcher.write("common.vmoptions", "-Dapp.common\n")
    launcher.write("conf/common.vmoptions", "-Dconf.common\n")
    launcher.write("conf/j.vmoptions", "-Dfrom.j\n")
    options, _ = launcher.run(["-J-include-options conf\\j.vmoptions"])
    assert launcher.own_options(options) == ["-Dapp.common", "-Dfrom.j"]


def test_an_include_cycle_reads_each_file_once(launcher):
    # b.vmoptions leads back to app.vmoptions under another spelling of its name.
    launcher.write("app.vmoptions", "-Da\n-include-options conf\\b.vmoptions\n-Da2\n")
    launcher.write("conf/b.vmoptions", "-Db\n-include-options ..\\APP.VMOPTIONS\n-include-options b.vmoptions\n-Db2\n")
    options, lines = launcher.run()
    assert launcher.own_options(options) == ["-Da", "-Db", "-Db2", "-Da2"]
    refusals = [line for line in lines if line.startswith("not reading ")]
    assert len(refusals) == 2
    assert refusals[1] == f"not reading {winpath(launcher.app / 'conf' / 'b.vmoptions')} again: it is already being read"


def test_class_path_override_lines_take_the_last_of_each_kind(launcher):
    launcher.write("app.vmoptions", "-classpath a.jar\n-classpath/p p1.jar\n-classpath b.jar\n"
                                    "-classpath/a z.jar\n-classpath/p p2.jar\n-classpath\n")
    options, _ = launcher.run()
    assert "-Djava.class.path=p2.jar;b.jar;z.jar" in options
    assert launcher.own_options(options) == ["-classpath"]


def test_lines_and_include_operands_are_expanded(launcher):
    launcher.write("app.vmoptions", "-Dvalue=${H9_VALUE}\n-include-options ${H9_INCLUDE}\n")
    launcher.write("conf/x.vmoptions", "-Dincluded\n")
    options, lines = launcher.run(env={"H9_VALUE": "hello", "H9_INCLUDE": "conf\\x.vmoptions"})
    assert launcher.own_options(options) == ["-Dvalue=hello", "-Dincluded"]
    assert "after exp from conf\\x.vmoptions conf\\x.vmoptions" in lines


def test_configured_options_then_the_first_matching_version_entry_then_locale(wine, pack, tmp_path):
    jre = make_jre(tmp_path / "jre", "17.0.2")
    settings = {123: '-Dcfg=1 "-Dspaced=a b"', 10200: "4",
                10201: "9-11", 10202: "-Dnine", 10203: "nodash", 10204: "-Dnodash",
                10205: "17-21", 10206: "-Dmodern -Dmore", 10207: "*17*", 10208: "-Dwild"}
    launcher = VmLauncher(wine, pack, tmp_path, jre, settings)
    launcher.write("app.vmoptions", "-Dfile\n")
    options, lines = launcher.run(["-Dsun.locale.formatasdefault=false"])
    assert launcher.own_options(options) == ["-Dcfg=1", "-Dspaced=a b", "-Dmodern", "-Dmore",
                                             "-Dsun.locale.formatasdefault=false", "-Duser.language=en",
                                             "-Duser.country=US", "-Dfile"]
    assert "check 4 version specific vm option lines for 17.0.2" in lines
    assert "checking min 9 max 11 with 17" in lines
    assert "ERROR: expected dash" in lines
    assert "adding specific -Dmodern -Dmore" in lines
    assert "checking version *17* 1" not in lines

    options, _ = launcher.run(["-Dsun.locale.formatasdefault=true"])
    assert launcher.own_options(options)[4:] == ["-Dsun.locale.formatasdefault=true", "-Dfile"]


def test_an_argument_file_stays_when_the_runtime_has_no_jli(wine, pack, tmp_path):
    jre = make_jre(tmp_path / "jre", "17.0.2")
    (jre.root / "bin" / "jli.dll").unlink(missing_ok=True)
    launcher = VmLauncher(wine, pack, tmp_path, jre, {125: "1"})
    options, lines = launcher.run(["-J@opts.txt"])
    assert "@opts.txt" in options
    found = [line for line in lines if line.startswith("@ argument found ")]
    assert len(found) == 1
    directory = found[0].split(" ", 4)[4]
    assert directory.lower() == winpath(jre.root / "bin").lower()
    assert f"did not find {directory}\\jli.dll" in lines


def test_argument_files_are_expanded_through_the_runtimes_jli(wine, pack, tmp_path):
    jre = make_jre(tmp_path / "jre", "17.0.2")
    jli = jre.root / "bin" / "jli.dll"
    if not jli.exists():
        jli.write_bytes(standin_file("jli.dll", 64).read_bytes())
    launcher = VmLauncher(wine, pack, tmp_path, jre, {125: "1"})
    arguments = launcher.write("opts.txt", "-Dfrom.file=1 -Xmx256m\n--add-opens java.base/java.lang=ALL-UNNAMED\n")
    launcher.write("app.vmoptions", "-Dbefore\n")
    options, _ = launcher.run([f"-J@{winpath(arguments)}", "-J-Dafter"])
    argument_file = f"@{winpath(arguments)}"
    # The file's arguments stand where the "@" option stood, its module option joined with
    # its value after the expansion.
    assert launcher.own_options(options) == ["-Dbefore", "-Dfrom.file=1", "-Xmx256m",
                                             "--add-opens=java.base/java.lang=ALL-UNNAMED", "-Dafter"]

    [init] = jre.records("jli-init")
    assert (init["hasJavaArgs"], init["disableArgFile"]) == ("1", "0")
    asked = jre.records("jli-preprocess")
    # Every option of the list as it was before, in order.
    at = options.index("-Dfrom.file=1")
    assert [r["arg"] for r in asked] == options[:at] + [argument_file] + options[at + 3:]
    assert all(r["expandSourceOpt"] == "1" and r["initialized"] == "1" for r in asked)
    [expanded] = [r for r in asked if r["result"] == "list"]
    assert expanded["count"] == "4"
    # The array is released before the record that held it.
    assert [r["what"] for r in jre.records("jli-free")] == ["elements", "list"]


@pytest.mark.parametrize("content, encoding", [
    ("\ufeff# erste Zeile: élève\r\n-Dname=élève\r\n-Dprice=5€\r\n".encode("utf-8"), "UTF-8 with byte-order mark"),
    ("# erste Zeile: élève\n-Dname=élève\n-Dprice=5€\n".encode("utf-8"), "UTF-8"),
    ("# erste Zeile: élève\r\n-Dname=élève\r\n-Dprice=5€\r\n".encode("cp1252"), "ANSI code page"),
], ids=["utf8-bom", "utf8", "cp1252"])
def test_a_file_in_utf8_with_or_without_mark_or_in_the_ansi_code_page_gives_the_written_options(
        launcher, content, encoding):
    (launcher.app / "app.vmoptions").write_bytes(content)
    options, lines = launcher.run()
    assert launcher.own_options(options) == ["-Dname=élève", "-Dprice=5€"]
    assert f"vmoptions encoding: {encoding}" in lines
