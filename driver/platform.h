// What the driver asks of the system that differs by platform, defined once
// per platform: platform_posix.cpp, platform_windows.cpp and, for the page,
// platform_web.cpp.
#pragma once

namespace driver {

// ---------------------------------------------------------------------------
// The standard descriptors.

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that
// no file the run opens takes one of their numbers (and no message meant for
// standard error lands in the table). Call first, before anything is opened.
// Does nothing where the system keeps the three numbers for its own streams.
void open_standard_descriptors();

// ---------------------------------------------------------------------------
// Signals and the end of the process.

// Installs the handlers. An interrupt prints "Interrupt" and a termination
// request "Killed" on standard error and ask the run to stop after the record
// being written (a second such signal ends the process at once). On Windows
// Ctrl-C is the interrupt, and Ctrl-Break, closing the console window, logging
// off and shutting down are termination requests; their handler runs on a
// thread of its own. A floating-point exception prints "Floating Exception"
// and an abort signal "IOT Trap", and the process then aborts; the ephemeris
// file holds the whole records written out so far. A read or write that waits
// is interrupted by the stop request rather than resumed. SIGXFSZ is ignored,
// so a write past the file-size limit fails with EFBIG, and so is SIGPIPE, so
// a write to a pipe without a reader fails with EPIPE.
void install_signal_handlers();

// True once an interrupt or termination request has arrived.
bool stop_requested();

// Switches core dumps off for the rest of this process: its core-file size
// limit to zero and, on Linux, the process not dumpable, so that no core file
// appears and no crash handler records the abort that follows a report. Best
// effort: a call that fails changes nothing else. Does nothing where the
// platform has neither.
void switch_off_core_dumps();

// Called after a failure's report, before the abnormal end. On Windows, where
// should_wait_for_enter (console.h) holds for this process, writes
// WAIT_PROMPT on standard error and waits for Enter (the end of the input,
// Ctrl-C, Ctrl-Break or closing the window end the program at once, with the
// same status). Elsewhere it does nothing: a terminal outlives the program.
void hold_report_on_screen();

// Ends the process abnormally, without a message of the C library's own: an
// abort (SIGABRT) on POSIX systems; on Windows exit status 3, what abort()
// leaves there, without the C run-time's "abnormal program termination"
// text; in the page, status 134, what a shell shows for an abort.
[[noreturn]] void abnormal_end();

}  // namespace driver
