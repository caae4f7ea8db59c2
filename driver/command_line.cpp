#include "driver/command_line.h"

#include <cerrno>
#include <cstdio>
#include <string_view>

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
    "observer, elongation, phase angle, illuminated fraction). Other arguments\n"
    "are ignored.\n"
    "\n"
    "  -h, --help  print this text\n"
    "  --version   print the name and version\n"
    "  --check     read DATOS.DAT as a run would and print what it read, with\n"
    "              notes on what is legal but probably not meant; status 0 if a\n"
    "              run would go ahead, else the run's report and status 2\n"
    "\n"
    "None of these reads or writes VESK.DAT. ephemeris-plot draws a table.\n"
    "The manual: man ephemeris.\n";

constexpr std::string_view VERSION_TEXT = "ephemeris " EPHEMERIS_VERSION "\n";

}  // namespace

int print_on_standard_output(std::string_view text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
    return 0;
  }
  write_output_failure(errno != 0 ? errno : EIO);
  return OUTPUT_FAILED;
}

command parse_command_line(int argc, const char* const* argv) {
  if (argc != 2) return command::run;
  const std::string_view argument = argv[1];
  if (argument == "--help" || argument == "-h") return command::help;
  if (argument == "--version") return command::version;
  if (argument == "--check") return command::check;
  return command::run;
}

int print_help() {
  return print_on_standard_output(USAGE);
}

int print_version() {
  return print_on_standard_output(VERSION_TEXT);
}

}  // namespace driver
