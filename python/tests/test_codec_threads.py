"""mytarvo.pack and mytarvo.unpack, and work on several threads at once (the interpreter
lock is released while packing, unpacking and doing file I/O)."""

import random
import threading

import pytest

import mytarvo
from conftest import generated_inputs

GENERATED = generated_inputs()


@pytest.mark.parametrize("level", [0, 3, 7, 9, -1, 2**70])
@pytest.mark.parametrize("name", sorted(GENERATED))
def test_pack_round_trips_at_every_level(name, level):
    data = GENERATED[name]
    block = mytarvo.pack(data, level)
    if len(data) < 14:
        assert block == b""  # a block is never smaller than 14 bytes: nothing to gain
        return
    assert len(block) <= len(data) or block == b""
    if block:
        assert block[:2] == b"QZ"
        assert mytarvo.unpack(block) == data
        assert mytarvo.unpack(bytearray(block)) == mytarvo.unpack(memoryview(block)) == data


def test_levels_outside_zero_to_seven_use_the_archive_window():
    data = GENERATED["mixed"]
    assert mytarvo.pack(data) == mytarvo.pack(data, 9) == mytarvo.pack(data, -5) == mytarvo.pack(data, 2**70)


def test_pack_accepts_buffers_and_refuses_other_types():
    data = GENERATED["text"]
    assert mytarvo.pack(bytearray(data)) == mytarvo.pack(memoryview(data)) == mytarvo.pack(data)
    with pytest.raises(TypeError):
        mytarvo.pack("text is not bytes")
    with pytest.raises(BufferError):
        mytarvo.pack(memoryview(data)[::2])  # not contiguous
    with pytest.raises(TypeError):
        mytarvo.pack(data, 1.5)


def test_every_truncation_and_flip_of_a_block_is_refused_or_decoded():
    data = GENERATED["mixed"]
    block = mytarvo.pack(data)
    for cut in list(range(0, 40)) + list(range(len(block) - 40, len(block))):
        with pytest.raises(mytarvo.BadPakFile):
            mytarvo.unpack(block[:cut])
    rng = random.Random(3)
    for _ in range(300):
        damaged = bytearray(block)
        damaged[rng.randrange(len(block))] ^= 1 << rng.randrange(8)
        try:
            assert len(mytarvo.unpack(bytes(damaged))) == int.from_bytes(damaged[2:6], "little")
        except mytarvo.BadPakFile:
            pass


def run_in_threads(work, count=2):
    results, errors = [None] * count, []

    def runner(index):
        try:
            results[index] = work(index)
        except BaseException as error:  # reported in the main thread
            errors.append(error)

    threads = [threading.Thread(target=runner, args=(i,)) for i in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=300)
    assert not any(thread.is_alive() for thread in threads), "a packing thread did not finish"
    assert errors == []
    return results


def test_two_threads_pack_at_once():
    inputs = [GENERATED["text"] * 8, GENERATED["mixed"] * 4]
    expected = [mytarvo.pack(data) for data in inputs]
    assert run_in_threads(lambda i: mytarvo.pack(inputs[i])) == expected
    assert run_in_threads(lambda i: mytarvo.unpack(expected[i])) == inputs


def test_two_threads_write_archives_at_once(tmp_path):
    inputs = [GENERATED["text"] * 4, GENERATED["mixed"] * 2]

    def write(index):
        path = tmp_path / f"thread{index}.pak"
        with mytarvo.PakFile(path, "w") as pak:
            pak.writestr("data", inputs[index])
            pak.writestr("again", inputs[index])
        return path.read_bytes()

    archives = run_in_threads(write)
    for index, archive in enumerate(archives):
        single = tmp_path / f"single{index}.pak"
        with mytarvo.PakFile(single, "w") as pak:
            pak.writestr("data", inputs[index])
            pak.writestr("again", inputs[index])
        assert archive == single.read_bytes()


def test_threads_sharing_one_archive(tmp_path):
    path = tmp_path / "shared.pak"
    contents = {f"entry{i}": GENERATED["text"][i * 100:] for i in range(8)}
    with mytarvo.PakFile(path, "w") as pak:
        names = sorted(contents)

        def add_and_read(index):
            for name in names[index::2]:
                pak.writestr(name, contents[name])
                assert pak.read(name) == contents[name]
            return len(pak.infolist())

        run_in_threads(add_and_read)
        assert sorted(pak.namelist()) == names
        assert pak.test() == []
