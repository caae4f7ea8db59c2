#include "driver/command_line.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "driver/conventions.h"
#include "driver/report.h"

#ifndef EPHEMERIS_VERSION
#error "EPHEMERIS_VERSION must give the program's version"
#endif

namespace driver {
namespace {

constexpr std::string_view USAGE =
    "Usage: ephemeris [--help | --version | --check]\n"
    "\n"
    "Reads the elements of a target and an observer, a start date and a day\n"
    "count from DATOS.DAT in the working directory and writes VESK.DAT there:\n"
    "one record a day of where the target stands in the sky as seen from the\n"
    "observer (right ascension, declination, distances from the Sun and from the\n"
    "observer, elongation, phase angle, illuminated fraction). It always reads\n"
    "DATOS.DAT: a file named as an argument is not read, and arguments that are\n"
    "no option are ignored.\n"
    "\n"
    "  -h, --help  print this text\n"
    "  --version   print the name and version\n"
    "  --check     read DATOS.DAT as a run would and print what it read, with\n"
    "              notes on what is legal but probably not meant; status 0 if a\n"
    "              run would go ahead, else the run's report and status 2\n"
    "\n"
    "An option must be the only argument. Any other argument that starts with\n"
    "'-' is an unknown option: the program then says so, reads and writes\n"
    "nothing, and ends with status 2. None of the options reads or writes\n"
    "VESK.DAT. ephemeris-plot draws a table. The manual: man ephemeris (in\n"
    "the Windows package, ephemeris-plot.py and ephemeris.txt).\n";

constexpr std::string_view VERSION_TEXT = "ephemeris " EPHEMERIS_VERSION "\n";

// One spelling of an option and the command it asks for; the help's
// spellings, which differ by platform, are HELP_SPELLINGS (conventions.h).
struct option_spelling {
  std::string_view text;
  command asks;
};
constexpr std::array OPTIONS{
    option_spelling{"--version", command::version},
    option_spelling{"--check", command::check},
};

constexpr std::string_view SEE_HELP = "; ephemeris --help lists the options";

// The command `argument` spells, or command::usage for an unknown option, or
// command::run for an argument that is no option.
command option_of(std::string_view argument) {
  if (std::count(std::begin(HELP_SPELLINGS), std::end(HELP_SPELLINGS), argument) != 0) {
    return command::help;
  }
  for (const option_spelling& option : OPTIONS) {
    if (argument == option.text) return option.asks;
  }
  if (argument.size() > 1 && argument.front() == '-') return command::usage;
  return command::run;
}

}  // namespace

int print_on_standard_output(std::string_view text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
    return 0;
  }
  write_output_failure(errno != 0 ? errno : EIO);
  return OUTPUT_FAILED;
}

command_line parse_command_line(int argc, const char* const* argv) {
  for (int k = 1; k < argc; ++k) {
    const std::string_view argument = argv[k];
    const command asked = option_of(argument);
    if (asked == command::run) continue;
    if (asked == command::usage) {
      return {command::usage,
              "ephemeris: unknown option '" + std::string(argument) + "'" + std::string(SEE_HELP)};
    }
    if (argc != 2) {
      return {command::usage, "ephemeris: '" + std::string(argument) +
                                  "' must be the only argument" + std::string(SEE_HELP)};
    }
    return {asked, {}};
  }
  return {command::run, {}};
}

int print_help() {
  return print_on_standard_output(USAGE);
}

int print_version() {
  return print_on_standard_output(VERSION_TEXT);
}

int print_usage_error(const command_line& line) {
  write_message(line.complaint);
  return USAGE_ERROR;
}

}  // namespace driver
