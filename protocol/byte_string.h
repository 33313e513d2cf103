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

// Byte-wise equality and order, four bytes at a time and inline. ByteView's
// own operators call the C library's memcmp, which on the short header names
// and words of a request costs more than the comparison itself (under Wine,
// msvcrt's memcmp is a byte loop behind a call); the map compares names
// several times per request.

// Four bytes as one number whose order is theirs as unsigned bytes.
inline std::uint32_t big_endian_word(const char* bytes) noexcept {
  const auto byte = [bytes](int i) { return std::uint32_t{static_cast<unsigned char>(bytes[i])}; };
  return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

// Below 0, 0 or above 0 as `a` sorts before, with or after `b`: as unsigned
// bytes, a text before any longer one that begins with it.
inline int compare_bytes(ByteView a, ByteView b) noexcept {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  std::size_t i = 0;
  for (; i + 4 <= common; i += 4) {
    const std::uint32_t x = big_endian_word(a.data() + i);
    const std::uint32_t y = big_endian_word(b.data() + i);
    if (x != y) return x < y ? -1 : 1;
  }
  for (; i < common; ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

inline bool equal_bytes(ByteView a, ByteView b) noexcept {
  return a.size() == b.size() && compare_bytes(a, b) == 0;
}

struct ByteOrder {
  using is_transparent = void;
  bool operator()(ByteView a, ByteView b) const noexcept { return compare_bytes(a, b) < 0; }
};

// Header name to value, ordered byte-wise, each name at most once.
using HeaderMap = std::pmr::map<ByteView, ByteView, ByteOrder>;

// Protocol status code (200, 400, 500, ...).
using StatusCode = std::uint32_t;

// Text of the "Result: " line; empty means the line is not written.
using ResultText = ByteString;

}  // namespace saori
