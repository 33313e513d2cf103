#include <dlfcn.h>

#include <string>

#include "platform/dynamic_library.h"

namespace saori {

namespace {

// POSIX paths are bytes, so the "conversion" widens each byte to one unit and
// open() narrows it back: the directory reaches dlopen byte for byte, joined
// to the same file names and cut at the first zero unit as LoadLibraryW
// would cut it.
class PosixLibraries final : public DynamicLibraries {
 public:
  int to_wide(const char* bytes, int length, char16_t* out, int capacity) override {
    if (length <= 0) return 0;
    if (capacity == 0) return length;
    if (capacity < length) return 0;
    for (int i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(bytes[i]);
    return length;
  }

  LibraryHandle open(const char16_t* path) override {
    std::string narrow;
    for (const char16_t* p = path; *p != 0; ++p) narrow.push_back(static_cast<char>(*p));
    return dlopen(narrow.c_str(), RTLD_NOW | RTLD_LOCAL);
  }

  EntryPoint resolve(LibraryHandle library, const char* name) override {
    return reinterpret_cast<EntryPoint>(dlsym(library, name));
  }

  void close(LibraryHandle library) override { dlclose(library); }
};

}  // namespace

DynamicLibraries& system_libraries() {
  static PosixLibraries libraries;
  return libraries;
}

}  // namespace saori
