// POSIX implementation of the platform layer: open/pread/pwrite/fstat, calloc, stat.
#include "support/platform.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace mytarvo::platform {

const char kDirectorySeparator = '/';

FileHandle open_file(const char* path, OpenMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::CreateOrTruncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OpenMode::OpenOrCreate: flags |= O_RDWR | O_CREAT; break;
    case OpenMode::ReadExisting: flags |= O_RDONLY; break;
    case OpenMode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
  }
  int fd;
  do {
    fd = ::open(path, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kNoFile;
  // Directories open read-only on POSIX; the library never treats one as a file.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kNoFile;
  }
  return fd;
}

void close_file(FileHandle file) {
  if (file != kNoFile) ::close(static_cast<int>(file));
}

std::int64_t read_file_at(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t count) {
  auto* out = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    ssize_t got = ::pread(static_cast<int>(file), out + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? static_cast<std::int64_t>(done) : -1;
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

std::int64_t query_size(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) return -2;
  return st.st_size;
}

void delete_file(const char* path) { ::unlink(path); }

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
    items.push_back({name, kind_of(prefix + name)});
  }
  ::closedir(dir);
  return true;
}

}  // namespace mytarvo::platform
