// Win32 implementation of the platform layer: the kernel file services, private heaps,
// the global allocator and the file-system queries.
#include "support/platform.hpp"

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include <cctype>

namespace mytarvo::platform {

const char kDirectorySeparator = '\\';

bool is_directory_separator(char c) { return c == '\\' || c == '/'; }

const std::size_t kPathLimit = MAX_PATH;

NameRules name_rules() {
  NameRules rules;
  rules.backslash_separates = true;
  rules.quotes_enclose = true;
  rules.drive_prefix = true;
  rules.drops_trailing_dots_and_blanks = true;
  rules.code_page = GetACP();
  return rules;
}

bool is_lead_byte(unsigned code_page, unsigned char byte) {
  return code_page != 0 && IsDBCSLeadByteEx(code_page, byte) != 0;
}

bool is_valid_text(unsigned code_page, std::string_view text) {
  if (code_page == 0 || text.empty()) return true;
  if (text.size() > 0x7FFFFFFF) return false;
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr,
                             0) > 0;
}

bool is_drive_alone(std::string_view path) {
  return path.size() == 2 && path[1] == ':' && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

bool has_unexpanded_wildcards(const char* path) {
  const char* name = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (*c == '\\' || *c == '/' || *c == ':') name = c + 1;
  }
  return std::strpbrk(name, "*?") != nullptr;
}

namespace {

HANDLE to_handle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

bool set_position(HANDLE h, std::uint64_t offset) {
  LONG high = static_cast<LONG>(offset >> 32);
  DWORD low = SetFilePointer(h, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

}  // namespace

namespace {

HANDLE create(const char* path, DWORD access, DWORD disposition, DWORD flags = 0) {
  return CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

// First a fresh file replacing any old one; if that is refused (for example a hidden or
// system file), the existing one opened for writing and emptied.
HANDLE create_or_truncate(const char* path, DWORD flags) {
  HANDLE h = create(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, flags);
  if (h == INVALID_HANDLE_VALUE) h = create(path, GENERIC_WRITE, TRUNCATE_EXISTING, flags);
  return h;
}

// True when the file open as `h` is a reparse point (a symbolic link or junction, opened
// as itself) or has more than one name.
bool is_link(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) return true;  // unknown: treated as the unsafe case
  return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || info.nNumberOfLinks > 1;
}

// True when `path` names a link (see is_link) rather than a plain file; asked without
// opening the file for access, so that no holder's sharing refuses the question.
bool names_link(const char* path) {
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool link = is_link(h);
  CloseHandle(h);
  return link;
}

// WriteOutput: the file is opened as itself, never what a link leads to, and unchanged;
// a link is then deleted (the link, not its target) and a new file created in its place;
// a plain file is emptied.
HANDLE open_output(const char* path) {
  HANDLE h = create(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT);
  if (h == INVALID_HANDLE_VALUE) h = create(path, GENERIC_WRITE, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
  if (h == INVALID_HANDLE_VALUE) return h;
  if (is_link(h)) {
    CloseHandle(h);
    if (!DeleteFileA(path)) return INVALID_HANDLE_VALUE;
    return create(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT);
  }
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(h, start, nullptr, FILE_BEGIN) || !SetEndOfFile(h)) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

// Replace: never deletes a plain file first. Deleting a file that another program holds
// with delete sharing only marks it for deletion, and the new file could then not be
// created at all; creating or truncating in one step leaves a held file as it was.
HANDLE open_replacing(const char* path) {
  if (names_link(path)) DeleteFileA(path);
  return create_or_truncate(path, FILE_FLAG_OPEN_REPARSE_POINT);
}

HANDLE open_handle(const char* path, OpenMode mode) {
  switch (mode) {
    case OpenMode::CreateOrTruncate: return create_or_truncate(path, 0);
    case OpenMode::WriteOutput: return open_output(path);
    case OpenMode::Replace: return open_replacing(path);
    case OpenMode::OpenOrCreate: return create(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    case OpenMode::ReadExisting: return create(path, GENERIC_READ, OPEN_EXISTING);
    case OpenMode::CreateNew: return create(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

FileHandle open_file(const char* path, OpenMode mode) {
  HANDLE h = open_handle(path, mode);
  if (h == INVALID_HANDLE_VALUE) return kNoFile;
  // Devices (NUL, COM1, CON, pipes) are not files: the library never reads or writes them.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    SetLastError(ERROR_ACCESS_DENIED);
    return kNoFile;
  }
  return reinterpret_cast<FileHandle>(h);
}

FileHandle open_file_waiting(const char* path, OpenMode mode) {
  constexpr DWORD kStepMs = 20;
  constexpr DWORD kPatienceMs = 2000;
  for (DWORD waited = 0;; waited += kStepMs) {
    const FileHandle file = open_file(path, mode);
    if (file != kNoFile || GetLastError() != ERROR_SHARING_VIOLATION || waited >= kPatienceMs) return file;
    Sleep(kStepMs);
  }
}

void close_file(FileHandle file) {
  if (file != kNoFile) CloseHandle(to_handle(file));
}

std::int64_t read_file_at(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t count) {
  HANDLE h = to_handle(file);
  if (!set_position(h, offset)) return -1;
  auto* out = static_cast<char*>(buffer);
  std::uint32_t done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!ReadFile(h, out + done, count - done, &got, nullptr)) return -1;  // a refused read is a failure
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool write_file_at(FileHandle file, std::uint64_t offset, const void* data, std::uint32_t count) {
  HANDLE h = to_handle(file);
  if (!set_position(h, offset)) return false;
  const auto* in = static_cast<const char*>(data);
  std::uint32_t done = 0;
  while (done < count) {
    DWORD put = 0;
    if (!WriteFile(h, in + done, count - done, &put, nullptr) || put == 0) return false;
    done += put;
  }
  return true;
}

std::int64_t file_length(FileHandle file) {
  DWORD high = 0;
  DWORD low = GetFileSize(to_handle(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

bool truncate_file(FileHandle file, std::uint64_t length) {
  HANDLE h = to_handle(file);
  // A file marked sparse before it grows takes no disk space for the zeros it grows by;
  // a file system without sparse files refuses the mark and allocates them as before.
  const std::int64_t current = file_length(file);
  if (current >= 0 && length > static_cast<std::uint64_t>(current)) {
    DWORD returned = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  }
  return set_position(h, length) && SetEndOfFile(h);
}

// The lock covers one byte at the far end of the 64-bit offset range: no file reaches it,
// so the mandatory range lock never gets in the way of reading or writing the data.
bool lock_exclusive(FileHandle file, LockWait wait) {
  OVERLAPPED where{};
  where.Offset = 0xFFFFFFFEu;
  where.OffsetHigh = 0x7FFFFFFFu;
  const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait == LockWait::Try ? LOCKFILE_FAIL_IMMEDIATELY : 0);
  return LockFileEx(to_handle(file), flags, 0, 1, 0, &where) != 0;
}

namespace {
bool identify(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) { return GetFileInformationByHandle(h, &info) != 0; }
}  // namespace

bool is_same_file(FileHandle file, const char* path) {
  // A query-only open conflicts with no holder's sharing.
  HANDLE other = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  const bool same = identify(to_handle(file), a) && identify(other, b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                    a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(other);
  return same;
}

HeapHandle heap_create() { return HeapCreate(0, 0, 0); }
void heap_destroy(HeapHandle heap) {
  if (heap != nullptr) HeapDestroy(static_cast<HANDLE>(heap));
}
void* heap_alloc_zeroed(HeapHandle heap, std::size_t size) {
  if (heap == nullptr || size == 0) return nullptr;
  return HeapAlloc(static_cast<HANDLE>(heap), HEAP_ZERO_MEMORY, size);
}
void heap_free(HeapHandle heap, void* block) {
  if (heap != nullptr && block != nullptr) HeapFree(static_cast<HANDLE>(heap), 0, block);
}

void* global_alloc_zeroed(std::uint32_t size) { return GlobalAlloc(GMEM_ZEROINIT, size); }
void global_free(void* block) {
  if (block != nullptr) GlobalFree(static_cast<HGLOBAL>(block));
}

std::int64_t query_size(const std::string& path) {
  std::string copy = path;
  // A drive given as "C:" or "C:\": ask for the drive type of its root.
  if ((copy.size() == 2 || copy.size() == 3) && copy[1] == ':') {
    if (copy.size() == 2) copy += '\\';
    return GetDriveTypeA(copy.c_str()) > DRIVE_NO_ROOT_DIR ? -2 : -1;
  }
  while (!copy.empty() && copy.back() == '\\') copy.pop_back();

  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(copy.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    FindClose(search);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -2;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
  }
  // Share roots (\\server\share) are not found by the search but do have attributes.
  if (copy.size() >= 2 && copy[0] == '\\' && copy[1] == '\\') {
    DWORD attributes = GetFileAttributesA(copy.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return -2;
  }
  return -1;
}

void delete_file(const char* path) { DeleteFileA(path); }

void copy_permissions(const char*, FileHandle) {}

std::string last_error_text() {
  const DWORD code = GetLastError();
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.')) --length;
  if (length == 0) return "system error " + std::to_string(code);
  return std::string(text, length);
}

std::string current_directory() {
  char room[MAX_PATH];  // 260 characters, the terminating NUL included
  DWORD length = GetCurrentDirectoryA(MAX_PATH, room);
  // 0 is a failure; a value of MAX_PATH or more is the room the answer would need.
  if (length == 0 || length >= MAX_PATH) return {};
  return std::string(room, length);
}

void create_directory(const char* path) { CreateDirectoryA(path, nullptr); }

namespace {

bool equals_upper(std::string_view a, std::string_view upper) {
  if (a.size() != upper.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != static_cast<unsigned char>(upper[i])) return false;
  }
  return true;
}

// COM and LPT ports take the digits 0 to 9 and, in the ANSI code page, the superscript
// digits 1 to 3 (bytes B9, B2, B3).
bool is_port_digit(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (c >= '0' && c <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

}  // namespace

bool is_reserved_file_name(std::string_view name) {
  if (name.find(':') != std::string_view::npos) return true;  // drive part or alternate data stream
  // The system drops trailing periods and blanks from the last part of a path, so such a
  // name would not be the file written ("..." would even name the directory itself).
  if (!name.empty() && (name.back() == '.' || name.back() == ' ')) return true;
  // Device names are reserved with any extension and in any case; the system also drops
  // blanks before the extension ("CON .txt" is the console).
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (equals_upper(stem, device)) return true;
  }
  if (stem.size() == 4 && is_port_digit(stem[3])) {
    const std::string_view prefix = stem.substr(0, 3);
    if (equals_upper(prefix, "COM") || equals_upper(prefix, "LPT")) return true;
  }
  return false;
}

bool rename_replacing(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

namespace {

// An open directory: the handle, held without delete sharing so that nobody can rename or
// remove the directory meanwhile, and the path it was opened by.
struct OpenDirectory {
  HANDLE handle;
  std::string path;
};

OpenDirectory* to_directory(DirectoryHandle directory) { return reinterpret_cast<OpenDirectory*>(directory); }

// The path of `name` in `directory`, once the directory's path is checked to still name
// the directory held open; "" (and ERROR_PATH_NOT_FOUND) when it does not.
std::string path_in(DirectoryHandle directory, const char* name) {
  OpenDirectory* open = to_directory(directory);
  if (open == nullptr || !is_same_file(reinterpret_cast<FileHandle>(open->handle), open->path.c_str())) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return {};
  }
  std::string path = open->path;
  if (!path.empty() && path.back() != '\\' && path.back() != '/' && !is_drive_alone(path)) path += '\\';
  return path + name;
}

}  // namespace

DirectoryHandle open_directory(const char* path) {
  HANDLE h = CreateFileA(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoDirectory;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(h);
    return kNoDirectory;
  }
  return reinterpret_cast<DirectoryHandle>(new OpenDirectory{h, path});
}

void close_directory(DirectoryHandle directory) {
  OpenDirectory* open = to_directory(directory);
  if (open == nullptr) return;
  CloseHandle(open->handle);
  delete open;
}

FileHandle open_file_in(DirectoryHandle directory, const char* name, OpenMode mode) {
  const std::string path = path_in(directory, name);
  return path.empty() ? kNoFile : open_file(path.c_str(), mode);
}

bool rename_in(DirectoryHandle directory, const char* from, const char* to) {
  const std::string source = path_in(directory, from);
  const std::string target = path_in(directory, to);
  return !source.empty() && !target.empty() && rename_replacing(source.c_str(), target.c_str());
}

void delete_file_in(DirectoryHandle directory, const char* name) {
  const std::string path = path_in(directory, name);
  if (!path.empty()) delete_file(path.c_str());
}

bool exists_in(DirectoryHandle directory, const char* name) {
  const std::string path = path_in(directory, name);
  return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void copy_permissions_in(DirectoryHandle, const char*, FileHandle) {}

bool is_read_only_in(DirectoryHandle directory, const char* name) {
  const std::string path = path_in(directory, name);
  const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void clear_read_only_in(DirectoryHandle directory, const char* name) {
  const std::string path = path_in(directory, name);
  const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
}

bool list_directory(const char* path, std::vector<DirectoryItem>& items) {
  items.clear();
  std::string pattern = path;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    FileKind kind = FileKind::File;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // Junctions and directory links are not followed.
      kind = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? FileKind::Other : FileKind::Directory;
    } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) {
      kind = FileKind::Other;
    }
    items.push_back({name, kind, (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return true;
}

}  // namespace mytarvo::platform
