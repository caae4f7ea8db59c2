#include "driver/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <initializer_list>

namespace driver {

void open_standard_descriptors() {
  for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free number, which is this one.
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened != descriptor) {
      // Without /dev/null the number stays free: better no run than one that
      // writes its messages into the table.
      std::abort();
    }
  }
}

}  // namespace driver
