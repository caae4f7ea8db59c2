// The text of the ephemeris file: one value's item and the layout of a record
// on lines of at most LIST_LINE_LIMIT - 1 characters. Everything here writes
// into a caller's buffer and never allocates.
#pragma once

#include <cstddef>

#include "datafiles/text_conventions.h"
#include "orbit/records.h"

namespace datafiles {

// A line is ended before an item that would bring it to this many characters.
inline constexpr std::size_t LIST_LINE_LIMIT = 80;

// The longest item: a blank, a sign and "d.dddddddddE-ddd".
inline constexpr std::size_t MAX_ITEM_SIZE = 17;

// Values in one record.
inline constexpr std::size_t RECORD_VALUES = 8;

// The longest record: eight of the longest items, each possibly after a line end,
// and the final line end.
inline constexpr std::size_t MAX_RECORD_SIZE =
    RECORD_VALUES * (MAX_ITEM_SIZE + LINE_END_SIZE) + LINE_END_SIZE;

// Writes the item for `value` into out[0, MAX_ITEM_SIZE) and returns its length:
// a blank, '-' if value < 0 or else a blank, then the magnitude as "0." for
// zero or as "%.9G" would print it, with a decimal point forced into texts not
// beginning with I or N ("1E-05" -> "1.E-05", "-NAN" -> "-NAN."), and with
// at least MIN_EXPONENT_DIGITS exponent digits ("1.E-005" on Windows).
// Characters of that range after the item may be overwritten.
std::size_t format_item(double value, char* out);

// Writes one record (its eight items, a LINE_END before any item that would
// bring the line to LIST_LINE_LIMIT characters, and one after the last)
// into out[0, MAX_RECORD_SIZE) and returns its length.
// Characters of that range after the record may be overwritten.
std::size_t format_record(const orbit::ephemeris_record& record, char* out);

// The records at the start of a text of records as format_record writes them.
struct record_prefix {
  std::size_t size;     // bytes, up to the line end of the last whole record
  std::size_t records;  // whole records in them
};

// The longest prefix of `text` (records one after another, as format_record
// writes them, possibly cut anywhere) that ends at a record's end: a record is
// RECORD_VALUES items, each a run of bytes without a blank or a line end,
// and the LINE_END after the last. For what a failed write leaves.
record_prefix whole_records(const char* text, std::size_t size);

// Where the machine is little-endian and the compiler has 128-bit integers,
// the common magnitudes (2^-13 up to 2^29) are written by exact integer
// arithmetic (list_output_integer.h); elsewhere every item goes through
// std::to_chars. Both write the same bytes.

// The std::to_chars path, built everywhere so that tests can hold the two
// paths against each other; same contracts as format_item and format_record.
namespace list_output_detail {
std::size_t format_item_portable(double value, char* out);
std::size_t format_record_portable(const orbit::ephemeris_record& record, char* out);
}  // namespace list_output_detail

}  // namespace datafiles
