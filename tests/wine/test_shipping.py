"""A launcher a team can ship: the packer's [executable] table writes the icon, the version
information, the manifest choices and the subsystem into the packed launcher's image.

The oracles are independent of the packer: Windows' own readers under Wine (testtools/
shipcheck: GetFileVersionInfoW, VerQueryValueW, ExtractIconExW, LoadImageW), python3-pefile
for the PE structure and the checksum, osslsigncode for the signature, and the stand-in
runtime's transcript for a run of the packed launcher.
"""
import re
import shutil
import subprocess
import uuid

import pefile
import pytest

from conftest import BUILD, DIST, NO_JAVA_HOMES, ROOT
from runtimes import make_jre

SHIPCHECK = BUILD / "win64" / "shipcheck.exe"
LAUNCHER_CLASS = "com/ravel/runtime/WinLauncher"

FULL_TABLE = """
[executable]
icon = "app.ico"
file_version = "2.5.1"
product_version = "2.5"
product_name = "Ship Test"
company = "Brightmoor Labs"
description = "Ship test – grüße"
copyright = "© 2026 Brightmoor Labs"
original_filename = "ShipTest.exe"
internal_name = "shiptest"
execution_level = "asInvoker"
dpi_awareness = "per-monitor-v2"
long_path_aware = true
"""


def packer(*args):
    return subprocess.run([str(DIST / "packer"), *map(str, args)], capture_output=True, timeout=60)


def make_icon(path, sizes=(48, 32, 16)):
    """A multi-image icon written by ImageMagick, independent of the packer's own reading."""
    resize = ",".join(str(s) for s in sizes)
    subprocess.run(["convert", "-size", "64x64", "xc:red", "-define", f"icon:auto-resize={resize}", str(path)],
                   check=True, capture_output=True)


def application(tmp_path, table, name="ShipTest.exe", launcher=DIST / "launcher64.exe"):
    """A launcher packed into tmp_path/app, which finds its runtime in the jre folder there."""
    folder = tmp_path / "app"
    folder.mkdir(exist_ok=True)
    make_icon(folder / "app.ico")
    config = folder / "ship.toml"
    config.write_text('[application]\nmain_class = "com.example.Ship"\n\n[java]\nsearch_sequence = ["Bjre"]\n\n'
                      '[service]\nname = "ShipTest' + uuid.uuid4().hex[:8] + '"\n' + table, encoding="utf-8")
    out = folder / name
    completed = packer(launcher, config, out)
    assert completed.returncode == 0, completed.stderr.decode()
    return out


def standin_runtime(tmp_path):
    return make_jre(tmp_path / "app" / "jre", "17.0.2", release={"STANDIN_TRANSCRIPT": "standin.log"})


def shipcheck(wine, exe):
    result = wine.run(SHIPCHECK, [str(exe)])
    assert result.returncode == 0, result.stderr
    return dict(line.split("=", 1) for line in result.stdout.replace("\r\n", "\n").splitlines())


def main_calls(jre):
    return [r for r in jre.records("call") if r.get("method") == "main" and r.get("class") == LAUNCHER_CLASS]


def project_version():
    match = re.search(r"set\(RAVEL_PROJECT_VERSION (\S+)\)", (ROOT / "CMakeLists.txt").read_text())
    return match.group(1)


def test_windows_reads_the_version_information_and_icon(wine, tmp_path):
    exe = application(tmp_path, FULL_TABLE)
    found = shipcheck(wine, exe)
    assert found["translation"] == "040904B0"
    assert found["fixed_file_version"] == "2.5.1.0"
    assert found["fixed_product_version"] == "2.5.0.0"
    assert {k: found.get(k) for k in ("FileVersion", "ProductVersion", "ProductName", "CompanyName",
                                      "FileDescription", "LegalCopyright", "OriginalFilename", "InternalName")} == {
        "FileVersion": "2.5.1", "ProductVersion": "2.5", "ProductName": "Ship Test",
        "CompanyName": "Brightmoor Labs", "FileDescription": "Ship test – grüße",
        "LegalCopyright": "© 2026 Brightmoor Labs", "OriginalFilename": "ShipTest.exe", "InternalName": "shiptest"}
    assert found["icon_groups"] == "1"
    assert found["extracted_icon"] == "32x32"
    for size in (16, 32, 48):
        assert found[f"loaded_icon_{size}"] == f"{size}x{size}"

    image = pefile.PE(str(exe))
    assert image.OPTIONAL_HEADER.CheckSum == image.generate_checksum()
    assert image.sections[-1].Name.rstrip(b"\0") == b".packres"
    last = image.sections[-1]
    alignment = image.OPTIONAL_HEADER.SectionAlignment
    assert image.OPTIONAL_HEADER.SizeOfImage == -(-(last.VirtualAddress + last.Misc_VirtualSize) // alignment) * alignment
    types = {entry.id: len(entry.directory.entries) for entry in image.DIRECTORY_ENTRY_RESOURCE.entries}
    assert types[pefile.RESOURCE_TYPE["RT_ICON"]] == 3
    assert types[pefile.RESOURCE_TYPE["RT_GROUP_ICON"]] == 1
    manifest_entry = next(e for e in image.DIRECTORY_ENTRY_RESOURCE.entries if e.id == 24)
    data = manifest_entry.directory.entries[0].directory.entries[0].data.struct
    manifest = image.get_data(data.OffsetToData, data.Size).decode()
    assert ">PerMonitorV2, PerMonitor</dpiAwareness>" in manifest
    assert ">true</longPathAware>" in manifest
    assert 'level="asInvoker"' in manifest


def test_prebuilt_launchers_carry_the_project_version(wine):
    version = project_version()
    found = shipcheck(wine, DIST / "launcher64.exe")
    assert (found["FileVersion"], found["ProductVersion"]) == (version, version)
    numbers = (version.split(".") + ["0"] * 4)[:4]
    assert found["fixed_file_version"] == ".".join(numbers)
    assert found["icon_groups"] == "0"
    info = pefile.PE(str(DIST / "launcher32.exe"))
    strings = {k.decode(): v.decode() for table in info.FileInfo[0][0].StringTable for k, v in table.entries.items()}
    assert strings["ProductVersion"] == version


def test_a_gui_launcher_runs_and_a_console_one_serves(wine, keepalive, tmp_path):
    gui = application(tmp_path, FULL_TABLE + 'subsystem = "gui"\n', name="ShipGui.exe")
    assert pefile.PE(str(gui)).OPTIONAL_HEADER.Subsystem == 2
    runtime = standin_runtime(tmp_path)
    result = wine.run(gui, ["/run", "a"], env=NO_JAVA_HOMES)
    assert result.returncode == 0, result
    calls = main_calls(runtime)
    assert len(calls) == 1, runtime.records()

    console = application(tmp_path, FULL_TABLE, name="ShipSvc.exe")
    assert pefile.PE(str(console)).OPTIONAL_HEADER.Subsystem == 3
    runtime.clear_records()
    assert wine.run(console, ["/run"], env=NO_JAVA_HOMES).returncode == 0
    assert len(main_calls(runtime)) == 1
    name = "ShipSvc" + uuid.uuid4().hex[:8]
    try:
        installed = wine.run(console, ["/install", name])
        assert (installed.returncode, installed.stdout) == (0, f"Installed service '{name}'.\r\n")
        status = wine.run(console, ["/status", name])
        assert status.returncode == 3 and status.stdout.startswith("Not running."), status
    finally:
        removed = wine.run(console, ["/uninstall", name])
    assert removed.returncode == 0, removed


def test_a_signed_launcher_verifies_runs_and_is_unsigned_when_packed_again(wine, tmp_path):
    exe = application(tmp_path, FULL_TABLE)
    keys = tmp_path / "keys"
    keys.mkdir()
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Ravel Test Signer", "-keyout", str(keys / "key.pem"), "-out", str(keys / "cert.pem")],
                   check=True, capture_output=True)
    signed = exe.with_name("Signed.exe")
    sign = subprocess.run(["osslsigncode", "sign", "-certs", str(keys / "cert.pem"), "-key", str(keys / "key.pem"),
                           "-in", str(exe), "-out", str(signed)], capture_output=True, text=True)
    assert sign.returncode == 0, sign.stdout + sign.stderr
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", str(keys / "cert.pem"), "-in", str(signed)],
                            capture_output=True, text=True)
    assert verify.returncode == 0, verify.stdout + verify.stderr
    assert "Signature verification: ok" in verify.stdout

    runtime = standin_runtime(tmp_path)
    result = wine.run(signed, ["/run"], env=NO_JAVA_HOMES)
    assert result.returncode == 0, result
    assert len(main_calls(runtime)) == 1
    assert shipcheck(wine, signed)["ProductName"] == "Ship Test"

    repacked = exe.with_name("Repacked.exe")
    completed = packer(signed, tmp_path / "app" / "ship.toml", repacked)
    assert completed.returncode == 0, completed.stderr
    assert b"packer: note: the input launcher is signed; the packed launcher is not" in completed.stderr
    security = pefile.PE(str(repacked)).OPTIONAL_HEADER.DATA_DIRECTORY[4]
    assert (security.VirtualAddress, security.Size) == (0, 0)
    assert repacked.read_bytes() == exe.read_bytes()


def test_packing_again_replaces_and_inspect_shows_the_table(tmp_path):
    exe = application(tmp_path, FULL_TABLE)
    again = exe.with_name("Again.exe")
    assert packer(exe, tmp_path / "app" / "ship.toml", again).returncode == 0
    assert again.read_bytes() == exe.read_bytes()

    plain_config = tmp_path / "app" / "plain.toml"
    plain_config.write_text('[application]\nmain_class = "com.example.Ship"\n', encoding="utf-8")
    from_packed, from_prebuilt = tmp_path / "p1.exe", tmp_path / "p2.exe"
    assert packer(exe, plain_config, from_packed).returncode == 0
    assert packer(DIST / "launcher64.exe", plain_config, from_prebuilt).returncode == 0
    assert from_packed.read_bytes() == from_prebuilt.read_bytes()
    assert pefile.PE(str(from_prebuilt)).OPTIONAL_HEADER.CheckSum == pefile.PE(str(from_prebuilt)).generate_checksum()

    printed = packer("inspect", exe)
    assert printed.returncode == 0, printed.stderr
    text = printed.stdout.decode()
    assert text.endswith(FULL_TABLE), text
    assert "[executable]" not in packer("inspect", from_prebuilt).stdout.decode()


@pytest.mark.parametrize("content, reason", [
    (None, 'executable.icon "app.ico" does not exist'),
    (b"\0\0\1\0\2\0" + b"\0" * 16, 'executable.icon "app.ico" is cut short'),
])
def test_a_missing_or_damaged_icon_writes_nothing(tmp_path, content, reason):
    if content is not None:
        (tmp_path / "app.ico").write_bytes(content)
    config = tmp_path / "ship.toml"
    config.write_text('[application]\nmain_class = "a.B"\n\n[executable]\nicon = "app.ico"\n', encoding="utf-8")
    out = tmp_path / "out.exe"
    completed = packer(DIST / "launcher64.exe", config, out)
    assert completed.returncode == 1
    assert completed.stderr.decode().startswith(f"packer: {config}:5: {reason}"), completed.stderr
    assert not out.exists()


def test_an_executable_that_is_not_our_launcher_is_refused(tmp_path):
    config = tmp_path / "app.toml"
    config.write_text('[application]\nmain_class = "a.B"\n', encoding="utf-8")
    foreign = tmp_path / "sleeper.exe"
    shutil.copy(BUILD / "win64" / "sleeper.exe", foreign)
    out = tmp_path / "out.exe"
    completed = packer(foreign, config, out)
    assert completed.returncode == 1
    assert "not a launcher of this project" in completed.stderr.decode()
    assert not out.exists()
