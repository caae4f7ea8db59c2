// The command line: what the program is asked to do.
#pragma once

#include <string_view>

namespace driver {

enum class command {
  run,      // the run: any arguments but the ones below, which are ignored
  help,     // "--help" or "-h" alone: the usage text
  version,  // "--version" alone: the name and version
  check,    // "--check" alone: what DATOS.DAT reads as, without a run
};

// The command of `argc` and `argv` as main receives them. An option counts
// only as the one and only argument; anything else is a run, as scripts
// written for the older program may pass arguments that it ignored.
command parse_command_line(int argc, const char* const* argv);

// The exit status of an option whose standard output could not be written.
inline constexpr int OUTPUT_FAILED = 4;

// Writes the usage text (for help) or the name and version (for version) to
// standard output; returns the exit status, 0, or OUTPUT_FAILED as
// print_on_standard_output does.
int print_help();
int print_version();

// Writes `text` to standard output and flushes it; returns 0, or, if that
// failed, says so on standard error ("ephemeris: cannot write standard
// output: No space left on device") and returns OUTPUT_FAILED.
int print_on_standard_output(std::string_view text);

}  // namespace driver
