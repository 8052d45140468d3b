"""Entry names as str or bytes: any stored name round-trips, lookups take the first entry
of a name, and names that cannot stand in an archive are refused."""

import os

import pytest

import mytarvo

NAMES = [
    ("ascii", "plain.txt"),
    ("utf8", "grüße-ünïcode-名前.txt"),
    ("latin1_bytes", b"caf\xe9.txt"),  # not UTF-8: becomes a surrogate-escaped str
    ("high_bytes", b"\xff\xfe\x80name"),
    ("spaces_and_dots", "  leading spaces and a trailing dot."),
]


@pytest.mark.parametrize("label,name", NAMES, ids=[n[0] for n in NAMES])
def test_name_round_trips_as_str_and_bytes(tmp_path, label, name):
    raw = os.fsencode(name)
    text = os.fsdecode(raw)
    archive = tmp_path / "names.pak"
    with mytarvo.PakFile(archive, "w") as pak:
        pak.writestr(name, label.encode())
    with mytarvo.PakFile(archive) as pak:
        (info,) = pak.infolist()
        assert info.name_bytes == raw and info.name == text
        assert pak.namelist() == [text]
        assert pak.read(text) == pak.read(raw) == label.encode()
        assert pak.getinfo(raw) == pak.getinfo(text) == info
        written = pak.extract(text, tmp_path / "out")
    assert os.fsencode(written) == os.path.join(os.fsencode(tmp_path / "out"), raw)
    assert open(os.fsencode(written), "rb").read() == label.encode()


def test_file_names_are_stored_as_their_file_part(tmp_path):
    raw = b"dir\xe9"
    os.mkdir(os.path.join(os.fsencode(tmp_path), raw))
    source = os.path.join(os.fsencode(tmp_path), raw, b"file\xff.bin")
    with open(source, "wb") as f:
        f.write(b"content")
    with mytarvo.PakFile(tmp_path / "a.pak", "w") as pak:
        pak.write(source)
        pak.write(os.fsdecode(source), arcname="renamed")
        assert [i.name_bytes for i in pak.infolist()] == [b"file\xff.bin", b"renamed"]


def test_repeated_names_read_the_first_and_extract_all_keeps_the_last(tmp_path):
    archive = tmp_path / "dup.pak"
    with mytarvo.PakFile(archive, "w") as pak:
        pak.writestr("same", b"first")
        pak.writestr("other", b"x")
        pak.writestr("same", b"second")
        assert pak.namelist() == ["same", "other", "same"]
        assert pak.read("same") == b"first"
        assert pak.read(pak.infolist()[2]) == b"second"
        assert pak.getinfo("same").header_offset == 24
        pak.extractall(tmp_path / "all")
        pak.extract("same", tmp_path / "one")
        pak.extractall(tmp_path / "chosen", members=["same", pak.infolist()[1]])
    assert (tmp_path / "all" / "same").read_bytes() == b"second"
    assert (tmp_path / "one" / "same").read_bytes() == b"first"
    assert sorted(os.listdir(tmp_path / "chosen")) == ["other", "same"]
    assert (tmp_path / "chosen" / "same").read_bytes() == b"first"


def test_name_lookup_is_exact(tmp_path):
    with mytarvo.PakFile(tmp_path / "case.pak", "w") as pak:
        pak.writestr("A.TXT", b"upper")
        for missing in ("a.txt", "A.TXT ", b"A.TX", "dir/A.TXT"):
            with pytest.raises(KeyError):
                pak.read(missing)
        with pytest.raises(TypeError):
            pak.read(42)


@pytest.mark.parametrize("name", ["", "a\nb", "a\rb", "a\0b", "dir/name", "..", ".", "a\\b", b"x/y"])
def test_unstorable_or_unsafe_names_are_refused(tmp_path, name):
    archive = tmp_path / "refused.pak"
    with mytarvo.PakFile(archive, "w") as pak:
        with pytest.raises(ValueError):
            pak.writestr(name, b"data")
        source = tmp_path / "source"
        source.write_bytes(b"data")
        with pytest.raises(ValueError):
            pak.write(source, arcname=name)
        assert pak.infolist() == []
    assert archive.stat().st_size == 24
