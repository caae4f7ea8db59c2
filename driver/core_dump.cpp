#include "driver/core_dump.h"

#if defined(__unix__) || defined(__APPLE__)
#include <sys/resource.h>
#endif
#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace driver {

void switch_off_core_dumps() {
#if defined(__unix__) || defined(__APPLE__)
  const rlimit no_core{0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
#endif
#if defined(__linux__)
  // A core pattern that pipes to a crash handler ignores the size limit; a
  // process that is not dumpable is dumped nowhere.
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

}  // namespace driver
