// The parts of test_support.h that Windows does differently or not at all.
#include <windows.h>

#include <random>
#include <stdexcept>

#include "test_support.h"

namespace testing_support {

std::filesystem::path make_temporary_directory(const char* prefix) {
  std::random_device entropy;
  std::mt19937_64 random((std::uint64_t{entropy()} << 32) ^ ::GetCurrentProcessId());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = base / (prefix + std::to_string(random() % 1000000000));
    if (std::filesystem::create_directory(candidate)) return candidate;
  }
  throw std::runtime_error("no fresh temporary directory");
}

std::string run_in_child(const std::function<std::string()>& /*body*/) {
  throw std::logic_error("run_in_child: Windows has no fork");
}

bool limit_address_space_growth(std::size_t /*extra*/) {
  return false;
}

}  // namespace testing_support
