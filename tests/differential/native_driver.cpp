// The native side of the differential test: the portable core with the POSIX
// platform seam, bound to the stand-in engine's shared objects.
#include <cstdint>
#include <cstring>
#include <string>

#include "plugin/plugin.h"
#include "tests/differential/stream_runner.h"

namespace {

class NativeCore final : public differential::PluginUnderTest {
 public:
  int load() override {
    const std::string directory = DIFFERENTIAL_ENGINE_DIR "/";
    return saori::plugin_load(state_, platform_, block_of(directory),
                              static_cast<std::int32_t>(directory.size()));
  }

  differential::Answer request(const std::string& text) override {
    std::int32_t length = static_cast<std::int32_t>(text.size());
    saori::HostBlock block = saori::plugin_request(state_, platform_, block_of(text), &length);
    differential::Answer answer;
    answer.null = block == nullptr;
    answer.length = length;
    if (block != nullptr) {
      answer.bytes.assign(static_cast<const char*>(block), static_cast<std::size_t>(length));
      platform_.memory.release(block);
    }
    return answer;
  }

  int unload() override { return saori::plugin_unload(state_, platform_); }

 private:
  saori::HostBlock block_of(const std::string& bytes) {
    saori::HostBlock block = platform_.memory.allocate(bytes.size());
    std::memcpy(block, bytes.data(), bytes.size());
    return block;
  }

  saori::PluginState state_;
  const saori::Platform platform_{saori::system_libraries(), saori::system_host_memory(),
                                   saori::system_files()};
};

}  // namespace

int main(int argc, char** argv) {
  NativeCore core;
  return differential::driver_main(argc, argv, core);
}
