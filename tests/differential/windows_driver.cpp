// The Windows side of the differential test: saori_speech.dll as built,
// loaded with LoadLibraryW and called through its exports with fixed global
// memory blocks, as a host does, bound to the complete stand-in engine.
#include <windows.h>

#include <string>

#include "tests/differential/stream_runner.h"
#include "tests/support/windows_host.h"

namespace {

using namespace windows_host;

class Dll final : public differential::PluginUnderTest {
 public:
  bool open() { return dll_.open(DIFFERENTIAL_PLUGIN_FILE); }

  int load() override {
    const std::string directory = windows_path(DIFFERENTIAL_ENGINE_DIR) + "\\";
    return dll_.load(block_of(directory), static_cast<long>(directory.size()));
  }

  differential::Answer request(const std::string& text) override {
    long length = static_cast<long>(text.size());
    HGLOBAL block = dll_.request(block_of(text), &length);
    differential::Answer answer;
    answer.null = block == nullptr;
    answer.length = length;
    if (block != nullptr) {
      answer.bytes.assign(static_cast<const char*>(block), static_cast<std::size_t>(length));
      GlobalFree(block);
    }
    return answer;
  }

  int unload() override { return dll_.unload(); }

 private:
  PluginExports dll_;
};

}  // namespace

int main(int argc, char** argv) {
  Dll dll;
  if (!dll.open()) {
    std::fprintf(stderr, "cannot load %s (error %lu)\n", DIFFERENTIAL_PLUGIN_FILE, GetLastError());
    return 2;
  }
  return differential::driver_main(argc, argv, dll);
}
