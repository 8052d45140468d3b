// Windows child processes: CreateProcessA with inheritable file handles as standard
// output and error, and a command line quoted the way the C runtime splits it.
#include <windows.h>

#include "tool/run_process.hpp"

namespace mytarvo::test {

namespace {

// Quotes one argument so that the child's C runtime gives it back unchanged: backslashes
// are literal except before a quote, where they are doubled, and quotes are escaped.
std::string quoted(const std::string& argument) {
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

HANDLE inheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int run_process(const std::string& program, const std::vector<std::string>& arguments, const std::string& cwd,
                const std::string& out_path, const std::string& err_path, unsigned time_limit_seconds) {
  std::string command = quoted(program);
  for (const auto& argument : arguments) {
    command += ' ';
    command += quoted(argument);
  }
  HANDLE in = inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE out = inheritable(out_path, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = inheritable(err_path, GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      cwd.empty() ? nullptr : cwd.c_str(), &startup, &process);
  for (HANDLE h : {in, out, err}) {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  if (!started) return -1;
  const bool finished = WaitForSingleObject(process.hProcess, time_limit_seconds * 1000u) == WAIT_OBJECT_0;
  if (!finished) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  DWORD status = 0;
  const BOOL got = finished && GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return got ? static_cast<int>(status) : -1;
}

}  // namespace mytarvo::test
