// What the speech commands share in making their answers: the messages with
// their numbers or paths, the speed entry, the zero-terminated copies.
#pragma once

#include <cstdint>

#include "engine/speech_commands.h"
#include "protocol/text_rules.h"

namespace saori::command_answers {

using Allocator = ResultText::allocator_type;

inline CommandOutcome answer(StatusCode status, ByteView message, Allocator allocator) {
  return CommandOutcome{status, ResultText(message, allocator)};
}

// The message with its "%d" replaced by `number` in signed decimal.
inline CommandOutcome answer_with_number(StatusCode status, ByteView format, std::int32_t number,
                                         Allocator allocator) {
  const std::size_t placeholder = format.find("%d");
  ResultText text(format.substr(0, placeholder), allocator);
  append_decimal(text, number);
  text.append(format.substr(placeholder + 2));
  return CommandOutcome{status, std::move(text)};
}

// The message with its "%s" replaced by `path`, up to the path's first zero
// byte, as far as the file system saw it.
inline CommandOutcome answer_with_path(StatusCode status, ByteView format, ByteView path,
                                       Allocator allocator) {
  const std::size_t placeholder = format.find("%s");
  ResultText text(format.substr(0, placeholder), allocator);
  text.append(path.substr(0, find_bytes(path, ByteView("", 1))));
  text.append(format.substr(placeholder + 2));
  return CommandOutcome{status, std::move(text)};
}

inline std::int32_t read_speed(const ArgumentList& arguments, std::size_t entry) {
  if (arguments.size() <= entry) return default_speed;
  const std::int32_t speed = parse_decimal(arguments[entry]);
  return (speed < 50 || speed > 300) ? default_speed : speed;
}

// Entries reach the engine and the file system as zero-terminated copies, so
// each is read only up to its first zero byte.
inline ByteString zero_terminated(ByteView entry, Allocator allocator) {
  return ByteString(entry, allocator);
}

}  // namespace saori::command_answers
