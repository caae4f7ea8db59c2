// How text looks on the platform the program is built for: the line end of
// the table's lines and the least number of exponent digits of its items.
#pragma once

#include <cstddef>

namespace datafiles {

#ifdef _WIN32
// Windows text: lines end in CR LF and the C run-time writes at least three
// exponent digits ("1.E-005"), as the older program's tables there have them.
inline constexpr char LINE_END[] = "\r\n";
inline constexpr int MIN_EXPONENT_DIGITS = 3;
#else
inline constexpr char LINE_END[] = "\n";
inline constexpr int MIN_EXPONENT_DIGITS = 2;
#endif
inline constexpr std::size_t LINE_END_SIZE = sizeof LINE_END - 1;

}  // namespace datafiles
