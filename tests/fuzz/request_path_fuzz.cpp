// Drives the whole request path (copy, parse, dispatch, commands, response
// block) with arbitrary request bytes, through the counting host-memory
// double and with the stand-in engine bound.
//
// Every '/' and '\' of the input becomes '_' and the process works in a
// scratch directory that is emptied after each input, so CREATEWAV can only
// ever write plain file names there.
#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "plugin/plugin.h"
#include "support/counting_memory.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

struct Harness {
  saori::testing_support::CountingMemory memory;
  saori::Platform platform{saori::system_libraries(), memory, saori::system_files()};
  saori::PluginState state;
  std::string scratch;

  Harness() {
    char name[] = "/tmp/request-path-fuzz-XXXXXX";
    scratch = mkdtemp(name);
    const std::string directory = std::string(SAORI_STANDIN_DIR) + "complete/";
    require(saori::plugin_load(state, platform, memory.block_of(directory),
                               static_cast<std::int32_t>(directory.size())) == 1);
    require(chdir(scratch.c_str()) == 0);
  }

  void empty_scratch() {
    DIR* dir = opendir(".");
    if (dir == nullptr) return;
    while (dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
        std::remove(entry->d_name);
      }
    }
    closedir(dir);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Harness harness;
  std::string text(reinterpret_cast<const char*>(data), size);
  // The stand-in would allocate whatever "#size:" asks for; that steering is
  // for tests, not for the fuzzer.
  if (text.find("#size:") != std::string::npos) return -1;
  for (char& byte : text) {
    if (byte == '/' || byte == '\\') byte = '_';
  }

  saori::HostBlock block = harness.memory.block_of(text);
  std::int32_t length = static_cast<std::int32_t>(text.size());
  saori::HostBlock response = saori::plugin_request(harness.state, harness.platform, block, &length);
  if (response == nullptr) {
    require(length == 0);
  } else {
    require(length >= 20);
    require(harness.memory.size_of(response) == static_cast<std::size_t>(length));
    const char* bytes = static_cast<const char*>(response);
    require(std::memcmp(bytes, "SAORI/1.0 ", 10) == 0);
    require(std::memcmp(bytes + length - 4, "\r\n\r\n", 4) == 0);
    harness.memory.release(response);
  }
  require(harness.memory.live_blocks() == 0);
  require(harness.memory.bad_releases == 0);
  harness.empty_scratch();
  return 0;
}
