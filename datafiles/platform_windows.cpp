#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>

#include "datafiles/platform.h"

namespace datafiles {

// O_BINARY: in the default text mode the C run-time would write each LF as
// CR LF, and the byte count the cut at close relies on would not be the
// file's. O_NOINHERIT is Windows' close-on-exec. The share mode is the lock
// between runs: while one has the file open, another cannot open it for
// writing (and neither can an editor), though anyone may read it.
int open_for_update(const char* path, bool special) {
  const int descriptor =
      ::_sopen(path, (special ? _O_WRONLY : _O_RDWR) | _O_CREAT | _O_BINARY | _O_NOINHERIT,
               _SH_DENYWR, _S_IREAD | _S_IWRITE);
  if (descriptor < 0 && _doserrno == ERROR_SHARING_VIOLATION) errno = EWOULDBLOCK;
  return descriptor;
}

long long write_some(int descriptor, const char* data, std::size_t size) {
  constexpr std::size_t LARGEST = std::size_t{1} << 30;
  return ::_write(descriptor, data, static_cast<unsigned>(size < LARGEST ? size : LARGEST));
}

int open_read_only(const char* path) {
  return ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

// The share mode taken at the open already keeps other runs out.
int lock_table(int /*descriptor*/) {
  return 0;
}

}  // namespace datafiles
