// The Windows side of the differential test: saori_speech.dll as built,
// loaded with LoadLibraryW and called through its exports with fixed global
// memory blocks, as a host does, bound to the complete stand-in engine.
#include <windows.h>

#include <cstring>
#include <string>

#include "tests/differential/stream_runner.h"
#include "tests/support/windows_host.h"

namespace {

using namespace windows_host;





class Dll final : public differential::PluginUnderTest {
 public:
  bool open() {
    const std::string file = windows_path(DIFFERENTIAL_PLUGIN_FILE);
    const std::wstring wide(file.begin(), file.end());
    module_ = LoadLibraryW(wide.c_str());
    if (module_ == nullptr) return false;
    load_ = entry<LoadFunction>(module_, "load");
    request_ = entry<RequestFunction>(module_, "request");
    unload_ = entry<UnloadFunction>(module_, "unload");
    return load_ != nullptr && request_ != nullptr && unload_ != nullptr;
  }

  int load() override {
    const std::string directory = windows_path(DIFFERENTIAL_ENGINE_DIR) + "\\";
    return load_(block_of(directory), static_cast<long>(directory.size()));
  }

  differential::Answer request(const std::string& text) override {
    long length = static_cast<long>(text.size());
    HGLOBAL block = request_(block_of(text), &length);
    differential::Answer answer;
    answer.null = block == nullptr;
    answer.length = length;
    if (block != nullptr) {
      answer.bytes.assign(static_cast<const char*>(block), static_cast<std::size_t>(length));
      GlobalFree(block);
    }
    return answer;
  }

  int unload() override { return unload_(); }

 private:
  HMODULE module_ = nullptr;
  LoadFunction load_ = nullptr;
  RequestFunction request_ = nullptr;
  UnloadFunction unload_ = nullptr;
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
