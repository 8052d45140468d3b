// The one seam between the library and the operating system. Exactly two implementations
// exist (platform_win32.cpp and platform_posix.cpp); nothing else calls the OS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mytarvo::platform {

// The separator this build appends to directories ("\" on Windows, "/" elsewhere).
extern const char kDirectorySeparator;
// True for the characters this system takes as separating directories: "\" and "/" on
// Windows, "/" alone elsewhere (there "\" is an ordinary file-name character).
[[nodiscard]] bool is_directory_separator(char c);
// True for a drive alone ("C:" on Windows), which names the current directory of that
// drive: a name joined to it follows without a separator ("C:name"). Never elsewhere.
[[nodiscard]] bool is_drive_alone(std::string_view path);
// True when `path` holds wildcard characters in its last component that the system would
// match instead of taking them as part of a name: on Windows "*" or "?" anywhere in it;
// elsewhere (where names may hold them) only when no file has that very name.
[[nodiscard]] bool has_unexpanded_wildcards(const char* path);

// The longest path, in bytes without the terminating NUL, that this system takes whole:
// 260 on Windows (the room of the ANSI file interfaces), 4095 on Linux. A longer path is
// never cut to fit: the services that take paths act on none.
extern const std::size_t kPathLimit;

// ---- Names as the system reads them -------------------------------------------------------
// How this system reads the bytes of a path. Windows reads them in the process's ANSI code
// page, where in a double-byte code page (932, 936, 949, 950) a lead byte and the byte
// after it are one character, even when that byte is "\" (0x5C); "\" separates as "/"
// does, a double quote cannot be part of a name (it encloses a path), a path may begin with
// a drive ("C:"), and trailing periods and blanks of a name are dropped when it is opened.
// Elsewhere a name is its bytes: only "/" separates and every other byte is itself.
struct NameRules {
  bool backslash_separates = false;
  bool quotes_enclose = false;
  bool drive_prefix = false;
  bool drops_trailing_dots_and_blanks = false;
  unsigned code_page = 0;  // 0: every byte is one character
};
[[nodiscard]] NameRules name_rules();
// True when `byte` begins a two-byte character in `code_page` (never for code page 0).
[[nodiscard]] bool is_lead_byte(unsigned code_page, unsigned char byte);
// True when `text` converts cleanly to the system's characters in `code_page` (always for
// code page 0): no lone lead byte, no byte sequence the code page does not define.
[[nodiscard]] bool is_valid_text(unsigned code_page, std::string_view text);

// ---- Files -------------------------------------------------------------------------------
// Every mode lets other openers read the file while it is open (read sharing only). Only
// regular files open: directories, devices (NUL, COM1, /dev/null), pipes and sockets are
// refused in every mode.
enum class OpenMode {
  CreateOrTruncate,  // read/write; emptied when it exists, created when it does not
  OpenOrCreate,      // read/write; opened unchanged at position 0, created empty when missing
  ReadExisting,      // read only; fails when the file does not exist
  CreateNew,         // read/write; fails when anything exists at the path already
  // Create-or-truncate for a file the library writes into a directory of the caller's
  // (an extracted file): it never writes through a link. A symbolic link (Windows: any
  // reparse point) or a file with more than one link at the path is removed and a new
  // regular file created in its place; a plain existing file is emptied as by
  // create-or-truncate (keeping its permissions).
  WriteOutput,
  // A new archive in place of whatever file is at the path. POSIX removes the old name
  // first and creates a fresh file (a link is replaced, never followed); Windows creates or
  // truncates in one step, so that a file another program holds stays as it was, and
  // replaces links as WriteOutput does.
  Replace,
};

using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

[[nodiscard]] FileHandle open_file(const char* path, OpenMode mode);
// As open_file, for a writer of an archive: on Windows a refusal because another process
// holds the file (a sharing violation) is retried for about two seconds before it counts,
// so that two writers take turns instead of one silently giving up. Elsewhere the same as
// open_file (there writers take turns at lock_exclusive).
[[nodiscard]] FileHandle open_file_waiting(const char* path, OpenMode mode);
void close_file(FileHandle file);
// Reads up to `count` bytes at `offset`; returns the number read (fewer at the end), or -1.
[[nodiscard]] std::int64_t read_file_at(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t count);
// Writes all `count` bytes at `offset`; false unless every byte was written.
[[nodiscard]] bool write_file_at(FileHandle file, std::uint64_t offset, const void* data, std::uint32_t count);
// The file's length in bytes, or -1.
[[nodiscard]] std::int64_t file_length(FileHandle file);
// Cuts (or extends) the file to `length` bytes. An extension reads as zero bytes and takes
// no disk space for them where the file system allows (Windows marks the file sparse
// first; POSIX file systems leave the hole unallocated by themselves).
[[nodiscard]] bool truncate_file(FileHandle file, std::uint64_t length);

// ---- Writer lock ---------------------------------------------------------------------
// Every writer of an archive holds this exclusive lock on its open file for the whole
// write, so that two processes never append to (or rewrite) one archive at once. Readers
// never take it and are never blocked by it. The lock belongs to the open file and goes
// with its close. POSIX: flock on the open file description; Windows: a one-byte range
// lock far beyond any data, so that reads and writes of the file itself are unaffected.
enum class LockWait { Try, Block };
// True once the lock is held; with LockWait::Try, false at once when another holder has it.
[[nodiscard]] bool lock_exclusive(FileHandle file, LockWait wait);
// True when `path` still names the file open as `file` (it was not replaced or removed
// meanwhile). A writer that had to wait for the lock checks this: the holder may have
// renamed a rewritten archive over the path, and the writer must then open it afresh.
[[nodiscard]] bool is_same_file(FileHandle file, const char* path);

// ---- Memory ------------------------------------------------------------------------------
// A private pool of zero-filled blocks, destroyed as a whole.
using HeapHandle = void*;
[[nodiscard]] HeapHandle heap_create();
void heap_destroy(HeapHandle heap);
// A zero-filled block of `size` bytes (size > 0), or null.
[[nodiscard]] void* heap_alloc_zeroed(HeapHandle heap, std::size_t size);
void heap_free(HeapHandle heap, void* block);

// The system's global allocator, used behind the encoder's allocation callbacks.
[[nodiscard]] void* global_alloc_zeroed(std::uint32_t size);
void global_free(void* block);

// ---- File system -------------------------------------------------------------------------
// Size of what `path` names: -1 when nothing is there, -2 for a directory (or drive or
// share root), else the file's size. `path` is non-empty and already cut to 260 characters.
// Trailing separators of this system ("\" on Windows, "/" elsewhere) are ignored, and a
// path made only of them names nothing. Windows also takes a drive given as "C:" or "C:\"
// and wildcards in the last component (the first match counts).
[[nodiscard]] std::int64_t query_size(const std::string& path);
void delete_file(const char* path);
// The process's current directory as the system reports it (no separator added), or ""
// when the query fails or the answer does not fit (Windows gives the system room for 260
// characters, the terminating NUL included; elsewhere the room grows up to 1 MiB). ""
// never stands for a directory: callers treat it as "no current directory".
[[nodiscard]] std::string current_directory();
// Creates one directory (its parent must exist); refusals are ignored by the callers.
void create_directory(const char* path);
// True for names this system treats specially and the library must never create as a
// plain file in an output directory: on Windows any name holding ":" (drive or stream
// syntax), any name ending in a period or a blank (the system would drop them and write
// another name, or for "..." the directory itself) and the device names CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to COM9 and LPT0
// to LPT9 (also with the superscript digits 1 to 3), in any case, with or without an
// extension; nothing elsewhere. `name` must be valid text in the process's code page (see
// is_valid_text): the test reads single bytes, which is sound only then.
[[nodiscard]] bool is_reserved_file_name(std::string_view name);

// ---- Output directories ------------------------------------------------------------------
// A directory opened once, in which files are then created, renamed and deleted by name:
// they land in that very directory even when its path is renamed or replaced meanwhile.
// POSIX: a descriptor and the *at calls. Windows: a handle that forbids renaming or
// deleting the directory while it is held, and its path, checked to still name it before
// every use.
using DirectoryHandle = std::intptr_t;
inline constexpr DirectoryHandle kNoDirectory = 0;
// kNoDirectory when `path` is not a directory that can be opened.
[[nodiscard]] DirectoryHandle open_directory(const char* path);
void close_directory(DirectoryHandle directory);
// As open_file, for the file `name` (a plain name) in `directory`.
[[nodiscard]] FileHandle open_file_in(DirectoryHandle directory, const char* name, OpenMode mode);
// Moves `from` to `to` within `directory`, replacing a file at `to`.
[[nodiscard]] bool rename_in(DirectoryHandle directory, const char* from, const char* to);
void delete_file_in(DirectoryHandle directory, const char* name);
// Whether anything exists under `name` in `directory`.
[[nodiscard]] bool exists_in(DirectoryHandle directory, const char* name);
// As copy_permissions, from the file `name` in `directory`.
void copy_permissions_in(DirectoryHandle directory, const char* name, FileHandle to);
// Whether the file `name` in `directory` is marked read-only, which on Windows keeps it
// from being replaced; never elsewhere (there permission bits do not stop a rename).
[[nodiscard]] bool is_read_only_in(DirectoryHandle directory, const char* name);
// Clears that mark, so that the file can be replaced.
void clear_read_only_in(DirectoryHandle directory, const char* name);

// ---- Services for tools -------------------------------------------------------------------
// The system's description of the last failure of a system call on this thread, e.g.
// "Permission denied" or "No space left on device"; to be asked right after the failure.
[[nodiscard]] std::string last_error_text();
// Gives the open file `to` the access permissions of the file at `from`, when there is
// one (so that a file replaced by a new version keeps who may read, write or run it).
// POSIX: the permission bits; Windows: nothing to do, the new file takes the folder's.
void copy_permissions(const char* from, FileHandle to);
// Moves `from` to `to`, replacing a file at `to`; false when the system refuses.
[[nodiscard]] bool rename_replacing(const char* from, const char* to);

enum class FileKind { File, Directory, Other };
struct DirectoryItem {
  std::string name;
  FileKind kind = FileKind::Other;
  bool link = false;  // a symbolic link (its kind is that of what it leads to)
};
// The items of directory `path` ("." and ".." left out), in the order the system gives
// them. A link counts as a file only when it leads to a regular file and never as a
// directory, so that walking the result cannot run in circles. False when the
// directory cannot be read.
[[nodiscard]] bool list_directory(const char* path, std::vector<DirectoryItem>& items);

}  // namespace mytarvo::platform
