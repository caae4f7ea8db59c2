// Writing a whole buffer to a file descriptor: the one loop that the table's
// writer and the failure report share.
#pragma once

#include <cstddef>

#include "datafiles/stop_check.h"

namespace datafiles {

// Writes all `size` bytes of `data` to `descriptor`, going on after short
// writes. A write interrupted by a signal is tried again, unless `stop` says
// the run is to stop: after an interrupted or short write it then gives up
// with EINTR. Returns 0, or the error
// number of the write that failed (EIO for a write that made no progress);
// `written` then says how many bytes went out.
int write_fully(int descriptor, const char* data, std::size_t size, std::size_t& written,
                stop_check stop = nullptr);

}  // namespace datafiles
