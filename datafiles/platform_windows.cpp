#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "datafiles/platform.h"

namespace datafiles {

// O_BINARY: in the default text mode the C run-time would write each LF as
// CR LF, and the byte count the cut at close relies on would not be the
// file's. O_NOINHERIT is Windows' close-on-exec.
int open_for_update(const char* path) {
  return ::_open(path, _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

int open_read_only(const char* path) {
  return ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

}  // namespace datafiles
