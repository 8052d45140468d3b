"""Damaged and hostile archives: every failure is BadPakFile (or a refused entry), nothing
is written outside the extraction directory or through a link, and the interpreter
survives whatever the archive holds."""

import os
import random

import pytest

import mytarvo
from conftest import HEADER, entry

GOOD = b"good content " * 20
BLOCK = mytarvo.pack(GOOD)


def flipped(block: bytes, at: int) -> bytes:
    return block[:at] + bytes([block[at] ^ 0x40]) + block[at + 1:]


# (case, entries after the header line, {entry name: expected content, or None when
# reading it raises BadPakFile}, names extraction writes, problems test() reports)
CASES = [
    ("parent_dir", entry(b"../evil", 0, 3, data=b"bad"), {b"../evil": b"bad"}, set(), 0),
    ("sub_dir", entry(b"sub/evil", 0, 3, data=b"bad"), {b"sub/evil": b"bad"}, set(), 0),
    ("backslash", entry(b"..\\evil", 0, 3, data=b"bad"), {b"..\\evil": b"bad"}, set(), 0),
    ("dot_names", entry(b".", 0, 1, data=b"x") + entry(b"..", 0, 1, data=b"y") + entry(b"", 0, 1, data=b"z"),
     {b".": b"x", b"..": b"y", b"": b"z"}, set(), 0),
    ("cut_short_stored", entry(b"cut", 0, 100, data=b"short"), {b"cut": None}, set(), 1),
    ("cut_short_packed", entry(b"cut", 1, len(GOOD), len(BLOCK), BLOCK[:12]), {b"cut": None}, set(), 1),
    ("not_a_block", entry(b"nb", 1, 20, 14, b"X" * 14), {b"nb": None}, set(), 1),
    ("no_block", entry(b"none", 1, 20, 0), {b"none": None}, set(), 1),
    ("block_for_empty", entry(b"e", 1, 0, len(BLOCK), BLOCK), {b"e": None}, set(), 1),
    ("size_smaller", entry(b"small", 1, 10, len(BLOCK), BLOCK), {b"small": None}, set(), 1),
    ("size_huge", entry(b"huge", 1, 2147483647, len(BLOCK), BLOCK), {b"huge": None}, set(), 1),
    ("bad_checksum", entry(b"sum", 1, len(GOOD), len(BLOCK), flipped(BLOCK, len(BLOCK) - 3)), {b"sum": None},
     set(), 1),
    ("stored_huge", entry(b"big", 0, 2147483647, data=b"x"), {b"big": None}, set(), 1),
    ("negative_size", entry(b"ok", 0, 2, data=b"hi") + entry(b"neg", 0, -5) + entry(b"hidden", 0, 1, data=b"h"),
     {b"ok": b"hi"}, {b"ok"}, 1),
    ("negative_packed", entry(b"negp", 1, 10, -1) + entry(b"ok", 0, 1, data=b"k"), {}, set(), 1),
    ("hex_and_binary_sizes", entry(b"hex", 0, b" +$5", data=b"12345") + entry(b"bin", 0, b"%11", data=b"abc"),
     {b"hex": b"12345", b"bin": b"abc"}, {b"hex", b"bin"}, 0),
    ("wrapping_size", entry(b"wrap", 0, b"4294967301", data=b"12345"), {b"wrap": b"12345"}, {b"wrap"}, 0),
    ("lf_and_cr_lines", b"lf\n\x00" + b"2\n" + b"ab" + b"cr\r\x003\r" + b"xyz", {b"lf": b"ab", b"cr": b"xyz"},
     {b"lf", b"cr"}, 0),
]


def directory_listing(root):
    return sorted(os.path.relpath(os.path.join(d, f), root) for d, dirs, files in os.walk(root) for f in dirs + files)


@pytest.mark.parametrize("case,body,readable,extracted,problems", CASES, ids=[c[0] for c in CASES])
def test_hostile_archive(tmp_path, case, body, readable, extracted, problems):
    archive = tmp_path / "hostile.pak"
    archive.write_bytes(HEADER + body)
    out = tmp_path / "out"
    with mytarvo.PakFile(archive) as pak:
        assert {info.name_bytes for info in pak.infolist()} >= set(readable)
        for name, content in readable.items():
            if content is None:
                with pytest.raises(mytarvo.BadPakFile):
                    pak.read(name)
                with pak.open(name) as stream, pytest.raises(mytarvo.BadPakFile):
                    stream.read()
            else:
                assert pak.read(name) == content
                with pak.open(name) as stream:
                    assert stream.read() == content
        assert len(pak.test()) == problems
        if extracted == {info.name_bytes for info in pak.infolist()}:
            pak.extractall(out)
        else:
            with pytest.raises(mytarvo.BadPakFile):
                pak.extractall(out)
    assert directory_listing(tmp_path) == sorted(["hostile.pak", "out"] + [os.path.join("out", os.fsdecode(n)) for n in extracted])
    for name in extracted:
        assert (out / os.fsdecode(name)).read_bytes() == readable[name]


def test_absolute_name_is_refused(tmp_path):
    target = os.fsencode(tmp_path / "escaped")
    archive = tmp_path / "hostile.pak"
    archive.write_bytes(HEADER + entry(target, 0, 3, data=b"bad"))
    with mytarvo.PakFile(archive) as pak:
        with pytest.raises(mytarvo.BadPakFile, match="unsafe"):
            pak.extract(target, tmp_path / "out")
    assert not (tmp_path / "escaped").exists()


@pytest.mark.parametrize("body", [b"", b"PK\x03\x04 not an archive", b"Tarvo Pak 2 - Orvelund\r\n"])
def test_files_without_the_header_line_are_not_archives(tmp_path, body):
    archive = tmp_path / "other.bin"
    archive.write_bytes(body)
    for mode in ("r", "a"):
        with pytest.raises(mytarvo.BadPakFile, match="not an archive"):
            mytarvo.PakFile(archive, mode)
    assert archive.read_bytes() == body


@pytest.mark.parametrize("link_to", ["file", "directory"])
def test_extraction_replaces_a_link_instead_of_following_it(tmp_path, link_to):
    victim = tmp_path / "victim"
    if link_to == "file":
        victim.write_bytes(b"untouched")
    else:
        victim.mkdir()
    out = tmp_path / "out"
    out.mkdir()
    (out / "a.txt").symlink_to(victim)
    archive = tmp_path / "links.pak"
    with mytarvo.PakFile(archive, "w") as pak:
        pak.writestr("a.txt", b"archived")
        assert pak.extract("a.txt", out) == os.path.join(str(out), "a.txt")
    assert not (out / "a.txt").is_symlink()
    assert (out / "a.txt").read_bytes() == b"archived"
    if link_to == "file":
        assert victim.read_bytes() == b"untouched"
    else:
        assert list(victim.iterdir()) == []


def mutations(valid: bytes, count: int):
    rng = random.Random(7)
    for _ in range(count):
        data = bytearray(valid)
        kind = rng.randrange(3)
        if kind == 0:
            for _ in range(rng.randrange(1, 6)):
                data[rng.randrange(len(HEADER), len(data))] = rng.randrange(256)
        elif kind == 1:
            del data[rng.randrange(len(HEADER), len(data)):]
        else:
            at = rng.randrange(len(HEADER), len(data))
            data[at:at] = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 8)))
        yield bytes(data)


def test_mutated_archives_fail_only_with_bad_pak_file(tmp_path):
    source = tmp_path / "valid.pak"
    with mytarvo.PakFile(source, "w") as pak:
        pak.writestr("text", b"some text that packs well, " * 40)
        pak.writestr("stored", b"tiny")
        pak.writestr("zeros", bytes(3000))
    valid = source.read_bytes()
    archive = tmp_path / "mutated.pak"
    out = tmp_path / "out"
    for number, data in enumerate(mutations(valid, 300)):
        archive.write_bytes(data)
        with mytarvo.PakFile(archive) as pak:
            for info in pak.infolist():
                try:
                    content = pak.read(info)
                    assert len(content) == info.size
                except mytarvo.BadPakFile:
                    content = None
                try:
                    with pak.open(info) as stream:
                        assert stream.read() == content
                except mytarvo.BadPakFile:
                    assert content is None
            pak.test()
            try:
                pak.extractall(out / str(number))
            except mytarvo.BadPakFile:
                pass
    assert sorted(os.listdir(tmp_path)) == ["mutated.pak", "out", "valid.pak"]
    assert all(os.path.isdir(out / d) for d in os.listdir(out))
