#include "process.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <utility>

#ifndef EPHEMERIS_PROGRAM
#error "EPHEMERIS_PROGRAM must name the program under test"
#endif

namespace testing_support {
namespace {

constexpr uid_t nobody_id = 65534;

}  // namespace

bool can_run_unprivileged() {
  return ::geteuid() == 0;
}

running_program::running_program(const std::filesystem::path& directory, const run_options& options)
    : capture_directory_(make_temporary_directory("ephemeris-capture-")) {
  const std::string out_path = (capture_directory_ / "stdout").string();
  const std::string err_path = (capture_directory_ / "stderr").string();
  std::string program = EPHEMERIS_PROGRAM;
  if (options.unprivileged) {
    // "nobody" may not be allowed into the build tree.
    const std::filesystem::path copy = directory / "ephemeris-under-test";
    std::filesystem::copy_file(program, copy, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(
        copy, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                  std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                  std::filesystem::perms::others_exec);
    program = copy.string();
  }
  std::vector<std::string> words{program};
  words.insert(words.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size());
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const rlimit no_core{0, 0};
    const rlimit any_core{RLIM_INFINITY, RLIM_INFINITY};
    if (!options.core_dumps || ::setrlimit(RLIMIT_CORE, &any_core) != 0) {
      ::setrlimit(RLIMIT_CORE, &no_core);
    }
    const int in = ::open("/dev/null", O_RDONLY);
    const std::string& out_file =
        options.standard_output.empty() ? out_path : options.standard_output;
    const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(126);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    if (options.close_standard_error) ::close(STDERR_FILENO);
    if (::chdir(directory.c_str()) != 0) ::_exit(126);
    for (const std::string& setting : options.environment) {
      ::putenv(const_cast<char*>(setting.c_str()));  // this process's own copy, kept until exec
    }
    for (const auto& [resource, limit] : {std::pair{RLIMIT_FSIZE, options.file_size_limit},
                                          std::pair{RLIMIT_AS, options.address_space_limit}}) {
      const rlimit both{limit, limit};
      if (limit != RLIM_INFINITY && ::setrlimit(resource, &both) != 0) ::_exit(126);
    }
    if (options.unprivileged) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(nobody_id) != 0 || ::setuid(nobody_id) != 0) {
        ::_exit(126);
      }
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
}

running_program::~running_program() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(capture_directory_, ignored);
}

run_result running_program::wait(double seconds) {
  run_result result;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  pid_ = -1;
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
    result.core_dumped = WCOREDUMP(status);
  }
  result.out = read_file(capture_directory_ / "stdout");
  result.err = read_file(capture_directory_ / "stderr");
  return result;
}

bool can_send(int /*signal_number*/) {
  return true;
}

bool running_program::send(int signal_number) const {
  return ::kill(pid_, signal_number) == 0;
}

}  // namespace testing_support
