// The command line: what the program is asked to do.
#pragma once

#include <string_view>

namespace driver {

enum class command {
  run,      // the run: any arguments but the ones below, which are ignored
  help,     // "--help" or "-h" alone (or "/?" on Windows): the usage text
  version,  // "--version" alone: the name and version
  check,    // "--check" alone: what DATOS.DAT reads as, without a run
};

// The command of `argc` and `argv` as main receives them. An option counts
// only as the one and only argument; anything else is a run, as scripts
// written for the older program may pass arguments that it ignored.
command parse_command_line(int argc, const char* const* argv);

// Writes the usage text (for help) or the name and version (for version) to
// standard output; returns the exit status, 0, or 1 if standard output could
// not be written.
int print_help();
int print_version();

// Writes `text` to standard output and flushes it; returns 0, or 1 if that
// failed.
int print_on_standard_output(std::string_view text);

}  // namespace driver
