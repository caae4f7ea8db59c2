// Running the real program in a directory of its own, for the end-to-end tests.
#pragma once

#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform.h"
#include "test_support.h"

namespace testing_support {

// How a finished run ended and what it printed.
struct run_result {
  int exit_status = -1;      // the exit status, or -1 when a signal ended the process
  int signal = 0;            // the signal that ended the process, or 0
  bool core_dumped = false;  // the kernel says it dumped (or tried to dump) a core
  std::string out;           // standard output
  std::string err;           // standard error
};

struct run_options {
  std::vector<std::string> arguments;          // after the program's name
  bool unprivileged = false;                   // run as user and group "nobody" (needs root); the
                                               // program is then run from a copy in `directory`
  bool close_standard_error = false;           // start it with descriptor 2 closed
  rlim_t file_size_limit = RLIM_INFINITY;      // RLIMIT_FSIZE, bytes
  rlim_t address_space_limit = RLIM_INFINITY;  // RLIMIT_AS, bytes
  bool core_dumps = false;                     // as after `ulimit -c unlimited`; off otherwise
  std::string standard_output{};  // POSIX only: a file to send standard output to (/dev/full)
                                  // instead of capturing it; empty to capture it
  std::vector<std::string> environment{};  // POSIX only: "NAME=value" added to its environment
};

// The program, started in `directory` with standard input closed and its
// outputs captured in files beside it; core dumps are disabled unless the
// options allow them.
class running_program {
 public:
  running_program(const std::filesystem::path& directory, const run_options& options = {});
  ~running_program();
  running_program(const running_program&) = delete;
  running_program& operator=(const running_program&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  // Sends the POSIX signal `signal_number` (kill(2)). On Windows SIGTERM is
  // sent as Ctrl-Break to the program's process group, SIGKILL ends it with
  // TerminateProcess, and the others are not sent: false (see can_send).
  bool send(int signal_number) const;
  // Waits at most `seconds` for the end, killing the program after that.
  run_result wait(double seconds = 60);

 private:
  pid_t pid_ = -1;
  std::filesystem::path capture_directory_;
#ifdef _WIN32
  void* process_ = nullptr;  // the process's handle
#endif
};

// True when the run ended as a failure ends it on this platform: by SIGABRT on
// POSIX systems, with exit status 3 on Windows.
inline bool ended_abnormally(const run_result& result) {
  return result.exit_status == PLATFORM.abnormal_exit_status &&
         result.signal == PLATFORM.abnormal_signal;
}

// Whether running_program::send() can send `signal_number` on this platform.
bool can_send(int signal_number);

// Starts the program and waits for it.
inline run_result run_program(const std::filesystem::path& directory,
                              const run_options& options = {}) {
  running_program program(directory, options);
  return program.wait();
}

// True where this process may switch a child to user "nobody".
bool can_run_unprivileged();

}  // namespace testing_support
