"""The stand-in Java runtime and its fixtures, checked on their own under wine64, so that a
failing runtime-search test points at the launcher and not at its test equipment."""
import re
import subprocess

import pytest

from conftest import quote_argument, winpath
from runtimes import (ABORT_EXIT_CODE, COMMON, JNI_EEXIST, JNI_EINVAL, JNI_ERR, JNI_EVERSION, MAIN_SIGNATURE,
                      NATIVE_UCRTBASE, PACK_HEADER, QUILLWORK_LAUNCHER, RAVEL_LAUNCHER, RECORD_FILE, SPLASH_SIGNATURE,
                      STANDIN_DIRS, WNDPROC, Do, JavaWorld, filetime_of, jar_bytes, jli_expand, jnihost,
                      launch_main, make_jdk, make_jre, pack_jar, read_records, read_transcript, run_like_probe,
                      runtime_registry, runtimecheck, slash_key, standin_options,  # noqa: F401
                      transcript_path, version_cache_key)

BANNER_17 = ('openjdk version "17.0.2" 2022-01-18\r\n'
             'OpenJDK Runtime Environment (build 17.0.2+8)\r\n'
             'OpenJDK 64-Bit Server VM (build 17.0.2+8, mixed mode, sharing)\r\n')
BANNER_18 = ('java version "1.8.0_201"\r\n'
             'Java(TM) SE Runtime Environment (build 1.8.0_201-b09)\r\n'
             'Java HotSpot(TM) 64-Bit Server VM (build 1.8.0_201-b09, mixed mode)\r\n')

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


def test_jli_export_names_of_both_bitnesses():
    plain = {"JLI_InitArgProcessing", "JLI_PreprocessArg", "JLI_MemFree"}
    assert set(exports(STANDIN_DIRS[64] / "jli.dll", 64)) == plain
    thirty_two = exports(STANDIN_DIRS[32] / "jli.dll", 32)
    decorated = {"_JLI_InitArgProcessing@8": "JLI_InitArgProcessing", "_JLI_PreprocessArg@8": "JLI_PreprocessArg",
                 "_JLI_MemFree@4": "JLI_MemFree"}
    assert set(thirty_two) == plain | set(decorated)
    for name, alias_of in decorated.items():
        assert thirty_two[name] == thirty_two[alias_of]


def test_standin_files_have_the_bitness_of_their_build():
    for bits, machine in ((64, "x86-64"), (32, "i386")):
        for name in ("java.exe", "javaw.exe", "unpack200.exe", "jvm.dll", "jli.dll", "ucrtbase.dll"):
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


def test_create_records_the_request_and_lists_the_created_vm(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    options = ["-Xmx64m", r"-Djava.class.path=C:\a b\x.jar;y.jar", "-Dname=café"]
    result = runtimecheck(wine, "create", winpath(jre.jvm_dll()), "0x00010002", "0", *options)
    assert result.returncode == 0
    assert (result["default"], result["result"]) == ("0", "0")
    assert (result["vm"], result["env"], result["created"], result["count"]) == ("set", "set", "0", "1")
    assert (result["listed"], result["destroy"]) == ("same", "0")
    [create] = jre.records("jvm-create")
    assert (create["version"], create["nOptions"], create["ignoreUnrecognized"]) == ("0x00010002", "3", "0")
    assert create.options() == options
    assert (create["result"], create["ignored"], create["jniVersion"]) == ("0", "0", "0x000a0000")
    assert [r.kind for r in jre.records()] == [
        "jvm-load", "jvm-default-init-args", "jvm-create", "jvm-created-vms", "destroy-start", "destroy-end"]


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
# The stand-in VM: creation (runtimecheck creates on the process's main thread)

RECOGNISED = ["-Dx=y", "-Dflag", "-Xmx64m", "-Xss512k", "-Xrs", "-Xcheck:jni", r"--module-path=C:\m",
              "--add-opens=app/com.example=com.ravel.runtime", "--add-modules=app,com.ravel.runtime",
              "--add-exports=java.base/sun.nio=ALL-UNNAMED", "-ea", "-ea:com.example...", "-dsa", "-verbose:gc",
              "-agentlib:jdwp=transport=dt_socket", "-javaagent:a.jar", "-XX:+UseG1GC", "-XX:MaxRAMPercentage=50",
              "exit"]


def create(wine, jre, ignore, *options, version="0x00010002"):
    return runtimecheck(wine, "create", winpath(jre.jvm_dll()), version, "1" if ignore else "0", *options)


def test_recognised_options_are_accepted_without_the_ignore_flag(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    assert create(wine, jre, False, *RECOGNISED)["result"] == "0"
    [record] = jre.records("jvm-create")
    assert record.options() == RECOGNISED
    assert (record["ignored"], record["onMainThread"]) == ("0", "1")
    assert record["thread"] == record["mainThread"] and "stackRequest" not in record.fields


@pytest.mark.parametrize("option, message", [
    ("-foo", "Unrecognized option: -foo"),
    ("-client", "Unrecognized option: -client"),
    # A module option split in two, as a command line gives it, is not a VM option.
    ("--add-opens", "Unrecognized option: --add-opens"),
    ("-XX:+NoSuchFlag", "Unrecognized VM option '+NoSuchFlag'"),
])
def test_unrecognised_option_fails_creation_unless_ignored(wine, tmp_path, option, message):
    jre = make_jre(tmp_path / "jre")
    refused = create(wine, jre, False, "-Da=b", option)
    assert (refused["result"], refused["vm"], refused["count"]) == (str(JNI_ERR), "null", "0")
    assert create(wine, jre, True, "-Da=b", option)["result"] == "0"
    first, second = jre.records("jvm-create")
    assert (first["result"], first["error"]) == (str(JNI_ERR), message)
    assert (second["ignored"], second["ignored0"]) == ("1", option)
    # The VM's own switch for unknown -XX flags works even without the ignore flag.
    if option.startswith("-XX:"):
        assert create(wine, jre, False, "-XX:+IgnoreUnrecognizedVMOptions", option)["result"] == "0"


@pytest.mark.parametrize("option, message", [
    ("-Xss1.5m", "Invalid thread stack size: -Xss1.5m"),
    ("-Xss2mb", "Invalid thread stack size: -Xss2mb"),
    ("-Xss2g", "Invalid thread stack size: -Xss2g"),
    ("-Xmx1q", "Invalid maximum heap size: -Xmx1q"),
])
def test_malformed_sizes_fail_creation_even_when_ignoring(wine, tmp_path, option, message):
    jre = make_jre(tmp_path / "jre")
    assert create(wine, jre, True, option)["result"] == str(JNI_EINVAL)
    [record] = jre.records("jvm-create")
    assert record["error"] == message


def test_a_runtime_of_the_old_numbering_knows_no_module_options_and_no_newer_jni(wine, tmp_path):
    jre = make_jre(tmp_path / "jre8", "1.8.0_201")
    assert create(wine, jre, True, "--add-opens=a/b=c", "-Xss1m")["result"] == "0"
    assert create(wine, jre, True, version="0x00090000")["result"] == str(JNI_EVERSION)
    first, second = jre.records("jvm-create")
    assert (first["ignored"], first["ignored0"], first["jniVersion"]) == ("1", "--add-opens=a/b=c", "0x00010008")
    assert second["result"] == str(JNI_EVERSION)


def test_creation_fails_when_the_release_file_or_a_property_asks(wine, tmp_path):
    jre = make_jre(tmp_path / "jre", release={"STANDIN_CREATE_RESULT": "-4"})
    assert create(wine, jre, True, "-Da=b")["result"] == "-4"
    failed = create(wine, jre, True, "-Dstandin.createResult=-1")
    assert (failed["result"], failed["vm"], failed["env"]) == ("-1", "null", "null")
    assert [r["result"] for r in jre.records("jvm-create")] == ["-4", "-1"]
    assert all("failure requested" in r["error"] for r in jre.records("jvm-create"))


@pytest.mark.parametrize("script, message", [
    ("class com/ravel/runtime/WinLauncher\nstatic main ([Ljava/lang/String;)V\njump 3\n", "line 3: unknown word 'jump'"),
    ("class com/ravel/runtime/WinLauncher\nstatic main ([Ljava/lang/String;)V\nthrow com/example/Gone x\n",
     "line 3: throw names the undefined class com/example/Gone"),
    ("# comment\nreturn\n", "line 2: 'return' outside a method"),
    ("class a/B extends a/Missing\n", "class a/B extends a/Missing, which is not defined"),
    ("class a/B\nstatic f (I)Z\nreturn maybe\n", "line 3: expected true or false, found 'maybe'"),
])
def test_faulty_script_fails_creation_naming_the_fault(wine, tmp_path, script, message):
    jre = make_jre(tmp_path / "jre")
    path = tmp_path / "world.standin"
    path.write_text(script, encoding="utf-8")
    assert create(wine, jre, True, *standin_options(path))["result"] == str(JNI_ERR)
    record = read_transcript(transcript_path(path)).create()
    assert message in record["error"] and winpath(path) in record["error"]


# ---------------------------------------------------------------------------------------
# The stand-in VM driven as the launcher drives it (jnihost)


def world_runtime(tmp_path, world, version="17.0.2"):
    jre = make_jre(tmp_path / "jre", version)
    jre.use_world(world)
    return jre


def test_class_and_method_lookups_report_their_outcome(wine, tmp_path):
    world = JavaWorld().remove_class(COMMON).cls(QUILLWORK_LAUNCHER).remove_method("main", MAIN_SIGNATURE)
    jre = world_runtime(tmp_path, world)
    lines = [f"class {RAVEL_LAUNCHER}",
             f"class {COMMON}",
             f"static {RAVEL_LAUNCHER} main {MAIN_SIGNATURE}",
             f"static {QUILLWORK_LAUNCHER} main {MAIN_SIGNATURE}",
             f"method {RAVEL_LAUNCHER} main {MAIN_SIGNATURE}",
             "method java/lang/IllegalStateException toString ()Ljava/lang/String;",
             "static java/lang/System setProperty (Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;",
             "class java.lang.String"]
    (tmp_path / "lookups.txt").write_text("\n".join(lines) + "\n")
    result = jnihost(wine, "lookups", winpath(jre.jvm_dll()), winpath(tmp_path / "lookups.txt"))
    no_main = "java.lang.NoSuchMethodError: main"
    assert [(result[f"lookup{i}"], result[f"lookup{i}.exception"]) for i in range(len(lines))] == [
        ("found", ""), ("missing", f"java.lang.NoClassDefFoundError: {COMMON}"), ("found", ""),
        ("missing", no_main), ("missing", no_main), ("found", ""), ("found", ""),
        ("missing", "java.lang.NoClassDefFoundError: java.lang.String")]
    transcript = jre.transcript()
    # jnihost's own exception report looks up java/lang/Object's toString; leave those out.
    asked = [entry for entry in transcript.lookups() if "java/lang/Object" not in entry]
    assert asked == [
        ("FindClass", RAVEL_LAUNCHER, "found"), ("FindClass", COMMON, "missing"),
        ("FindClass", RAVEL_LAUNCHER, "found"), ("GetStaticMethodID", RAVEL_LAUNCHER, "main", MAIN_SIGNATURE, "found"),
        ("FindClass", QUILLWORK_LAUNCHER, "found"),
        ("GetStaticMethodID", QUILLWORK_LAUNCHER, "main", MAIN_SIGNATURE, "missing"),
        ("FindClass", RAVEL_LAUNCHER, "found"), ("GetMethodID", RAVEL_LAUNCHER, "main", MAIN_SIGNATURE, "missing"),
        ("FindClass", "java/lang/IllegalStateException", "found"),
        ("GetMethodID", "java/lang/IllegalStateException", "toString", "()Ljava/lang/String;", "found"),
        ("FindClass", "java/lang/System", "found"),
        ("GetStaticMethodID", "java/lang/System", "setProperty",
         "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;", "found"),
        ("FindClass", "java.lang.String", "missing")]
    assert transcript.violations() == [("FindClass", "class-name-format")]


MAIN_ARGUMENTS = ["false", "com.example.App", "", r"C:\Programme\Zürich", "日本語 テスト", "emoji 😀",
                  "lone \ud800 surrogate", 'quote " inside', "tab\tand\nline"]


@pytest.mark.parametrize("launcher", [RAVEL_LAUNCHER, QUILLWORK_LAUNCHER])
def test_main_receives_its_string_array_exactly(wine, tmp_path, launcher):
    jre = world_runtime(tmp_path, JavaWorld().main(Do.note("in main"), launcher=launcher))
    result = launch_main(wine, jre, ["-Dapp=1"], MAIN_ARGUMENTS, cls=launcher)
    assert result.returncode == 0
    assert [result[k] for k in ("create", "class", "main", "exception", "destroy")] == ["0", "found", "found", "", "0"]
    transcript = jre.transcript()
    assert transcript.options() == ["-Dapp=1"]
    [call] = transcript.calls(launcher, "main")
    assert call.static and call.signature == MAIN_SIGNATURE and call.args == [MAIN_ARGUMENTS]
    assert call.record["arg0.class"] == "[Ljava/lang/String;"
    assert (transcript.index("call", method="main") < transcript.index("note") <
            transcript.index("return", method="main") < transcript.index("destroy-start") <
            transcript.index("destroy-end"))
    assert transcript.violations() == []


@pytest.mark.parametrize("declare, thrown, message, text", [
    (None, "java/lang/IllegalStateException", "config ünreadable", "java.lang.IllegalStateException: config ünreadable"),
    ("com/example/AppFailure", "com/example/AppFailure", None, "com.example.AppFailure"),
])
def test_exception_thrown_by_main_is_pending_with_its_text(wine, tmp_path, declare, thrown, message, text):
    world = JavaWorld()
    if declare:
        world.cls(declare, extends="java/lang/RuntimeException")
    world.main(Do.throw(thrown, message), Do.note("not reached"))
    jre = world_runtime(tmp_path, world)
    result = launch_main(wine, jre)
    assert (result["exception"], result["destroy"]) == (text, "0")
    assert result["__stderr__"] == (f'Exception in thread "main" {text}\r\n'
                                    "\tat com.ravel.runtime.WinLauncher.main(Unknown Source)\r\n")
    transcript = jre.transcript()
    assert transcript.of("note") == []
    first = transcript.of("exception-thrown")[0]
    assert (first["class"], first["origin"], first["text"]) == (thrown, "com.ravel.runtime.WinLauncher.main", text)
    [returned] = transcript.of("return")[:1]
    assert (returned["method"], returned["exception"]) == ("main", thrown)
    assert transcript.index("return", method="main") < transcript.index("exception-occurred", pending=thrown)
    assert transcript.of("exception-describe")[0]["class"] == thrown
    assert transcript.violations() == []


def test_destroy_waits_for_the_non_daemon_thread_only(wine, tmp_path):
    world = JavaWorld().main(Do.thread(3000), Do.thread(60000, daemon=True), Do.sleep(300), Do.note("main ends"))
    jre = world_runtime(tmp_path, world)
    result = launch_main(wine, jre)
    assert (result.returncode, result["destroy"]) == (0, "0")
    assert 280 <= int(result["mainMs"]) < 3000
    assert int(result["destroyMs"]) >= 1000
    transcript = jre.transcript()
    started = {r["name"]: r["daemon"] for r in transcript.of("thread-start")}
    assert started == {"Thread-0": "0", "Thread-1": "1"}
    assert (transcript.index("note") < transcript.index("destroy-start") <
            transcript.index("thread-done", name="Thread-0") < transcript.index("destroy-end"))
    assert transcript.of("destroy-start")[0]["waitingFor"] == "Thread-0"
    assert transcript.of("destroy-end")[0]["daemonThreads"] == "Thread-1"
    assert [r["name"] for r in transcript.of("thread-done")] == ["Thread-0"]


@pytest.mark.parametrize("given, line, eof", [("0\n", "0\n", "0"), ("0\r\nmore\n", "0\r\n", "0"), ("", "", "1")])
def test_main_reading_a_line_from_standard_input_exits_with_its_code(wine, tmp_path, given, line, eof):
    jre = world_runtime(tmp_path, JavaWorld().main(Do.read_line(), Do.exit(7), Do.note("not reached")))
    result = launch_main(wine, jre, input=given)
    assert result.returncode == 7
    assert "mainMs" not in result.values and "destroy" not in result.values
    transcript = jre.transcript()
    [read] = transcript.of("stdin-line")
    assert (read["line"], read["eof"], read["hex"]) == (line, eof, line.encode().hex())
    [ended] = transcript.of("exit")
    assert (ended["code"], ended["origin"]) == ("7", "com.ravel.runtime.WinLauncher.main")
    assert transcript.kinds()[-1] == "exit"


def test_stack_reservation_and_thread_of_the_creating_thread_are_recorded(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    small = launch_main(wine, jre, ["-Xss512k"], stack=524288)
    large = launch_main(wine, jre, ["-Xss4m"], stack=4 * 1048576)
    first, second = jre.records("jvm-create")
    assert (first["stackRequest"], first["stackRequestFlags"]) == ("524288", "0x00010000")
    # Wine reserves at least 1 MB for any thread, so the request is what tells 512 KB apart.
    assert int(first["stackReservation"]) >= 524288
    assert (second["stackRequest"], second["stackReservation"]) == ("4194304", "4194304")
    assert (first["thread"], first["mainThread"], first["onMainThread"]) == (
        small["vmThread"], small["hostMainThread"], "0")
    assert second["thread"] == large["vmThread"] != large["hostMainThread"]


def test_calls_made_with_an_exception_pending_are_violations(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    result = jnihost(wine, "check", winpath(jre.jvm_dll()), "pending")
    # String's toString, called on the exception, still runs the exception's own.
    assert (result["text"], result["afterDescribe"], result["destroy"]) == (
        "java.lang.IllegalStateException: pending text", "clear", "0")
    transcript = read_transcript(jre.record_file)
    assert transcript.violations() == [
        ("FindClass", "pending-exception"), ("GetMethodID", "pending-exception"),
        ("CallObjectMethodV", "pending-exception"), ("CallObjectMethodV", "receiver-class")]
    assert all("IllegalStateException pending" in r["detail"] for r in transcript.of("jni-violation")
               if r["rule"] == "pending-exception")
    # Entering Java dropped the exception, so ExceptionDescribe found nothing to print.
    [dropped] = transcript.of("exception-dropped")
    assert dropped["class"] == "java/lang/IllegalStateException"
    assert transcript.index("exception-dropped") < transcript.index("call", method="toString")
    assert transcript.of("exception-describe")[0]["class"] == ""
    assert "Exception in thread" not in result["__stderr__"]


def test_strings_in_modified_utf8_and_utf16(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    result = jnihost(wine, "check", winpath(jre.jvm_dll()), "strings")
    assert (result["modifiedLength"], result["modifiedText"]) == ("5", "a\0b😀")
    assert (result["utfBytes"], result["utfLength"]) == ("78eda080c3a9", "6")
    assert result["region"] == f"{0xD800},{0xE9}"
    assert result["regionException"] == "java.lang.StringIndexOutOfBoundsException: offset 2, count 5, length 3"
    assert result["fourByteText"] == "😀"
    violations = [(r["function"], r["rule"]) for r in jre.records("jni-violation")]
    assert violations == [("NewStringUTF", "invalid-modified-utf8")]
    [end] = jre.records("destroy-end")
    assert end["unreleasedStrings"] == "0"


def test_window_procedure_object_is_called_through_a_global_reference(wine, tmp_path):
    world = (JavaWorld().cls(WNDPROC)
             .method("onNcHitTest", "(IIZ)I", Do.note("hit test"), Do.ret(18))
             .method("isFullscreen", "()Z", Do.ret(True)))
    jre = world_runtime(tmp_path, world)
    result = jnihost(wine, "check", winpath(jre.jvm_dll()), "objects")
    assert [result[k] for k in ("sameClass", "hitTest", "fullscreen", "getEnv", "sameEnv")] == ["1", "18", "1", "0", "1"]
    assert (result["refType"], result["refTypeAfterDelete"]) == ("2", "0")
    transcript = jre.transcript()
    assert [(c.method, c.receiver, c.args) for c in transcript.calls(WNDPROC)] == [
        ("onNcHitTest", WNDPROC, [10, -20, True]), ("isFullscreen", WNDPROC, []),
        ("fireStateChangedLaterOnce", WNDPROC, [])]
    assert [c.function for c in transcript.calls(WNDPROC)] == ["CallIntMethodV", "CallBooleanMethodV",
                                                               "CallVoidMethodV"]
    assert [(r["op"], r["class"]) for r in transcript.of("global-ref")] == [("new", WNDPROC), ("delete", WNDPROC)]
    assert transcript.violations() == [("DeleteGlobalRef", "deleted-reference")]
    assert transcript.of("destroy-end")[0]["liveGlobalRefs"] == "0"


@pytest.mark.parametrize("version, jni", [("17.0.2", 0x000A0000), ("1.8.0_201", 0x00010008), ("21.0.1", 0x00150000)])
def test_threads_attach_detach_and_find_their_environment(wine, tmp_path, version, jni):
    jre = make_jre(tmp_path / "jre", version)
    result = jnihost(wine, "check", winpath(jre.jvm_dll()), "threads")
    assert [result[k] for k in ("getEnvBefore", "attach", "sameEnv", "detach", "getEnvAfter", "attachDaemon")] == [
        "-2", "0", "1", "0", "-2", "0"]
    assert result["version"] == str(jni)
    attached = [(r["threadName"], r["daemon"]) for r in jre.records("attach")]
    assert attached == [("helper", "0"), ("Thread-0", "1")]
    [end] = jre.records("destroy-end")
    assert end["daemonThreads"] == "Thread-0"
    assert jre.records("destroy-start")[0]["waitingFor"] == ""


def test_splash_arguments_and_system_properties_arrive_exactly(wine, tmp_path):
    splash_jre = make_jre(tmp_path / "splash")
    assert jnihost(wine, "check", winpath(splash_jre.jvm_dll()), "splash")["called"] == "ok"
    splash = [r for r in read_records(splash_jre.record_file) if r.kind == "call"]
    [call] = [r for r in splash if r["method"] == "initAwtSplashConfig"]
    assert (call["class"], call["signature"]) == (RAVEL_LAUNCHER, SPLASH_SIGNATURE)
    assert read_transcript(splash_jre.record_file).calls(RAVEL_LAUNCHER, "initAwtSplashConfig")[0].args == [
        True, False, "one", 1, 2, "", 3, 4, "café", -5, 6, "four", 7, 8]

    property_jre = make_jre(tmp_path / "property")
    result = jnihost(wine, "check", winpath(property_jre.jvm_dll()), "property", "--",
                     r"-Dravel.moduleName=C:\PROGRA~1\app.exe")
    assert (result["previous"], result["second"]) == (r"C:\PROGRA~1\app.exe", r"C:\Программы\app.exe")
    assert read_transcript(property_jre.record_file).properties_set() == [
        ("ravel.moduleName", r"C:\Программы\app.exe"), ("ravel.moduleName", "ravel.moduleName")]


@pytest.mark.parametrize("check, function, kind, text", [
    ("unimplemented", "GetStaticFieldID", "unimplemented", "unimplemented JNI function GetStaticFieldID"),
    ("deleted-reference", "GetStringLength", "abort",
     "deleted-reference: a local reference used after it was deleted"),
])
def test_unusable_calls_are_recorded_and_abort_the_process(wine, tmp_path, check, function, kind, text):
    jre = make_jre(tmp_path / "jre")
    result = jnihost(wine, "check", winpath(jre.jvm_dll()), check)
    assert result.returncode == ABORT_EXIT_CODE
    assert result["calling"] == function and "returned" not in result.values
    last = jre.records()[-1]
    assert (last.kind, last["function"], last["text"]) == (kind, function, text)
    assert text in result["__stderr__"]


def test_script_is_found_through_the_class_path_and_the_transcript_can_be_named(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    script = JavaWorld().main(Do.note("scripted")).write(tmp_path / "app.standin")
    class_path = f"-Djava.class.path={winpath(tmp_path / 'lib.jar')};{winpath(script)}"
    launch_main(wine, jre, [class_path])
    assert [r["text"] for r in read_transcript(tmp_path / "app.transcript").of("note")] == ["scripted"]
    named = tmp_path / "elsewhere.log"
    launch_main(wine, jre, standin_options(script, named))
    assert [r["text"] for r in read_transcript(named).of("note")] == ["scripted"]
    assert len(read_transcript(tmp_path / "app.transcript").of("jvm-create")) == 1
    assert jre.records("jvm-create") == []


# ---------------------------------------------------------------------------------------
# jli.dll

ARGUMENT_FILE = (
    "# options of the application\n"
    "-Xmx1g   -Dsingle='a b'\n"
    '-Dpath="C:\\\\Program Files\\\\app"  c:\\Program" "Files\n'
    '"-Descaped=tab\\there"  -Dhash=a#b  # a comment after arguments\n'
    "-Dcontinued=one\\\n"
    "      two\n"
    '""\n'
    "@nested.txt\n"
    '"an open quote ends with its line\n'
    "last\n"
)
EXPANDED = ["-Xmx1g", "-Dsingle=a b", r"-Dpath=C:\Program Files\app", r"c:\Program Files", "-Descaped=tab\there",
            "-Dhash=a#b", "-Dcontinued=onetwo", "", "@nested.txt", "an open quote ends with its line", "last"]


def expansion(result, n):
    return [result[f"arg{n}[{i}]"] for i in range(int(result[f"arg{n}.count"]))]


def test_jli_expands_an_argument_file_as_the_java_command_does(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    options = tmp_path / "app options.txt"
    options.write_bytes(ARGUMENT_FILE.encode())
    result = jli_expand(wine, jre, "-Dbefore=1", "@" + winpath(options), "@@literal", "@", "-Dafter=2")
    assert result.returncode == 0
    assert (result["arg0"], result["arg1"], result["arg3"], result["arg4"]) == ("null", "list", "null", "null")
    assert expansion(result, 1) == EXPANDED
    assert expansion(result, 2) == ["@literal"]
    [init] = jre.records("jli-init")
    assert (init["hasJavaArgs"], init["disableArgFile"]) == ("1", "0")
    calls = jre.records("jli-preprocess")
    assert [(r["arg"], r["result"]) for r in calls] == [
        ("-Dbefore=1", "null"), ("@" + winpath(options), "list"), ("@@literal", "list"), ("@", "null"),
        ("-Dafter=2", "null")]
    assert calls[1]["file"] == winpath(options) and calls[1]["count"] == str(len(EXPANDED))
    assert [r["what"] for r in jre.records("jli-free")] == ["elements", "list", "elements", "list"]


def test_jli_stops_expanding_after_disable(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    plain = tmp_path / "plain.txt"
    plain.write_text("-Da=1\n")
    stopping = tmp_path / "stopping.txt"
    stopping.write_text("-Db=2 --disable-@files -Dc=3\n")
    direct = jli_expand(wine, jre, "@" + winpath(plain), "--disable-@files", "@" + winpath(plain))
    assert (expansion(direct, 0), direct["arg1"], direct["arg2"]) == (["-Da=1"], "null", "null")
    from_file = jli_expand(wine, jre, "@" + winpath(stopping), "@" + winpath(plain))
    assert (expansion(from_file, 0), from_file["arg1"]) == (["-Db=2", "--disable-@files", "-Dc=3"], "null")
    disabled = jli_expand(wine, jre, "@" + winpath(plain), disable=True)
    assert disabled["arg0"] == "null"


def test_jli_missing_argument_file_ends_the_process(wine, tmp_path):
    jre = make_jre(tmp_path / "jre")
    missing = winpath(tmp_path / "missing.txt")
    result = jli_expand(wine, jre, "@" + missing, "-Dnever=1")
    assert result.returncode == 1
    assert result["__stderr__"] == f"Error: could not open `{missing}'\r\n"
    assert "arg0" not in result.values and "arg1" not in result.values
    [call] = jre.records("jli-preprocess")
    assert (call["file"], call["result"]) == (missing, "error")


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
    for part in ("bin/java.exe", "bin/javaw.exe", "bin/jli.dll", "jre/bin/java.exe", "jre/bin/server/jvm.dll",
                 "jre/lib/rt.jar", "lib/tools.jar"):
        assert (old_jdk.root / part).exists(), part
    assert not (old_jdk.root / "bin" / "server").exists()
    no_javaw = make_jre(tmp_path / "nojavaw", javaw=False, unpack200=False, jli=False)
    assert not no_javaw.javaw_exe.exists() and not (no_javaw.root / "bin" / "unpack200.exe").exists()
    assert not no_javaw.jli_dll.exists()
    assert jre.jli_dll == jre.root / "bin" / "jli.dll" and jre.jli_dll.exists()
    assert old_jdk.jli_dll == old_jdk.root / "jre" / "bin" / "jli.dll" and old_jdk.jli_dll.exists()


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
