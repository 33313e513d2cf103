#include "engine/engine_binding.h"

#include <climits>

namespace saori {

namespace {

constexpr char16_t synthesis_file[] = u"AquesTalk.dll";
constexpr char16_t playback_file[] = u"AquesTalkDa.dll";

template <typename Function>
Function resolve_as(DynamicLibraries& libraries, LibraryHandle library, const char* name) {
  return reinterpret_cast<Function>(libraries.resolve(library, name));
}

}  // namespace

std::u16string to_wide_directory(DynamicLibraries& libraries, ByteView directory) {
  if (directory.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int length = static_cast<int>(directory.size());
  const int needed = libraries.to_wide(directory.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string wide(static_cast<std::size_t>(needed), u'\0');
  const int written = libraries.to_wide(directory.data(), length, wide.data(), needed);
  if (written <= 0) return {};
  wide.resize(static_cast<std::size_t>(written));
  return wide;
}

bool bind_engine(EngineBinding& binding, DynamicLibraries& libraries, ByteView directory) {
  // A second load without unload must not keep a second reference.
  release_engine(binding, libraries);

  // Both paths exist before anything is loaded.
  const std::u16string wide = to_wide_directory(libraries, directory);
  const std::u16string synthesis_path = wide + synthesis_file;
  const std::u16string playback_path = wide + playback_file;

  // Each handle and address is stored as soon as it is obtained, so that
  // release_engine gives back exactly what was taken.
  binding.synthesis_library = libraries.open(synthesis_path.c_str());
  if (binding.synthesis_library != nullptr) {
    binding.AquesTalk_Synthe = resolve_as<AquesTalkSyntheFunction>(
        libraries, binding.synthesis_library, "AquesTalk_Synthe");
  }
  if (binding.AquesTalk_Synthe != nullptr) {
    binding.AquesTalk_FreeWave = resolve_as<AquesTalkFreeWaveFunction>(
        libraries, binding.synthesis_library, "AquesTalk_FreeWave");
  }
  if (binding.AquesTalk_FreeWave != nullptr) {
    binding.playback_library = libraries.open(playback_path.c_str());
  }
  if (binding.playback_library != nullptr) {
    binding.AquesTalkDa_PlaySync = resolve_as<AquesTalkDaPlaySyncFunction>(
        libraries, binding.playback_library, "AquesTalkDa_PlaySync");
  }
  if (binding.AquesTalkDa_PlaySync == nullptr) {
    release_engine(binding, libraries);
    return false;
  }
  return true;
}

void release_engine(EngineBinding& binding, DynamicLibraries& libraries) noexcept {
  // Given back in load order, AquesTalk.dll first.
  if (binding.synthesis_library != nullptr) libraries.close(binding.synthesis_library);
  if (binding.playback_library != nullptr) libraries.close(binding.playback_library);
  binding = EngineBinding{};
}

}  // namespace saori
