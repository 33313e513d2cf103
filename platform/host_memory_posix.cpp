#include <cstdlib>

#include "platform/host_memory.h"

namespace saori {

namespace {

class MallocMemory final : public HostMemory {
 public:
  // malloc(0) may answer null; a zero-size block is still a valid block.
  HostBlock allocate(std::size_t size) override { return std::malloc(size == 0 ? 1 : size); }
  void release(HostBlock block) override { std::free(block); }
  // malloc keeps no size that a caller may rely on.
  bool block_size(HostBlock, std::size_t&) override { return false; }
};

}  // namespace

HostMemory& system_host_memory() {
  static MallocMemory memory;
  return memory;
}

}  // namespace saori
