// A host-memory double that knows every live block, so tests can tell that
// each block handed over was freed exactly once and that a response block
// is a fresh one of the stated size.
#pragma once

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/host_memory.h"

namespace saori::testing_support {

class CountingMemory final : public HostMemory {
 public:
  ~CountingMemory() override {
    for (auto& [block, size] : live_) std::free(block);
  }

  HostBlock allocate(std::size_t size) override {
    ++allocations;
    if (fail_allocations) return nullptr;
    void* block = std::malloc(size == 0 ? 1 : size);
    live_[block] = size;
    return block;
  }

  void release(HostBlock block) override {
    const auto found = live_.find(block);
    if (found == live_.end()) {
      ++bad_releases;  // a block that is not live: freed twice, or foreign
      return;
    }
    std::free(block);
    live_.erase(found);
  }

  // Known for the blocks of this double, as GlobalSize knows them, unless
  // a test plays an allocator that cannot tell.
  bool block_size(HostBlock block, std::size_t& size) override {
    const auto found = live_.find(block);
    if (!sizes_known || found == live_.end()) return false;
    size = found->second;
    return true;
  }

  // A host block holding `text`, plus `extra` bytes after it.
  HostBlock block_of(const std::string& text, const std::string& extra = "") {
    HostBlock block = allocate(text.size() + extra.size());
    std::memcpy(block, text.data(), text.size());
    std::memcpy(static_cast<char*>(block) + text.size(), extra.data(), extra.size());
    return block;
  }

  std::size_t live_blocks() const { return live_.size(); }
  std::size_t size_of(HostBlock block) const {
    const auto found = live_.find(block);
    return found == live_.end() ? 0 : found->second;
  }

  bool fail_allocations = false;
  bool sizes_known = true;
  int allocations = 0;
  int bad_releases = 0;

 private:
  std::map<void*, std::size_t> live_;
};

}  // namespace saori::testing_support
