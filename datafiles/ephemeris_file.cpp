#include "datafiles/ephemeris_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <cstring>
#include <utility>

#include "datafiles/list_output.h"
#include "datafiles/platform.h"

namespace datafiles {

static_assert(MAX_RECORD_SIZE <= PIPE_WRITE_SIZE, "a record fits in one write to a pipe");

// A table may pass 2 GiB (10^6 days make about 100 MB): mingw-w64's off_t is
// 32 bits without _FILE_OFFSET_BITS=64.
static_assert(sizeof(off_t) == 8, "64-bit file offsets");

namespace {

io_failure ephemeris_failure(failure_step step, const char* reason) {
  return io_failure{
      .step = step, .reason = reason, .unit = io_unit::ephemeris, .transfer_begun = true};
}

io_failure ephemeris_system_failure(failure_step step, int error_number) {
  return system_failure(step, error_number, io_unit::ephemeris, /*transfer_begun=*/true);
}

io_failure truncation_failure() {
  return ephemeris_failure(failure_step::endfile, REASON_TRUNCATION_FAILED);
}

}  // namespace

ephemeris_file::ephemeris_file(int descriptor, bool read_only, memory_block buffer, stop_check stop)
    : descriptor_(descriptor), read_only_(read_only), buffer_(std::move(buffer)), stop_(stop) {}

ephemeris_file::ephemeris_file(ephemeris_file&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      read_only_(other.read_only_),
      regular_(other.regular_),
      started_(other.started_),
      stopped_(other.stopped_),
      buffer_(std::move(other.buffer_)),
      queued_(std::exchange(other.queued_, 0)),
      queued_records_(std::exchange(other.queued_records_, 0)),
      committed_(other.committed_),
      committed_records_(other.committed_records_),
      stop_(other.stop_) {}

ephemeris_file::~ephemeris_file() {
  abandon();
}

std::size_t ephemeris_file::capacity() const {
  return regular_ ? EPHEMERIS_BUFFER_SIZE : PIPE_WRITE_SIZE;
}

int ephemeris_file::write_queued() {
  // A pipe or device may make the write wait: once a stop is requested it
  // is not begun, so a stop that came just before cannot leave the run
  // waiting. A regular file never waits long and takes the records in hand.
  if (!regular_ && stop_ != nullptr && stop_()) stopped_ = true;
  if (stopped_) {
    // The run is ending: what a stop cut short stays unwritten.
    queued_ = 0;
    queued_records_ = 0;
  }
  if (queued_ == 0) return 0;
  std::size_t written = 0;
  const int error = write_fully(descriptor_, buffer_.get(), queued_, written, stop_);
  if (error == 0) {
    committed_ += static_cast<off_t>(queued_);
    committed_records_ += queued_records_;
    queued_ = 0;
    queued_records_ = 0;
    return 0;
  }
  // The whole records that went out are written, and the rest stays queued.
  const record_prefix whole = whole_records(buffer_.get(), written);
  committed_ += static_cast<off_t>(whole.size);
  committed_records_ += static_cast<std::int64_t>(whole.records);
  queued_records_ -= static_cast<std::int64_t>(whole.records);
  std::memmove(buffer_.get(), buffer_.get() + whole.size, queued_ - whole.size);
  queued_ -= whole.size;
  if (written > whole.size) {
    // Part of a record went out too. A regular file is cut back after the
    // last whole one (best effort: the write error is what gets reported);
    // a pipe or device has taken it for good, and nothing more goes after it.
    if (!regular_) {
      stopped_ = true;
    } else if (::ftruncate(descriptor_, committed_) == 0) {
      ::lseek(descriptor_, committed_, SEEK_SET);
    }
  }
  // A stop request that interrupted a write that was waiting is no failure.
  if (error == EINTR) stopped_ = true;
  if (stopped_) {
    queued_ = 0;
    queued_records_ = 0;
  }
  return error == EINTR ? 0 : error;
}

int ephemeris_file::release() {
  const int result = ::close(descriptor_);
  // Linux closes the descriptor even when close is interrupted.
  const int error = result == 0 || errno == EINTR ? 0 : errno;
  descriptor_ = -1;
  buffer_.reset();
  queued_ = 0;
  return error;
}

std::optional<io_failure> ephemeris_file::write_record(const orbit::ephemeris_record& record) {
  if (descriptor_ < 0) return ephemeris_system_failure(failure_step::write, EBADF);

  if (!started_) {
    if (read_only_) return ephemeris_failure(failure_step::list_output_start, REASON_CANT_WRITE);
    // From here on the file holds a prefix of this run's records.
    if (regular_ && ::ftruncate(descriptor_, 0) != 0) return truncation_failure();
    started_ = true;
  }

  if (capacity() - queued_ < MAX_RECORD_SIZE) {
    if (const int error = write_queued())
      return ephemeris_system_failure(failure_step::write, error);
  }
  assert(capacity() - queued_ >= MAX_RECORD_SIZE && "room for the longest record");
  queued_ += format_record(record, buffer_.get() + queued_);
  ++queued_records_;
  return std::nullopt;
}

std::optional<io_failure> ephemeris_file::close() {
  if (descriptor_ < 0) return std::nullopt;

  std::optional<io_failure> failure;
  if (const int error = write_queued()) {
    failure = ephemeris_system_failure(failure_step::write, error);
  } else if (started_ && regular_ && ::ftruncate(descriptor_, committed_) != 0) {
    failure = truncation_failure();
  }
  const int close_error = release();
  if (!failure && close_error != 0)
    failure = ephemeris_system_failure(failure_step::close, close_error);
  return failure;
}

void ephemeris_file::abandon() noexcept {
  if (descriptor_ < 0) return;
  write_queued();
  release();
}

outcome<ephemeris_file> open_ephemeris(const char* path, stop_check stop) {
  // Had before the file is opened: a run short of memory leaves the table as it was.
  memory_block buffer = allocate_block(EPHEMERIS_BUFFER_SIZE);
  if (!buffer) return ephemeris_system_failure(failure_step::open, ENOMEM);

  // Only a regular file is opened for update. Anything else is opened for
  // writing only, so that a FIFO waits for a reader rather than taking the
  // records into a pipe that nobody reads.
  struct stat existing {};
  const bool special = ::stat(path, &existing) == 0 && !S_ISREG(existing.st_mode);
  bool read_only = false;
  int descriptor = open_for_update(path, special);
  if (descriptor < 0) {
    const int error = errno;
    // Windows: another run has the file open for writing.
    if (error == EWOULDBLOCK) return ephemeris_failure(failure_step::open, REASON_LOCKED);
    // A file that exists but may only be read (its permissions, a read-only
    // file system, an immutable or append-only file) opens read-only; the
    // first record then fails. Non-blocking so that a read-only pipe does not
    // wait for a writer: the descriptor is never read.
    if (error == EACCES || error == EROFS || error == EPERM) {
      descriptor = open_read_only(path);
    }
    if (descriptor < 0) return ephemeris_system_failure(failure_step::open, error);
    read_only = true;
  }

  ephemeris_file file(descriptor, read_only, std::move(buffer), stop);
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) {
    const int error = errno;
    file.release();
    return ephemeris_system_failure(failure_step::open, error);
  }
  file.regular_ = S_ISREG(status.st_mode);
  // Another run writing the same file keeps it: this one changes nothing.
  // Devices are shared by every directory (/dev/null) and are not locked.
  const bool lockable = file.regular_ || S_ISFIFO(status.st_mode);
  if (!read_only && lockable && lock_table(descriptor) != 0) {
    file.release();
    return ephemeris_failure(failure_step::open, REASON_LOCKED);
  }
  return file;
}

std::optional<io_failure> close_ephemeris(ephemeris_file& file) {
  return file.close();
}

std::string failure_place(const io_failure& failure, std::string place,
                          std::int64_t records_written) {
  if (failure.step != failure_step::write) return place;
  if (records_written == 0) return place + "; the table holds no record";
  if (records_written == 1) return place + "; the table holds record 1";
  return place + "; the table holds records 1 to " + std::to_string(records_written);
}

}  // namespace datafiles
