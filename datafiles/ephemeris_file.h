// The ephemeris file, unit 2: one list-directed record a day.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "datafiles/io_failure.h"
#include "datafiles/records.h"

namespace datafiles {

// Bytes of formatted records held before they are written out in one piece:
// a few thousand records a system call, while the whole run stays within a few
// MiB of resident memory.
inline constexpr std::size_t EPHEMERIS_BUFFER_SIZE = std::size_t{1} << 18;

// The open ephemeris file. Records are formatted into a large buffer that is
// handed to write(2) in whole records, so a run that ends in an orderly way
// leaves whole records; a kill in the middle of a large write may leave part
// of the last one, since the kernel can stop a write between pages. The
// file's old contents are removed just before the first record is written; a
// run that writes no record leaves an existing file untouched.
class ephemeris_file {
 public:
  ephemeris_file(ephemeris_file&& other) noexcept;
  ephemeris_file& operator=(ephemeris_file&& other) noexcept;
  ~ephemeris_file();  // abandon()s a file still open

  // Formats one record and queues it for writing. Failures: "list output
  // start" / "can't write file" for a file that opened only for reading; a
  // write error, with the C library's text as the reason.
  std::optional<io_failure> write_record(const ephemeris_record& record);

  // Writes what is queued, cuts the file after the last record written (only
  // if a record was written) and closes it.
  std::optional<io_failure> close();

  // The failure path: writes the whole records still queued where it can,
  // closes, and reports nothing.
  void abandon() noexcept;

  struct state;  // defined in the implementation

 private:
  friend outcome<ephemeris_file> open_ephemeris(const char* path);
  explicit ephemeris_file(std::unique_ptr<state> s);
  std::unique_ptr<state> state_;
};

// Opens `path` for update, creating it empty if absent and not emptying it
// otherwise; a file that exists but opens only for reading opens read-only.
// Failure: step "open" with the C library's error text.
outcome<ephemeris_file> open_ephemeris(const char* path = EPHEMERIS_FILE_NAME);

// Closes unit 2: the same as file.close().
std::optional<io_failure> close_ephemeris(ephemeris_file& file);

}  // namespace datafiles
