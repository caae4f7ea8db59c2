#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "datafiles/platform.h"

namespace datafiles {

int open_for_update(const char* path, bool special) {
  return ::open(path, (special ? O_WRONLY : O_RDWR) | O_CREAT | O_CLOEXEC, 0666);
}

long long write_some(int descriptor, const char* data, std::size_t size) {
  return ::write(descriptor, data, size);
}

int open_read_only(const char* path) {
  return ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

int lock_table(int descriptor) {
  if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0) return 0;
  // A file system without locks (EINVAL, ENOLCK, EOPNOTSUPP) runs unlocked.
  return errno == EWOULDBLOCK ? EWOULDBLOCK : 0;
}

}  // namespace datafiles
