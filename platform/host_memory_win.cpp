#include <windows.h>

#include "platform/host_memory.h"

namespace saori {

namespace {

class GlobalMemory final : public HostMemory {
 public:
  HostBlock allocate(std::size_t size) override { return GlobalAlloc(GMEM_FIXED, size); }
  void release(HostBlock block) override { GlobalFree(block); }

  // A GMEM_FIXED block is a block of the process heap, which the global
  // memory functions wrap, so the heap tells its size; asked directly it
  // answers in a fraction of GlobalSize's time under Wine, and a failure is
  // plain (-1, where GlobalSize answers 0 and leaves it to the last error).
  // A block of another heap is one it cannot tell.
  bool block_size(HostBlock block, std::size_t& size) override {
    size = HeapSize(GetProcessHeap(), 0, block);
    return size != static_cast<SIZE_T>(-1);
  }
};

}  // namespace

HostMemory& system_host_memory() {
  static GlobalMemory memory;
  return memory;
}

}  // namespace saori
