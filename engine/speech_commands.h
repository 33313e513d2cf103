// The speech commands an EXECUTE request can carry.
#pragma once

#include <array>
#include <cstdint>

#include "engine/engine_binding.h"
#include "platform/file_system.h"
#include "protocol/byte_string.h"

namespace saori {

struct CommandOutcome {
  StatusCode status = 0;
  ResultText result;
};

// Speed used when the request gives none or one outside 50..300.
inline constexpr std::int32_t default_speed = 100;

// What VOICE knows of its folder from one load to the next: whether the
// folder has been made and read since the load, and how far the names it
// hands out and the removal of older files have come.
struct VoiceFiles {
  bool prepared = false;
  std::uint32_t next = 1;          // number of the next name to try
  std::uint32_t window_start = 1;  // lowest number not yet due for removal
  // Numbers whose removal failed (the file held open), tried again at each
  // VOICE; 0 is a free place.
  std::array<std::uint32_t, 8> stuck{};
};

// Where VOICE writes: the folder "voice" inside the plug-in's folder.
struct VoiceFolder {
  ByteView plugin_directory;
  VoiceFiles& files;
  FileSystem& file_system;
};

// Runs the command named in arguments[0] against the bound engine:
//   PLAYSYNC (text [, speed]) speaks the text;
//   CREATEWAV (path, text [, speed]) writes its wave to the path;
//   VOICE (text [, speed]) writes its wave to a new file of the voice folder
//     and answers the sound tag \_v[full path] that plays it.
// 200 when done, 400 when the engine or the file system refused, 500 when
// the arguments are unusable. An unbound engine is never called. The texts
// it makes (the result, the zero-terminated copies handed on, the paths)
// come from the memory of `arguments`, so a request's arena serves them too.
CommandOutcome execute_command(const ArgumentList& arguments, const EngineBinding& engine,
                               VoiceFolder& voice);

// VOICE alone; execute_command calls it for a command word holding "VOICE".
CommandOutcome voice_command(const ArgumentList& arguments, const EngineBinding& engine,
                             VoiceFolder& voice);

}  // namespace saori
