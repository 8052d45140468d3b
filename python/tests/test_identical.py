"""Archives written through PakFile are byte for byte those the C functions write for the
same files, and both read each other's archives back to the same content."""

import pytest

import mytarvo
from conftest import generated_inputs, written

GENERATED = generated_inputs()
CORPUS_FILES = ["alice29.txt", "fireworks.jpeg", "geo.protodata", "kppkn.gtb", "paper-100k.pdf"]


def c_archive(clib, tmp_path, sources, switch):
    archive = tmp_path / f"c-{switch}.pak"
    clib.create(archive)
    for source in sources:
        clib.add(archive, source, switch)
    return archive.read_bytes()


def py_archive(tmp_path, sources, store):
    archive = tmp_path / f"py-{store}.pak"
    with mytarvo.PakFile(archive, "w") as pak:
        for source in sources:
            pak.write(source, store=store)
    return archive.read_bytes()


@pytest.mark.parametrize("store,switch", [(False, 1), (True, 0)])
def test_generated_inputs_match_c_functions(clib, tmp_path, store, switch):
    sources = written(tmp_path, GENERATED)
    expected = c_archive(clib, tmp_path, sources, switch)
    assert py_archive(tmp_path, sources, store) == expected


@pytest.mark.parametrize("name", CORPUS_FILES)
def test_corpus_file_matches_c_functions(clib, corpus, tmp_path, name):
    sources = [corpus / name]
    assert py_archive(tmp_path, sources, False) == c_archive(clib, tmp_path, sources, 1)


def test_writestr_writes_what_write_writes(tmp_path):
    sources = written(tmp_path, GENERATED)
    from_files = py_archive(tmp_path, sources, False)
    archive = tmp_path / "from-memory.pak"
    with mytarvo.PakFile(archive, "x") as pak:
        for path in sources:
            pak.writestr(path.name, path.read_bytes())
    assert archive.read_bytes() == from_files


def test_append_mode_continues_the_c_archive(clib, tmp_path):
    first, second = written(tmp_path, {"first": GENERATED["text"], "second": GENERATED["mixed"]})
    expected = c_archive(clib, tmp_path, [first, second], 1)
    archive = tmp_path / "appended.pak"
    clib.create(archive)
    clib.add(archive, first, 1)
    with mytarvo.PakFile(archive, "a") as pak:
        pak.write(second)
    assert archive.read_bytes() == expected


def test_packed_entry_data_is_the_codec_block(clib, tmp_path):
    (source,) = written(tmp_path, {"text": GENERATED["text"]})
    archive = tmp_path / "one.pak"
    clib.create(archive)
    clib.add(archive, source, 1)
    with mytarvo.PakFile(archive) as pak:
        (info,) = pak.infolist()
    block = archive.read_bytes()[info.data_offset:]
    assert info.is_packed and len(block) == info.packed_size
    assert mytarvo.pack(GENERATED["text"]) == block
    assert mytarvo.unpack(block) == GENERATED["text"]


def test_content_round_trips_both_ways(clib, tmp_path):
    sources = written(tmp_path, GENERATED)
    archive = tmp_path / "py.pak"
    with mytarvo.PakFile(archive, "w") as pak:
        for path in sources:
            pak.write(path)
    out = tmp_path / "c-out"
    clib.unpak_all(archive, out)
    with mytarvo.PakFile(archive) as pak:
        for name, content in GENERATED.items():
            assert (out / name).read_bytes() == content
            assert pak.read(name) == content
        assert pak.test() == []
