"""PakFile.remove() and rename(): the archives they leave are byte for byte those the
command-line tool leaves for the same names, a refused edit leaves the archive untouched,
and the same PakFile goes on reading and appending to the edited archive."""

import errno
import os
import shutil
import subprocess
import sys
import textwrap
import threading

import pytest

import mytarvo
from conftest import generated_inputs

GENERATED = generated_inputs()

# Repeated names, names with pattern bytes and a name that is no UTF-8; packed and stored
# entries mixed.
ENTRIES = [
    (b"alpha", GENERATED["text"], False),
    (b"beta", GENERATED["five"], False),
    (b"alpha", GENERATED["mixed"], True),
    (b"a*b", GENERATED["zeros_70k"], False),
    (b"axb", GENERATED["fourteen"], True),
    (b"[x]", GENERATED["random_4k"], False),
    (b"x", GENERATED["fifteen_same"], False),
    (b"q?", GENERATED["empty"], False),
    (b"caf\xe9", GENERATED["text"][:5000], False),
    (b"tail", GENERATED["empty"], True),
]


def build(path, entries=ENTRIES):
    with mytarvo.PakFile(path, "w") as pak:
        for name, data, store in entries:
            pak.writestr(name, data, store=store)
    return path


def copies(tmp_path):
    """The same archive twice: one for PakFile, one for the tool."""
    ours = build(tmp_path / "ours.pak")
    theirs = tmp_path / "theirs.pak"
    shutil.copyfile(ours, theirs)
    return ours, theirs


def names(path):
    with mytarvo.PakFile(path) as pak:
        return [info.name_bytes for info in pak.infolist()]


# (name given to remove(), the pattern that selects exactly that name for the tool)
REMOVALS = [
    ("alpha", "alpha"),          # every entry of a repeated name
    (b"beta", "beta"),
    ("a*b", "a[*]b"),            # pattern bytes are taken literally: "axb" stays
    ("[x]", "[[]x?"),            # "x" stays (the tool's parser would unwrap "[...]" given whole)
    ("q?", "q[?]"),
    (b"caf\xe9", b"caf\xe9"),
    (os.fsdecode(b"caf\xe9"), b"caf\xe9"),
    ("tail", "tail"),
]


@pytest.mark.parametrize("name,pattern", REMOVALS)
def test_remove_leaves_what_the_tool_leaves(tool, tmp_path, name, pattern):
    ours, theirs = copies(tmp_path)
    before = names(ours)
    with mytarvo.PakFile(ours, "a") as pak:
        pak.remove(name)
        assert [i.name_bytes for i in pak.infolist()] == [n for n in before if n != os.fsencode(name)]
    tool.run("rm", theirs, pattern)
    assert ours.read_bytes() == theirs.read_bytes()
    with mytarvo.PakFile(ours) as pak:
        assert pak.test() == []


# (old, new, the same for the tool)
RENAMES = [
    ("alpha", "gamma", ("alpha", "gamma")),      # every entry of a repeated name
    ("a*b", "ab", ("a*b", "ab")),                # the old name is no pattern
    (b"caf\xe9", "cafe", (b"caf\xe9", "cafe")),
    ("x", b"\xff\xfe-x", ("x", b"\xff\xfe-x")),  # to a name that is no UTF-8
    ("tail", "t" * 300, ("tail", "t" * 300)),    # a longer name shifts every later byte
]


@pytest.mark.parametrize("old,new,tool_names", RENAMES)
def test_rename_leaves_what_the_tool_leaves(tool, tmp_path, old, new, tool_names):
    ours, theirs = copies(tmp_path)
    before = names(ours)
    with mytarvo.PakFile(ours, "a") as pak:
        pak.rename(old, new)
        expected = [os.fsencode(new) if n == os.fsencode(old) else n for n in before]
        assert [i.name_bytes for i in pak.infolist()] == expected
    tool.run("rename", theirs, *tool_names)
    assert ours.read_bytes() == theirs.read_bytes()


def test_rename_to_undecodable_bytes_round_trips(tmp_path):
    archive = build(tmp_path / "r.pak")
    original = archive.read_bytes()
    odd = b"\x80name\xff"
    with mytarvo.PakFile(archive, "a") as pak:
        pak.rename("beta", odd)
        info = pak.getinfo(odd)
        assert info.name_bytes == odd and info.name == os.fsdecode(odd)
        assert pak.read(info.name) == GENERATED["five"]
        pak.extract(info.name, tmp_path / "out")
        assert (tmp_path / "out" / os.fsdecode(odd)).read_bytes() == GENERATED["five"]
        pak.rename(info.name, "beta")  # back through the str name that keeps the bytes
    assert archive.read_bytes() == original


# Every refused edit: the archive keeps its bytes and is not even rewritten (same file).
REFUSED = [
    (lambda pak: pak.remove("missing"), KeyError),
    (lambda pak: pak.remove("a?b"), KeyError),        # would match "axb" as a pattern
    (lambda pak: pak.remove("*"), KeyError),
    (lambda pak: pak.rename("missing", "new"), KeyError),
    (lambda pak: pak.rename("alpha", "beta"), ValueError),   # the name is taken
    (lambda pak: pak.rename("alpha", "alpha"), ValueError),
    (lambda pak: pak.rename("alpha", "dir/alpha"), ValueError),
    (lambda pak: pak.rename("alpha", "line\nbreak"), ValueError),
    (lambda pak: pak.rename("alpha", ".."), ValueError),
]


@pytest.mark.parametrize("edit,error", REFUSED)
def test_refused_edit_leaves_the_archive_alone(tmp_path, edit, error):
    archive = build(tmp_path / "k.pak")
    before, inode = archive.read_bytes(), archive.stat().st_ino
    with mytarvo.PakFile(archive, "a") as pak:
        with pytest.raises(error):
            edit(pak)
        assert pak.namelist() == [os.fsdecode(n) for n, _, _ in ENTRIES]
    assert archive.read_bytes() == before and archive.stat().st_ino == inode
    assert sorted(os.listdir(tmp_path)) == ["k.pak"]


def test_read_mode_refuses_edits(tmp_path):
    archive = build(tmp_path / "ro.pak")
    with mytarvo.PakFile(archive) as pak:
        for edit in (lambda: pak.remove("alpha"), lambda: pak.rename("alpha", "g")):
            with pytest.raises(ValueError, match="mode"):
                edit()


@pytest.mark.parametrize("mode", ["w", "x", "a"])
def test_writes_after_an_edit_follow_the_remaining_entries(tmp_path, mode):
    """Right after opening (the appender holds the writer lock), between appends and
    after reads: the edit neither waits on this PakFile's own lock nor loses its
    appends, and the result is what writing the remaining entries afresh gives."""
    archive = tmp_path / "seq.pak"
    if mode == "a":
        build(archive, [])
    with mytarvo.PakFile(archive, mode) as pak:
        pak.writestr("one", GENERATED["text"])
        pak.writestr("two", GENERATED["mixed"], store=True)
        pak.writestr("three", GENERATED["zeros_70k"])
        pak.remove("two")
        pak.writestr("four", GENERATED["random_4k"])
        assert pak.namelist() == ["one", "three", "four"]
        assert pak.read("three") == GENERATED["zeros_70k"]
        pak.rename("one", "first")
        pak.writestr("five", GENERATED["five"])
        assert pak.read("first") == GENERATED["text"]
    expected = tmp_path / "expected.pak"
    build(expected, [(b"first", GENERATED["text"], False), (b"three", GENERATED["zeros_70k"], False),
                     (b"four", GENERATED["random_4k"], False), (b"five", GENERATED["five"], False)])
    assert archive.read_bytes() == expected.read_bytes()


# Run in a child, so that an edit that waits on its own writer lock fails the test within
# the time limit rather than hanging the whole run.
OWN_LOCK_CHILD = textwrap.dedent("""
    import sys
    import mytarvo
    # Nothing read yet: this PakFile's appender is open and holds the writer lock.
    with mytarvo.PakFile(sys.argv[1], "a") as pak:
        pak.remove("alpha")
        pak.writestr("alpha", b"again")
        pak.rename("beta", "b")
        print(pak.namelist()[-1], pak.read("alpha"))
""")


def test_an_edit_does_not_wait_on_its_own_lock(tmp_path):
    archive = build(tmp_path / "own.pak")
    result = subprocess.run([sys.executable, "-c", OWN_LOCK_CHILD, str(archive)],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["alpha b'again'"]


# Holds the archive's writer lock (an open appender) until told to append and close.
HOLDER_CHILD = textwrap.dedent("""
    import sys
    import mytarvo
    with mytarvo.PakFile(sys.argv[1], "a") as pak:
        print("holding", flush=True)
        sys.stdin.readline()
        pak.writestr("late", b"appended while the edit waited")
""")


def test_an_edit_waits_for_another_writer_and_sees_its_entries(tmp_path):
    archive = build(tmp_path / "wait.pak")
    holder = subprocess.Popen([sys.executable, "-c", HOLDER_CHILD, str(archive)],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        assert holder.stdout.readline() == "holding\n"
        outcome = []
        with mytarvo.PakFile(archive, "a") as pak:
            def edit():
                try:
                    pak.remove("beta")
                    outcome.append(pak.namelist())
                except BaseException as error:  # handed to the test's thread
                    outcome.append(error)

            # The edit waits for the lock with the interpreter lock released, so this
            # thread goes on and lets the holder finish.
            editor = threading.Thread(target=edit, daemon=True)
            editor.start()
            holder.communicate("go\n", timeout=120)
            editor.join(timeout=120)
            assert not editor.is_alive() and holder.returncode == 0
    finally:
        holder.kill()
        holder.wait()
    assert outcome == [[os.fsdecode(n) for n, _, _ in ENTRIES if n != b"beta"] + ["late"]]


def test_failures_surface_as_bad_pak_file_or_oserror(tmp_path):
    archive = build(tmp_path / "f.pak")
    with mytarvo.PakFile(archive, "a") as pak:
        archive.write_bytes(b"no longer an archive\r\n")
        with pytest.raises(mytarvo.BadPakFile):
            pak.remove("alpha")
        with pytest.raises(mytarvo.BadPakFile):
            pak.rename("alpha", "beta")
        archive.unlink()
        with pytest.raises(FileNotFoundError) as caught:
            pak.remove("alpha")
        assert caught.value.errno == errno.ENOENT
    assert os.listdir(tmp_path) == []


# A file-size limit makes the system refuse writing the new archive: the errno reaches
# Python, and the old archive stays with no temporary file beside it.
FSIZE_CHILD = textwrap.dedent("""
    import errno, resource, signal, sys
    import mytarvo
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (100_000, 100_000))
    with mytarvo.PakFile(sys.argv[1], "a") as pak:
        for edit in (lambda: pak.remove("small"), lambda: pak.rename("small", "other")):
            try:
                edit()
            except OSError as e:
                print(errno.errorcode[e.errno])
        print(pak.namelist())
""")


def test_file_size_limit_surfaces_as_efbig(tmp_path):
    archive = build(tmp_path / "big.pak", [(b"big", os.urandom(300_000), True), (b"small", b"s", True)])
    before = archive.read_bytes()
    result = subprocess.run([sys.executable, "-c", FSIZE_CHILD, str(archive)],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["EFBIG", "EFBIG", "['big', 'small']"]
    assert archive.read_bytes() == before
    assert os.listdir(tmp_path) == ["big.pak"]
