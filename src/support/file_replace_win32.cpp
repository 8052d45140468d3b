// Win32 implementation of the file replacement services: FlushFileBuffers and MoveFileEx.
#include <windows.h>

#include "support/file_replace.hpp"

namespace mytarvo::platform {

std::string resolve_links(const std::string& path) { return path; }

FileHandle open_for_replacing(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoFile;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(h);
    SetLastError(ERROR_DIRECTORY);
    return kNoFile;
  }
  return reinterpret_cast<FileHandle>(h);
}

std::int64_t copy_range(FileHandle, std::uint64_t, FileHandle, std::uint64_t, std::uint32_t) {
  return kCopyUnsupported;
}

bool sync_file(FileHandle file) { return FlushFileBuffers(reinterpret_cast<HANDLE>(file)) != 0; }

bool copy_permissions(FileHandle, FileHandle) { return true; }

bool replace_file(const char* from, const char* to, FileHandle& held_target) {
  if (held_target != kNoFile) CloseHandle(reinterpret_cast<HANDLE>(held_target));
  held_target = kNoFile;
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::string describe_last_error() {
  const DWORD code = GetLastError();
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                      text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty()) message = "system error " + std::to_string(code);
  return message;
}

}  // namespace mytarvo::platform
