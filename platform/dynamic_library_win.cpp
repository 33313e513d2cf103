#include <windows.h>

#include "platform/dynamic_library.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected on Windows");

namespace saori {

namespace {

class WindowsLibraries final : public DynamicLibraries {
 public:
  int to_wide(const char* bytes, int length, char16_t* out, int capacity) override {
    return MultiByteToWideChar(CP_ACP, 0, bytes, length, reinterpret_cast<wchar_t*>(out),
                               capacity);
  }

  LibraryHandle open(const char16_t* path) override {
    return LoadLibraryW(reinterpret_cast<const wchar_t*>(path));
  }

  EntryPoint resolve(LibraryHandle library, const char* name) override {
    return reinterpret_cast<EntryPoint>(GetProcAddress(static_cast<HMODULE>(library), name));
  }

  void close(LibraryHandle library) override { FreeLibrary(static_cast<HMODULE>(library)); }
};

}  // namespace

DynamicLibraries& system_libraries() {
  static WindowsLibraries libraries;
  return libraries;
}

}  // namespace saori
