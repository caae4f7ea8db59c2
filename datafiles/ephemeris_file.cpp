#include "datafiles/ephemeris_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <utility>

#include "datafiles/list_output.h"
#include "datafiles/platform.h"

namespace datafiles {

// A table may pass 2 GiB (10^6 days make about 100 MB): mingw-w64's off_t is
// 32 bits without _FILE_OFFSET_BITS=64.
static_assert(sizeof(off_t) == 8, "64-bit file offsets");

struct ephemeris_file::state {
  int descriptor = -1;     // -1 once closed
  bool read_only = false;  // opened only for reading: the first record fails
  bool regular = false;    // a regular file, which is emptied and cut; devices and pipes are not
  bool started = false;    // the first record has been accepted (and the old contents removed)
  std::unique_ptr<char[]> buffer;  // EPHEMERIS_BUFFER_SIZE bytes of whole records
  std::size_t queued = 0;          // bytes of the buffer not yet written
  off_t committed = 0;             // bytes written to the file: always whole records
};

namespace {

io_failure ephemeris_failure(failure_step step, const char* reason) {
  return io_failure{step, reason, EPHEMERIS_UNIT, true};
}

io_failure ephemeris_system_failure(failure_step step, int error_number) {
  return system_failure(step, error_number, EPHEMERIS_UNIT, true);
}

io_failure truncation_failure() {
  return ephemeris_failure(failure_step::endfile, REASON_TRUNCATION_FAILED);
}

// Writes all `size` bytes, going on after short writes and interruptions.
// Returns 0, or the error number of the write that failed; `written` then
// says how far it got.
int write_fully(int descriptor, const char* data, std::size_t size, std::size_t& written) {
  written = 0;
  while (written < size) {
    const ssize_t n = ::write(descriptor, data + written, size - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;  // no progress and no error: give up rather than spin
    written += static_cast<std::size_t>(n);
  }
  return 0;
}

// Writes the queued records out. Returns 0, or the error number of a failed
// write; the records then stay queued and a regular file is cut back to its
// last whole record, so that a partial write leaves no partial record.
int write_queued(ephemeris_file::state& s) {
  if (s.queued == 0) return 0;
  std::size_t written = 0;
  const int error = write_fully(s.descriptor, s.buffer.get(), s.queued, written);
  if (error == 0) {
    s.committed += static_cast<off_t>(s.queued);
    s.queued = 0;
    return 0;
  }
  if (written > 0 && s.regular) {
    // Best effort: the write error is what gets reported.
    if (::ftruncate(s.descriptor, s.committed) == 0) {
      ::lseek(s.descriptor, s.committed, SEEK_SET);
    }
  }
  return error;
}

// Closes the descriptor and frees the buffer. Returns 0 or the error number.
int release(ephemeris_file::state& s) {
  const int result = ::close(s.descriptor);
  const int error = result == 0 ? 0 : errno;
  s.descriptor = -1;
  s.buffer.reset();
  s.queued = 0;
  return error;
}

}  // namespace

ephemeris_file::ephemeris_file(std::unique_ptr<state> s) : state_(std::move(s)) {}

ephemeris_file::ephemeris_file(ephemeris_file&&) noexcept = default;

ephemeris_file& ephemeris_file::operator=(ephemeris_file&& other) noexcept {
  if (this != &other) {
    abandon();
    state_ = std::move(other.state_);
  }
  return *this;
}

ephemeris_file::~ephemeris_file() {
  abandon();
}

std::optional<io_failure> ephemeris_file::write_record(const ephemeris_record& record) {
  if (!state_ || state_->descriptor < 0)
    return ephemeris_system_failure(failure_step::write, EBADF);
  state& s = *state_;

  if (!s.started) {
    if (s.read_only) return ephemeris_failure(failure_step::list_output_start, REASON_CANT_WRITE);
    // From here on the file holds a prefix of this run's records.
    if (s.regular && ::ftruncate(s.descriptor, 0) != 0) return truncation_failure();
    s.started = true;
  }

  if (EPHEMERIS_BUFFER_SIZE - s.queued < MAX_RECORD_SIZE) {
    if (const int error = write_queued(s))
      return ephemeris_system_failure(failure_step::write, error);
  }
  assert(EPHEMERIS_BUFFER_SIZE - s.queued >= MAX_RECORD_SIZE && "room for the longest record");
  s.queued += format_record(record, s.buffer.get() + s.queued);
  return std::nullopt;
}

std::optional<io_failure> ephemeris_file::close() {
  if (!state_ || state_->descriptor < 0) return std::nullopt;
  state& s = *state_;

  std::optional<io_failure> failure;
  if (const int error = write_queued(s)) {
    failure = ephemeris_system_failure(failure_step::write, error);
  } else if (s.started && s.regular && ::ftruncate(s.descriptor, s.committed) != 0) {
    failure = truncation_failure();
  }
  const int close_error = release(s);
  if (!failure && close_error != 0)
    failure = ephemeris_system_failure(failure_step::close, close_error);
  return failure;
}

void ephemeris_file::abandon() noexcept {
  if (!state_ || state_->descriptor < 0) return;
  write_queued(*state_);
  release(*state_);
}

outcome<ephemeris_file> open_ephemeris(const char* path) {
  auto s = std::make_unique<ephemeris_file::state>();
  s->descriptor = open_for_update(path);
  if (s->descriptor < 0) {
    const int error = errno;
    // A file that exists but may only be read opens read-only; the first
    // record then fails. Non-blocking so that a read-only pipe does not wait
    // for a writer: the descriptor is never read.
    if (error == EACCES || error == EROFS) {
      s->descriptor = open_read_only(path);
    }
    if (s->descriptor < 0) return ephemeris_system_failure(failure_step::open, error);
    s->read_only = true;
  }

  struct stat status;
  if (::fstat(s->descriptor, &status) != 0) {
    const int error = errno;
    ::close(s->descriptor);
    return ephemeris_system_failure(failure_step::open, error);
  }
  s->regular = S_ISREG(status.st_mode);
  if (!s->read_only) s->buffer = std::make_unique_for_overwrite<char[]>(EPHEMERIS_BUFFER_SIZE);
  return ephemeris_file(std::move(s));
}

std::optional<io_failure> close_ephemeris(ephemeris_file& file) {
  return file.close();
}

}  // namespace datafiles
