// Byte strings shared by every part of the plug-in.
//
// Every text the plug-in handles (request lines, header names and values,
// arguments, results, paths) is a run of bytes with an explicit length. No
// character set is assumed and nothing is converted: std::string_view and
// std::string are used purely as byte containers. Their comparisons go through
// std::char_traits<char>, which the language defines to compare as unsigned
// char, so ordering is byte-wise and a prefix sorts before any longer name;
// ByteOrder below orders the same way.
//
// The containers take a memory resource, so that everything one request
// needs can come from a buffer on the stack (see plugin/request_memory.h);
// made without one, they use the heap like their std counterparts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

namespace saori {

using ByteView = std::string_view;
using ByteString = std::pmr::string;

// Arguments of a request, entry 0 being the command word. The entries are
// views into the request text they were parsed from.
using ArgumentList = std::pmr::vector<ByteView>;

// Values written as "Value<i>" lines of a response.
using ValueList = std::pmr::vector<ByteView>;

// Byte-wise equality and order, written as loops. ByteView's own operators
// call the C library's memcmp, and on the short names and words of a request
// the call costs more than the comparison (under Wine, msvcrt's memcmp is a
// byte loop behind a call).
constexpr bool equal_bytes(ByteView a, ByteView b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Orders as unsigned bytes, a text before any longer one that begins with it.
struct ByteOrder {
  using is_transparent = void;
  constexpr bool operator()(ByteView a, ByteView b) const noexcept {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
      if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    }
    return a.size() < b.size();
  }
};

// Header name to value, ordered byte-wise, each name at most once.
using HeaderMap = std::pmr::map<ByteView, ByteView, ByteOrder>;

// Protocol status code (200, 400, 500, ...).
using StatusCode = std::uint32_t;

// Text of the "Result: " line; empty means the line is not written.
using ResultText = ByteString;

}  // namespace saori
