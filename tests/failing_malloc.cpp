// A malloc for the end-to-end tests, preloaded into the program under test
// (LD_PRELOAD): it fails one allocation, the one whose number, counting every
// malloc of the process from 1, EPHEMERIS_FAILING_MALLOC gives as
// "<number>:<file>", and creates <file> as it does, so that the test knows
// the allocation came. Everything else goes to the C library's malloc.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

extern "C" void* __libc_malloc(std::size_t size);  // glibc's own malloc

namespace {

bool configured = false;
long calls = 0;
long failing = 0;  // the allocation to fail; 0 for none
const char* marker = nullptr;

// Reads the setting, without allocating.
void configure() {
  configured = true;
  const char* setting = std::getenv("EPHEMERIS_FAILING_MALLOC");
  if (setting == nullptr) return;
  char* end = nullptr;
  failing = std::strtol(setting, &end, 10);
  if (*end == ':') marker = end + 1;
}

}  // namespace

extern "C" void* malloc(std::size_t size) {
  if (!configured) configure();
  if (++calls != failing) return __libc_malloc(size);
  if (marker != nullptr) {
    const int made = ::open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (made >= 0) ::close(made);
  }
  errno = ENOMEM;
  return nullptr;
}
