#include <windows.h>

#include "platform/host_memory.h"

namespace saori {

namespace {

class GlobalMemory final : public HostMemory {
 public:
  HostBlock allocate(std::size_t size) override { return GlobalAlloc(GMEM_FIXED, size); }
  void release(HostBlock block) override { GlobalFree(block); }

  // GlobalSize answers 0 both for an empty block and on failure; only the
  // last error tells them apart.
  bool block_size(HostBlock block, std::size_t& size) override {
    SetLastError(ERROR_SUCCESS);
    size = GlobalSize(block);
    return size != 0 || GetLastError() == ERROR_SUCCESS;
  }
};

}  // namespace

HostMemory& system_host_memory() {
  static GlobalMemory memory;
  return memory;
}

}  // namespace saori
