#include <new>

#include "engine/speech_commands.h"
#include "plugin/plugin.h"
#include "plugin/request_memory.h"
#include "protocol/request_parser.h"
#include "protocol/response_writer.h"
#include "protocol/text_rules.h"

namespace saori {

namespace {

constexpr ByteView security_level = "SecurityLevel";

// The level is compared as a C string: a zero byte ends it.
bool is_local(ByteView level) noexcept {
  const std::size_t zero = find_bytes(level, ByteView("", 1));
  return equal_ignoring_ascii_case(level.substr(0, zero), "Local");
}

// How many bytes to copy out of a host block said to hold `length`: none
// for a negative length, and never more than the block holds where its
// allocator can tell.
std::size_t readable_length(HostMemory& memory, HostBlock block, std::int32_t length) {
  std::size_t count = length > 0 ? static_cast<std::size_t>(length) : 0;
  std::size_t size;
  if (count > 0 && memory.block_size(block, size) && size < count) count = size;
  return count;
}

}  // namespace

bool decide_answer(PluginState& state, FileSystem& files, ByteView text, CommandOutcome& outcome) {
  ByteView method;
  std::size_t header_lines;
  if (!parse_request_line(text, method, header_lines)) return false;

  // Only EXECUTE reads past the first line: nothing else in a version probe
  // or a request of another method changes its answer.
  if (!equal_bytes(method, "EXECUTE")) {
    outcome.status = equal_bytes(method, "GET Version") ? 200 : 400;
    return true;
  }

  // A request that does not say otherwise counts as local. No other header
  // changes the answer, so no other is kept.
  ByteView level = "Local";
  ArgumentList arguments(outcome.result.get_allocator());
  parse_header_lines(text, header_lines, security_level, level, arguments);
  if (!is_local(level)) {
    outcome.status = 500;
    return true;
  }
  VoiceFolder voice{state.directory, state.voice, files};
  outcome = execute_command(arguments, state.engine, voice);
  return true;
}

bool answer_request(PluginState& state, FileSystem& files, ByteView text, ByteString& response) {
  CommandOutcome outcome{0, ResultText(response.get_allocator())};
  if (!decide_answer(state, files, text, outcome)) return false;
  response = write_response(nullptr, nullptr, outcome.status, outcome.result,
                            response.get_allocator());
  return true;
}

int plugin_load(PluginState& state, const Platform& platform, HostBlock block,
                std::int32_t length) noexcept {
  try {
    if (block != nullptr) {
      const std::size_t count = readable_length(platform.memory, block, length);
      try {
        state.directory.assign(static_cast<const char*>(block), count);
      } catch (...) {
        platform.memory.release(block);
        throw;
      }
      platform.memory.release(block);
    }
    state.voice = VoiceFiles{};
    return bind_engine(state.engine, platform.libraries, state.directory) ? 1 : 0;
  } catch (...) {
    // Out of memory: bind_engine has left the binding empty.
    release_engine(state.engine, platform.libraries);
    return 0;
  }
}

HostBlock plugin_request(PluginState& state, const Platform& platform, HostBlock block,
                         std::int32_t* length) noexcept {
  if (length == nullptr) {
    if (block != nullptr) platform.memory.release(block);
    return nullptr;
  }

  RequestMemory memory;

  // Copy the request and give the host's block back before anything else.
  // A null block is read as an empty request, which is malformed.
  ByteString text(memory.allocator());
  bool copied = true;
  if (block != nullptr) {
    const std::size_t count = readable_length(platform.memory, block, *length);
    try {
      text.assign(static_cast<const char*>(block), count);
    } catch (...) {
      copied = false;
    }
    platform.memory.release(block);
  }
  *length = 0;
  if (!copied) return nullptr;

  CommandOutcome outcome{0, ResultText(memory.allocator())};
  try {
    if (!decide_answer(state, platform.files, text, outcome)) return nullptr;
  } catch (...) {
    return nullptr;
  }

  // Written straight into the block the host gets.
  const std::size_t size = response_length(outcome.status, outcome.result);
  *length = static_cast<std::int32_t>(size);
  HostBlock answer = platform.memory.allocate(size);
  if (answer != nullptr) write_response(static_cast<char*>(answer), outcome.status, outcome.result);
  return answer;
}

int plugin_unload(PluginState& state, const Platform& platform) noexcept {
  release_engine(state.engine, platform.libraries);
  return 1;
}

}  // namespace saori
