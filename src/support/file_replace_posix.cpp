// POSIX implementation of the file replacement services: fsync, fchmod and rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/file_replace.hpp"

namespace mytarvo::platform {

std::string resolve_links(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string result = resolved;
  std::free(resolved);
  return result;
}

FileHandle open_for_replacing(const char* path) {
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kNoFile;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return kNoFile;
  }
  return fd;
}

std::int64_t copy_range(FileHandle from, std::uint64_t from_offset, FileHandle to, std::uint64_t to_offset,
                        std::uint32_t count) {
#ifdef __linux__
  auto in = static_cast<off64_t>(from_offset);
  auto out = static_cast<off64_t>(to_offset);
  ssize_t copied;
  do {
    copied = ::copy_file_range(static_cast<int>(from), &in, static_cast<int>(to), &out, count, 0);
  } while (copied < 0 && errno == EINTR);
  if (copied >= 0) return copied;
  // Kernels and file systems that cannot copy between these files (or at all).
  if (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP) return kCopyUnsupported;
  return -1;
#else
  (void)from, (void)from_offset, (void)to, (void)to_offset, (void)count;
  return kCopyUnsupported;
#endif
}

bool sync_file(FileHandle file) {
  int result;
  do {
    result = ::fsync(static_cast<int>(file));
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool copy_permissions(FileHandle from, FileHandle to) {
  struct stat st {};
  return ::fstat(static_cast<int>(from), &st) == 0 && ::fchmod(static_cast<int>(to), st.st_mode & 07777) == 0;
}

namespace {

// Flushes the directory holding `path`, so that a rename in it survives a power loss.
void sync_directory_of(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const std::string directory = slash == nullptr ? std::string(".") : std::string(path, slash == path ? 1 : slash - path);
  const int fd = ::open(directory.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
  if (fd < 0) return;
  (void)::fsync(fd);  // some file systems refuse to flush directories; the rename is done either way
  ::close(fd);
}

}  // namespace

bool replace_file(const char* from, const char* to, FileHandle& /*held_target*/) {
  if (std::rename(from, to) != 0) return false;
  sync_directory_of(to);
  return true;
}

std::string describe_last_error() { return std::strerror(errno); }

}  // namespace mytarvo::platform
