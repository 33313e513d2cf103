// The two speech commands an EXECUTE request can carry.
#pragma once

#include <cstdint>

#include "engine/engine_binding.h"
#include "protocol/byte_string.h"

namespace saori {

struct CommandOutcome {
  StatusCode status = 0;
  ResultText result;
};

// Speed used when the request gives none or one outside 50..300.
inline constexpr std::int32_t default_speed = 100;

// Runs PLAYSYNC (text [, speed]) or CREATEWAV (path, text [, speed]) named in
// arguments[0] against the bound engine: 200 with an empty result when done,
// 400 when the engine or the file system refused, 500 when the arguments are
// unusable. An unbound engine is never called. The texts it makes (the
// result, the zero-terminated copies handed on) come from the memory of
// `arguments`, so a request's arena serves them too.
CommandOutcome execute_command(const ArgumentList& arguments, const EngineBinding& engine);

}  // namespace saori
