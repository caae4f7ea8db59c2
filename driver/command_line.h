// The command line: what the program is asked to do.
#pragma once

#include <string>
#include <string_view>

namespace driver {

enum class command {
  run,      // the run: no option; other arguments are ignored
  help,     // "--help" or "-h" alone (or "/?" on Windows): the usage text
  version,  // "--version" alone: the name and version
  check,    // "--check" alone: what DATOS.DAT reads as, without a run
  usage,    // an unknown option, or an option beside other arguments: nothing is run
};

// The exit status of a usage error.
inline constexpr int USAGE_ERROR = 2;

// What the command line asks for.
struct command_line {
  command what;
  std::string complaint;  // for command::usage, the line to print, without its line end
};

// The command of `argc` and `argv` as main receives them. An argument that is
// an option's spelling, or that starts with '-' (but is not "-" alone), is an
// option; the first such decides: an unknown one, or a known one beside any
// other argument, is a usage error naming it. Arguments that are no option
// are ignored, as scripts written for the older program may pass some: the
// program always reads DATOS.DAT, whatever file is named.
command_line parse_command_line(int argc, const char* const* argv);

// The exit status of an option whose standard output could not be written.
inline constexpr int OUTPUT_FAILED = 4;

// Writes the usage text (for help) or the name and version (for version) to
// standard output; returns the exit status, 0, or OUTPUT_FAILED as
// print_on_standard_output does.
int print_help();
int print_version();

// Writes `line.complaint` and a line end to standard error; returns
// USAGE_ERROR.
int print_usage_error(const command_line& line);

// Writes `text` to standard output and flushes it; returns 0, or, if that
// failed, says so on standard error ("ephemeris: cannot write standard
// output: No space left on device") and returns OUTPUT_FAILED.
int print_on_standard_output(std::string_view text);

}  // namespace driver
