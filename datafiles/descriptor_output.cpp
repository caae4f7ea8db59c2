#include "datafiles/descriptor_output.h"

#include <cerrno>

#include "datafiles/platform.h"

namespace datafiles {

int write_fully(int descriptor, const char* data, std::size_t size, std::size_t& written,
                stop_check stop) {
  written = 0;
  while (written < size) {
    const long long n = write_some(descriptor, data + written, size - written);
    if (n < 0) {
      if (errno != EINTR) return errno;
      if (stop != nullptr && stop()) return EINTR;
      continue;
    }
    if (n == 0) return EIO;  // no progress and no error: give up rather than spin
    written += static_cast<std::size_t>(n);
    // A signal that ends a waiting write after some bytes makes it short
    // rather than failed.
    if (written < size && stop != nullptr && stop()) return EINTR;
  }
  return 0;
}

}  // namespace datafiles
