// Small text rules shared by the request parser and the speech commands.
//
// They never consult a locale: white space is exactly six bytes and case
// folding touches only the ASCII letters A to Z.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/byte_string.h"

namespace saori {

// Reads a decimal integer the way atoi does: skips leading space, tab, LF,
// VT, FF and CR; takes an optional sign and then digits up to the first other
// byte. No digits give 0. Values outside the 32-bit signed range saturate at
// its ends instead of wrapping, whatever the width of the platform's long.
std::int32_t parse_decimal(ByteView text) noexcept;

// Maps 'A'..'Z' to 'a'..'z' and leaves every other byte as it is.
constexpr char fold_ascii_case(char byte) noexcept {
  return (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte - 'A' + 'a') : byte;
}

// Offset of the first occurrence of `needle` in `text`, or ByteView::npos;
// an empty needle is found at 0. The same answer as ByteView::find, by a
// plain loop: the texts searched here are a line or an argument, and on
// them the C library's memchr, which ByteView::find calls, costs more per
// call than it saves (under Wine its msvcrt is a byte loop behind a call).
std::size_t find_bytes(ByteView text, ByteView needle) noexcept;

// Byte-wise equality after folding ASCII letters only.
bool equal_ignoring_ascii_case(ByteView a, ByteView b) noexcept;

// Longest decimal form of a 64-bit integer: a sign and 19 digits, or 20
// digits.
inline constexpr std::size_t max_decimal_length = 20;

// Writes a value in decimal, with a leading minus sign when negative, to
// `out`, which has room for max_decimal_length bytes; returns the count.
std::size_t format_decimal(std::int64_t value, char* out) noexcept;

// Appends a value in decimal, with a leading minus sign when negative.
void append_decimal(ByteString& out, std::int64_t value);

}  // namespace saori
