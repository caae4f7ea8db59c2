// The ephemeris file, unit 2: one list-directed record a day.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "datafiles/descriptor_output.h"
#include "datafiles/io_failure.h"
#include "datafiles/memory_block.h"
#include "orbit/records.h"

namespace datafiles {

// Bytes of formatted records held before they are written out in one piece:
// a few thousand records a system call, while the whole run stays within a few
// MiB of resident memory.
inline constexpr std::size_t EPHEMERIS_BUFFER_SIZE = std::size_t{1} << 18;

// The open ephemeris file. Records are formatted into a large buffer that is
// handed to write(2) in whole records, so a run that ends in an orderly way
// leaves whole records; a kill in the middle of a large write may leave part
// of the last one, since the kernel can stop a write between pages. Anything
// but a regular file (a FIFO, a device) takes the records in pieces of at
// most PIPE_WRITE_SIZE bytes, each ending at a record's end, which a pipe
// takes whole or not at all: its reader gets whole records after any stop.
// The file's old contents are removed just before the first record is
// written; a run that writes no record leaves an existing file untouched. The
// buffer is had before the file is opened, so no allocation can fail once it
// is.
class ephemeris_file {
 public:
  ephemeris_file(ephemeris_file&& other) noexcept;
  ephemeris_file& operator=(ephemeris_file&& other) = delete;
  ~ephemeris_file();  // abandon()s a file still open

  // Formats one record and queues it for writing. Failures: "list output
  // start" / "can't write file" for a file that opened only for reading; a
  // write error, with the C library's text as the reason. A write that waits
  // (on a pipe) and is interrupted by a stop request gives up the records
  // still queued, now and at close: the run is ending. On anything but a
  // regular file no write is begun once a stop is requested.
  std::optional<io_failure> write_record(const orbit::ephemeris_record& record);

  // The records written out whole so far, from the first: after a failed
  // write, those the table keeps (failure_place says so).
  [[nodiscard]] std::int64_t records_written() const { return committed_records_; }

  // Writes what is queued, cuts the file after the last record written (only
  // if a record was written) and closes it.
  std::optional<io_failure> close();

  // The failure path: writes the whole records still queued where it can,
  // closes, and reports nothing.
  void abandon() noexcept;

  ephemeris_file(const ephemeris_file&) = delete;
  ephemeris_file& operator=(const ephemeris_file&) = delete;

 private:
  friend outcome<ephemeris_file> open_ephemeris(const char* path, stop_check stop);
  ephemeris_file(int descriptor, bool read_only, memory_block buffer, stop_check stop);

  // Writes the queued records out. Returns 0, or the error number of a failed
  // write: the whole records that went out count as written, a regular file
  // is cut back after the last of them, so that a partial write leaves no
  // partial record, and the rest stays queued; but where the run is stopping
  // (a stop request interrupted the write) or a pipe or device took part of a
  // record, the rest is dropped and nothing more is written.
  int write_queued();
  // Of the buffer, the bytes filled before they are written out:
  // PIPE_WRITE_SIZE on anything but a regular file.
  [[nodiscard]] std::size_t capacity() const;
  // Closes the descriptor and frees the buffer. Returns 0 or the error number.
  int release();

  int descriptor_ = -1;     // -1 once closed
  bool read_only_ = false;  // opened only for reading: the first record fails
  bool regular_ = false;    // a regular file, which is emptied and cut; devices and pipes are not
  bool started_ = false;    // the first record has been accepted (and the old contents removed)
  bool stopped_ = false;    // nothing more is written: a stop request interrupted a write, or a
                            // pipe or device took part of a record before a write failed
  memory_block buffer_;     // EPHEMERIS_BUFFER_SIZE bytes of whole records
  std::size_t queued_ = 0;  // bytes of the buffer not yet written
  std::int64_t queued_records_ = 0;     // records in them
  off_t committed_ = 0;                 // bytes written to the file: always whole records
  std::int64_t committed_records_ = 0;  // records in them
  stop_check stop_ = nullptr;           // asked when a write is interrupted
};

// Opens `path` for update, creating it empty if absent and not emptying it
// otherwise, and takes this run's lock on a regular file or FIFO (lock_table;
// devices such as /dev/null are left unlocked). A file that exists
// but opens only for reading (permissions, a read-only file system, an
// immutable or append-only file) opens read-only and unlocked. A `path` that
// is not a regular file (a FIFO, a device) is opened for writing only, so a
// FIFO waits here for its reader. `stop` is asked when a write is interrupted.
// Failures, step "open": the C library's error text ("Cannot allocate memory"
// when the buffer cannot be had; "Interrupted system call" for a wait cut
// short by a signal), or REASON_LOCKED.
outcome<ephemeris_file> open_ephemeris(const char* path = EPHEMERIS_FILE_NAME,
                                       stop_check stop = nullptr);

// Closes unit 2: the same as file.close().
std::optional<io_failure> close_ephemeris(ephemeris_file& file);

// The place of `failure`, met at `place` ("record 2689", "at the close, after
// record 3"): for a failed write, followed by how many whole records the
// table holds, `records_written`: "record 2689; the table holds records 1 to
// 2048" ("... holds record 1", "... holds no record").
std::string failure_place(const io_failure& failure, std::string place,
                          std::int64_t records_written);

}  // namespace datafiles
