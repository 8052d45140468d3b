// POSIX implementation of the platform layer: open/pread/pwrite/fstat, calloc, stat.
// Where Windows behaves in a way POSIX does not (share modes), it is reproduced here.
#include "support/platform.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

namespace mytarvo::platform {

const char kDirectorySeparator = '/';

bool is_directory_separator(char c) { return c == '/'; }

const std::size_t kPathLimit = PATH_MAX - 1;

// A name is its bytes: there is no code page to read them in.
NameRules name_rules() { return NameRules{}; }
bool is_lead_byte(unsigned, unsigned char) { return false; }
bool is_valid_text(unsigned, std::string_view) { return true; }

bool is_drive_alone(std::string_view) { return false; }

bool has_unexpanded_wildcards(const char* path) {
  const char* last = std::strrchr(path, '/');
  const char* name = last != nullptr ? last + 1 : path;
  struct stat st {};
  return std::strpbrk(name, "*?[") != nullptr && ::lstat(path, &st) != 0;
}

namespace {

// Windows opens every file of the library with read sharing only, so while the library
// holds a file open a second open of it fails unless both opens only read. POSIX has no
// share modes; the library's own open files are recorded here to give the same result.
// Without it, opening an output file that is the archive being read would empty the
// archive. A fixed table: the library holds at most a few files open at a time. Tools
// open files on several threads at once, so the table is guarded.
struct OpenRecord {
  int fd = -1;
  dev_t device = 0;
  ino_t inode = 0;
  bool writes = false;
};
std::array<OpenRecord, 64> g_open_records;
std::mutex g_open_records_lock;

bool shares_badly(const struct stat& st, bool writes) {
  for (const OpenRecord& r : g_open_records) {
    if (r.fd >= 0 && r.device == st.st_dev && r.inode == st.st_ino && (writes || r.writes)) return true;
  }
  return false;
}

bool record_open(int fd, const struct stat& st, bool writes) {
  for (OpenRecord& r : g_open_records) {
    if (r.fd < 0) {
      r = OpenRecord{fd, st.st_dev, st.st_ino, writes};
      return true;
    }
  }
  return false;
}

// Opens without blocking (a FIFO would otherwise wait for a peer), then switches the
// descriptor back to ordinary blocking I/O. `directory` is AT_FDCWD or an open directory
// that a relative `path` is taken in.
int open_retrying(const char* path, int flags, int directory = AT_FDCWD) {
  int fd;
  do {
    fd = ::openat(directory, path, flags | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
  }
  return fd;
}

// Read-write, or (as on Windows, where a file that cannot be opened for reading and writing
// may still be opened for writing only and emptied) write-only.
int open_for_writing(const char* path, int flags, int directory = AT_FDCWD) {
  int fd = open_retrying(path, O_CLOEXEC | O_RDWR | flags, directory);
  if (fd < 0 && errno == EACCES) fd = open_retrying(path, O_CLOEXEC | O_WRONLY | (flags & ~O_CREAT), directory);
  return fd;
}

// The directory that holds the last component of `path` (taken in directory `at`; open,
// or -1) and that component.
int open_parent(const char* path, std::string& name, int at) {
  const std::string text(path);
  const std::size_t slash = text.rfind('/');
  name = slash == std::string::npos ? text : text.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return -1;
  const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : text.substr(0, slash);
  return open_retrying(parent.c_str(), O_CLOEXEC | O_RDONLY | O_DIRECTORY, at);
}

// Admits `fd` to the table of the library's open files when it is a regular file that no
// other open of the library conflicts with; `empty` then also truncates it. Closes it and
// returns -1 otherwise. The caller holds g_open_records_lock.
int admit(int fd, bool writes, bool empty) {
  struct stat st {};
  bool usable = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !shares_badly(st, writes);
  if (usable && empty) usable = ::ftruncate(fd, 0) == 0;
  if (!usable || !record_open(fd, st, writes)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// WriteOutput: the last component is never followed when it is a symbolic link, and a file
// with other links is never written in place: either is removed and a new file created
// exclusively in the same directory (opened by descriptor, so that a directory renamed
// meanwhile cannot redirect the new file).
int open_output(const char* path, int at) {
  std::string name;
  const int directory = open_parent(path, name, at);
  if (directory < 0) return -1;
  const std::lock_guard<std::mutex> guard(g_open_records_lock);
  int fd = open_for_writing(name.c_str(), O_CREAT | O_NOFOLLOW, directory);
  bool replace = fd < 0 && errno == ELOOP;  // a symbolic link
  if (fd >= 0) {
    struct stat st {};
    const bool plain = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
    if (!plain && S_ISREG(st.st_mode) && !shares_badly(st, true)) {
      replace = true;  // more than one link: the other names keep the old content
      ::close(fd);
      fd = -1;
    } else {
      fd = admit(fd, true, true);
    }
  }
  if (replace && ::unlinkat(directory, name.c_str(), 0) == 0) {
    fd = open_retrying(name.c_str(), O_CLOEXEC | O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, directory);
    if (fd >= 0) fd = admit(fd, true, false);
  }
  ::close(directory);
  return fd;
}

}  // namespace

FileHandle open_file(const char* path, OpenMode mode) { return open_file_in(AT_FDCWD, path, mode); }

FileHandle open_file_in(DirectoryHandle directory, const char* path, OpenMode mode) {
  const int at = static_cast<int>(directory);
  if (mode == OpenMode::WriteOutput) {
    const int fd = open_output(path, at);
    return fd < 0 ? kNoFile : fd;
  }
  // Replace removes what is at the path first (never a directory), so that a link there is
  // replaced rather than written through.
  if (mode == OpenMode::Replace) {
    struct stat st {};
    if (::fstatat(at, path, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode)) ::unlinkat(at, path, 0);
  }
  // Create-or-truncate empties the file only once the sharing test has passed.
  int fd = -1;
  switch (mode) {
    case OpenMode::CreateOrTruncate: fd = open_for_writing(path, O_CREAT, at); break;
    case OpenMode::Replace: fd = open_for_writing(path, O_CREAT | O_NOFOLLOW, at); break;
    case OpenMode::OpenOrCreate: fd = open_retrying(path, O_CLOEXEC | O_RDWR | O_CREAT, at); break;
    case OpenMode::ReadExisting: fd = open_retrying(path, O_CLOEXEC | O_RDONLY, at); break;
    case OpenMode::CreateNew: fd = open_retrying(path, O_CLOEXEC | O_RDWR | O_CREAT | O_EXCL, at); break;
    case OpenMode::WriteOutput: break;
  }
  if (fd < 0) return kNoFile;
  // Only regular files: directories open read-only on POSIX, and pipes, sockets and
  // devices would block or never end; the library never treats any of them as a file.
  const std::lock_guard<std::mutex> guard(g_open_records_lock);
  const bool empty = mode == OpenMode::CreateOrTruncate || mode == OpenMode::Replace;
  fd = admit(fd, mode != OpenMode::ReadExisting, empty);
  return fd < 0 ? kNoFile : fd;
}

FileHandle open_file_waiting(const char* path, OpenMode mode) { return open_file(path, mode); }

void close_file(FileHandle file) {
  if (file == kNoFile) return;
  const std::lock_guard<std::mutex> guard(g_open_records_lock);
  for (OpenRecord& r : g_open_records) {
    if (r.fd == file) r.fd = -1;
  }
  ::close(static_cast<int>(file));
}

std::int64_t read_file_at(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t count) {
  auto* out = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    ssize_t got = ::pread(static_cast<int>(file), out + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;  // a refused read is a failure, however much came before it
    }
    if (got == 0) break;
    done += static_cast<std::uint32_t>(got);
  }
  return done;
}

bool write_file_at(FileHandle file, std::uint64_t offset, const void* data, std::uint32_t count) {
  const auto* in = static_cast<const char*>(data);
  std::uint32_t done = 0;
  while (done < count) {
    ssize_t put = ::pwrite(static_cast<int>(file), in + done, count - done, static_cast<off_t>(offset + done));
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (put == 0) return false;
    done += static_cast<std::uint32_t>(put);
  }
  return true;
}

std::int64_t file_length(FileHandle file) {
  struct stat st {};
  if (::fstat(static_cast<int>(file), &st) != 0) return -1;
  return st.st_size;
}

bool truncate_file(FileHandle file, std::uint64_t length) {
  return ::ftruncate(static_cast<int>(file), static_cast<off_t>(length)) == 0;
}

bool lock_exclusive(FileHandle file, LockWait wait) {
  const int operation = LOCK_EX | (wait == LockWait::Try ? LOCK_NB : 0);
  int result;
  do {
    result = ::flock(static_cast<int>(file), operation);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

bool is_same_file(FileHandle file, const char* path) {
  struct stat open_st {};
  struct stat path_st {};
  return ::fstat(static_cast<int>(file), &open_st) == 0 && ::stat(path, &path_st) == 0 &&
         open_st.st_dev == path_st.st_dev && open_st.st_ino == path_st.st_ino;
}

// The C allocator serves as the pool; a heap handle is only a token here.
HeapHandle heap_create() {
  static char token;
  return &token;
}
void heap_destroy(HeapHandle) {}
void* heap_alloc_zeroed(HeapHandle, std::size_t size) { return size == 0 ? nullptr : std::calloc(1, size); }
void heap_free(HeapHandle, void* block) { std::free(block); }

void* global_alloc_zeroed(std::uint32_t size) { return std::calloc(1, size == 0 ? 1 : size); }
void global_free(void* block) { std::free(block); }

// stat stands in for the directory search: wildcards are ordinary file-name characters
// here, and the drive and network-share forms do not arise. Trailing "/" are dropped as
// trailing "\" are on Windows, so "file/" gives the file's size and "/" alone gives -1.
std::int64_t query_size(const std::string& path) {
  std::string copy = path;
  while (!copy.empty() && copy.back() == '/') copy.pop_back();
  if (copy.empty()) return -1;
  struct stat st {};
  if (::stat(copy.c_str(), &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) return -2;
  return st.st_size;
}

void delete_file(const char* path) { ::unlink(path); }

std::string last_error_text() { return std::generic_category().message(errno); }

void copy_permissions(const char* from, FileHandle to) {
  struct stat st {};
  if (::stat(from, &st) == 0 && S_ISREG(st.st_mode)) (void)::fchmod(static_cast<int>(to), st.st_mode & 07777);
}

std::string current_directory() {
  std::vector<char> room(4096);
  while (::getcwd(room.data(), room.size()) == nullptr) {
    if (errno != ERANGE || room.size() >= (1u << 20)) return {};
    room.resize(room.size() * 2);
  }
  return std::string(room.data());
}

void create_directory(const char* path) { ::mkdir(path, 0777); }

bool is_reserved_file_name(std::string_view) { return false; }

bool rename_replacing(const char* from, const char* to) { return std::rename(from, to) == 0; }

// The descriptor is the handle itself; AT_FDCWD (the current directory) is negative, so 0
// (standard input, never a directory opened here) marks "none".
DirectoryHandle open_directory(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd > 0) return fd;
  if (fd == 0) ::close(fd);
  return kNoDirectory;
}

void close_directory(DirectoryHandle directory) {
  if (directory != kNoDirectory) ::close(static_cast<int>(directory));
}

bool rename_in(DirectoryHandle directory, const char* from, const char* to) {
  const int at = static_cast<int>(directory);
  return ::renameat(at, from, at, to) == 0;
}

void delete_file_in(DirectoryHandle directory, const char* name) { ::unlinkat(static_cast<int>(directory), name, 0); }

bool exists_in(DirectoryHandle directory, const char* name) {
  struct stat st {};
  return ::fstatat(static_cast<int>(directory), name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool is_read_only_in(DirectoryHandle, const char*) { return false; }
void clear_read_only_in(DirectoryHandle, const char*) {}

void copy_permissions_in(DirectoryHandle directory, const char* name, FileHandle to) {
  struct stat st {};
  if (::fstatat(static_cast<int>(directory), name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
    (void)::fchmod(static_cast<int>(to), st.st_mode & 07777);
  }
}

namespace {
FileKind kind_of(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return FileKind::Other;
  if (S_ISDIR(st.st_mode)) return FileKind::Directory;
  if (S_ISREG(st.st_mode)) return FileKind::File;
  // A link counts when it leads to a regular file; links to directories are not followed.
  if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return FileKind::File;
  return FileKind::Other;
}
}  // namespace

bool list_directory(const char* path, std::vector<DirectoryItem>& items) {
  items.clear();
  DIR* dir = ::opendir(path);
  if (dir == nullptr) return false;
  std::string prefix = path;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  while (const dirent* item = ::readdir(dir)) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    const bool link = ::lstat((prefix + name).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    items.push_back({name, kind_of(prefix + name), link});
  }
  ::closedir(dir);
  return true;
}

}  // namespace mytarvo::platform
