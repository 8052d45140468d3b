// Platform services for rewriting a file in place safely: a handle on the old file that
// lets a new file be renamed over it while it is still open, flushing a file to the disk,
// keeping the old file's permissions, the rename itself, and the system's description of
// the last failure. One implementation per platform (file_replace_posix.cpp,
// file_replace_win32.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "support/platform.hpp"

namespace mytarvo::platform {

// The file a path finally names, symbolic links resolved, so that a rewrite replaces the
// file a link leads to and not the link; `path` itself when it cannot be resolved (and
// always on Windows).
[[nodiscard]] std::string resolve_links(const std::string& path);
// Opens an existing regular file for reading such that another file may be renamed over
// its path while this handle stays open (Windows: read and delete sharing). kNoFile when
// it cannot be opened.
[[nodiscard]] FileHandle open_for_replacing(const char* path);
// Copies up to `count` bytes from `from` at `from_offset` to `to` at `to_offset` inside the
// system, without passing them through the process (Linux: copy_file_range). Returns the
// number copied (0 at the end of `from`), -1 when the system refused (see describe_last_error),
// or kCopyUnsupported when this system or file system cannot copy so (the caller then
// copies through a buffer).
inline constexpr std::int64_t kCopyUnsupported = -2;
[[nodiscard]] std::int64_t copy_range(FileHandle from, std::uint64_t from_offset, FileHandle to,
                                      std::uint64_t to_offset, std::uint32_t count);
// Writes the file's data through to the disk (fsync, FlushFileBuffers).
[[nodiscard]] bool sync_file(FileHandle file);
// Gives `to` the access permissions of `from` (POSIX mode bits; nothing to do on Windows,
// where a new file inherits the directory's permissions).
[[nodiscard]] bool copy_permissions(FileHandle from, FileHandle to);
// Renames `from` over `to`, replacing it in one step (rename; MoveFileEx with
// MOVEFILE_REPLACE_EXISTING and write-through), and makes the rename itself durable where
// the system needs that asked for (POSIX: the directory is flushed). `held_target` is the
// caller's handle on `to`, which holds its writer lock: POSIX keeps it open, so the lock is
// held until the new file is in place; Windows renames over no open file, so it is closed
// (and set to kNoFile) right before the rename.
[[nodiscard]] bool replace_file(const char* from, const char* to, FileHandle& held_target);
// The system's text for the failure of the last call that failed on this thread
// (strerror(errno), FormatMessage(GetLastError())), e.g. "No space left on device".
[[nodiscard]] std::string describe_last_error();

}  // namespace mytarvo::platform
