// tests/process.h on Windows: CreateProcess with the outputs in files.
#include <windows.h>

#include <csignal>
#include <stdexcept>
#include <string>

#include "process.h"

#ifndef EPHEMERIS_PROGRAM
#error "EPHEMERIS_PROGRAM must name the program under test"
#endif

namespace testing_support {
namespace {

// The exit status TerminateProcess gives a program that send() kills, which
// wait() reports as an end by SIGKILL.
constexpr UINT KILLED_STATUS = 128 + SIGKILL;

// How many times a program's start is tried before the test fails.
constexpr int START_ATTEMPTS = 4;

// `word` quoted for a Windows command line, backslashes before quotes doubled.
std::wstring quoted(const std::wstring& word) {
  std::wstring text = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    text += c;
  }
  text.append(2 * backslashes, L'\\');
  return text + L"\"";
}

bool under_wine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

HANDLE inheritable_file(const std::filesystem::path& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE file = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path.string());
  return file;
}

}  // namespace

bool can_run_unprivileged() {
  return false;
}

running_program::running_program(const std::filesystem::path& directory, const run_options& options)
    : capture_directory_(make_temporary_directory("ephemeris-capture-")) {
  std::wstring command = quoted(std::filesystem::path(EPHEMERIS_PROGRAM).wstring());
  for (const std::string& argument : options.arguments) {
    command += L" " + quoted(std::filesystem::path(argument).wstring());
  }
  HANDLE in = inheritable_file("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE out = inheritable_file(capture_directory_ / "stdout", GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = inheritable_file(capture_directory_ / "stderr", GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  // A process group of its own, so that Ctrl-Break can be sent to it alone.
  // Under Wine a start now and then fails for no reason of the program's (a
  // CI run met one in some hundreds); a few more tries keep that out of the
  // results, and a start that keeps failing is still reported, with its error.
  BOOL started = FALSE;
  DWORD error = 0;
  for (int attempt = 0; attempt < START_ATTEMPTS && !started; ++attempt) {
    if (attempt > 0) ::Sleep(200);
    started =
        ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                         nullptr, directory.c_str(), &startup, &process);
    if (!started) error = ::GetLastError();
  }
  ::CloseHandle(in);
  ::CloseHandle(out);
  ::CloseHandle(err);
  if (!started) {
    throw std::runtime_error("CreateProcess failed " + std::to_string(START_ATTEMPTS) +
                             " times, the last with error " + std::to_string(error));
  }
  ::CloseHandle(process.hThread);
  process_ = process.hProcess;
  pid_ = static_cast<pid_t>(process.dwProcessId);
}

running_program::~running_program() {
  if (process_ != nullptr) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, INFINITE);
    ::CloseHandle(process_);
  }
  std::error_code ignored;
  std::filesystem::remove_all(capture_directory_, ignored);
}

bool can_send(int signal_number) {
  // Ctrl-Break reaches only programs that share a console with this one, and
  // Wine does not deliver console control events at all (measured with Wine
  // 8: GenerateConsoleCtrlEvent fails, or succeeds and nothing arrives).
  if (signal_number == SIGTERM) return ::GetConsoleWindow() != nullptr && !under_wine();
  return signal_number == SIGKILL;
}

bool running_program::send(int signal_number) const {
  if (signal_number == SIGTERM) {
    return ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(pid_)) != 0;
  }
  if (signal_number == SIGKILL) return ::TerminateProcess(process_, KILLED_STATUS) != 0;
  return false;
}

run_result running_program::wait(double seconds) {
  run_result result;
  if (::WaitForSingleObject(process_, static_cast<DWORD>(seconds * 1000)) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_, 1);
    ::WaitForSingleObject(process_, INFINITE);
  }
  DWORD status = 0;
  ::GetExitCodeProcess(process_, &status);
  ::CloseHandle(process_);
  process_ = nullptr;
  pid_ = -1;
  if (status == KILLED_STATUS) {
    result.signal = SIGKILL;
  } else {
    result.exit_status = static_cast<int>(status);
  }
  result.out = read_file(capture_directory_ / "stdout");
  result.err = read_file(capture_directory_ / "stderr");
  return result;
}

}  // namespace testing_support
