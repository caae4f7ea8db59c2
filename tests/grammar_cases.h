// Inputs that break the element file's grammar, shared by the reader's unit
// tests, the element file's and the end-to-end runs: each layer reads every
// case and asserts what it adds (the reader and the element file the step and
// reason, the whole program the report and an untouched table).
#pragma once

#include <cstddef>

#include "datafiles/io_failure.h"

namespace grammar_cases {

using datafiles::failure_step;

// An item at the start of the target's line that makes a read of reals fail.
struct real_failure {
  const char* name;
  const char* text;   // the item(s), without the rest of the line
  std::size_t reals;  // the values the reader's own test asks for
  failure_step step;  // always with the reason "incomprehensible list input"
};

// Repeat counts come only at the start of an item, as digits with at most a
// plus sign, and the value follows the '*' at once.
inline constexpr real_failure REPEAT_FAILURES[] = {
    // A '*' where an item starts is a count without its number.
    {"star without count", "*1.5", 1, failure_step::bad_repeat},
    {"star, blank, value", "* 0.5", 1, failure_step::bad_repeat},
    {"star alone", "*", 1, failure_step::bad_repeat},
    {"star after a comma", "1,*2", 2, failure_step::bad_repeat},
    {"star after a blank", "1 *2", 2, failure_step::bad_repeat},
    {"star after a real", "1.5*2", 2, failure_step::bad_repeat},
    {"star after a point", "2.*2", 2, failure_step::bad_repeat},
    {"star after an exponent", "2e0*0.5", 2, failure_step::bad_repeat},
    {"star after a repeated real", "1*1.5*2", 2, failure_step::bad_repeat},
    {"star ending a real", "1.5*", 2, failure_step::bad_repeat},
    // Zero and negative counts.
    {"negative count", "-2*1", 1, failure_step::bad_repeat},
    {"zero count", "0*1", 1, failure_step::bad_repeat},
    {"plus zero count", "+0*1", 1, failure_step::bad_repeat},
    {"minus zero count", "-0*1", 1, failure_step::bad_repeat},
    {"negative count without value", "-2*", 1, failure_step::bad_repeat},
    // A sign or point standing alone before '*' has no digits to count.
    {"sign alone before star", "+*1", 1, failure_step::invalid_number},
    {"minus alone before star", "-*1", 1, failure_step::invalid_number},
    {"point alone before star", ".*1", 1, failure_step::invalid_number},
    {"point alone before star, 2", ".*2", 1, failure_step::invalid_number},
    {"sign and point before star", "+.*2", 1, failure_step::invalid_number},
    // After "r*" the value starts at once.
    {"star after star", "2**", 1, failure_step::invalid_number},
    {"letter after a count", "2*x", 1, failure_step::invalid_number},
    {"sign and star after a count", "2*+*", 1, failure_step::invalid_number},
};

// A day count that makes the integer read fail.
struct count_failure {
  const char* name;
  const char* text;  // the whole line of the day count, without its line end
  failure_step step;
  const char* reason;
};

// The day count is a sign and digits: no point anywhere, no exponent, and a
// sign alone is no number.
inline constexpr count_failure DAY_COUNT_FAILURES[] = {
    {"decimal day count", "10.0", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"point ending the count", "10.", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"point starting the count", ".5", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"exponent", "1E1", failure_step::invalid_integer, datafiles::REASON_UNEXPECTED_CHARACTER},
    {"exponent letter alone", "1d", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"signed exponent", "1+1", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"sign after digits", "1-", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"repeated real", "2*1.5", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"exponent before star", "2e0*1", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"real before star", "1.5*2", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    // A point anywhere, even standing alone.
    {"point as day count", ".", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"plus point as day count", "+.", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"minus point as day count", "-.", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"point, letter as day count", ".x", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"point, star in day count", "3.*", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"point, star as day count", ".*", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"point, slash as day count", "./", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"plus point, comma as day count", "+.,", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    {"count, star, point", "2*.", failure_step::invalid_integer,
     datafiles::REASON_UNEXPECTED_CHARACTER},
    // A sign standing alone is no number, as in a real.
    {"plus as day count", "+", failure_step::invalid_number, datafiles::REASON_INCOMPREHENSIBLE},
    {"minus as day count", "-", failure_step::invalid_number, datafiles::REASON_INCOMPREHENSIBLE},
    {"plus, star as day count", "+*", failure_step::invalid_number,
     datafiles::REASON_INCOMPREHENSIBLE},
    {"letter as day count", "x", failure_step::invalid_number, datafiles::REASON_INCOMPREHENSIBLE},
    {"sign, blank, digit", "+ 1", failure_step::invalid_number, datafiles::REASON_INCOMPREHENSIBLE},
    {"star after star", "2**", failure_step::invalid_number, datafiles::REASON_INCOMPREHENSIBLE},
    {"zero count", "0*1", failure_step::bad_repeat, datafiles::REASON_INCOMPREHENSIBLE},
    {"negative count", "-3*1", failure_step::bad_repeat, datafiles::REASON_INCOMPREHENSIBLE},
    {"star without count", "*5", failure_step::bad_repeat, datafiles::REASON_INCOMPREHENSIBLE},
};

}  // namespace grammar_cases
