// Keeping a reported failure from looking like a crash.
#pragma once

namespace driver {

// Switches core dumps off for the rest of this process: its core-file size
// limit to zero and, on Linux, the process not dumpable, so that no core file
// appears and no crash handler records the abort that follows a report. Best
// effort: a call that fails changes nothing else. Does nothing where the
// platform has neither.
void switch_off_core_dumps();

}  // namespace driver
