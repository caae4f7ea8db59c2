#include <fcntl.h>

#include "datafiles/platform.h"

namespace datafiles {

int open_for_update(const char* path) {
  return ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
}

int open_read_only(const char* path) {
  return ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

}  // namespace datafiles
