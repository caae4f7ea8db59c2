#include "datafiles/list_input.h"

// The syntax of one read, as the element file's four reads use it:
//
//   read      = { separator } item { { separator } item }   until it has its values
//   separator = blank | tab | line end | comma | slash      line end = LF | CR LF
//   item      = [ count "*" ] value | count "*"             count = [ "+" ] digits, above 0
//   real      = [ sign ] mantissa [ exponent ]              sign = "+" | "-"
//   mantissa  = digits [ "." [ digits ] ] | "." digits
//   exponent  = ( "E" | "e" | "D" | "d" ) [ sign ] digits | sign digits   (99999999 at most)
//   integer   = [ sign ] digits                             (the day count)
//
// A comma right after an item only separates; any other comma is an empty
// value, and a slash ends the read, leaving its other values unset, as
// "count*" alone leaves count values. A sign or point alone before a comma or
// slash is an empty value. A value ends at the first byte that cannot continue
// it, so a real with a point or an exponent ends at a "*", which then starts
// the next item. At most 40 significant digits of a real are used. Once a read
// has its values the rest of its line is skipped, and the next read starts on
// the following line. Anything else where an item should start fails.

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "orbit/portable.h"

namespace datafiles {

source_chunk file_source::read(std::span<char> room) {
  if (pending_error_ != 0) return {0, pending_error_};
  if (stop_ != nullptr && stop_()) return {0, EINTR};
  errno = 0;
  const std::size_t got = std::fread(room.data(), 1, room.size(), stream_);
  if (got < room.size() && std::ferror(stream_)) {
    const int error_number = errno != 0 ? errno : EIO;
    if (got == 0) return {0, error_number};
    pending_error_ = error_number;
  }
  return {got, 0};
}

source_chunk memory_source::read(std::span<char> room) {
  const std::size_t size = std::min({room.size(), piece_, text_.size()});
  std::memcpy(room.data(), text_.data(), size);
  text_.remove_prefix(size);
  return {size, 0};
}

byte_cursor::byte_cursor(byte_source& source, std::size_t chunk_size)
    : source_(source), owned_(chunk_size < 2 ? 2 : chunk_size), buffer_(owned_) {}

byte_cursor::byte_cursor(byte_source& source, std::span<char> room)
    : source_(source), buffer_(room) {
  assert(room.size() >= 2 && "a byte and the one after it fit");
}

int byte_cursor::peek(std::size_t ahead) {
  assert(ahead <= 1 && "the cursor looks at most one byte ahead");
  if (end_ - begin_ <= ahead && !fill(ahead + 1)) return END;
  return static_cast<unsigned char>(buffer_[begin_ + ahead]);
}

void byte_cursor::advance() {
  assert(begin_ < end_ && "advance() only past a byte that peek() showed");
  if (kept_.size() < keep_limit_) kept_.push_back(buffer_[begin_]);
  if (buffer_[begin_++] == '\n') {
    ++line_;
    line_start_ = discarded_ + begin_;
  }
}

bool byte_cursor::skip_line() {
  while (true) {
    const char* const from = buffer_.data() + begin_;
    const void* const lf = std::memchr(from, '\n', end_ - begin_);
    if (lf != nullptr) {
      begin_ += static_cast<std::size_t>(static_cast<const char*>(lf) - from) + 1;
      ++line_;
      line_start_ = discarded_ + begin_;
      return true;
    }
    begin_ = end_;
    if (!fill(1)) return false;
  }
}

// Makes at least `want` bytes visible if the input has them.
bool byte_cursor::fill(std::size_t want) {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    discarded_ += begin_;
    begin_ = 0;
  }
  while (end_ < want && !exhausted_) {
    const source_chunk chunk =
        source_.read(std::span<char>(buffer_.data() + end_, buffer_.size() - end_));
    if (chunk.size == 0) {
      exhausted_ = true;
      error_number_ = chunk.error_number;
      form_.end_of_input();
    }
    form_.look_at(std::span<const char>(buffer_.data() + end_, chunk.size));
    end_ += chunk.size;
  }
  return end_ >= want;
}

void byte_cursor::form_watch::look_at(std::span<const char> bytes) {
  for (const char byte : bytes) {
    if (settled) return;
    const auto c = static_cast<unsigned char>(byte);
    if (seen < sizeof first) first[seen] = c;
    ++seen;
    const bool utf16_mark = seen == 2 && ((first[0] == 0xFF && first[1] == 0xFE) ||
                                          (first[0] == 0xFE && first[1] == 0xFF));
    const bool utf8_mark = seen == 3 && first[0] == 0xEF && first[1] == 0xBB && first[2] == 0xBF;
    if (utf16_mark || c == 0) {
      form = text_form::utf16;
    } else if (utf8_mark) {
      form = text_form::utf8_bom;
    } else if (after_cr && c != '\n') {
      form = text_form::cr_line_ends;
    }
    settled = form != text_form::plain || c == '\n';
    after_cr = c == '\r';
  }
}

void byte_cursor::form_watch::end_of_input() {
  if (!settled && after_cr) form = text_form::cr_line_ends;
  settled = true;
}

namespace {

constexpr int END = byte_cursor::END;

constexpr std::size_t SIGNIFICANT_DIGITS = 40;
// The decimal point's position saturates here, far beyond any double's range.
constexpr std::int64_t POSITION_LIMIT = 1'000'000'000'000'000;
// A whole number (a repeat count or the day count) saturates here, far above
// any 32-bit integer.
constexpr std::uint64_t WHOLE_LIMIT = 100'000'000'000;
// The largest exponent magnitude accepted.
constexpr std::int64_t EXPONENT_LIMIT = 99'999'999;
// Beyond these decimal exponents (of 0.ddd...) a double is infinite or zero.
constexpr std::int64_t OVERFLOW_EXPONENT = 400;
constexpr std::int64_t UNDERFLOW_EXPONENT = -400;

bool is_digit(int c) {
  return c >= '0' && c <= '9';
}
bool is_sign(int c) {
  return c == '+' || c == '-';
}
bool is_exponent_letter(int c) {
  return c == 'E' || c == 'e' || c == 'D' || c == 'd';
}

// The separators, each with the bytes it takes.
enum class separator { none, blank, line_end, comma, slash, end };
struct separator_at_cursor {
  separator kind;
  std::size_t length;
};

// The separator at the cursor: a blank or a tab, a line end (LF, or CR LF as
// one), a comma, a slash, or the end of the input. A CR alone is none.
separator_at_cursor separator_at(byte_cursor& cursor) {
  switch (cursor.peek()) {
    case ' ':
    case '\t':
      return {separator::blank, 1};
    case '\n':
      return {separator::line_end, 1};
    case '\r':
      return cursor.peek(1) == '\n' ? separator_at_cursor{separator::line_end, 2}
                                    : separator_at_cursor{separator::none, 0};
    case ',':
      return {separator::comma, 1};
    case '/':
      return {separator::slash, 1};
    case END:
      return {separator::end, 0};
    default:
      return {separator::none, 0};
  }
}

void move_past(byte_cursor& cursor, const separator_at_cursor& at) {
  for (std::size_t k = 0; k < at.length; ++k) cursor.advance();
}

// Moves past blanks, tabs and line ends.
void skip_blanks(byte_cursor& cursor) {
  for (separator_at_cursor at = separator_at(cursor);
       at.kind == separator::blank || at.kind == separator::line_end; at = separator_at(cursor)) {
    move_past(cursor, at);
  }
}

// The sign, digits and decimal point that begin a value (or a repeat count).
struct mantissa {
  bool has_sign = false;
  bool negative = false;
  bool has_point = false;
  bool has_digits = false;
  char kept[SIGNIFICANT_DIGITS] = {};  // the first significant digits
  std::size_t kept_count = 0;
  std::int64_t point_position = 0;  // the value is 0.<kept> * 10^point_position
  std::uint64_t whole = 0;          // all digits as a whole number, saturated at WHOLE_LIMIT

  [[nodiscard]] bool is_empty() const { return !has_sign && !has_point && !has_digits; }
};

std::int64_t saturated(std::int64_t value) {
  return std::clamp(value, -POSITION_LIMIT, POSITION_LIMIT);
}

// 0.<kept> * 10^exponent with the mantissa's sign, correctly rounded.
double to_double(const mantissa& m, std::int64_t exponent) {
  const double zero = m.negative ? -0.0 : 0.0;
  const double infinity = m.negative ? -std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::infinity();
  if (m.kept_count == 0) return zero;
  const std::int64_t decimal_exponent = m.point_position + exponent;
  if (decimal_exponent > OVERFLOW_EXPONENT) return infinity;
  if (decimal_exponent < UNDERFLOW_EXPONENT) return zero;

  // "-0." + 40 digits + "e-400": well inside the buffer.
  char text[64];
  char* out = text;
  if (m.negative) *out++ = '-';
  *out++ = '0';
  *out++ = '.';
  out = std::copy(m.kept, m.kept + m.kept_count, out);
  *out++ = 'e';
  out = std::to_chars(out, text + sizeof text, decimal_exponent).ptr;

  double value = 0;
  const std::from_chars_result result =
      portable::from_chars(text, out, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    return decimal_exponent > 0 ? infinity : zero;
  }
  return value;
}

// An optional sign, then digits with at most one point; stops at the first
// byte that cannot continue them. Consumes nothing if none is there.
mantissa scan_mantissa(byte_cursor& cursor) {
  mantissa m;
  int c = cursor.peek();
  if (is_sign(c)) {
    m.has_sign = true;
    m.negative = c == '-';
    cursor.advance();
  }
  bool significant = false;
  while (true) {
    c = cursor.peek();
    if (c == '.' && !m.has_point) {
      m.has_point = true;
    } else if (is_digit(c)) {
      m.has_digits = true;
      if (m.whole < WHOLE_LIMIT) {
        m.whole = std::min(m.whole * 10 + static_cast<std::uint64_t>(c - '0'), WHOLE_LIMIT);
      }
      significant = significant || c != '0';
      if (significant) {
        if (m.kept_count < SIGNIFICANT_DIGITS) m.kept[m.kept_count++] = static_cast<char>(c);
        if (!m.has_point) m.point_position = saturated(m.point_position + 1);
      } else if (m.has_point) {
        m.point_position = saturated(m.point_position - 1);
      }
    } else {
      return m;
    }
    cursor.advance();
  }
}

// A syntax error: the step and the reason it fails with.
struct syntax_error {
  failure_step step;
  const char* reason;
};

constexpr syntax_error INVALID_NUMBER{failure_step::invalid_number, REASON_INCOMPREHENSIBLE};
constexpr syntax_error EXPONENT_FIELD{failure_step::exponent_field, REASON_INCOMPREHENSIBLE};
constexpr syntax_error BAD_REPEAT{failure_step::bad_repeat, REASON_INCOMPREHENSIBLE};
constexpr syntax_error INVALID_INTEGER{failure_step::invalid_integer, REASON_UNEXPECTED_CHARACTER};

// The outcome of scanning one value's text: a value, an empty value, or an
// error. The integer read's whole number is held as a double too, exactly:
// it saturates at WHOLE_LIMIT, far below 2^53.
struct scanned {
  std::optional<double> value;  // empty for an empty value
  std::optional<syntax_error> error = std::nullopt;
};

// A sign or point standing alone: an empty value before a comma or slash,
// otherwise invalid.
scanned lone_sign_or_point(int next) {
  if (next == ',' || next == '/') return {};
  return {std::nullopt, INVALID_NUMBER};
}

// A real: the mantissa, then an optional exponent.
scanned finish_real(byte_cursor& cursor, const mantissa& m) {
  if (!m.has_digits) return lone_sign_or_point(cursor.peek());

  int c = cursor.peek();
  bool has_exponent = false;
  if (is_exponent_letter(c)) {
    has_exponent = true;
    cursor.advance();
    c = cursor.peek();
  }
  bool negative_exponent = false;
  if (is_sign(c)) {
    has_exponent = true;
    negative_exponent = c == '-';
    cursor.advance();
    c = cursor.peek();
  }
  std::int64_t exponent = 0;
  if (has_exponent) {
    if (!is_digit(c)) return {std::nullopt, EXPONENT_FIELD};
    for (; is_digit(c); c = cursor.peek()) {
      exponent = exponent * 10 + (c - '0');
      if (exponent > EXPONENT_LIMIT) return {std::nullopt, EXPONENT_FIELD};
      cursor.advance();
    }
    if (negative_exponent) exponent = -exponent;
  }
  return {to_double(m, exponent)};
}

// An integer: the mantissa must be digits with an optional sign and end there.
// A point anywhere, even standing alone, makes it invalid; a sign standing
// alone is treated as in a real. The range is not checked here.
scanned finish_integer(byte_cursor& cursor, const mantissa& m) {
  const int next = cursor.peek();
  if (m.has_point || (m.has_digits && (is_exponent_letter(next) || is_sign(next)))) {
    return {std::nullopt, INVALID_INTEGER};
  }
  if (!m.has_digits) return lone_sign_or_point(next);
  const auto magnitude = static_cast<double>(m.whole);
  return {m.negative ? -magnitude : magnitude};
}

// One item of a read: a value, possibly repeated, or repeated empty values.
struct list_item {
  std::uint64_t repeat = 1;
  scanned text;
};

// One item, starting at a byte that is neither a separator nor the end. A
// repeat count is an optional plus sign and digits directly followed by '*';
// a '*' where the item starts is a count without its number.
list_item scan_item(byte_cursor& cursor, bool integer) {
  const auto finish = [&cursor, integer](const mantissa& m) {
    return integer ? finish_integer(cursor, m) : finish_real(cursor, m);
  };
  if (cursor.peek() == '*') return {1, {std::nullopt, BAD_REPEAT}};
  const mantissa m = scan_mantissa(cursor);
  if (m.is_empty()) return {1, {std::nullopt, INVALID_NUMBER}};
  if (cursor.peek() != '*' || !m.has_digits || m.has_point) return {1, finish(m)};

  // A repeat count: a positive whole number.
  if (m.negative || m.whole == 0) return {1, {std::nullopt, BAD_REPEAT}};
  cursor.advance();
  if (separator_at(cursor).kind != separator::none) return {m.whole, {}};  // r empty values
  const mantissa repeated = scan_mantissa(cursor);
  if (repeated.is_empty()) return {m.whole, {std::nullopt, INVALID_NUMBER}};
  return {m.whole, finish(repeated)};
}

// At most this many bytes of numbers left over on a line are kept, and of the
// text where a read failed.
constexpr std::size_t LEFT_OVER_LIMIT = 20;
constexpr std::size_t PLACE_TEXT_LIMIT = 20;

// After a read's last value: the first bytes of the rest of its line (at most
// LEFT_OVER_LIMIT, up to the line end) when that rest begins, after blanks,
// tabs and one comma, with what starts a number (a digit, or a sign or point
// before a digit or point), with its line; else none. Moves past the bytes it
// looked at, never past a line end: the caller skips the rest of the line.
numbers_left_over number_left_over(byte_cursor& cursor) {
  const auto skip_blanks_on_line = [&cursor] {
    while (separator_at(cursor).kind == separator::blank) cursor.advance();
  };
  skip_blanks_on_line();
  if (separator_at(cursor).kind == separator::comma) {
    cursor.advance();
    skip_blanks_on_line();
  }
  const int first = cursor.peek();
  const int second = cursor.peek(1);
  const bool number = is_digit(first) || ((first == '+' || first == '-' || first == '.') &&
                                          (is_digit(second) || second == '.'));
  numbers_left_over left_over;
  if (!number) return left_over;
  left_over.line = cursor.position().line;
  for (int c = cursor.peek();
       c != END && c != '\n' && c != '\r' && left_over.text.size() < LEFT_OVER_LIMIT;
       c = cursor.peek()) {
    left_over.text.push_back(static_cast<char>(c));
    cursor.advance();
  }
  return left_over;
}

}  // namespace

// The failure of `step`, unless the stream failed first: then that. Notes
// where the read stopped (failure_place()), taking up to PLACE_TEXT_LIMIT
// bytes of the text there from the cursor: the reader is not used again.
io_failure list_reader::failure(failure_step step, const char* reason) {
  // Within an item, from the item's start: its bytes so far are kept.
  place_.position = item_start_ ? *item_start_ : cursor_.position();
  place_.value = at_value_;
  place_.text = item_start_ ? cursor_.kept() : std::string();
  for (int c = cursor_.peek(); c != END && c != '\n' && place_.text.size() < PLACE_TEXT_LIMIT;
       c = cursor_.peek()) {
    place_.text.push_back(static_cast<char>(c));
    cursor_.advance();
  }
  place_.at_end = place_.text.empty() && cursor_.peek() == END;
  place_.stream_error = cursor_.error_number() != 0;
  cursor_.settle_form();
  if (place_.stream_error) {
    place_.at_end = false;
    return system_failure(failure_step::list_in, cursor_.error_number(), unit_,
                          /*transfer_begun=*/true);
  }
  return io_failure{.step = step, .reason = reason, .unit = unit_, .transfer_begun = true};
}

outcome<std::vector<std::optional<double>>> list_reader::read_list(std::size_t count,
                                                                   bool integer) {
  at_value_ = 0;
  values_.assign(count, std::nullopt);
  if (end_met_) return failure(failure_step::read_start, REASON_END_OF_FILE);

  value_lines_.assign(count, 0);
  std::size_t filled = 0;
  bool separator_pending = false;  // an item ended: one comma after it only separates
  while (filled < count) {
    at_value_ = filled;
    skip_blanks(cursor_);
    if (separator_pending && separator_at(cursor_).kind == separator::comma) {
      cursor_.advance();
      skip_blanks(cursor_);
    }
    separator_pending = false;

    const separator_at_cursor at = separator_at(cursor_);
    if (at.kind == separator::end) return failure(failure_step::list_in, REASON_END_OF_FILE);
    const std::size_t line = cursor_.position().line;
    if (at.kind == separator::comma) {  // an empty value
      move_past(cursor_, at);
      value_lines_[filled++] = line;
      continue;
    }
    if (at.kind == separator::slash) {  // ends the read, leaving the rest unset
      move_past(cursor_, at);
      std::fill(value_lines_.begin() + static_cast<std::ptrdiff_t>(filled), value_lines_.end(),
                line);
      break;
    }

    item_start_ = cursor_.position();
    cursor_.mark(PLACE_TEXT_LIMIT);
    const list_item item = scan_item(cursor_, integer);
    if (item.text.error) return failure(item.text.error->step, item.text.error->reason);
    item_start_.reset();
    cursor_.mark(0);
    separator_pending = true;
    for (std::uint64_t r = 0; r < item.repeat && filled < count; ++r) {
      value_lines_[filled] = line;
      values_[filled++] = item.text.value;
    }
  }

  left_over_ = number_left_over(cursor_);
  if (!cursor_.skip_line()) {
    if (cursor_.error_number() != 0) return failure(failure_step::list_in, REASON_END_OF_FILE);
    end_met_ = true;
  }
  return values_;
}

outcome<std::vector<std::optional<double>>> list_reader::read_reals(std::size_t count) {
  return read_list(count, false);
}

outcome<std::optional<std::int64_t>> list_reader::read_integer() {
  auto result = read_list(1, true);
  if (!result) return result.failure();
  const std::optional<double> whole = result.value()[0];
  if (!whole) return std::optional<std::int64_t>();
  return std::optional<std::int64_t>(static_cast<std::int64_t>(*whole));
}

}  // namespace datafiles
