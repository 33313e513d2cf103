// Memory blocks exchanged with the host.
//
// On Windows these are fixed global memory blocks (GlobalAlloc with
// GMEM_FIXED), whose handle is the address of their bytes. Natively the same
// dispatch code runs on malloc, and tests count or fail allocations.
#pragma once

#include <cstddef>

namespace saori {

using HostBlock = void*;

class HostMemory {
 public:
  virtual ~HostMemory() = default;

  // A block of exactly `size` bytes whose handle is its address; null when
  // it cannot be had.
  virtual HostBlock allocate(std::size_t size) = 0;

  // Frees a block allocated by the host or by allocate().
  virtual void release(HostBlock block) = 0;

  // The size of a block as its allocator knows it, when it can tell; false
  // when it cannot. A host may state a length larger than its block, and
  // only this keeps a copy inside the block.
  virtual bool block_size(HostBlock block, std::size_t& size) = 0;
};

// The platform's own host memory. It keeps no state.
HostMemory& system_host_memory();

}  // namespace saori
