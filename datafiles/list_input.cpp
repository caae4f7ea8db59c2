#include "datafiles/list_input.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

namespace datafiles {

source_chunk file_source::read(std::span<char> room) {
  if (pending_error_ != 0) return {0, pending_error_};
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

namespace {

constexpr int END = -1;  // what the cursor shows past the last byte, or after an error

// At most this many significant digits of a real are used; later ones only
// move the decimal point.
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

// A window over the source's bytes, refilled chunk by chunk.
class byte_cursor {
 public:
  byte_cursor(byte_source& source, std::size_t chunk_size)
      : source_(source), buffer_(chunk_size < 2 ? 2 : chunk_size) {}

  // The byte `ahead` places past the current one (ahead is 0 or 1), or END.
  int peek(std::size_t ahead = 0) {
    if (end_ - begin_ <= ahead && !fill(ahead + 1)) return END;
    return static_cast<unsigned char>(buffer_[begin_ + ahead]);
  }

  // Moves past the current byte; only after peek() showed one.
  void advance() { ++begin_; }

  // Moves past the next LF. False if the input ended (or failed) first.
  bool skip_line() {
    while (true) {
      const char* const from = buffer_.data() + begin_;
      const void* const lf = std::memchr(from, '\n', end_ - begin_);
      if (lf != nullptr) {
        begin_ += static_cast<const char*>(lf) - from + 1;
        return true;
      }
      begin_ = end_;
      if (!fill(1)) return false;
    }
  }

  // The C library's error number of a failed read, or 0.
  [[nodiscard]] int error_number() const { return error_number_; }

 private:
  // Makes at least `want` bytes visible if the input has them.
  bool fill(std::size_t want) {
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    while (end_ < want && !exhausted_) {
      const source_chunk chunk =
          source_.read(std::span<char>(buffer_.data() + end_, buffer_.size() - end_));
      if (chunk.size == 0) {
        exhausted_ = true;
        error_number_ = chunk.error_number;
      }
      end_ += chunk.size;
    }
    return end_ >= want;
  }

  byte_source& source_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // the current byte
  std::size_t end_ = 0;    // one past the last byte held
  bool exhausted_ = false;
  int error_number_ = 0;
};

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
      std::from_chars(text, out, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    return decimal_exponent > 0 ? infinity : zero;
  }
  return value;
}

// The outcome of scanning one value's text.
template <typename T>
struct scanned_value {
  std::optional<T> value;                           // empty for an empty value
  std::optional<failure_step> step = std::nullopt;  // set when the text is invalid
  const char* reason = nullptr;
};

// One item of a list: a value, possibly repeated, or repeated empty values.
template <typename T>
struct list_item {
  std::uint64_t repeat = 1;
  scanned_value<T> text;
};

template <typename T>
scanned_value<T> invalid(failure_step step, const char* reason) {
  return {std::nullopt, step, reason};
}

}  // namespace

class list_reader::impl {
 public:
  impl(byte_source& source, int unit, std::size_t chunk_size)
      : cursor_(source, chunk_size), unit_(unit) {}

  template <typename T>
  outcome<std::vector<std::optional<T>>> read_list(std::size_t count);

 private:
  void skip_blanks();
  bool at_separator();
  mantissa scan_mantissa();
  template <typename T>
  list_item<T> scan_item();
  template <typename T>
  scanned_value<T> finish_value(const mantissa& m);
  scanned_value<double> finish_real(const mantissa& m);
  scanned_value<std::int64_t> finish_integer(const mantissa& m);
  io_failure failure(failure_step step, const char* reason) const;

  byte_cursor cursor_;
  int unit_;
  bool end_met_ = false;  // the last read ran into the end of the input
};

// Blanks, tabs and line ends (LF, or CR LF).
void list_reader::impl::skip_blanks() {
  while (true) {
    const int c = cursor_.peek();
    if (c == ' ' || c == '\t' || c == '\n') {
      cursor_.advance();
    } else if (c == '\r' && cursor_.peek(1) == '\n') {
      cursor_.advance();
      cursor_.advance();
    } else {
      return;
    }
  }
}

// Whether the current byte ends an "r*" with no value: a blank, tab, line
// end, comma, slash or the end of the input.
bool list_reader::impl::at_separator() {
  const int c = cursor_.peek();
  if (c == '\r') return cursor_.peek(1) == '\n';
  return c == ' ' || c == '\t' || c == '\n' || c == ',' || c == '/' || c == END;
}

// An optional sign, then digits with at most one point; stops at the first
// byte that cannot continue them. Consumes nothing if none is there.
mantissa list_reader::impl::scan_mantissa() {
  mantissa m;
  int c = cursor_.peek();
  if (is_sign(c)) {
    m.has_sign = true;
    m.negative = c == '-';
    cursor_.advance();
  }
  bool significant = false;
  while (true) {
    c = cursor_.peek();
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
    cursor_.advance();
  }
}

// A sign or point standing alone: an empty value before a comma or slash,
// otherwise invalid.
template <typename T>
scanned_value<T> lone_sign_or_point(int next) {
  if (next == ',' || next == '/') return {};
  return invalid<T>(failure_step::invalid_number, REASON_INCOMPREHENSIBLE);
}

// A real: the mantissa, then an optional exponent.
scanned_value<double> list_reader::impl::finish_real(const mantissa& m) {
  if (!m.has_digits) return lone_sign_or_point<double>(cursor_.peek());

  int c = cursor_.peek();
  bool has_exponent = false;
  if (is_exponent_letter(c)) {
    has_exponent = true;
    cursor_.advance();
    c = cursor_.peek();
  }
  bool negative_exponent = false;
  if (is_sign(c)) {
    has_exponent = true;
    negative_exponent = c == '-';
    cursor_.advance();
    c = cursor_.peek();
  }
  std::int64_t exponent = 0;
  if (has_exponent) {
    if (!is_digit(c)) return invalid<double>(failure_step::exponent_field, REASON_INCOMPREHENSIBLE);
    for (; is_digit(c); c = cursor_.peek()) {
      exponent = exponent * 10 + (c - '0');
      if (exponent > EXPONENT_LIMIT) {
        return invalid<double>(failure_step::exponent_field, REASON_INCOMPREHENSIBLE);
      }
      cursor_.advance();
    }
    if (negative_exponent) exponent = -exponent;
  }
  return {to_double(m, exponent)};
}

// An integer: the mantissa must be digits with an optional sign and end there.
// A point anywhere, even standing alone, makes it invalid; a sign standing
// alone is treated as in a real. The range is not checked here.
scanned_value<std::int64_t> list_reader::impl::finish_integer(const mantissa& m) {
  const int next = cursor_.peek();
  if (m.has_point || (m.has_digits && (is_exponent_letter(next) || is_sign(next)))) {
    return invalid<std::int64_t>(failure_step::invalid_integer, REASON_UNEXPECTED_CHARACTER);
  }
  if (!m.has_digits) return lone_sign_or_point<std::int64_t>(next);
  const auto magnitude = static_cast<std::int64_t>(m.whole);
  return {m.negative ? -magnitude : magnitude};
}

// The value whose mantissa is `m`, read as a T.
template <typename T>
scanned_value<T> list_reader::impl::finish_value(const mantissa& m) {
  if constexpr (std::is_same_v<T, double>) {
    return finish_real(m);
  } else {
    return finish_integer(m);
  }
}

// One item, starting at a byte that is neither a separator nor the end. A
// repeat count is an optional plus sign and digits directly followed by '*';
// a '*' where the item starts is a count without its number. A value with a
// point or an exponent ends at a '*', which then starts the next item.
template <typename T>
list_item<T> list_reader::impl::scan_item() {
  list_item<T> item;
  if (cursor_.peek() == '*') {
    item.text = invalid<T>(failure_step::bad_repeat, REASON_INCOMPREHENSIBLE);
    return item;
  }
  const mantissa m = scan_mantissa();
  if (m.is_empty()) {
    item.text = invalid<T>(failure_step::invalid_number, REASON_INCOMPREHENSIBLE);
    return item;
  }
  if (cursor_.peek() != '*' || !m.has_digits || m.has_point) {
    item.text = finish_value<T>(m);
    return item;
  }

  // A repeat count: a positive whole number.
  if (m.negative || m.whole == 0) {
    item.text = invalid<T>(failure_step::bad_repeat, REASON_INCOMPREHENSIBLE);
    return item;
  }
  cursor_.advance();
  item.repeat = m.whole;
  if (at_separator()) return item;  // r empty values
  const mantissa repeated = scan_mantissa();
  item.text = repeated.is_empty()
                  ? invalid<T>(failure_step::invalid_number, REASON_INCOMPREHENSIBLE)
                  : finish_value<T>(repeated);
  return item;
}

// The failure of `step`, unless the stream failed first: then that.
io_failure list_reader::impl::failure(failure_step step, const char* reason) const {
  if (cursor_.error_number() != 0) {
    return system_failure(failure_step::list_in, cursor_.error_number(), unit_, true);
  }
  return io_failure{step, reason, unit_, true};
}

template <typename T>
outcome<std::vector<std::optional<T>>> list_reader::impl::read_list(std::size_t count) {
  if (end_met_) return failure(failure_step::read_start, REASON_END_OF_FILE);

  std::vector<std::optional<T>> values(count);
  std::size_t filled = 0;
  bool separator_pending = false;  // an item ended: one comma after it only separates
  while (filled < count) {
    skip_blanks();
    if (separator_pending && cursor_.peek() == ',') {
      cursor_.advance();
      skip_blanks();
    }
    separator_pending = false;

    const int c = cursor_.peek();
    if (c == END) return failure(failure_step::list_in, REASON_END_OF_FILE);
    if (c == ',') {  // an empty value
      cursor_.advance();
      ++filled;
      continue;
    }
    if (c == '/') {  // ends the read, leaving the rest unset
      cursor_.advance();
      break;
    }

    const list_item<T> item = scan_item<T>();
    if (item.text.step) return failure(*item.text.step, item.text.reason);
    separator_pending = true;
    for (std::uint64_t r = 0; r < item.repeat && filled < count; ++r) {
      values[filled++] = item.text.value;
    }
  }

  if (!cursor_.skip_line()) {
    if (cursor_.error_number() != 0) return failure(failure_step::list_in, REASON_END_OF_FILE);
    end_met_ = true;
  }
  return values;
}

list_reader::list_reader(byte_source& source, int unit, std::size_t chunk_size)
    : impl_(std::make_unique<impl>(source, unit, chunk_size)) {}

list_reader::~list_reader() = default;

outcome<std::vector<std::optional<double>>> list_reader::read_reals(std::size_t count) {
  return impl_->read_list<double>(count);
}

outcome<std::optional<std::int64_t>> list_reader::read_integer() {
  auto result = impl_->read_list<std::int64_t>(1);
  if (!result) return result.failure();
  return result.value()[0];
}

}  // namespace datafiles
