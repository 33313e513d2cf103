// Memory for everything one request needs: the copy of the request text, its
// headers and arguments, the texts handed to the engine, the result and the
// response. A request of a few KiB fits in the fixed buffer, which lives on
// the caller's stack, so answering it touches no heap; a larger one carries
// on from the heap. Nothing is given back before the request is answered,
// and everything is given back at once when the RequestMemory goes.
#pragma once

#include <cstddef>
#include <memory_resource>

#include "protocol/byte_string.h"

namespace saori {

class RequestMemory {
 public:
  static constexpr std::size_t buffer_size = 16 * 1024;

  RequestMemory() noexcept
      : resource_(buffer_, sizeof buffer_, std::pmr::new_delete_resource()) {}
  RequestMemory(const RequestMemory&) = delete;
  RequestMemory& operator=(const RequestMemory&) = delete;

  ByteString::allocator_type allocator() noexcept { return &resource_; }

 private:
  alignas(std::max_align_t) unsigned char buffer_[buffer_size];
  std::pmr::monotonic_buffer_resource resource_;
};

}  // namespace saori
