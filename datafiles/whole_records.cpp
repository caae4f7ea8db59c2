// The whole records at the start of a table's text. A unit of its own, apart
// from list_output.cpp, whose formatter the benchmarks' baseline build
// replaces.
#include <cstring>

#include "datafiles/list_output.h"

namespace datafiles {

record_prefix whole_records(const char* text, std::size_t size) {
  record_prefix whole{0, 0};
  std::size_t items = 0;  // of the record under way
  std::size_t at = 0;
  while (at < size) {
    if (text[at] == ' ' || text[at] == '\r' || text[at] == '\n') {
      ++at;
      continue;
    }
    while (at < size && text[at] != ' ' && text[at] != '\r' && text[at] != '\n') ++at;
    if (at == size) break;  // the item may go on beyond the text
    if (++items == RECORD_VALUES) {
      if (size - at < LINE_END_SIZE || std::memcmp(text + at, LINE_END, LINE_END_SIZE) != 0) break;
      at += LINE_END_SIZE;
      whole = {at, whole.records + 1};
      items = 0;
    }
  }
  return whole;
}

}  // namespace datafiles
