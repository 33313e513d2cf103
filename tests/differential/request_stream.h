// A seeded stream of SAORI/1.0 requests, the same bytes on every compiler and
// processor: request i is made from a splitmix64 sequence seeded with the
// stream's seed and i alone, with fixed-width arithmetic only, so any request
// can be rebuilt by itself to show it.
//
// The requests stay close to the rules of parsing and dispatch:
//  - first lines: EXECUTE and GET Version and near misses (trailing space,
//    an extra byte, lower case, a zero byte), the " SAORI/1." token present,
//    missing, without its space, with another minor digit or trailing text;
//  - line ends CR LF, LF, CR and LF CR, throughout or mixed, with or without
//    the closing empty line;
//  - argument names in every spelling of the prefix and of the index (0, 00,
//    -0, " 1", " 0", whitespace, signs, 65535, 65536, saturating and wrapping
//    numbers), with gaps, repeats and lines out of order;
//  - SecurityLevel lines near "Local" (letter case, "Local\0x", " Local",
//    "\0Local", trailing bytes), repeated, or with the name misspelt;
//  - PLAYSYNC and CREATEWAV with the stand-in engine's "#fail:N" and
//    "#size:N" texts, speeds near 50, 300 and the 32-bit limits;
//  - zero bytes, high bytes, long lines, and sizes around powers of two.
//
// Paths: what a file name means differs between Windows and POSIX (':', '\',
// control bytes, trailing dots and spaces, letter case), so whatever may reach
// fopen as the path of a CREATEWAV request is one of a few plain names: the
// files of written_files in the working directory, a name in a missing
// directory, or an empty name. Where the argument layout is disturbed, every
// argument of a CREATEWAV request is such a plain word, and no argument line of
// a CREATEWAV request is ever mutated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace differential {

using namespace std::literals;

// The files the CREATEWAV requests write, in the working directory.
inline constexpr std::string_view written_files[] = {"w0.wav", "w1.wav", "w2.wav"};

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint32_t next() {
    state_ += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>((z ^ (z >> 31)) >> 32);
  }
  std::uint32_t below(std::uint32_t n) { return next() % n; }
  bool chance(std::uint32_t percent) { return below(100) < percent; }

  template <std::size_t N>
  std::string pick(const std::string_view (&items)[N]) {
    return std::string(items[below(N)]);
  }

 private:
  std::uint64_t state_;
};

namespace detail {

constexpr std::string_view printable =
    " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
constexpr std::string_view plain = "abcdefghijklmnopqrstuvwxyz0123456789_-";

inline std::string text_of(Random& random, std::size_t length, std::string_view alphabet) {
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text.push_back(alphabet[random.below(alphabet.size())]);
  return text;
}

// Any bytes but CR and LF, which would end the line.
inline std::string any_bytes(Random& random, std::size_t length) {
  std::string text;
  while (text.size() < length) {
    const char byte = static_cast<char>(random.below(256));
    if (byte != '\r' && byte != '\n') text.push_back(byte);
  }
  return text;
}

// A name that fopen takes alike on both systems.
inline std::string plain_word(Random& random) {
  return text_of(random, 1 + random.below(8), plain);
}

constexpr std::string_view methods_near[] = {
    "EXECUTE ", "EXECUTEX", "execute", "Execute", "EXECUT", " EXECUTE", "EXECUTE\0"sv,
    "EXE\0CUTE"sv, "GET Version ", "GET Versionx", "GET version", "get Version", "GET Versio",
    "GET  Version", "GET", "GET\tVersion", "GET Version\0"sv, "", "NOTIFY", "\xff"};
constexpr std::string_view tokens_near[] = {
    " SAORI/1.9", " SAORI/1.", " SAORI/1.0 SAORI/1.0", " SAORI/1.0 trailing", " SAORI/1.0\0"sv,
    "SAORI/1.0", "  SAORI/1.0", " SAORI/2.0", " saori/1.0", " SAORI/1", "", " SAORI\0/1.0"sv};
constexpr std::string_view whole_requests[] = {
    "", "\r\n", "\n", "\r", " SAORI/1.0", "SAORI/1.0", "\0"sv, "GET Version SAORI/1.0",
    "EXECUTE SAORI/1.0", "\nGET Version SAORI/1.0\r\n\r\n", "\0GET Version SAORI/1.0\r\n"sv,
    "GET Version SAORI/1.\r\n\r\n"};
constexpr std::string_view terminators[] = {"\r\n", "\n", "\r", "\n\r"};

constexpr std::string_view security_names[] = {
    "SecurityLevel", "SecurityLevel", "SecurityLevel", "SecurityLevel", "SecurityLevel",
    "securitylevel", "SECURITYLEVEL", "SecurityLevel ", " SecurityLevel", "Securitylevel"};
constexpr std::string_view security_values[] = {
    "Local", "Local", "Local", "local", "LOCAL", "lOcAl", "Local\0x"sv, "Local\0"sv, " Local",
    "\0Local"sv, "Local ", "Locale", "Loca", "", "External", "Owner", "L0cal", "Local\xff",
    "LOCAL\0\xff"sv, "\x82\x6b\x82\x8f\x82\x83\x82\x81\x82\x8c"};
constexpr std::string_view separators[] = {": ", ": ", ": ", ": ", ": ", ": ", ":", ":  ", " : "};
constexpr std::string_view junk_lines[] = {
    "", "NoColonHere", "Name:NoSpace", ": empty name", "Name: a: b: c", "Name:  two spaces",
    " : x", "\xff\xfe: high", "Key\0: zero"sv, ":", ": ", "Argument", "SecurityLevel:Local",
    "Charset: Shift_JIS", "Sender: differential", "ID: \x82\xa0"};

constexpr std::string_view playsync_words[] = {
    "PLAYSYNC", "PLAYSYNC", "PLAYSYNC", "PLAYSYNC", "PLAYSYNC", "PLAYSYNC", "xxPLAYSYNCyy",
    "PLAYSYNC\0"sv, "\0PLAYSYNC"sv, "PLAYSYNCCREATEWAV", "CREATEWAVPLAYSYNC", " PLAYSYNC "};
constexpr std::string_view createwav_words[] = {
    "CREATEWAV", "CREATEWAV", "CREATEWAV", "CREATEWAV", "CREATEWAV", "CREATEWAV",
    "xxCREATEWAVyy", "CREATEWAV\0"sv, "\0CREATEWAV"sv, "CREATEWA", "createwav", "CREATEWAV "};
constexpr std::string_view plain_createwav_words[] = {"CREATEWAV", "xxCREATEWAVyy"};
constexpr std::string_view other_words[] = {
    "SING", "playsync", "createwav", "PLAYSYN", "Playsync", "", "PLAY SYNC", "\xff\xfe", "CREATE"};

constexpr std::string_view paths[] = {
    "w0.wav", "w1.wav", "w2.wav", "w0.wav", "w1.wav", "w2.wav", "missing/w.wav",
    "w1.wav\0junk"sv, "", "\0w0.wav"sv};
constexpr std::string_view plain_paths[] = {"w0.wav", "w1.wav", "w2.wav", "missing/w.wav", ""};

constexpr std::string_view speeds[] = {
    "50", "49", "51", "300", "301", "299", "100", "120", "0", "-60", "+60", " 150x",
    "\t\v\f 75", "abc", "", "2147483647", "2147483648", "-2147483649", "4294967346",
    "99999999999999999999", "0x60", "060", "- 60", "+-60", "1e2", "\x82\x54\x82\x4f",
    "80\0" "1"sv, "\xa0" "80"};
constexpr std::string_view plain_speeds[] = {"50", "49", "300", "301", "120", "4294967346", "abc"};

constexpr std::string_view fail_numbers[] = {
    "0", "1", "-1", "7", "255", "2147483647", "-2147483648", " 12", "", "x"};
constexpr std::string_view size_numbers[] = {"0", "1", "44", "100", "1000", "4096", "-1", "-5"};
constexpr std::string_view shift_jis_texts[] = {
    "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd", "\x83\x65\x83\x58\x83\x67", "\x88\xa0"};

// Index spellings that read as the index itself.
constexpr std::string_view index_prefixes[] = {"0", "+", " ", "\t", "\v", "\f", "\t\v ", "00"};
constexpr std::string_view index_suffixes[] = {"x", " ", "\xff", ".5"};
constexpr std::string_view zero_spellings[] = {"00", "000", "0x", "0 ", "0\xff"};
constexpr std::string_view prefixes[] = {"argument", "ARGUMENT", "ArGuMeNt"};

// Names that never add an argument: ordinary headers or dropped lines.
constexpr std::string_view names_without_argument[] = {
    "Argument", "Argument-1", "ArgumentX", "Argument 0", "Argument-0", "Argument+0",
    "Argument\t0", "Argument65536", "Argument2147483648", "Argument99999999999",
    "Argument4294967297", "Argument4294967296", "Argument-2147483649", "Argument\xa0" "1",
    "Argumen0", "Argument\0" "1"sv, "Arguments", "XArgument0", "argument\v-3", "ARGUMENT 0"};
// Index spellings that drop the line.
constexpr std::string_view dropping_indexes[] = {" 0", "-0", "+0", "x", "\xa0" "1", "-1", "\0" "1"sv};

constexpr char mutation_bytes[] = {'\0', '\x01', '\t', '\v', '\f', '\r', '\n', ' ', ':', '-',
                                   '+',  '\x7f', '\x80', '\x81', '\x9f', '\xa0', '\xe0', '\xfc',
                                   '\xff'};

struct Line {
  std::string text;
  bool fixed;  // never mutated
};

enum class Command { playsync, createwav, other, none };

// A text for the engine; short ones where a waveform may be written.
inline std::string engine_text(Random& random, bool short_only) {
  switch (random.below(12)) {
    case 0:
    case 1: return "#fail:" + random.pick(fail_numbers);
    case 2: return "#size:" + random.pick(size_numbers);
    case 3:
    case 4: return random.pick(shift_jis_texts);
    case 5: return random.chance(50) ? "ab\0cd"s : "\0xyz"s;
    case 6: return any_bytes(random, 1 + random.below(short_only ? 6 : 40));
    case 7: return "";
    case 8:
      if (!short_only) return text_of(random, 300 + random.below(3000), printable);
      [[fallthrough]];
    default: return text_of(random, 1 + random.below(short_only ? 6 : 30), printable);
  }
}

inline std::string speed(Random& random) {
  if (random.chance(20)) return std::to_string(random.below(401));
  return random.pick(speeds);
}

// The argument entries a request means to send, entry 0 first.
inline std::vector<std::string> plan_arguments(Random& random, Command command, bool plain) {
  std::vector<std::string> entries;
  const std::uint32_t shape = random.below(100);
  switch (command) {
    case Command::playsync:
      entries.push_back(random.pick(playsync_words));
      if (shape < 8) break;  // too few
      entries.push_back(engine_text(random, false));
      if (shape < 70) entries.push_back(speed(random));
      break;
    case Command::createwav:
      if (plain) {
        entries.push_back(random.pick(plain_createwav_words));
        if (shape >= 5) entries.push_back(random.pick(plain_paths));
        if (shape >= 10) entries.push_back(plain_word(random));
        if (shape >= 40) entries.push_back(random.pick(plain_speeds));
        break;
      }
      entries.push_back(random.pick(createwav_words));
      if (shape < 5) break;  // too few
      entries.push_back(random.pick(paths));
      if (shape < 10) break;
      entries.push_back(engine_text(random, true));
      if (shape < 70) entries.push_back(speed(random));
      break;
    case Command::other:
      entries.push_back(random.pick(other_words));
      entries.push_back(engine_text(random, false));
      break;
    case Command::none: return entries;
  }
  // Entries after the last used one are ignored; now and then many of them.
  // After too few entries for CREATEWAV they become its path and text.
  const std::uint32_t extra = random.chance(3) ? random.below(300) : random.below(3);
  for (std::uint32_t i = 0; i < extra; ++i) {
    entries.push_back(command == Command::createwav ? plain_word(random) : engine_text(random, true));
  }
  return entries;
}

inline std::string argument_name(Random& random, std::uint32_t index) {
  std::string name = random.chance(80) ? "Argument" : random.pick(prefixes);
  const std::string number = std::to_string(index);
  if (random.chance(80)) return name + number;
  if (index == 0) return name + random.pick(zero_spellings);
  return name + (random.chance(70) ? random.pick(index_prefixes) + number
                                   : number + random.pick(index_suffixes));
}

// Argument lines for the entries. Undisturbed, entry j is sent as index j in
// order, and lines that add no argument may come between; disturbed, indexes
// skip, repeat, start at 1, come out of order or are spelt so that the line
// is dropped. Lines that append after the planned entries may follow.
// Guarded lines (those of a request that may run CREATEWAV) are never
// mutated, and what they append is a plain word.
inline std::vector<Line> argument_lines(Random& random, const std::vector<std::string>& entries,
                                        bool disturbed, bool guarded) {
  struct Planned {
    std::uint32_t index;
    std::string value;
  };
  std::vector<Planned> planned;
  for (std::size_t j = 0; j < entries.size(); ++j) {
    planned.push_back({static_cast<std::uint32_t>(j), entries[j]});
  }
  std::vector<Line> lines;
  std::vector<bool> dropped(planned.size(), false);
  if (disturbed && !planned.empty()) {
    for (std::uint32_t changes = 1 + random.below(2); changes > 0; --changes) {
      const std::size_t at = random.below(static_cast<std::uint32_t>(planned.size()));
      switch (random.below(6)) {
        case 0:  // a gap
          for (std::size_t j = at; j < planned.size(); ++j) planned[j].index += 1 + random.below(3);
          break;
        case 1:  // a repeat
          planned.insert(planned.begin() + static_cast<std::ptrdiff_t>(at), planned[at]);
          dropped.insert(dropped.begin() + static_cast<std::ptrdiff_t>(at), false);
          break;
        case 2: {  // two lines swapped
          const std::size_t other = random.below(static_cast<std::uint32_t>(planned.size()));
          std::swap(planned[at], planned[other]);
          break;
        }
        case 3: dropped[at] = true; break;
        case 4:  // no Argument0
          for (Planned& p : planned) ++p.index;
          break;
        default:  // backwards
          for (std::size_t a = 0, b = planned.size() - 1; a < b; ++a, --b) {
            std::swap(planned[a], planned[b]);
          }
      }
    }
  }
  for (std::size_t j = 0; j < planned.size(); ++j) {
    const std::string name = dropped[j] ? "Argument" + random.pick(dropping_indexes)
                                        : argument_name(random, planned[j].index);
    lines.push_back({name + ": " + planned[j].value, guarded});
    // A line that adds no argument, anywhere among them.
    if (random.chance(8)) {
      const std::string other = random.pick(names_without_argument);
      lines.push_back({other + ": " + engine_text(random, true), guarded});
    }
  }
  // Lines that append after the planned entries: a repeated index, one past
  // a gap, and rarely the highest index honoured, which pads the list.
  if (random.chance(10)) {
    const std::uint32_t roll = random.below(100);
    const std::string name = roll < 2    ? "Argument65535"
                             : roll < 50 ? "Argument0"
                                         : "Argument" + std::to_string(entries.size() + 2);
    lines.push_back({name + ": " + (guarded ? plain_word(random) : engine_text(random, true)),
                     guarded});
  }
  return lines;
}

inline std::string header_line(Random& random) {
  const std::uint32_t roll = random.below(100);
  if (roll < 40) {
    // One call per statement: the order in which operands of + are evaluated
    // is unspecified, and the stream must not depend on the compiler.
    std::string line = random.pick(security_names);
    line += random.pick(separators);
    return line + random.pick(security_values);
  }
  if (roll < 70) return random.pick(junk_lines);
  if (roll < 75) return "X-Long: " + text_of(random, 1000 + random.below(8000), printable);
  std::string line = "X-" + text_of(random, 1 + random.below(10), plain) + ": ";
  return line + (random.chance(50) ? any_bytes(random, random.below(40))
                                   : text_of(random, random.below(40), printable));
}

inline std::string first_line(Random& random) {
  const std::uint32_t roll = random.below(100);
  std::string line = roll < 62 ? "EXECUTE" : roll < 80 ? "GET Version" : random.pick(methods_near);
  line += random.chance(88) ? " SAORI/1.0"s : random.pick(tokens_near);
  return line;
}

// Replaces or inserts a few bytes in lines that are not fixed. Lines with
// the stand-in's steering texts are left alone too: it reads their numbers
// with strtol, whose long is 32 bits wide on Windows and 64 on Linux, so a
// number pushed out of the 32-bit range would steer the two engines apart.
inline void mutate(Random& random, std::vector<Line>& lines) {
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& text = lines[i].text;
    const bool steers = text.find("#fail:") != std::string::npos ||
                        text.find("#size:") != std::string::npos;
    if (!lines[i].fixed && !steers) open.push_back(i);
  }
  if (open.empty()) return;
  for (std::uint32_t edits = 1 + random.below(3); edits > 0; --edits) {
    std::string& text = lines[open[random.below(static_cast<std::uint32_t>(open.size()))]].text;
    const char byte = mutation_bytes[random.below(sizeof mutation_bytes)];
    const std::size_t at = random.below(static_cast<std::uint32_t>(text.size() + 1));
    if (at < text.size() && random.chance(50)) {
      text[at] = byte;
    } else {
      text.insert(at, 1, byte);
    }
  }
}

}  // namespace detail

class RequestStream {
 public:
  explicit RequestStream(std::uint32_t seed) : seed_(seed) {}

  std::string request(std::uint32_t index) const {
    using namespace detail;
    Random random((static_cast<std::uint64_t>(seed_) << 32) | index);
    if (random.chance(3)) return random.pick(whole_requests);

    const std::uint32_t roll = random.below(100);
    const Command command = roll < 40   ? Command::playsync
                            : roll < 75 ? Command::createwav
                            : roll < 88 ? Command::other
                                        : Command::none;
    const bool disturbed = random.chance(20);
    // A CREATEWAV whose layout is disturbed may take any entry for its path.
    const bool plain = command == Command::createwav && disturbed;
    std::vector<std::string> entries = plan_arguments(random, command, plain);
    // Argument lines that may start a CREATEWAV are never mutated: a mutated
    // line could move any entry to the path.
    const bool guarded = !entries.empty() && entries[0].find("CREATEWAV") != std::string::npos;

    std::vector<Line> lines{{first_line(random), false}};
    std::vector<Line> body = argument_lines(random, entries, disturbed, guarded);
    if (command == Command::none) {
      while (random.chance(40)) body.push_back({random.pick(names_without_argument) + ": x", false});
    }
    // Headers anywhere; a second SecurityLevel line overrides the first.
    for (std::uint32_t headers = random.below(4); headers > 0; --headers) {
      const std::size_t at = random.below(static_cast<std::uint32_t>(body.size() + 1));
      body.insert(body.begin() + static_cast<std::ptrdiff_t>(at), {header_line(random), false});
    }
    lines.insert(lines.end(), body.begin(), body.end());
    if (random.chance(12)) mutate(random, lines);

    // One kind of line end throughout, or any mix.
    const std::uint32_t style = random.below(100);
    const std::string_view single = style < 50   ? terminators[0]
                                    : style < 62 ? terminators[1]
                                    : style < 72 ? terminators[2]
                                                 : terminators[3];
    auto end_of_line = [&] {
      return style < 78 ? single : terminators[random.below(4)];
    };
    std::string rest;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      rest += end_of_line();
      rest += lines[i].text;
    }
    const std::uint32_t ending = random.below(100);
    if (ending < 75) {
      rest += end_of_line();
      rest += end_of_line();
    } else if (ending < 90) {
      rest += end_of_line();
    }

    // Now and then a padding line brings the request to a size near a power
    // of two, where buffers change hands.
    std::string text = lines[0].text;
    if (random.chance(5)) {
      const std::size_t power = std::size_t{1} << (9 + random.below(8));
      const std::size_t target = power - 2 + random.below(5);
      const std::string_view eol = end_of_line();
      const std::size_t fixed_part = text.size() + eol.size() + 7 + rest.size();
      if (fixed_part < target) {
        text += eol;
        text += "X-Pad: " + std::string(target - fixed_part, 'p');
      }
    }
    return text + rest;
  }

 private:
  std::uint32_t seed_;
};

}  // namespace differential
