"""The stand-in Java runtime and its fixtures, checked on their own under wine64, so that a
failing runtime-search test points at the launcher and not at its test equipment."""
import re
import subprocess

import pytest

from conftest import quote_argument, winpath
from runtimes import (NATIVE_UCRTBASE, PACK_HEADER, RECORD_FILE, STANDIN_DIRS, filetime_of, jar_bytes, make_jdk,
                      make_jre, pack_jar, read_records, run_like_probe, runtime_registry,  # noqa: F401
                      runtimecheck, slash_key, version_cache_key)

BANNER_17 = ('openjdk version "17.0.2" 2022-01-18\r\n'
             'OpenJDK Runtime Environment (build 17.0.2+8)\r\n'
             'OpenJDK 64-Bit Server VM (build 17.0.2+8, mixed mode, sharing)\r\n')
BANNER_18 = ('java version "1.8.0_201"\r\n'
             'Java(TM) SE Runtime Environment (build 1.8.0_201-b09)\r\n'
             'Java HotSpot(TM) 64-Bit Server VM (build 1.8.0_201-b09, mixed mode)\r\n')

JNI_ERR, JNI_EVERSION = -1, -3
ERROR_BAD_EXE_FORMAT = 193
REG_SZ, REG_BINARY = 1, 3


def same_path(a, b):
    return str(a).lower() == str(b).lower()


# ---------------------------------------------------------------------------------------
# java.exe / javaw.exe


def test_banner_follows_the_release_version_in_both_numberings(wine, tmp_path):
    new = make_jre(tmp_path / "jre17", "17.0.2", version_date="2022-01-18")
    old = make_jre(tmp_path / "jre8", "1.8.0_201")
    for runtime, banner in ((new, BANNER_17), (old, BANNER_18)):
        result = wine.run(runtime.java_exe, ["-version"])
        assert (result.returncode, result.stdout, result.stderr) == (0, "", banner)
    old.set_release(JAVA_VERSION="1.7.0_80", JAVA_RUNTIME_VERSION=None)
    assert wine.run(old.java_exe, ["-version"]).stderr == (
        'java version "1.7.0_80"\r\n'
        'Java(TM) SE Runtime Environment (build 1.7.0_80)\r\n'
        'Java HotSpot(TM) 64-Bit Server VM (build 1.7.0_80, mixed mode)\r\n')


@pytest.mark.parametrize("program", ["java.exe", "javaw.exe"])
def test_probe_style_start_reads_the_banner_from_standard_error(wine, tmp_path, program):
    jre = make_jre(tmp_path / "jre", "11.0.2", runtime_version="11.0.2+9")
    exe = jre.root / "bin" / program
    result = run_like_probe(wine, tmp_path, f'"{winpath(exe)}" -version')
    assert result["status"] == "exited" and result["code"] == "0"
    assert result["stderr"].splitlines()[0] == 'openjdk version "11.0.2"'
    assert "(build 11.0.2+9)" in result["stderr"]
    assert [r["program"] for r in jre.records("start")] == [program]


def test_start_through_the_short_path_finds_its_runtime(wine, tmp_path):
    jre = make_jre(tmp_path / "a long folder name" / "jre", "1.8.0_201")
    short = runtimecheck(wine, "shortpath", winpath(jre.java_exe))["shortpath"]
    assert "~" in short
    result = run_like_probe(wine, tmp_path, f'"{short}" -version')
    assert (result["code"], result["stderr"]) == ("0", BANNER_18)
    [start] = jre.starts()
    assert start["command"] == f'"{short}" -version'


def test_jdk_programs_share_the_release_and_record_file_of_the_jdk(wine, tmp_path):
    jdk = make_jdk(tmp_path / "jdk8", "1.8.0_201")
    assert not (jdk.root / "jre" / "release").exists()
    for exe in (jdk.java_exe, jdk.root / "jre" / "bin" / "java.exe"):
        result = wine.run(exe, ["-version"])
        assert (result.returncode, result.stderr) == (0, BANNER_18)
    modules = [r["module"] for r in jdk.records("start")]
    assert len(modules) == 2
    assert same_path(modules[0], winpath(jdk.java_exe))
    assert same_path(modules[1], winpath(jdk.root / "jre" / "bin" / "java.exe"))
    assert not (jdk.root / "jre" / RECORD_FILE).exists()


def test_each_start_is_recorded_with_command_line_and_visible_options_variables(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    exe = winpath(jre.java_exe)
    wine.run(jre.java_exe, raw="-version", env={"_JAVA_OPTIONS": "-Xmx8m -Da=b",
                                                "JAVA_TOOL_OPTIONS": None, "JDK_JAVA_OPTIONS": None})
    wine.run(jre.java_exe, raw="-version", env={"_JAVA_OPTIONS": None, "JAVA_TOOL_OPTIONS": "-Dt=1",
                                                "JDK_JAVA_OPTIONS": "--jdk"})
    first, second = jre.starts()
    assert first["command"] == quote_argument(exe) + " -version"
    assert first["env:_JAVA_OPTIONS"] == "-Xmx8m -Da=b"
    assert "env:JAVA_TOOL_OPTIONS" not in first.fields and "env:JDK_JAVA_OPTIONS" not in first.fields
    assert "env:_JAVA_OPTIONS" not in second.fields
    assert (second["env:JAVA_TOOL_OPTIONS"], second["env:JDK_JAVA_OPTIONS"]) == ("-Dt=1", "--jdk")
    assert first["pid"] != second["pid"]


def test_record_file_can_be_redirected_and_escapes_control_characters(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    elsewhere = tmp_path / "records.log"
    wine.run(jre.java_exe, raw="-version", env={"STANDIN_RECORD": winpath(elsewhere),
                                                "_JAVA_OPTIONS": "a\tb%c"})
    assert not jre.record_file.exists()
    [record] = read_records(elsewhere, "start")
    assert record["env:_JAVA_OPTIONS"] == "a\tb%c"
    assert "a%09b%25c" in elsewhere.read_text()


@pytest.mark.parametrize("code", [3, 259])
def test_configured_exit_code_follows_the_banner(wine, tmp_path, code):
    jre = make_jre(tmp_path / "jre", release={"STANDIN_EXIT_CODE": str(code)})
    result = run_like_probe(wine, tmp_path, f'"{winpath(jre.java_exe)}" -version')
    assert (result["status"], result["code"]) == ("exited", str(code))
    assert 'openjdk version "17.0.2"' in result["stderr"]


def test_verbatim_banner_file_replaces_the_banner(wine, tmp_path):
    odd = 'openjdk version "21-ea\r\nno quote closes the line above\n'
    jre = make_jre(tmp_path / "jre", release={"STANDIN_BANNER": "odd.txt"})
    (jre.root / "odd.txt").write_bytes(odd.encode())
    result = wine.run(jre.java_exe, ["-version"])
    assert (result.returncode, result.stderr) == (0, odd)


@pytest.mark.parametrize("hang, open_at_timeout", [("1", "1"), ("stderr-closed", "0")])
def test_hanging_runtime_is_ended_only_by_the_timeout(wine, tmp_path, hang, open_at_timeout):
    jre = make_jre(tmp_path / "jre", release={"STANDIN_HANG": hang})
    result = run_like_probe(wine, tmp_path, f'"{winpath(jre.java_exe)}" -version', timeout_ms=2000)
    assert result["status"] == "timeout"
    assert result["stderr-open-at-timeout"] == open_at_timeout
    assert result["stderr"].startswith('openjdk version "17.0.2"\r\n')
    assert len(jre.starts()) == 1


def test_refusals_are_reported_with_a_nonzero_exit(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    not_version = wine.run(jre.java_exe, ["-cp", "app.jar", "Main"])
    assert not_version.returncode == 1 and "only answers -version" in not_version.stderr
    bad_code = make_jre(tmp_path / "bad", release={"STANDIN_EXIT_CODE": "3x"})
    assert wine.run(bad_code.java_exe, ["-version"]).returncode == 1
    (jre.root / "release").unlink()
    no_release = wine.run(jre.java_exe, ["-version"])
    assert no_release.returncode == 1 and 'version "' not in no_release.stderr
    assert len(jre.starts()) == 2  # refused starts are recorded too


def test_old_runtime_answers_only_once_its_class_library_is_unpacked(wine, tmp_path):
    jre = make_jre(tmp_path / "jre8", "1.8.0_201", packed=["rt.jar"])
    assert (jre.root / "lib" / "rt.jar.pack").exists() and not (jre.root / "lib" / "rt.jar").exists()
    before = wine.run(jre.java_exe, ["-version"])
    assert before.returncode == 1
    assert before.stderr.startswith("Error occurred during initialization of VM")
    packed = winpath(jre.root / "lib" / "rt.jar.pack")
    jar = winpath(jre.root / "lib" / "rt.jar")
    unpack = run_like_probe(wine, tmp_path, f'-r "{packed}" "{jar}"', program=jre.root / "bin" / "unpack200.exe")
    assert unpack["code"] == "0"
    after = wine.run(jre.java_exe, ["-version"])
    assert (after.returncode, after.stderr) == (0, BANNER_18)


# ---------------------------------------------------------------------------------------
# unpack200.exe


def test_unpack200_as_the_launcher_calls_it_restores_the_jar(wine, tmp_path):
    jre = make_jre(tmp_path / "jre", packed=["rt.jar", "ext/localedata.jar"])
    packed = jre.root / "lib" / "ext" / "localedata.jar.pack"
    jar = jre.root / "lib" / "ext" / "localedata.jar"
    command = f'-r "{winpath(packed)}" "{winpath(jar)}"'
    result = run_like_probe(wine, tmp_path, command, program=jre.root / "bin" / "unpack200.exe")
    assert (result["status"], result["code"]) == ("exited", "0")
    assert jar.read_bytes() == jar_bytes("ext/localedata.jar")
    # Without the program name in front, "-r" is taken as the program name, so the packed
    # file stays for the caller to delete.
    assert packed.exists()
    [start] = jre.starts("unpack200.exe")
    assert start["command"] == command


def test_unpack200_with_program_name_removes_the_packed_file_on_request(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    jar = tmp_path / "x.jar"
    original = jar_bytes("x.jar")
    jar.write_bytes(original)
    packed = pack_jar(jar)
    assert packed.read_bytes() == PACK_HEADER + original and not jar.exists()
    result = wine.run(jre.root / "bin" / "unpack200.exe", ["-r", winpath(packed), winpath(jar)])
    assert result.returncode == 0
    assert jar.read_bytes() == original and not packed.exists()


def test_unpack200_refuses_bad_input_without_leaving_a_jar(wine, tmp_path):
    unpack200 = make_jre(tmp_path / "jre").root / "bin" / "unpack200.exe"
    not_packed = tmp_path / "plain.jar.pack"
    not_packed.write_bytes(jar_bytes("plain.jar"))
    out = tmp_path / "plain.jar"
    assert wine.run(unpack200, [winpath(not_packed), winpath(out)]).returncode == 1
    assert wine.run(unpack200, [winpath(tmp_path / "missing.jar.pack"), winpath(out)]).returncode == 1
    assert not out.exists() and not_packed.exists()
    for usage in ([winpath(not_packed)], ["-x", winpath(not_packed), winpath(out)], ["-l"]):
        assert wine.run(unpack200, usage).returncode == 2


# ---------------------------------------------------------------------------------------
# jvm.dll


def exports(dll, bits):
    """{export name: RVA} of a DLL, from objdump's export tables."""
    tool = "x86_64-w64-mingw32-objdump" if bits == 64 else "i686-w64-mingw32-objdump"
    text = subprocess.run([tool, "-p", str(dll)], check=True, stdout=subprocess.PIPE, text=True).stdout
    addresses = dict(re.findall(r"\[\s*(\d+)\] \+base\[\s*\d+\] ([0-9a-f]+) Export RVA", text))
    names = text.split("[Ordinal/Name Pointer] Table", 1)[1].split("\n\n", 1)[0]
    return {name: addresses[index] for index, name in re.findall(r"\[\s*(\d+)\] (\S+)", names)}


def test_jvm_export_names_of_both_bitnesses():
    plain = {"JNI_CreateJavaVM", "JNI_GetCreatedJavaVMs", "JNI_GetDefaultJavaVMInitArgs"}
    sixty_four = exports(STANDIN_DIRS[64] / "jvm.dll", 64)
    assert set(sixty_four) == plain
    thirty_two = exports(STANDIN_DIRS[32] / "jvm.dll", 32)
    decorated = {"_JNI_CreateJavaVM@12": "JNI_CreateJavaVM",
                 "_JNI_GetCreatedJavaVMs@12": "JNI_GetCreatedJavaVMs",
                 "_JNI_GetDefaultJavaVMInitArgs@4": "JNI_GetDefaultJavaVMInitArgs"}
    assert set(thirty_two) == plain | set(decorated)
    for name, alias_of in decorated.items():
        assert thirty_two[name] == thirty_two[alias_of]
    assert len({thirty_two[n] for n in plain}) == 3


def test_standin_files_have_the_bitness_of_their_build():
    for bits, machine in ((64, "x86-64"), (32, "i386")):
        for name in ("java.exe", "javaw.exe", "unpack200.exe", "jvm.dll", "ucrtbase.dll"):
            text = subprocess.run(["objdump", "-f", str(STANDIN_DIRS[bits] / name)], check=True,
                                  stdout=subprocess.PIPE, text=True).stdout
            assert f"file format pei-{machine}" in text, (bits, name)


def test_loaded_jvm_resolves_the_invocation_functions_and_records_which_file_loaded(wine, tmp_path):
    jre = make_jre(tmp_path / "jre", jvm=("client", "server"))
    result = runtimecheck(wine, "load", winpath(jre.jvm_dll("server")))
    assert result.returncode == 0
    assert all(result[n] == "found" for n in
               ("JNI_CreateJavaVM", "JNI_GetDefaultJavaVMInitArgs", "JNI_GetCreatedJavaVMs"))
    [load] = jre.records("jvm-load")
    assert same_path(load["module"], winpath(jre.jvm_dll("server")))


def test_jvm_of_the_other_bitness_fails_to_load(wine, tmp_path):
    jre = make_jre(tmp_path / "jre", jvm=(), broken_jvm=("server",))
    result = runtimecheck(wine, "load", winpath(jre.jvm_dll("server")))
    assert (result.returncode, result["loaded"], result["error"]) == (2, "0", str(ERROR_BAD_EXE_FORMAT))
    assert jre.records() == []


def test_jdk_jvm_in_embedded_jre_records_into_the_jdk(wine, tmp_path):
    jdk = make_jdk(tmp_path / "jdk", "1.8.0_201")
    assert jdk.jvm_dll().parent.parent == jdk.root / "jre" / "bin"
    assert runtimecheck(wine, "load", winpath(jdk.jvm_dll())).returncode == 0
    assert len(jdk.records("jvm-load")) == 1


def test_create_records_the_request_and_reports_that_no_vm_started(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    options = ["-Xmx64m", r"-Djava.class.path=C:\a b\x.jar;y.jar", "-Dname=café"]
    result = runtimecheck(wine, "create", winpath(jre.jvm_dll()), "0x00010002", "1", *options)
    assert result.returncode == 0
    assert (result["default"], result["result"]) == ("0", str(JNI_ERR))
    assert (result["vm"], result["env"], result["created"], result["count"]) == ("null", "null", "0", "0")
    [create] = jre.records("jvm-create")
    assert (create["version"], create["nOptions"], create["ignoreUnrecognized"]) == ("0x00010002", "3", "1")
    assert create.options() == options
    assert create["result"] == str(JNI_ERR)
    assert [r.kind for r in jre.records()] == [
        "jvm-load", "jvm-default-init-args", "jvm-create", "jvm-created-vms"]


def test_create_refuses_an_unsupported_jni_version(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    result = runtimecheck(wine, "create", winpath(jre.jvm_dll()), "0x00010001", "0", "-Xrs")
    assert (result["default"], result["result"]) == (str(JNI_EVERSION), str(JNI_EVERSION))
    [create] = jre.records("jvm-create")
    assert (create["version"], create["ignoreUnrecognized"], create.options()) == ("0x00010001", "0", ["-Xrs"])


def test_ucrtbase_records_its_load(wine, tmp_path):
    jre = make_jre(tmp_path / "jre", ucrtbase=True)
    result = runtimecheck(wine, "load", winpath(jre.root / "bin" / "ucrtbase.dll"), unix_env=NATIVE_UCRTBASE)
    assert result["loaded"] == "1"
    [load] = jre.records("ucrtbase-load")
    assert same_path(load["module"], winpath(jre.root / "bin" / "ucrtbase.dll"))


# ---------------------------------------------------------------------------------------
# Layout and registry fixtures


def test_layouts_match_what_a_runtime_search_derives_from_a_home(tmp_path):
    jre = make_jre(tmp_path / "jre", jvm=("client",), packed=["ext/a.jar"])
    assert (jre.root / "bin" / "client" / "jvm.dll").exists()
    assert not (jre.root / "bin" / "server").exists()
    assert (jre.root / "lib" / "ext" / "a.jar.pack").exists()
    new_jdk = make_jdk(tmp_path / "jdk17", "17.0.2", tools_jar=False)
    assert new_jdk.jvm_dll() == new_jdk.root / "bin" / "server" / "jvm.dll" and new_jdk.jvm_dll().exists()
    assert not (new_jdk.root / "jre").exists() and not (new_jdk.root / "lib" / "tools.jar").exists()
    old_jdk = make_jdk(tmp_path / "jdk8", "1.8.0_201")
    for part in ("bin/java.exe", "bin/javaw.exe", "jre/bin/java.exe", "jre/bin/server/jvm.dll",
                 "jre/lib/rt.jar", "lib/tools.jar"):
        assert (old_jdk.root / part).exists(), part
    assert not (old_jdk.root / "bin" / "server").exists()
    no_javaw = make_jre(tmp_path / "nojavaw", javaw=False, unpack200=False)
    assert not no_javaw.javaw_exe.exists() and not (no_javaw.root / "bin" / "unpack200.exe").exists()


def test_fixture_file_time_is_the_one_the_file_search_reports(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    result = runtimecheck(wine, "filetime", winpath(jre.java_exe))
    assert int(result["filetime"]) == filetime_of(jre.java_exe)


def test_registry_fixture_writes_the_runtime_search_keys(wine, tmp_path, runtime_registry):
    jre = make_jre(tmp_path / "jre", "1.8.0_201")
    jdk = make_jdk(tmp_path / "jdk", "11.0.2")
    registry = runtime_registry
    (registry
     .javasoft("JRE", "1.8", {"1.8": jre, "1.8.0_201": jre})
     .javasoft("JDK", "11", {"11": jdk}, view=32)
     .located(jre.java_exe, hive="HKLM")
     .shared("share-key", jdk.java_exe)
     .installations("app-id", [tmp_path / "App1", tmp_path / "App 2"])
     .version_cache(jre.java_exe, "1.8.0_201")
     .apply())

    def string(value):
        assert value is not None and value[0] == REG_SZ
        return value[1].decode("utf-16-le").rstrip("\0")

    assert string(registry.read_value("HKLM", r"SOFTWARE\JavaSoft\JRE", "CurrentVersion")) == "1.8"
    assert string(registry.read_value("HKLM", r"SOFTWARE\JavaSoft\JRE\1.8.0_201", "JavaHome")) == jre.win
    assert string(registry.read_value("HKLM", r"SOFTWARE\JavaSoft\JDK\11", "JavaHome", view=32)) == jdk.win
    assert registry.read_value("HKLM", r"SOFTWARE\JavaSoft\JDK\11", "JavaHome", view=64) is None
    assert string(registry.read_value("HKCU", r"SOFTWARE\brightmoor-labs\quillwork\installations", "app-id")) \
        == f"{winpath(tmp_path / 'App1')};{winpath(tmp_path / 'App 2')}"
    located = r"HKLM\SOFTWARE\brightmoor-labs\ravel\locatedjvms" + "\\" + slash_key(jre.java_exe)
    assert wine.command("reg", "query", located).returncode == 0
    shared = r"HKCU\SOFTWARE\brightmoor-labs\quillwork\sharedjvms\share-key" + "\\" + slash_key(jdk.java_exe)
    assert wine.command("reg", "query", shared).returncode == 0

    cache = version_cache_key(jre.java_exe)
    cached_path = cache.split("\\jvms\\", 1)[1]
    assert cached_path == winpath(jre.java_exe).lower().replace("\\", "/")
    time_type, time = registry.read_value("HKCU", cache, "LastWriteTime")
    assert (time_type, int.from_bytes(time, "little")) == (REG_BINARY, filetime_of(jre.java_exe))
    assert registry.read_value("HKCU", cache, "Version") == (REG_SZ, "1.8.0_201".encode("utf-16-le"))

    registry.clear()
    assert registry.read_value("HKLM", r"SOFTWARE\JavaSoft\JRE", "CurrentVersion") is None
    assert registry.read_value("HKCU", cache, "Version") is None
    assert wine.command("reg", "query", located).returncode != 0
