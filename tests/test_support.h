// What every kind of test needs: a scratch directory, whole-file reads and
// writes, and a child process to run code under limits of its own.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace testing_support {

// A double's bits, for comparisons that tell -0 from 0 and one NaN from another.
inline std::uint64_t bits(double value) {
  return std::bit_cast<std::uint64_t>(value);
}

// A fresh directory under the system's temporary directory, removed with its
// contents on destruction.
class temporary_directory {
 public:
  temporary_directory();
  ~temporary_directory();
  temporary_directory(const temporary_directory&) = delete;
  temporary_directory& operator=(const temporary_directory&) = delete;
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A fresh directory whose name starts with `prefix`, which the caller removes.
std::filesystem::path make_temporary_directory(const char* prefix);

// The file's bytes; empty if it cannot be read.
std::string read_file(const std::filesystem::path& path);
// Replaces the file's contents with `contents`; throws if that fails.
void write_file(const std::filesystem::path& path, const std::string& contents);

// Runs `body` in a forked child process, so that it may change its user or
// its limits without touching this process, and returns what it returned. A
// child that ends without returning (a crash, a failed allocation under a
// memory limit) gives "child ended without an answer".
std::string run_in_child(const std::function<std::string()>& body);

// The whole number in environment variable `name`, or `fallback` if unset:
// how property tests are run at scale by hand.
long environment_number(const char* name, long fallback);

// Limits this process's address space to what it maps now plus `extra`
// bytes (RLIMIT_AS); false if it could not. Meant for a child of
// run_in_child.
bool limit_address_space_growth(std::size_t extra);

// True in a build with AddressSanitizer, whose shadow memory rules out an
// address-space limit.
constexpr bool under_address_sanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

}  // namespace testing_support
