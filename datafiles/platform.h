// The few system calls whose spelling differs between POSIX and Windows,
// defined once per platform (platform_posix.cpp, platform_windows.cpp). How
// the text itself differs: text_conventions.h.
#pragma once

#include <climits>
#include <cstddef>

namespace datafiles {

// PIPE_WRITE_SIZE: the most bytes a write to a pipe takes whole or not at all
// (POSIX's PIPE_BUF), so that a stop between writes leaves its reader whole
// records.
#ifdef _WIN32
// No FIFO can stand for the table there; the size is Linux's.
inline constexpr std::size_t PIPE_WRITE_SIZE = 4096;
#else
inline constexpr std::size_t PIPE_WRITE_SIZE = PIPE_BUF;
#endif

// Opens `path` in binary mode (the bytes written are the bytes on disk),
// creating it if absent, not inherited by child processes: for reading and
// writing, or for writing only where `special` (a FIFO or a device). Returns
// the descriptor, or -1 with errno set. On Windows the file is opened with a
// share mode that denies other writers, and a file another process holds so
// fails with EWOULDBLOCK.
int open_for_update(const char* path, bool special);

// write(2): writes up to `size` bytes (on Windows at most 1 GiB, as the C
// run-time takes an unsigned int) and returns how many, or -1 with errno set.
long long write_some(int descriptor, const char* data, std::size_t size);

// Opens `path` for reading only, in binary mode, without waiting for a writer
// if it is a pipe. Returns the descriptor, or -1 with errno set.
int open_read_only(const char* path);

// Takes an exclusive advisory lock on the open table, held until the
// descriptor is closed, without waiting. Returns 0 (also where the file
// system has no locks), or EWOULDBLOCK when another run holds it. On Windows
// the share mode taken at the open is the lock, and this does nothing.
int lock_table(int descriptor);

}  // namespace datafiles
