// Buffers had from malloc, which says plainly when memory cannot be had.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace datafiles {

struct memory_block_free {
  void operator()(char* block) const { std::free(block); }
};

// A block of bytes freed on destruction.
using memory_block = std::unique_ptr<char[], memory_block_free>;

// A block of `size` bytes, or null where the memory cannot be had. Not
// operator new (std::nothrow): the C++ library builds that on the throwing
// one, and a process left without the memory to make the exception itself
// ends then and there.
inline memory_block allocate_block(std::size_t size) {
  return memory_block(static_cast<char*>(std::malloc(size)));
}

}  // namespace datafiles
