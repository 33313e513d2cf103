// VOICE: the text's wave in a new file of the plug-in's own voice folder, and
// the sound tag that plays it.
//
// The baseware may keep a file it has played open, or its sound loaded, long
// after the talk: so a name is never written twice. Each load reads the folder
// once and goes on from the highest number there (speech_<N>.wav), and a name
// that cannot be created (a file of that name is there, held or not) is
// passed over for the next. The newest kept_files files stay, so that every
// part of a long talk and of the talk before it is still there when the
// baseware plays it; older ones are removed as new ones come, only names of
// this form and only in this folder. One that cannot be removed (held open)
// is tried again at the next VOICE calls, and at the next load.
#include <algorithm>

#include "engine/command_answers.h"
#include "engine/messages.h"
#include "engine/speech_commands.h"
#include "protocol/text_rules.h"

namespace saori {

namespace {

using namespace command_answers;

constexpr ByteView folder_name = "voice";
constexpr ByteView name_prefix = "speech_";
constexpr ByteView name_suffix = ".wav";
constexpr std::uint32_t kept_files = 64;
constexpr int name_attempts = 16;
// Nine digits at most: numbers never come near the 32-bit limit.
constexpr std::uint32_t last_number = 999999999;

// The number in one of the names VOICE writes, or 0 for any other name.
std::uint32_t file_number(ByteView name) {
  if (name.size() <= name_prefix.size() + name_suffix.size()) return 0;
  const ByteView digits =
      name.substr(name_prefix.size(), name.size() - name_prefix.size() - name_suffix.size());
  if (!equal_ignoring_ascii_case(name.substr(0, name_prefix.size()), name_prefix) ||
      !equal_ignoring_ascii_case(name.substr(name.size() - name_suffix.size()), name_suffix) ||
      digits.size() > 9 || digits[0] == '0') {
    return 0;
  }
  std::uint32_t number = 0;
  for (const char digit : digits) {
    if (digit < '0' || digit > '9') return 0;
    number = number * 10 + static_cast<std::uint32_t>(digit - '0');
  }
  return number;
}

// `path` cut back to the folder (its first `folder_length` bytes) and the
// name of file `number` after it.
const char* file_path(ByteString& path, std::size_t folder_length, std::uint32_t number) {
  path.resize(folder_length);
  path.append(name_prefix);
  append_decimal(path, number);
  path.append(name_suffix);
  return path.c_str();
}

// The highest number among the folder's names.
class HighestNumber final : public FileSystem::Visitor {
 public:
  void visit(ByteView name) override { highest = std::max(highest, file_number(name)); }
  std::uint32_t highest = 0;
};

// Removes the folder's files numbered `last` or lower. One that stays is
// left for the next load.
class OlderFiles final : public FileSystem::Visitor {
 public:
  OlderFiles(FileSystem& files, ByteString& path, std::size_t folder_length, std::uint32_t last)
      : files_(files), path_(path), folder_length_(folder_length), last_(last) {}
  void visit(ByteView name) override {
    const std::uint32_t number = file_number(name);
    if (number == 0 || number > last_) return;
    path_.resize(folder_length_);
    path_.append(name);
    files_.remove(path_.c_str());
  }

 private:
  FileSystem& files_;
  ByteString& path_;
  std::size_t folder_length_;
  std::uint32_t last_;
};

// Makes the folder and reads it, once a load: the names go on after the
// highest there, and only the newest kept_files of the files stay.
bool prepare_folder(VoiceFolder& voice, ByteString& path, std::size_t folder_length) {
  FileSystem& files = voice.file_system;
  path.resize(folder_length);
  if (!files.make_folder(path.c_str())) return false;
  HighestNumber highest;
  files.list(path.c_str(), highest);
  const std::uint32_t top = std::min(highest.highest, last_number - 1);
  if (top > kept_files) {
    path.resize(folder_length);
    const ByteString folder(path, path.get_allocator());
    OlderFiles older(files, path, folder_length, top - kept_files);
    files.list(folder.c_str(), older);
  }
  voice.files = VoiceFiles{};
  voice.files.prepared = true;
  voice.files.next = top + 1;
  voice.files.window_start = top > kept_files ? top - kept_files + 1 : 1;
  return true;
}

std::uint32_t take_number(VoiceFiles& files) {
  const std::uint32_t number = files.next;
  files.next = number + 1;
  if (number == last_number) {
    // Round again from 1; files left high in the folder go at the next load.
    files.next = 1;
    files.window_start = 1;
  }
  return number;
}

void remember_stuck(VoiceFiles& files, std::uint32_t number) {
  auto place = std::find(files.stuck.begin(), files.stuck.end(), 0u);
  // All places taken: this one waits for the next load instead.
  if (place == files.stuck.end()) place = files.stuck.begin() + number % files.stuck.size();
  *place = number;
}

// After file `written`: the files kept_files or more behind it go, and those
// that stayed before are tried again.
void remove_older(VoiceFolder& voice, ByteString& path, std::size_t folder_length,
                  std::uint32_t written) {
  VoiceFiles& files = voice.files;
  for (std::uint32_t& number : files.stuck) {
    if (number != 0 && voice.file_system.remove(file_path(path, folder_length, number))) number = 0;
  }
  if (written <= kept_files) return;
  const std::uint32_t last = written - kept_files;
  for (std::uint32_t number = files.window_start; number <= last; ++number) {
    if (!voice.file_system.remove(file_path(path, folder_length, number))) {
      remember_stuck(files, number);
    }
  }
  files.window_start = std::max(files.window_start, last + 1);
}

// \_v[path], with each "]" of the path written "\]" as a sound tag's
// bracket wants it. The second byte of a two-byte character is never a
// "]" of its own.
ResultText sound_tag(ByteView path, FileSystem& files, Allocator allocator) {
  ResultText tag("\\_v[", allocator);
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(path[i]);
    if (files.is_lead_byte(byte) && i + 1 < path.size()) {
      tag.push_back(path[i]);
      tag.push_back(path[++i]);
      continue;
    }
    if (byte == ']') tag.push_back('\\');
    tag.push_back(path[i]);
  }
  tag.push_back(']');
  return tag;
}

}  // namespace

CommandOutcome voice_command(const ArgumentList& arguments, const EngineBinding& engine,
                             VoiceFolder& voice) {
  const Allocator allocator = arguments.get_allocator();
  if (arguments.size() < 2) return answer(500, messages::voice_argument_count, allocator);
  if (!engine.bound()) return answer(400, messages::voice_engine_not_loaded, allocator);

  // The folder is joined to the plug-in's folder as the engine's files are,
  // and read only up to a zero byte, as the file system reads it.
  FileSystem& files = voice.file_system;
  ByteString path(voice.plugin_directory, allocator);
  path.resize(std::min(path.size(), find_bytes(path, ByteView("", 1))));
  path.append(folder_name);
  path.push_back(path_separator);
  const std::size_t folder_length = path.size();
  // Room for every file name, so that nothing is allocated (and nothing can
  // fail to be) while the engine's buffer or a file is held.
  path.reserve(folder_length + name_prefix.size() + 9 + name_suffix.size());
  // The path always begins with the folder, wherever its bytes now are.
  const auto folder = [&path, folder_length] { return ByteView(path).substr(0, folder_length); };
  if (!voice.files.prepared && !prepare_folder(voice, path, folder_length)) {
    return answer_with_path(400, messages::voice_folder_failed_format, folder(), allocator);
  }

  const ByteString text = zero_terminated(arguments[1], allocator);
  const std::int32_t speed = read_speed(arguments, 2);
  std::int32_t size = 0;
  unsigned char* wave = engine.AquesTalk_Synthe(text.c_str(), speed, &size);
  if (wave == nullptr || size < 0) {
    if (wave != nullptr) engine.AquesTalk_FreeWave(wave);
    return answer_with_number(400, messages::voice_synthe_failed_format, size, allocator);
  }

  // A name that cannot be created is passed over. When the first fails, the
  // folder may have gone since it was read: it is made again, once.
  FileSystem::File file = nullptr;
  std::uint32_t number = 0;
  for (int attempt = 0; attempt < name_attempts && file == nullptr; ++attempt) {
    number = take_number(voice.files);
    file = files.create_new(file_path(path, folder_length, number));
    if (file == nullptr && attempt == 0) {
      path.resize(folder_length);
      if (!files.make_folder(path.c_str())) {
        engine.AquesTalk_FreeWave(wave);
        return answer_with_path(400, messages::voice_folder_failed_format, folder(), allocator);
      }
    }
  }
  if (file == nullptr) {
    engine.AquesTalk_FreeWave(wave);
    return answer_with_path(400, messages::voice_open_failed_format, folder(), allocator);
  }

  // A file not written whole is removed: no tag ever names half a wave.
  const bool written = files.write(file, wave, static_cast<std::size_t>(size));
  const bool closed = files.close(file);
  engine.AquesTalk_FreeWave(wave);
  file_path(path, folder_length, number);
  if (!written || !closed) {
    files.remove(path.c_str());
    return answer_with_path(400, messages::voice_write_failed_format, folder(), allocator);
  }
  ResultText tag = sound_tag(path, files, allocator);
  remove_older(voice, path, folder_length, number);
  return CommandOutcome{200, std::move(tag)};
}

}  // namespace saori
