"""PakFile modes, the file object of open(), test(), and how each kind of failure
surfaces: OSError subclasses with the system's errno, ValueError, KeyError, BadPakFile."""

import errno
import io
import os
import subprocess
import sys
import textwrap

import pytest

import mytarvo

HEADER = b"Tarvo Pak 3 - Orvelund\r\n"


def make_archive(path, entries):
    with mytarvo.PakFile(path, "w") as pak:
        for name, data in entries:
            pak.writestr(name, data)
    return path


def test_modes(tmp_path):
    archive = tmp_path / "modes.pak"
    archive.write_bytes(b"old content that is replaced")
    with mytarvo.PakFile(archive, "w") as pak:
        assert pak.infolist() == []
    assert archive.read_bytes() == HEADER
    with mytarvo.PakFile(archive, "a") as pak:
        pak.writestr("one", b"1")
        assert pak.namelist() == ["one"]
        pak.writestr("two", b"22")
        assert pak.namelist() == ["one", "two"]
    with mytarvo.PakFile(archive) as pak:
        assert [(i.name, i.size, i.is_packed) for i in pak.infolist()] == [("one", 1, False), ("two", 2, False)]
        with pytest.raises(ValueError, match="mode"):
            pak.writestr("three", b"3")
    with pytest.raises(FileExistsError):
        mytarvo.PakFile(archive, "x")
    with mytarvo.PakFile(tmp_path / "new.pak", "x") as pak:
        pak.writestr("n", b"new")
    with pytest.raises(ValueError):
        mytarvo.PakFile(archive, "rw")


def test_info_fields_describe_the_bytes(tmp_path):
    archive = make_archive(tmp_path / "info.pak", [("packed", b"abc" * 100), ("stored", b"xyz"), ("empty", b"")])
    data = archive.read_bytes()
    with mytarvo.PakFile(archive) as pak:
        packed, stored, empty = pak.infolist()
    assert (packed.size, packed.is_packed) == (300, True)
    assert data[packed.header_offset:packed.data_offset] == b"packed\r\n\x01300\r\n%d\r\n" % packed.packed_size
    assert mytarvo.unpack(data[packed.data_offset:packed.data_offset + packed.packed_size]) == b"abc" * 100
    assert data[stored.header_offset:stored.data_offset + 3] == b"stored\r\n\x003\r\nxyz"
    assert (stored.packed_size, stored.is_packed) == (0, False)
    assert (empty.size, empty.packed_size, empty.is_packed) == (0, 0, True)
    assert empty.data_offset == len(data)


def test_missing_paths_and_wrong_kinds_raise_oserror_subclasses(tmp_path):
    plain = tmp_path / "plain"
    plain.write_bytes(b"x")
    cases = [
        (lambda: mytarvo.PakFile(tmp_path / "missing.pak"), FileNotFoundError, errno.ENOENT),
        (lambda: mytarvo.PakFile(tmp_path / "missing.pak", "a"), FileNotFoundError, errno.ENOENT),
        (lambda: mytarvo.PakFile(tmp_path), IsADirectoryError, errno.EISDIR),
        (lambda: mytarvo.PakFile(tmp_path, "w"), IsADirectoryError, errno.EISDIR),
        (lambda: mytarvo.PakFile(plain / "under-a-file.pak", "w"), NotADirectoryError, errno.ENOTDIR),
        (lambda: mytarvo.PakFile(tmp_path / "no-dir" / "x.pak", "x"), FileNotFoundError, errno.ENOENT),
    ]
    for call, kind, number in cases:
        with pytest.raises(kind) as caught:
            call()
        assert caught.value.errno == number
    assert not (tmp_path / "missing.pak").exists()


def test_write_failures(tmp_path):
    with mytarvo.PakFile(tmp_path / "w.pak", "w") as pak:
        with pytest.raises(FileNotFoundError):
            pak.write(tmp_path / "missing")
        with pytest.raises(IsADirectoryError):
            pak.write(tmp_path)
        with pytest.raises(ValueError, match="best"):
            pak.write(tmp_path / "w.pak", store=True, best=True)
        with pytest.raises(ValueError, match="best"):
            pak.writestr("name", b"data", store=True, best=True)
        with pytest.raises(KeyError):
            pak.remove("x")
        with pytest.raises(KeyError):
            pak.rename("x", "y")
        with pytest.raises(TypeError):
            pak.writestr("name", 12345)
        assert pak.infolist() == []


def test_closed_archive_refuses_every_call(tmp_path):
    pak = mytarvo.PakFile(make_archive(tmp_path / "c.pak", [("a", b"1")]), "a")
    pak.close()
    pak.close()
    assert pak.closed
    for call in (pak.infolist, lambda: pak.read("a"), lambda: pak.writestr("b", b"2"), pak.test,
                 lambda: pak.extractall(tmp_path / "out"), lambda: pak.remove("a"), lambda: pak.rename("a", "b")):
        with pytest.raises(ValueError, match="closed"):
            call()


@pytest.mark.parametrize("store", [False, True])
def test_open_streams_the_entry(tmp_path, store):
    content = b"".join(b"%d streamed line\n" % (i % 501) for i in range(30000)) + bytes(range(256)) * 50
    archive = tmp_path / "o.pak"
    with mytarvo.PakFile(archive, "w") as pak:
        pak.writestr("data", content, store=store)
        pak.writestr("empty", b"", store=store)
    with mytarvo.PakFile(archive) as pak, pak.open("data") as f:
        assert pak.getinfo("data").is_packed != store
        assert isinstance(f, io.BufferedIOBase) and f.readable() and not f.writable()
        assert f.read(10) == content[:10]
        chunks = iter(lambda: f.read(7777), b"")
        assert b"".join(chunks) == content[10:]
        assert f.read() == b""
        with pak.open("empty") as e:
            assert e.read() == b""
    assert f.closed


# (case, how the packed entry is damaged) -> the read that meets the damage raises
STREAM_DAMAGE = [
    ("checksum", lambda block: block[:6] + bytes([block[6] ^ 0x10]) + block[7:]),
    ("not_a_block", lambda block: b"XX" + block[2:]),
    ("other_size", lambda block: block[:2] + (46001).to_bytes(4, "little") + block[6:]),
]


@pytest.mark.parametrize("case,damage", STREAM_DAMAGE, ids=[c[0] for c in STREAM_DAMAGE])
def test_open_raises_bad_pak_file_where_the_damage_is_met(tmp_path, case, damage):
    content = b"a line that packs well\n" * 2000  # 46000 bytes
    block = mytarvo.pack(content)
    with pytest.raises(mytarvo.BadPakFile):
        mytarvo.unpack(damage(block))
    archive = tmp_path / "d.pak"
    archive.write_bytes(HEADER + b"bad\r\n\x01%d\r\n%d\r\n" % (len(content), len(block)) + damage(block)
                        + b"cut\r\n\x00100\r\nshort")
    with mytarvo.PakFile(archive) as pak:
        for name in ("bad", "cut"):
            with pak.open(name) as f, pytest.raises(mytarvo.BadPakFile):
                f.read()


def test_test_lists_every_problem(tmp_path):
    archive = make_archive(tmp_path / "t.pak", [("good", b"fine " * 50), ("bad", b"data " * 50)])
    with mytarvo.PakFile(archive) as pak:
        assert pak.test() == []
        bad = pak.getinfo("bad")
    data = bytearray(archive.read_bytes())
    data[bad.data_offset + bad.packed_size - 2] ^= 0xFF
    archive.write_bytes(bytes(data) + b"tail\r\n\x00-1\r\n")
    with mytarvo.PakFile(archive) as pak:
        problems = pak.test()
        assert pak.read("good") == b"fine " * 50
        with pytest.raises(mytarvo.BadPakFile, match="checksum"):
            pak.read("bad")
    assert len(problems) == 2
    assert problems[0].startswith(f"bad (entry at offset {bad.header_offset}): ")
    assert problems[1].startswith("tail (entry at offset")


# A file-size limit makes the system refuse the writes: the errno reaches Python, the
# archive is cut back to what it held and no partial file is left under the real name.
FSIZE_CHILD = textwrap.dedent("""
    import errno, os, random, resource, signal, sys
    import mytarvo
    archive, out = sys.argv[1], sys.argv[2]
    big = random.Random(1).randbytes(200_000)
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (100_000, 100_000))
    with mytarvo.PakFile(archive, "a") as pak:
        try:
            pak.writestr("big", big)
        except OSError as e:
            print("append", errno.errorcode[e.errno])
        print("entries", pak.namelist())
        try:
            pak.extract("stored", out)
        except OSError as e:
            print("extract", errno.errorcode[e.errno])
    print("left", sorted(os.listdir(out)))
""")


def test_file_size_limit_surfaces_as_efbig(tmp_path):
    archive = tmp_path / "limit.pak"
    out = tmp_path / "out"
    out.mkdir()
    make_archive(archive, [("stored", os.urandom(150_000))])
    before = archive.read_bytes()
    result = subprocess.run([sys.executable, "-c", FSIZE_CHILD, str(archive), str(out)],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["append EFBIG", "entries ['stored']", "extract EFBIG", "left []"]
    assert archive.read_bytes() == before


def test_extract_into_an_unusable_directory(tmp_path):
    archive = make_archive(tmp_path / "e.pak", [("a", b"1")])
    (tmp_path / "file").write_bytes(b"")
    with mytarvo.PakFile(archive) as pak:
        with pytest.raises(FileExistsError):
            pak.extract("a", tmp_path / "file")
        with pytest.raises(NotADirectoryError):
            pak.extractall(tmp_path / "file" / "below")
        with pytest.raises(KeyError):
            pak.extract("missing", tmp_path / "out")
        cwd = os.getcwd()
        os.chdir(tmp_path)
        try:
            assert pak.extract("a") == "a"
        finally:
            os.chdir(cwd)
    assert (tmp_path / "a").read_bytes() == b"1"
