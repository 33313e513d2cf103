// Loading and releasing the two engine libraries.
#pragma once

#include <string>

#include "engine/engine_api.h"
#include "platform/dynamic_library.h"
#include "protocol/byte_string.h"

namespace saori {

// The held libraries and their resolved entry points. Between operations
// either all five are set or all five are null.
struct EngineBinding {
  LibraryHandle synthesis_library = nullptr;   // AquesTalk.dll
  LibraryHandle playback_library = nullptr;    // AquesTalkDa.dll
  AquesTalkSyntheFunction AquesTalk_Synthe = nullptr;
  AquesTalkFreeWaveFunction AquesTalk_FreeWave = nullptr;
  AquesTalkDaPlaySyncFunction AquesTalkDa_PlaySync = nullptr;

  bool bound() const noexcept { return synthesis_library != nullptr; }
};

// The directory as UTF-16, every counted byte converted (a zero byte too);
// empty when the directory is empty or does not convert.
std::u16string to_wide_directory(DynamicLibraries& libraries, ByteView directory);

// Loads AquesTalk.dll, resolves AquesTalk_Synthe and AquesTalk_FreeWave,
// loads AquesTalkDa.dll and resolves AquesTalkDa_PlaySync, in that order,
// from `directory` joined directly to the file names (no separator is
// inserted). On any failure whatever was taken is given back and the binding
// is left empty. A binding that is already bound is released first.
bool bind_engine(EngineBinding& binding, DynamicLibraries& libraries, ByteView directory);

// Gives back each held library once, AquesTalk.dll first, and empties the
// binding. Harmless on an empty binding.
void release_engine(EngineBinding& binding, DynamicLibraries& libraries) noexcept;

}  // namespace saori
