// The module's exported SAORI/1.0 entry points and its process-detach
// handling. This is the only file that holds module-global state.
#include <windows.h>

#include <cstdint>

#include "plugin/plugin.h"

// The host calls the exports with the C calling convention.
#define SAORI_EXPORT __cdecl

namespace {

saori::PluginState module_state;

saori::Platform system_platform() {
  return saori::Platform{saori::system_libraries(), saori::system_host_memory(),
                         saori::system_files()};
}

}  // namespace

extern "C" {

BOOL SAORI_EXPORT load(HGLOBAL block, long length) {
  return saori::plugin_load(module_state, system_platform(), block,
                            static_cast<std::int32_t>(length));
}

HGLOBAL SAORI_EXPORT request(HGLOBAL block, long* length) {
  if (length == nullptr) return saori::plugin_request(module_state, system_platform(), block, nullptr);
  std::int32_t count = static_cast<std::int32_t>(*length);
  HGLOBAL response = saori::plugin_request(module_state, system_platform(), block, &count);
  *length = count;
  return response;
}

BOOL SAORI_EXPORT unload() { return saori::plugin_unload(module_state, system_platform()); }

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  // When the plug-in itself is freed, give the engine back as unload would.
  // At process exit (reserved non-null) other modules may already be gone,
  // so nothing is touched.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    saori::plugin_unload(module_state, system_platform());
  }
  return TRUE;
}

}  // extern "C"
