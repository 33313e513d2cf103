// Memory for everything one request needs: the copy of the request text, its
// arguments, the texts handed to the engine, the result and the response.
//
// A request of a few KiB fits in the fixed buffer, which lives on the
// caller's stack, so answering it touches no heap: blocks are cut from the
// buffer one after the other and given back all at once when the
// RequestMemory goes. What does not fit in the rest of the buffer comes from
// the heap one block at a time, and goes back to the heap as soon as it is
// deallocated, so that a list that grows or a text that is replaced never
// keeps its old storage: a large request holds only what it still uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>

#include "protocol/byte_string.h"

namespace saori {

class RequestMemory final : private std::pmr::memory_resource {
 public:
  static constexpr std::size_t buffer_size = 16 * 1024;

  RequestMemory() noexcept = default;
  RequestMemory(const RequestMemory&) = delete;
  RequestMemory& operator=(const RequestMemory&) = delete;

  ByteString::allocator_type allocator() noexcept { return this; }

 private:
  void* do_allocate(std::size_t bytes, std::size_t alignment) override {
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(buffer_);
    const std::uintptr_t aligned = (start + used_ + alignment - 1) & ~(std::uintptr_t{alignment} - 1);
    const std::size_t offset = static_cast<std::size_t>(aligned - start);
    if (offset < buffer_size && bytes <= buffer_size - offset) {
      used_ = offset + bytes;
      return buffer_ + offset;
    }
    return heap()->allocate(bytes, alignment);
  }

  void do_deallocate(void* block, std::size_t bytes, std::size_t alignment) override {
    // Blocks of the buffer go back with the buffer.
    if (!in_buffer(block)) heap()->deallocate(block, bytes, alignment);
  }

  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }

  bool in_buffer(const void* block) const noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    const auto start = reinterpret_cast<std::uintptr_t>(buffer_);
    return address >= start && address < start + buffer_size;
  }

  static std::pmr::memory_resource* heap() noexcept { return std::pmr::new_delete_resource(); }

  // The count comes first: a block reaching past the buffer's end would
  // leave the object, where AddressSanitizer sees it, rather than overwrite
  // the count unseen.
  std::size_t used_ = 0;
  alignas(std::max_align_t) unsigned char buffer_[buffer_size];
};

}  // namespace saori
