"""Pak archives and packed blocks from Python.

``PakFile`` reads, tests, extracts, appends to and edits (remove, rename) pak archives; ``pack`` and ``unpack``
handle single packed blocks.  Everything runs on the library's C++ code, so archives
written here are byte for byte those the library's C functions write, and reading follows
the same rules.  Packing, unpacking and file I/O run with the interpreter lock released.

Entry names are ``str`` (decoded with the file-system encoding and ``surrogateescape``,
so any stored name round-trips) or ``bytes``.
"""

from __future__ import annotations

import errno
import io
import os
from dataclasses import dataclass
from typing import IO, Iterable, Iterator, List, Optional, Union

from ._core import BadPakFile, pack, unpack
from . import _core

__all__ = ["BadPakFile", "PakFile", "PakInfo", "pack", "unpack"]

StrOrBytesPath = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Name = Union[str, bytes]

# The largest file an entry can describe: its size line holds a signed 32-bit number.
_LARGEST_ENTRY = 2**31 - 1


@dataclass(frozen=True)
class PakInfo:
    """One entry of an archive, as its header lines describe it."""

    name_bytes: bytes
    flag: int
    size: int
    packed_size: int
    header_offset: int
    data_offset: int

    @property
    def name(self) -> str:
        """The entry name, decoded as file names are (undecodable bytes kept)."""
        return os.fsdecode(self.name_bytes)

    @property
    def is_packed(self) -> bool:
        """Whether the entry's data is a packed block (flag byte 1)."""
        return self.flag == 1

    @property
    def data_size(self) -> int:
        """Bytes of entry data in the archive: the packed size, or the size when stored."""
        return self.packed_size if self.is_packed else self.size


def _name_bytes(name: Union[Name, PakInfo]) -> bytes:
    if isinstance(name, PakInfo):
        return name.name_bytes
    if isinstance(name, (str, bytes)):
        return os.fsencode(name)
    raise TypeError(f"an entry name must be str or bytes, not {type(name).__name__}")


def _check_packing(store: bool, best: bool) -> None:
    if store and best:
        raise ValueError("store=True and best=True exclude each other")


def _path_bytes(path: StrOrBytesPath) -> bytes:
    return os.fsencode(os.fspath(path))


class _EntryStream(io.RawIOBase):
    """An entry's content read from the archive a piece at a time: stored data as it is,
    packed data through the streaming decoder.  Damage raises BadPakFile from the read
    that meets it; a packed block's checksum is verified when its end is read."""

    _CHUNK = 1 << 16

    def __init__(self, archive_path: Union[str, bytes], info: "PakInfo") -> None:
        super().__init__()
        self.name = info.name
        self._info = info
        self._file = open(archive_path, "rb")
        self._file.seek(info.data_offset)
        self._left = info.data_size  # archive bytes of the entry not read yet
        # An empty file added with packing has no block at all; every other packed entry
        # must hold one (an empty data part fails in the decoder).
        empty = info.size == 0 and info.packed_size == 0
        self._unpacker = _core.StreamingUnpacker() if info.is_packed and not empty else None
        self._produced = 0  # bytes the decoder has given

    def readable(self) -> bool:
        return True

    def readinto(self, buffer) -> int:  # type: ignore[override]
        if self.closed:
            raise ValueError("I/O operation on closed file")
        target = memoryview(buffer).cast("B")
        if not target:
            return 0
        chunk = self._next_bytes(len(target))
        target[:len(chunk)] = chunk
        return len(chunk)

    def _next_bytes(self, wanted: int) -> bytes:
        if self._unpacker is None:
            return self._archive_bytes(min(wanted, self._left))
        while True:
            chunk = self._unpacker.read(wanted)
            status = self._unpacker.status
            declared = self._unpacker.unpacked_size
            if declared != self._info.size and (declared or status == "done"):
                raise BadPakFile(f"{self.name}: packed block does not unpack to the entry's size")
            self._produced += len(chunk)
            if status == "done" and self._produced != self._info.size:
                raise BadPakFile(f"{self.name}: packed block ends before the entry's size")
            if chunk or status == "done":
                return chunk
            if status == "damaged":
                raise BadPakFile(f"{self.name}: packed block does not decode or fails its checksum")
            if status == "out_of_memory":
                raise MemoryError(f"{self.name}: no memory to unpack the entry")
            self._feed()

    def _feed(self) -> None:
        if self._left == 0:
            self._unpacker.end_input()
            return
        self._unpacker.feed(self._archive_bytes(min(self._CHUNK, self._left)))

    def _archive_bytes(self, count: int) -> bytes:
        data = self._file.read(count)
        if len(data) < count:
            raise BadPakFile(f"{self.name}: data cut short by the end of the archive")
        self._left -= count
        return data

    def close(self) -> None:
        if not self.closed:
            self._file.close()
        super().close()


class PakFile:
    """An open pak archive.

    ``mode`` is ``"r"`` to read an existing archive, ``"a"`` to read and append to an
    existing one, ``"w"`` to create a new archive (replacing whatever is at the path) and
    ``"x"`` to create one where nothing exists yet.  Use it as a context manager, or call
    ``close()``.  A file that does not start with the archive header line raises
    ``BadPakFile``; a path that cannot be opened raises the matching ``OSError``.
    """

    def __init__(self, path: StrOrBytesPath, mode: str = "r") -> None:
        if mode not in ("r", "a", "w", "x"):
            raise ValueError("PakFile mode must be 'r', 'a', 'w' or 'x'")
        self.filename = os.fspath(path)
        self.mode = mode
        self._check_path(self.filename, mode)
        try:
            self._archive = _core.Archive(_path_bytes(path), "w" if mode == "x" else mode)
        except BaseException:
            if mode == "x":  # the path was free: leave it so
                os.unlink(self.filename)
            raise

    @staticmethod
    def _check_path(path: Union[str, bytes], mode: str) -> None:
        # The library reports only that a path cannot be used; asking the system first
        # gives the OSError subclass and errno that say why.
        if os.path.isdir(path):
            raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), path)
        if mode in ("r", "a"):
            flags = os.O_RDONLY if mode == "r" else os.O_RDWR
            os.close(os.open(path, flags))
        elif mode == "x":
            os.close(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666))
        else:
            os.close(os.open(path, os.O_WRONLY | os.O_CREAT, 0o666))

    # ---- context and state --------------------------------------------------------------

    def __enter__(self) -> "PakFile":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        archive = getattr(self, "_archive", None)
        state = "closed" if archive is None or archive.closed else f"mode={self.mode!r}"
        return f"<mytarvo.PakFile {self.filename!r} {state}>"

    def close(self) -> None:
        """Closes the archive; further use raises ValueError."""
        self._archive.close()

    @property
    def closed(self) -> bool:
        return bool(self._archive.closed)

    # ---- listing ------------------------------------------------------------------------

    def infolist(self) -> List[PakInfo]:
        """Every entry, in archive order, repeated names included."""
        return [PakInfo(*fields) for fields in self._archive.entries()]

    def namelist(self) -> List[str]:
        """The names of all entries, in archive order, repeated names included."""
        return [info.name for info in self.infolist()]

    def __iter__(self) -> Iterator[PakInfo]:
        return iter(self.infolist())

    def getinfo(self, name: Name) -> PakInfo:
        """The first entry named exactly ``name`` (the one extraction by name takes)."""
        wanted = _name_bytes(name)
        for info in self.infolist():
            if info.name_bytes == wanted:
                return info
        raise KeyError(f"there is no entry named {name!r} in the archive")

    def _resolve(self, member: Union[Name, PakInfo]) -> PakInfo:
        return member if isinstance(member, PakInfo) else self.getinfo(member)

    # ---- reading ------------------------------------------------------------------------

    def read(self, name: Union[Name, PakInfo]) -> bytes:
        """The content of an entry; BadPakFile when its data is damaged."""
        return self._archive.read(self._resolve(name).header_offset)

    def open(self, name: Union[Name, PakInfo], mode: str = "r") -> IO[bytes]:
        """A binary file object that reads an entry's content from the archive as it goes
        (packed entries through the streaming decoder), holding only a few buffers.

        Damage raises BadPakFile from the read that meets it; a packed entry is known
        intact once its end has been read (the block checksum is verified there).  Use
        read() to check the whole entry before using any of it.
        """
        if mode != "r":
            raise ValueError("entries can only be opened for reading ('r')")
        if self._archive.closed:
            raise ValueError("I/O operation on a closed archive")
        return io.BufferedReader(_EntryStream(self.filename, self._resolve(name)))

    def test(self) -> List[str]:
        """Reads every entry as extraction would; one message per problem found."""
        return [f"{os.fsdecode(name)!s} (entry at offset {offset}): {message}"
                for name, offset, message in self._archive.test()]

    # ---- extracting ---------------------------------------------------------------------

    def extract(self, member: Union[Name, PakInfo], path: Optional[StrOrBytesPath] = None) -> str:
        """Writes one entry (the first of its name) into directory ``path`` (default: the
        current directory) and returns the path written.

        Names with a directory, drive or device part are refused with BadPakFile; the file
        is written under a temporary name and renamed into place once complete, so a link
        already at that name is replaced, never written through.
        """
        directory = self._prepare_directory(path)
        return os.fsdecode(self._archive.extract(self._resolve(member).header_offset, directory))

    def extractall(self, path: Optional[StrOrBytesPath] = None,
                   members: Optional[Iterable[Union[Name, PakInfo]]] = None) -> None:
        """Writes entries into directory ``path``: all of them (for a repeated name the
        last one, as a full extraction leaves it), or the given ``members`` (for a name,
        the first entry of that name).

        Every entry that can be extracted is; unsafe or damaged entries are skipped and
        then reported together in one BadPakFile.  A file that cannot be written raises
        its OSError at once.
        """
        directory = self._prepare_directory(path)
        if members is None:
            entries = self.infolist()
            last = {info.name_bytes: info for info in entries}
            chosen = [info for info in entries if last[info.name_bytes] is info]
        else:
            chosen = [self._resolve(member) for member in members]
        problems = []
        for info in chosen:
            try:
                self._archive.extract(info.header_offset, directory)
            except BadPakFile as error:
                problems.append(f"{info.name!s} (entry at offset {info.header_offset}): {error}")
        if problems:
            raise BadPakFile("; ".join(problems))

    @staticmethod
    def _prepare_directory(path: Optional[StrOrBytesPath]) -> bytes:
        if path is None:
            return b""
        directory = _path_bytes(path)
        if directory:
            os.makedirs(directory, exist_ok=True)
        return directory

    # ---- writing ------------------------------------------------------------------------

    def write(self, filename: StrOrBytesPath, arcname: Optional[Name] = None, *,
              store: bool = False, best: bool = False) -> None:
        """Appends the file at ``filename`` as one entry named ``arcname`` (default: the
        file part of ``filename``), packed exactly as the library's AddToPak packs it
        (only when that makes it smaller), or stored unchanged with ``store=True``.

        ``best=True`` packs it in the codec's best mode instead (the smallest block the
        encoder finds: slower, a little smaller), as ``tarvo add --best`` does, and again
        keeps the block only when it is smaller than the file.  ``store`` and ``best``
        together raise ValueError.
        """
        self._check_writable("write")
        _check_packing(store, best)
        given = os.fspath(filename)
        with open(given, "rb") as probe:  # the OSError that says why it cannot be read
            size = os.fstat(probe.fileno()).st_size
        if size > _LARGEST_ENTRY:
            raise ValueError(f"{given!r} is too large for an archive entry (2 GiB or more)")
        name = None if arcname is None else _name_bytes(arcname)
        self._archive.append_file(_path_bytes(given), name, bool(store), bool(best))

    def writestr(self, arcname: Name, data: Union[bytes, bytearray, memoryview, str], *,
                 store: bool = False, best: bool = False) -> None:
        """Appends ``data`` as one entry named ``arcname``, packed as a file of that
        content would be by write() with the same ``store`` and ``best``.  A ``str`` is
        encoded as UTF-8."""
        self._check_writable("writestr")
        _check_packing(store, best)
        if isinstance(data, str):
            data = data.encode("utf-8")
        self._archive.append_bytes(_name_bytes(arcname), data, bool(store), bool(best))

    # ---- editing ------------------------------------------------------------------------

    def remove(self, name: Name) -> None:
        """Removes every entry named exactly ``name`` (repeated names included, as
        ``tarvo rm NAME`` does; the name is taken literally, "*", "?" and "[" are no
        patterns here).  The entries after them move up; later writes append after the
        remaining entries.

        The archive is rewritten beside itself and renamed into place under its writer
        lock, so it is the old archive or the new one, whole, whatever happens.  Another
        writer of the same archive is waited for (so another PakFile of this process
        still appending to it must be closed first).  KeyError when no entry has the
        name, leaving the archive as it was.
        """
        self._check_writable("remove")
        wanted = _name_bytes(name)
        try:
            self._archive.remove(wanted)
        except KeyError:
            raise KeyError(f"there is no entry named {name!r} in the archive") from None

    def rename(self, old: Name, new: Name) -> None:
        """Gives every entry named exactly ``old`` the name ``new``, changing no other
        byte of the archive (rewritten and renamed into place as by remove()).

        KeyError when no entry is named ``old``; ValueError when an entry is named
        ``new`` already, or when ``new`` is no plain file name (a directory, drive or
        device part, CR, LF or NUL).  Either leaves the archive as it was.
        """
        self._check_writable("rename")
        old_bytes, new_bytes = _name_bytes(old), _name_bytes(new)
        try:
            self._archive.rename(old_bytes, new_bytes)
        except KeyError:
            raise KeyError(f"there is no entry named {old!r} in the archive") from None

    def _check_writable(self, method: str) -> None:
        if self._archive.closed:
            raise ValueError("I/O operation on a closed archive")
        if self.mode == "r":
            raise ValueError(f"{method}() needs an archive opened with mode 'w', 'x' or 'a'")
