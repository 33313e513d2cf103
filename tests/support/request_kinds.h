// Large requests made of one kind of line each, for measuring the memory a
// request takes while it is answered. Built alike by the native test and by
// the end-to-end test of the DLL under Wine, straight into the caller's
// buffer, so that the host holds the request only once.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace request_kinds {

struct Kind {
  const char* name;
  // Appends line `i` (with its line end) to `line`.
  void (*line)(std::string& line, std::size_t i);
};

inline void letters(std::string& out, std::size_t i, std::size_t count) {
  for (std::size_t k = 0; k < count; ++k, i /= 26) out.push_back(static_cast<char>('a' + i % 26));
}

// The shortest distinct name for line i: one letter for the first 26,
// two for the next 676, and so on.
inline void distinct_name(std::string& out, std::size_t i) {
  std::size_t length = 1;
  for (std::size_t count = 26; i >= count; count *= 26, ++length) i -= count;
  letters(out, i, length);
}

inline const Kind kinds[] = {
    {"repeated_headers", [](std::string& l, std::size_t) { l += "Charset: Shift_JIS\r\n"; }},
    {"distinct_headers",
     [](std::string& l, std::size_t i) {
       distinct_name(l, i);
       l += ": \n";
     }},
    {"empty_arguments", [](std::string& l, std::size_t) { l += "Argument0: \n"; }},
    {"one_byte_arguments", [](std::string& l, std::size_t) { l += "Argument0: b\n"; }},
    {"two_byte_arguments", [](std::string& l, std::size_t) { l += "Argument0: bb\n"; }},
    {"four_byte_arguments", [](std::string& l, std::size_t) { l += "Argument0: bbbb\n"; }},
    {"ascending_arguments",
     [](std::string& l, std::size_t i) { l += "Argument" + std::to_string(i) + ": value\r\n"; }},
    // The largest index first, so the list is padded to its limit at once.
    {"padded_arguments",
     [](std::string& l, std::size_t i) { l += i == 0 ? "Argument65535: \n" : "Argument0: \n"; }},
    // One long PLAYSYNC text, built by the writer below.
    {"long_text", nullptr},
};

inline const Kind* find_kind(const std::string& name) {
  for (const Kind& kind : kinds) {
    if (name == kind.name) return &kind;
  }
  return nullptr;
}

// Writes an EXECUTE request of `kind` into `out`, `size` bytes at most and
// as close to that as whole lines allow; returns its length.
inline std::size_t write_request(const Kind& kind, char* out, std::size_t size) {
  std::string head = "EXECUTE SAORI/1.0\r\n";
  if (kind.line == nullptr) head += "Argument0: PLAYSYNC\r\nArgument1: ";
  if (head.size() > size) return 0;
  std::memcpy(out, head.data(), head.size());
  std::size_t length = head.size();
  if (kind.line == nullptr) {
    std::memset(out + length, 't', size - length);
    return size;
  }
  std::string line;
  for (std::size_t i = 0;; ++i) {
    line.clear();
    kind.line(line, i);
    if (line.size() > size - length) return length;
    std::memcpy(out + length, line.data(), line.size());
    length += line.size();
  }
}

}  // namespace request_kinds
