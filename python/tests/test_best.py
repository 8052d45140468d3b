"""write(best=True) and writestr(best=True): the entry is byte for byte what the tool's
`add --best` writes for the same file, its block unpacks to the file, it is no larger
than the level-9 entry, and a file the best block would not shrink is stored."""

import pytest

import mytarvo
from conftest import generated_inputs, written

GENERATED = generated_inputs()
CORPUS_FILES = ["alice29.txt", "geo.protodata"]


def tool_archive(tool, tmp_path, sources):
    archive = tmp_path / "tool.pak"
    tool.run("create", archive)
    tool.run("add", "--best", archive, *sources)
    return archive.read_bytes()


def py_archive(path, sources, **packing):
    with mytarvo.PakFile(path, "w") as pak:
        for source in sources:
            pak.write(source, **packing)
    return path.read_bytes()


def test_generated_inputs_match_the_tool(tool, tmp_path):
    sources = written(tmp_path, GENERATED)
    expected = tool_archive(tool, tmp_path, sources)
    assert py_archive(tmp_path / "py.pak", sources, best=True) == expected


@pytest.mark.parametrize("name", CORPUS_FILES)
def test_corpus_file_matches_the_tool_and_beats_level_9(tool, corpus, tmp_path, name):
    source = corpus / name
    content = source.read_bytes()
    assert py_archive(tmp_path / "best.pak", [source], best=True) == tool_archive(tool, tmp_path, [source])
    py_archive(tmp_path / "nine.pak", [source])
    with mytarvo.PakFile(tmp_path / "best.pak") as best, mytarvo.PakFile(tmp_path / "nine.pak") as nine:
        (entry,) = best.infolist()
        (level9,) = nine.infolist()
        assert entry.is_packed and entry.packed_size <= level9.data_size
        assert best.read(name) == content and best.test() == []
    block = (tmp_path / "best.pak").read_bytes()[entry.data_offset:]
    assert len(block) == entry.packed_size and mytarvo.unpack(block) == content


@pytest.mark.parametrize("name", GENERATED)
def test_each_input_reads_back_no_larger_than_level_9(tmp_path, name):
    content = GENERATED[name]
    with mytarvo.PakFile(tmp_path / "p.pak", "w") as pak:
        pak.writestr("best", content, best=True)
        pak.writestr("nine", content)
        best, nine = pak.infolist()
        assert pak.read("best") == content
        assert best.data_size <= nine.data_size or not nine.is_packed
        assert best.data_size <= len(content)
        if best.is_packed:
            assert best.packed_size < len(content)


@pytest.mark.parametrize("name", ["five", "fourteen", "random_4k", "empty"])
def test_what_best_cannot_shrink_is_stored(tmp_path, name):
    (source,) = written(tmp_path, {name: GENERATED[name]})
    best = py_archive(tmp_path / "best.pak", [source], best=True)
    assert best == py_archive(tmp_path / "stored.pak", [source], store=True)
    with mytarvo.PakFile(tmp_path / "best.pak") as pak:
        (entry,) = pak.infolist()
        assert not entry.is_packed and entry.size == len(GENERATED[name])


def test_writestr_writes_what_write_writes(tmp_path):
    sources = written(tmp_path, GENERATED)
    from_files = py_archive(tmp_path / "files.pak", sources, best=True)
    archive = tmp_path / "memory.pak"
    with mytarvo.PakFile(archive, "x") as pak:
        for path in sources:
            pak.writestr(path.name, path.read_bytes(), best=True)
    assert archive.read_bytes() == from_files


def test_arcname_and_append_mode(tool, tmp_path):
    (source,) = written(tmp_path, {"text": GENERATED["text"]})
    expected = tool_archive(tool, tmp_path, [source])
    archive = tmp_path / "a.pak"
    with mytarvo.PakFile(archive, "w") as pak:
        pass
    with mytarvo.PakFile(archive, "a") as pak:
        pak.write(source, "renamed", best=True)
        assert pak.read("renamed") == GENERATED["text"]
    assert archive.read_bytes() == expected.replace(b"text\r\n", b"renamed\r\n", 1)
