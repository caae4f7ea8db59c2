// The POSIX side of driver/platform.h: the standard descriptors through
// fcntl and /dev/null, signals through sigaction, core dumps through setrlimit
// and, on Linux, prctl.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <initializer_list>
#include <iterator>

#include "driver/platform.h"

namespace driver {
namespace {

// Set by the interrupt and termination handlers, read by the day loop. This is
// the program's only mutable global, as a signal handler needs one.
std::atomic<bool> stop_flag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler may set the flag");

void say(const char* text, std::size_t length) {
  // Nothing can be done about a failed write to standard error here.
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, text, length);
}

template <std::size_t N>
void say(const char (&text)[N]) {
  say(text, N - 1);
}

void on_stop_request(int signal_number) {
  if (signal_number == SIGINT) {
    say("Interrupt\n");
  } else {
    say("Killed\n");
  }
  stop_flag.store(true);
}

void on_fatal_signal(int signal_number) {
  if (signal_number == SIGFPE) {
    say("Floating Exception\n");
  } else {
    say("IOT Trap\n");
  }
  abnormal_end();
}

// `flags` are SA_... bits, which the C library spells as unsigned constants
// while sigaction holds them in an int.
void install(int signal_number, void (*handler)(int), unsigned flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = static_cast<int>(flags);
  sigaction(signal_number, &action, nullptr);
}

}  // namespace

void open_standard_descriptors() {
  for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free number, which is this one.
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened != descriptor) {
      // Without /dev/null the number stays free: better no run than one that
      // writes its messages into the table.
      std::abort();
    }
  }
}

void install_signal_handlers() {
  // A second interrupt or termination request finds the default action back
  // in place and ends the process at once. Neither restarts a read or write
  // that waits (on a pipe): it returns, and the run stops there.
  install(SIGINT, on_stop_request, SA_RESETHAND);
  install(SIGTERM, on_stop_request, SA_RESETHAND);
  install(SIGFPE, on_fatal_signal, SA_RESETHAND);
  install(SIGABRT, on_fatal_signal, SA_RESETHAND);
  // Past a file-size limit a write fails (EFBIG), and a write to a pipe whose
  // reader has gone fails (EPIPE); each is reported like any other, instead
  // of the signal ending the run without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}

bool stop_requested() {
  return stop_flag.load();
}

void switch_off_core_dumps() {
  const rlimit no_core{0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
#ifdef __linux__
  // A core pattern that pipes to a crash handler ignores the size limit; a
  // process that is not dumpable is dumped nowhere.
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

// A terminal outlives the program: the report stays on screen.
void hold_report_on_screen() {}

void abnormal_end() {
  // The abort is this program's own: it must not also print the abort
  // signal's message.
  std::signal(SIGABRT, SIG_DFL);
  std::abort();
}

}  // namespace driver
