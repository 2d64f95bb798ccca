"""The launcher's entry: usage line, command words and the data block check."""
import pytest

USAGE = "Usage: {}.exe /install | /uninstall | /stop | /start | /status | /run | /run-redirect"

BASIC = "setting 101 = EntryTest\nsetting 107 = 0\n"


@pytest.mark.parametrize("word", ["/help", "-help", "--help", "/?"])
def test_help_words_print_usage_with_own_name(wine, pack, word):
    exe = pack(BASIC, name="My Tool.exe")
    result = wine.run(exe, [word])
    assert result.returncode == 0
    assert result.stdout.replace("\r\n", "\n") == USAGE.format("My Tool") + "\n"


@pytest.mark.parametrize("args", [["/Help"], []])
def test_unknown_word_and_no_arguments_go_to_the_dispatcher(wine, pack, args):
    exe = pack(BASIC)
    result = wine.run(exe, args)
    assert result.returncode == 0
    assert "Usage:" not in result.stdout


def test_launcher_without_block_fails(wine, tmp_path):
    import shutil
    from conftest import DIST
    bare = tmp_path / "bare.exe"
    shutil.copy(DIST / "launcher64.exe", bare)
    assert wine.run(bare, ["/help"]).returncode == 1


def test_bad_magic_fails(wine, pack):
    exe = pack(BASIC)
    data = bytearray(exe.read_bytes())
    # The magic is the first word of the block, which the packer wrote at the end of the
    # last section; find it from the back, where the block is.
    magic = (0xE8E413D5).to_bytes(4, "little")
    at = data.rfind(magic)
    assert at > 0
    data[at] ^= 0xFF
    exe.write_bytes(bytes(data))
    assert wine.run(exe, ["/help"]).returncode == 1
