// List-directed input: a cursor over a file's bytes, and a reader that
// performs one read of a list of reals or of one integer and yields the values
// or a failure.
//
// The bytes arrive in fixed-size chunks, so memory stays bounded whatever the
// size of the file or of its lines, and every byte is looked at a bounded
// number of times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "datafiles/io_failure.h"

namespace datafiles {

// Bytes handed over by a source in one call.
struct source_chunk {
  std::size_t size = 0;  // bytes written to the room; 0 means no more bytes
  int error_number = 0;  // with size 0: the C library's error number, or 0 at the end of input
};

// Where the bytes of a list come from.
class byte_source {
 public:
  virtual ~byte_source() = default;
  // Copies the next bytes, at most `room.size()` (which is at least 1), into
  // `room`. Returns size 0 only at the end of the input or on an error.
  virtual source_chunk read(std::span<char> room) = 0;
};

// Bytes of an open C stream, which the caller keeps open and closes. A
// failed fread reports errno (EIO if the library left it 0).
class file_source final : public byte_source {
 public:
  explicit file_source(std::FILE* stream) : stream_(stream) {}
  source_chunk read(std::span<char> room) override;

 private:
  std::FILE* stream_;
  int pending_error_ = 0;  // an error met after a partial chunk, reported by the next call
};

// Bytes of a text in memory, which must outlive the source, handed over at
// most `piece` bytes per call (small pieces put chunk boundaries everywhere).
// Never fails.
class memory_source final : public byte_source {
 public:
  explicit memory_source(std::string_view text, std::size_t piece = SIZE_MAX)
      : text_(text), piece_(piece == 0 ? 1 : piece) {}
  source_chunk read(std::span<char> room) override;

 private:
  std::string_view text_;
  std::size_t piece_;
};

inline constexpr std::size_t DEFAULT_CHUNK_SIZE = std::size_t{64} * 1024;

// A window over a source's bytes, refilled chunk by chunk: at most
// `chunk_size` bytes are held at once.
class byte_cursor {
 public:
  // The value peek() gives past the last byte, or after a failed read.
  static constexpr int END = -1;

  // `chunk_size` of at least 2, so that a byte and the one after it fit.
  byte_cursor(byte_source& source, std::size_t chunk_size);

  // The byte `ahead` places past the current one (ahead is 0 or 1), as an
  // unsigned char, or END.
  int peek(std::size_t ahead = 0);

  // Moves past the current byte; only after peek() showed one.
  void advance();

  // Moves past the next LF. False if the input ended (or failed) first.
  bool skip_line();

  // The C library's error number of a failed read, or 0.
  [[nodiscard]] int error_number() const { return error_number_; }

 private:
  bool fill(std::size_t want);

  byte_source& source_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // the current byte
  std::size_t end_ = 0;    // one past the last byte held
  bool exhausted_ = false;
  int error_number_ = 0;
};

// Performs successive list-directed reads on one source, with the syntax
// given at the top of list_input.cpp. Each read starts at the beginning of a
// line; once it has all its values (or meets a slash) it discards the rest of
// the line on which it ended. If that runs into the end of the input the read
// still succeeds, and the next read fails at once with "read start" / "end of
// file". Every failure carries `unit` and transfer_begun = true. After a
// failure the reader must not be used again.
class list_reader {
 public:
  // `chunk_size` (at least 2) bounds the bytes held in memory at once.
  explicit list_reader(byte_source& source, io_unit unit = ELEMENT_UNIT,
                       std::size_t chunk_size = DEFAULT_CHUNK_SIZE)
      : cursor_(source, chunk_size), unit_(unit) {}

  // One read of `count` reals. An entry is empty where an empty value, a
  // slash or an "r*" left that variable without a value.
  outcome<std::vector<std::optional<double>>> read_reals(std::size_t count);

  // One read of a single integer: sign and digits only; a point anywhere or an
  // exponent fails "invalid integer". The value is not range-checked here: its
  // magnitude saturates at 10^11, far outside the 32-bit range.
  outcome<std::optional<std::int64_t>> read_integer();

 private:
  // One read of `count` values, reals or (`integer`) whole numbers held
  // exactly as doubles.
  outcome<std::vector<std::optional<double>>> read_list(std::size_t count, bool integer);
  io_failure failure(failure_step step, const char* reason) const;

  byte_cursor cursor_;
  io_unit unit_;
  bool end_met_ = false;  // the last read ran into the end of the input
};

}  // namespace datafiles
