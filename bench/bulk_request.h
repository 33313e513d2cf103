// Large requests for the speed checks, built alike by the native benchmarks
// and by the Wine benchmark's host, so both time the same bytes.
//
// The lines look ordinary and end in CR LF:
//  - header lines "X-Header-NN: <value>" with 40 distinct names (NN = 00..39)
//    taken in turn, so the header map holds 41 entries (with the
//    SecurityLevel default) and every line after the first 40 overwrites one;
//  - argument lines "Argument<i>: <value>" with i = 0, 1, 2, ... ascending;
//  - values of 20 to 60 bytes (40 on average) of letters, digits, spaces and
//    the punctuation seen in header values ("-./;=,_"), from a fixed
//    pseudo-random sequence, so line lengths vary from line to line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class BulkKind { headers, arguments };

// A value of 20 to 60 bytes drawn from a fixed linear congruential sequence.
inline void append_bulk_value(std::string& out, std::uint32_t& seed) {
  static constexpr char alphabet[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789    -./;=,_";
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const std::size_t length = 20 + next() % 41;
  for (std::size_t i = 0; i < length; ++i) out.push_back(alphabet[next() % (sizeof alphabet - 1)]);
}

// An EXECUTE request of about `size` bytes (never more) of lines of the given
// kind, closed by an empty line.
inline std::string make_bulk_request(BulkKind kind, std::size_t size) {
  std::string text = "EXECUTE SAORI/1.0\r\n";
  std::string line;
  std::uint32_t seed = 12345;
  for (std::size_t i = 0;; ++i) {
    if (kind == BulkKind::headers) {
      line = "X-Header-";
      line.push_back(static_cast<char>('0' + i % 40 / 10));
      line.push_back(static_cast<char>('0' + i % 10));
    } else {
      line = "Argument" + std::to_string(i);
    }
    line.append(": ");
    append_bulk_value(line, seed);
    line.append("\r\n");
    if (text.size() + line.size() + 2 > size) break;
    text.append(line);
  }
  text.append("\r\n");
  return text;
}
