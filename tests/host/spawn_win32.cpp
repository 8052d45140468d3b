// Child copies of this program on Windows: CreateProcess of the program's own file.
#include <windows.h>

#include "host/spawn.hpp"

namespace mytarvo::test {

std::vector<int> run_self_copies(int count, const std::string& filter, const std::string& name,
                                 const std::string& value, int timeout_seconds) {
  char program[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  std::vector<HANDLE> children;
  for (int i = 0; i < count; ++i) {
    if (length == 0 || length >= sizeof program) break;
    std::string command = "\"";
    command.append(program, length);
    command += "\" --gtest_filter=";
    command += filter;
    // The child inherits the environment as it is at its start.
    SetEnvironmentVariableA(name.c_str(), (value + std::to_string(i)).c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      CloseHandle(process.hThread);
      children.push_back(process.hProcess);
    } else {
      children.push_back(nullptr);
    }
  }
  SetEnvironmentVariableA(name.c_str(), nullptr);
  std::vector<int> codes(static_cast<std::size_t>(count), -1);
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(timeout_seconds) * 1000;
  for (std::size_t i = 0; i < children.size(); ++i) {
    if (children[i] == nullptr) continue;
    const DWORD now = GetTickCount();
    const DWORD left = static_cast<int>(deadline - now) > 0 ? deadline - now : 0;
    DWORD code = 0;
    if (WaitForSingleObject(children[i], left) == WAIT_OBJECT_0 && GetExitCodeProcess(children[i], &code)) {
      codes[i] = static_cast<int>(code);
    } else {
      TerminateProcess(children[i], 1);
      WaitForSingleObject(children[i], 5000);
    }
    CloseHandle(children[i]);
  }
  return codes;
}

}  // namespace mytarvo::test
