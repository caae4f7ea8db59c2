#include "test_support.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

// make_temporary_directory, run_in_child and limit_address_space_growth for
// Windows are in test_support_windows.cpp.
#ifndef _WIN32
std::filesystem::path make_temporary_directory(const char* prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / prefix).string() + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}
#endif

temporary_directory::temporary_directory() : path_(make_temporary_directory("ephemeris-test-")) {}

temporary_directory::~temporary_directory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::filesystem::path& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

#ifndef _WIN32
std::string run_in_child(const std::function<std::string()>& body) {
  int channel[2];
  if (::pipe(channel) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    const std::string text = "answer:" + body();
    if (::write(channel[1], text.data(), text.size()) < 0) ::_exit(2);
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string text;
  char buffer[256];
  for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(channel[0]);
  ::waitpid(child, nullptr, 0);
  if (text.rfind("answer:", 0) != 0) return "child ended without an answer";
  return text.substr(7);
}

#endif

long environment_number(const char* name, long fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::strtol(text, nullptr, 10) : fallback;
}

#ifndef _WIN32
bool limit_address_space_growth(std::size_t extra) {
  // The first field of /proc/self/statm is the size of the address space, in pages.
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0;
  if (!(statm >> pages)) return false;
  const auto page_size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const rlimit limit{pages * page_size + extra, pages * page_size + extra};
  return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

#endif

}  // namespace testing_support
