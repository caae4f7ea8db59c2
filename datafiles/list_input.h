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
#include <string>
#include <string_view>
#include <vector>

#include "datafiles/io_failure.h"
#include "datafiles/stop_check.h"

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
// failed fread reports errno (EIO if the library left it 0). Once `stop`
// says the run is to stop, the next chunk fails with EINTR, so that a file
// that never ends (a FIFO fed without a pause) cannot keep a run reading.
class file_source final : public byte_source {
 public:
  explicit file_source(std::FILE* stream, stop_check stop = nullptr)
      : stream_(stream), stop_(stop) {}
  source_chunk read(std::span<char> room) override;

 private:
  std::FILE* stream_;
  stop_check stop_;
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

// A place in a text, both from 1.
struct text_position {
  std::size_t line;
  std::size_t column;
};

// Numbers found on a line after a read had all its values.
struct numbers_left_over {
  std::size_t line = 0;  // from 1; 0 where there were none
  std::string text;      // their first bytes, at most 20, up to the line end
};

// How the input was saved, as far as its first line shows: forms a text
// editor may give that the reads cannot take.
enum class text_form {
  plain,         // none of the others
  utf8_bom,      // starts with the UTF-8 byte-order mark, EF BB BF
  utf16,         // starts with a UTF-16 byte-order mark, FF FE or FE FF, or has a NUL byte before
                 // its first LF
  cr_line_ends,  // a CR not followed by LF comes before its first LF
};

// Where a read failed.
struct read_place {
  text_position position;     // where the item it could not read starts, or where it stopped
  std::size_t value = 0;      // which of the read's values it was at, from 0
  std::string text;           // up to 20 bytes from there, within the line, as they are
  bool at_end = false;        // the position is the end of the input
  bool stream_error = false;  // reading the input failed there
};

// A window over a source's bytes, refilled chunk by chunk: at most
// `chunk_size` bytes are held at once.
class byte_cursor {
 public:
  // The value peek() gives past the last byte, or after a failed read.
  static constexpr int END = -1;

  // `chunk_size` of at least 2, so that a byte and the one after it fit.
  byte_cursor(byte_source& source, std::size_t chunk_size);
  // The same, holding the bytes in `room` (at least 2 bytes), which the
  // caller keeps for the cursor's life: nothing is allocated for them.
  byte_cursor(byte_source& source, std::span<char> room);
  // Not copied: the window may point into the cursor's own room.
  byte_cursor(const byte_cursor&) = delete;
  byte_cursor& operator=(const byte_cursor&) = delete;

  // The byte `ahead` places past the current one (ahead is 0 or 1), as an
  // unsigned char, or END.
  int peek(std::size_t ahead = 0);

  // Moves past the current byte; only after peek() showed one.
  void advance();

  // Moves past the next LF. False if the input ended (or failed) first.
  bool skip_line();

  // The C library's error number of a failed read, or 0.
  [[nodiscard]] int error_number() const { return error_number_; }

  // Starts keeping the bytes moved past from here on, the first `limit` of
  // them (kept() gives them), until the next mark().
  void mark(std::size_t limit) {
    kept_.clear();
    keep_limit_ = limit;
  }
  [[nodiscard]] const std::string& kept() const { return kept_; }

  // The current byte's line and column, both from 1, counting LF as the line
  // end and each byte as a column.
  [[nodiscard]] text_position position() const {
    return {line_, discarded_ + begin_ - line_start_ + 1};
  }

  // The input's form, from the bytes taken from the source so far (plain
  // until they show another).
  [[nodiscard]] text_form form() const { return form_.form; }

  // Moves on until the input's first line has been taken from the source, so
  // that form() no longer depends on how far reading went. Only once the
  // cursor's bytes are no longer wanted.
  void settle_form() {
    while (!form_.settled && peek() != END) advance();
  }

 private:
  // Follows the bytes of the input's start, in order, until they settle its
  // form: looks at no byte past the first LF.
  struct form_watch {
    text_form form = text_form::plain;
    bool settled = false;
    std::size_t seen = 0;         // bytes looked at
    unsigned char first[3] = {};  // the first of them
    bool after_cr = false;        // the last byte looked at was a CR
    void look_at(std::span<const char> bytes);
    void end_of_input();
  };

  bool fill(std::size_t want);

  byte_source& source_;
  std::vector<char> owned_;  // the room, where the caller gave none
  std::span<char> buffer_;
  std::size_t begin_ = 0;  // the current byte
  std::size_t end_ = 0;    // one past the last byte held
  bool exhausted_ = false;
  int error_number_ = 0;
  std::size_t discarded_ = 0;   // bytes of the input dropped before buffer_[0]
  std::size_t line_ = 1;        // the current byte's line
  std::size_t line_start_ = 0;  // where in the input that line starts
  std::string kept_;            // see mark()
  std::size_t keep_limit_ = 0;
  form_watch form_;
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
  explicit list_reader(byte_source& source, io_unit unit = io_unit::element,
                       std::size_t chunk_size = DEFAULT_CHUNK_SIZE)
      : cursor_(source, chunk_size), unit_(unit) {}
  // The same, holding the bytes in the caller's `room` (see byte_cursor).
  list_reader(byte_source& source, io_unit unit, std::span<char> room)
      : cursor_(source, room), unit_(unit) {}

  // One read of `count` reals. An entry is empty where an empty value, a
  // slash or an "r*" left that variable without a value.
  outcome<std::vector<std::optional<double>>> read_reals(std::size_t count);

  // One read of a single integer: sign and digits only; a point anywhere or an
  // exponent fails "invalid integer". The value is not range-checked here: its
  // magnitude saturates at 10^11, far outside the 32-bit range.
  outcome<std::optional<std::int64_t>> read_integer();

  // After a successful read: the rest of the line it discarded, if that rest
  // begins with a number ("523679 0.0934" after "1,523679" gave its last
  // value 1); else none (line 0).
  [[nodiscard]] const numbers_left_over& left_over() const { return left_over_; }

  // After a successful read: the line of each of its values (where an empty
  // value, a slash or "r*" left it unset, the line of that).
  [[nodiscard]] const std::vector<std::size_t>& value_lines() const { return value_lines_; }

  // After a failed read: where it failed.
  [[nodiscard]] const read_place& failure_place() const { return place_; }

  // After a failed read: the values it had set before it failed, the others
  // empty (the integer read's value held exactly as a double).
  [[nodiscard]] const std::vector<std::optional<double>>& values_before_failure() const {
    return values_;
  }

  // The form of the input as far as the reads have taken it (see
  // byte_cursor::form()); after a failed read, the form of its whole first
  // line, however the bytes arrived.
  [[nodiscard]] text_form form() const { return cursor_.form(); }

 private:
  // One read of `count` values, reals or (`integer`) whole numbers held
  // exactly as doubles.
  outcome<std::vector<std::optional<double>>> read_list(std::size_t count, bool integer);
  io_failure failure(failure_step step, const char* reason);

  byte_cursor cursor_;
  io_unit unit_;
  bool end_met_ = false;                       // the last read ran into the end of the input
  numbers_left_over left_over_;                // see left_over()
  read_place place_;                           // see failure_place()
  std::size_t at_value_ = 0;                   // the value the current read is at
  std::optional<text_position> item_start_;    // of the item being scanned
  std::vector<std::size_t> value_lines_;       // see value_lines()
  std::vector<std::optional<double>> values_;  // of the current read
};

}  // namespace datafiles
