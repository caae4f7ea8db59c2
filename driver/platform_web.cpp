// The WebAssembly side of driver/platform.h.
// A page runs the program in a fresh module instance over an in-memory file
// system: no signal or console event reaches it, its standard descriptors are
// the page's own, and the abnormal end after a report must come back to the
// page as an exit status, since an abort would leave the instance dead
// without one.
#include <cstdlib>

#include "driver/platform.h"

namespace driver {
namespace {

// What a POSIX shell shows for a program ended by SIGABRT (128 + 6), as the
// console build ends after a report.
constexpr int ABNORMAL_END_STATUS = 134;

}  // namespace

// Nothing can interrupt the run, so there is nothing to catch.
void install_signal_handlers() {}

bool stop_requested() {
  return false;
}

// The page opens all three before the program starts.
void open_standard_descriptors() {}

// A page keeps no core files.
void switch_off_core_dumps() {}

// The page shows the report itself.
void hold_report_on_screen() {}

void abnormal_end() {
  std::_Exit(ABNORMAL_END_STATUS);
}

}  // namespace driver
