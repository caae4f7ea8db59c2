// The signals the program catches from its start.
#pragma once

namespace driver {

// Installs the handlers. An interrupt prints "Interrupt" and a termination
// request "Killed" on standard error and ask the run to stop after the record
// being written (a second such signal ends the process at once). On Windows
// Ctrl-C is the interrupt, and Ctrl-Break, closing the console window, logging
// off and shutting down are termination requests; their handler runs on a
// thread of its own. A
// floating-point exception prints "Floating Exception" and an abort signal
// "IOT Trap", and the process then aborts; the ephemeris file holds the whole
// records written out so far. A read or write that waits is interrupted by
// the stop request rather than resumed. SIGXFSZ is ignored, so a write past
// the file-size limit fails with EFBIG, and so is SIGPIPE, so a write to a
// pipe without a reader fails with EPIPE.
void install_signal_handlers();

// True once an interrupt or termination request has arrived.
bool stop_requested();

// Ends the process abnormally, without a message of the C library's own: an
// abort (SIGABRT) on POSIX systems; on Windows exit status 3, what abort()
// leaves there, without the C run-time's "abnormal program termination" text.
[[noreturn]] void abnormal_end();

}  // namespace driver
