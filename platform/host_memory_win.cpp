#include <windows.h>

#include "platform/host_memory.h"

namespace saori {

namespace {

class GlobalMemory final : public HostMemory {
 public:
  HostBlock allocate(std::size_t size) override { return GlobalAlloc(GMEM_FIXED, size); }
  void release(HostBlock block) override { GlobalFree(block); }
};

}  // namespace

HostMemory& system_host_memory() {
  static GlobalMemory memory;
  return memory;
}

}  // namespace saori
