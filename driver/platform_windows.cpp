// The Windows side of driver/platform.h. Ctrl-C, Ctrl-Break and the console's close, logoff and
// shutdown events come to a console control handler, which the system runs on
// a thread of its own; the floating-point exception and abort signals come
// through the C run-time's signal().
#include <io.h>
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "driver/console.h"
#include "driver/platform.h"

namespace driver {
namespace {

// Set by the console control handler, read by the day loop. This is the
// program's only mutable global, as the handler needs one; it runs on another
// thread, so the flag is an atomic that needs no lock.
std::atomic<bool> stop_flag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "another thread sets the flag");

// Writes to standard error, which the C run-time keeps in text mode: each
// line ends in CR LF there.
void say(const char* text) {
  // Nothing can be done about a failed write to standard error here.
  [[maybe_unused]] const int written = ::_write(2, text, static_cast<unsigned>(std::strlen(text)));
}

BOOL WINAPI on_console_event(DWORD event) {
  // A second request gets the system's default: the process ends at once.
  if (stop_flag.exchange(true)) return FALSE;
  say(event == CTRL_C_EVENT ? "Interrupt\n" : "Killed\n");
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // Closing the console, logging off and shutting down end the process as
  // soon as this handler returns, so it does not: the day loop stops after
  // the record in hand and the program exits, within the few seconds the
  // system allows before it ends the process itself.
  ::Sleep(INFINITE);
  return TRUE;
}

// While a report is held on screen, any console event ends the program at
// once, as the failure would have ended it.
BOOL WINAPI on_console_event_while_held(DWORD /*event*/) {
  abnormal_end();
}

void on_fatal_signal(int signal_number) {
  say(signal_number == SIGFPE ? "Floating Exception\n" : "IOT Trap\n");
  abnormal_end();
}

}  // namespace

void install_signal_handlers() {
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
  std::signal(SIGFPE, on_fatal_signal);
  std::signal(SIGABRT, on_fatal_signal);
}

bool stop_requested() {
  return stop_flag.load();
}

// The C run-time keeps descriptors 0, 1 and 2 for the standard streams even
// where the process was started without them, so no file the run opens can
// take their numbers.
void open_standard_descriptors() {}

// Windows keeps no core files.
void switch_off_core_dumps() {}

void hold_report_on_screen() {
  // The call gives the count even where the list does not fit in the room.
  DWORD processes[2];
  const DWORD attached = ::GetConsoleProcessList(processes, 2);
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool input_is_console = ::GetConsoleMode(input, &mode) != 0;
  if (!should_wait_for_enter({attached, input_is_console})) return;
  ::SetConsoleCtrlHandler(on_console_event, FALSE);
  ::SetConsoleCtrlHandler(on_console_event_while_held, TRUE);
  say(WAIT_PROMPT);
  // The console hands over a line once Enter is pressed; a read that fails or
  // finds the end of the input ends the wait too.
  char line[64];
  DWORD got = 0;
  while (::ReadFile(input, line, sizeof line, &got, nullptr) != 0 && got > 0 &&
         std::memchr(line, '\n', got) == nullptr) {
  }
}

void abnormal_end() {
  // What abort() leaves, without its message box or console text.
  std::_Exit(3);
}

}  // namespace driver
