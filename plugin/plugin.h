// The plug-in's boundary logic, free of any Windows type so that it runs
// natively under test. The exported entry points (exports.cpp) hold the one
// PluginState of the module and forward to these functions.
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine_binding.h"
#include "engine/speech_commands.h"
#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "platform/host_memory.h"
#include "protocol/byte_string.h"

namespace saori {

// What the module keeps between host calls.
struct PluginState {
  std::string directory;  // from load, in the ANSI code page
  EngineBinding engine;
  VoiceFiles voice;       // what VOICE knows of its folder since the load
};

// The operating-system services the entry points use.
struct Platform {
  DynamicLibraries& libraries;
  HostMemory& memory;
  FileSystem& files;
};

// Takes ownership of `block` (the plug-in's directory, `length` bytes) and
// frees it; a null block keeps the directory of an earlier load. Binds the
// engine and returns 1 when it is bound, else 0. The voice folder is read
// afresh at the first VOICE after it.
int plugin_load(PluginState& state, const Platform& platform, HostBlock block,
                std::int32_t length) noexcept;

// Takes ownership of `block` (one request of `*length` bytes) and frees it
// before parsing. Returns a new host block of exactly the response bytes,
// with `*length` set to their count; or null with `*length` 0 for a malformed
// request or when memory runs out, or null with `*length` the response's
// count when only the response block could not be had.
HostBlock plugin_request(PluginState& state, const Platform& platform, HostBlock block,
                         std::int32_t* length) noexcept;

// Releases the engine; returns 1.
int plugin_unload(PluginState& state, const Platform& platform) noexcept;

// The status and result that answer one request text, or false when it is
// malformed. The memory of `outcome.result` serves everything deciding
// needs, its arguments included.
bool decide_answer(PluginState& state, FileSystem& files, ByteView text, CommandOutcome& outcome);

// The whole response to one request text, or false when it is malformed.
// The response's allocator serves everything answering the request needs.
// plugin_request writes its response straight into the host's block
// instead; this is for tests and benchmarks.
bool answer_request(PluginState& state, FileSystem& files, ByteView text, ByteString& response);

}  // namespace saori
