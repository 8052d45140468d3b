"""Shared fixtures: the library's C functions loaded with ctypes and the command-line tool
(to compare archives with what they write), the benchmark corpus, and archive bytes built
by hand."""

import ctypes
import os
import random
import subprocess
from pathlib import Path

import pytest

HEADER = b"Tarvo Pak 3 - Orvelund\r\n"


class CLibrary:
    """The five C functions of the built shared library."""

    def __init__(self, path: str) -> None:
        self._lib = ctypes.CDLL(path)
        for name in ("CreatePakFile", "AddToPak", "MakeListFiles", "UnPakAll"):
            getattr(self._lib, name).restype = ctypes.c_int32
        self._lib.UnPak.restype = ctypes.c_char_p

    def create(self, archive: Path) -> None:
        self._lib.CreatePakFile(os.fsencode(archive))

    def add(self, archive: Path, source: Path, switch: int) -> None:
        self._lib.AddToPak(os.fsencode(archive), os.fsencode(source), b"", ctypes.c_int32(switch))

    def unpak_all(self, archive: Path, directory: Path) -> None:
        self._lib.UnPakAll(os.fsencode(archive), os.fsencode(directory), b"")


def _from_environment(variable: str, why: str) -> str:
    """The value of `variable`; the test is skipped when it is not set."""
    value = os.environ.get(variable)
    if not value:
        pytest.skip(f"{variable} is not set: {why}")
    return value


@pytest.fixture(scope="session")
def clib() -> CLibrary:
    return CLibrary(_from_environment("MYTARVO_SHARED_LIBRARY", "run these tests through CTest"))


class Tool:
    """The built command-line tool, run on an archive with bounded time."""

    def __init__(self, path: str) -> None:
        self._path = path

    def run(self, *arguments) -> None:
        command = [self._path, "-q", *(os.fsencode(a) if isinstance(a, (str, Path)) else a for a in arguments)]
        result = subprocess.run(command, capture_output=True, timeout=120)
        assert result.returncode == 0, result.stderr


@pytest.fixture(scope="session")
def tool() -> Tool:
    return Tool(_from_environment("MYTARVO_TOOL", "it names the built command-line tool"))


@pytest.fixture(scope="session")
def corpus() -> Path:
    path = Path(os.environ.get("MYTARVO_CORPUS_DIR", ""))
    if not path.is_dir():
        pytest.skip("MYTARVO_CORPUS_DIR does not name the corpus directory")
    return path


def written(directory: Path, named) -> list:
    """Writes each name -> content into `directory`; returns the paths in order."""
    paths = []
    for name, content in named.items():
        path = directory / name
        path.write_bytes(content)
        paths.append(path)
    return paths


def generated_inputs():
    """Named byte strings around the archive's and codec's boundaries."""
    rng = random.Random(20261208)
    text = b"".join(b"line %d of a text that repeats itself, more or less\n" % (i % 97) for i in range(3000))
    return {
        "empty": b"",
        "five": b"hello",
        "fourteen": b"abcdefghijklmn",
        "fifteen_same": b"a" * 15,
        "random_4k": bytes(rng.getrandbits(8) for _ in range(4096)),
        "text": text,
        "zeros_70k": bytes(70000),
        "mixed": text[:20000] + bytes(rng.getrandbits(8) for _ in range(3000)) + text[:20000],
    }


def entry(name: bytes, flag: int, size, packed=None, data: bytes = b"", *, raw_sizes=False) -> bytes:
    """One entry's bytes; sizes are written as given (numbers or raw line text)."""
    def line(value) -> bytes:
        return (value if isinstance(value, bytes) else str(value).encode()) + b"\r\n"

    out = name + b"\r\n" + bytes([flag]) + line(size)
    if packed is not None:
        out += line(packed)
    return out + data
