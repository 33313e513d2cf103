#include "engine/speech_commands.h"

#include <cstdio>

#include "engine/command_answers.h"
#include "engine/messages.h"
#include "protocol/text_rules.h"

namespace saori {

namespace {

using namespace command_answers;

CommandOutcome play_sync(const ArgumentList& arguments, const EngineBinding& engine) {
  const Allocator allocator = arguments.get_allocator();
  if (arguments.size() < 2) return answer(500, messages::playsync_argument_count, allocator);
  if (!engine.bound()) return answer(400, messages::playsync_engine_not_loaded, allocator);

  const ByteString text = zero_terminated(arguments[1], allocator);
  const std::int32_t speed = read_speed(arguments, 2);
  const std::int32_t result = engine.AquesTalkDa_PlaySync(text.c_str(), speed);
  if (result != 0) {
    return answer_with_number(400, messages::playsync_failed_format, result, allocator);
  }
  return answer(200, {}, allocator);
}

CommandOutcome create_wav(const ArgumentList& arguments, const EngineBinding& engine) {
  const Allocator allocator = arguments.get_allocator();
  if (arguments.size() < 3) return answer(500, messages::createwav_argument_count, allocator);
  // Checked before the file is opened, so an existing file stays untouched.
  if (!engine.bound()) return answer(400, messages::createwav_engine_not_loaded, allocator);

  const ByteString path = zero_terminated(arguments[1], allocator);
  const ByteString text = zero_terminated(arguments[2], allocator);
  const std::int32_t speed = read_speed(arguments, 3);

  // Created or emptied before synthesis, so a failed synthesis leaves an
  // empty file behind rather than an old waveform.
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return answer(400, messages::createwav_open_failed, allocator);

  // The engine reports its error number through the size on failure.
  std::int32_t size = 0;
  unsigned char* wave = engine.AquesTalk_Synthe(text.c_str(), speed, &size);
  if (wave == nullptr || size < 0) {
    std::fclose(file);
    if (wave != nullptr) engine.AquesTalk_FreeWave(wave);
    return answer_with_number(400, messages::createwav_synthe_failed_format, size, allocator);
  }

  // One write of exactly the engine's bytes; a short write or a failing
  // close (a full disk, say) must not be answered as success.
  const std::size_t length = static_cast<std::size_t>(size);
  const bool written = length == 0 || std::fwrite(wave, 1, length, file) == length;
  const bool closed = std::fclose(file) == 0;
  engine.AquesTalk_FreeWave(wave);
  if (!written || !closed) return answer(400, messages::createwav_write_failed, allocator);
  return answer(200, {}, allocator);
}

}  // namespace

CommandOutcome execute_command(const ArgumentList& arguments, const EngineBinding& engine,
                               VoiceFolder& voice) {
  if (arguments.empty()) return answer(500, messages::no_arguments, arguments.get_allocator());
  const ByteView command = arguments[0];
  if (find_bytes(command, "PLAYSYNC") != ByteView::npos) return play_sync(arguments, engine);
  if (find_bytes(command, "CREATEWAV") != ByteView::npos) return create_wav(arguments, engine);
  if (find_bytes(command, "VOICE") != ByteView::npos) return voice_command(arguments, engine, voice);
  return answer(500, messages::unknown_command, arguments.get_allocator());
}

}  // namespace saori
