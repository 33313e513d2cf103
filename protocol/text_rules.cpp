#include "protocol/text_rules.h"

#include <cstddef>
#include <cstring>
#include <limits>

namespace saori {

namespace {

constexpr bool is_atoi_space(char byte) noexcept {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' ||
         byte == '\r';
}

}  // namespace

std::int32_t parse_decimal(ByteView text) noexcept {
  std::size_t i = 0;
  while (i < text.size() && is_atoi_space(text[i])) ++i;

  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }

  // The magnitude stops one past the largest positive value, so that the
  // most negative value is still representable; more digits change nothing.
  // It fits 32 unsigned bits, which keeps the loop cheap on 32-bit builds.
  constexpr std::uint32_t limit = std::uint32_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::uint32_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const std::uint32_t digit = static_cast<std::uint32_t>(text[i] - '0');
    const bool fits = magnitude < limit / 10 || (magnitude == limit / 10 && digit <= limit % 10);
    magnitude = fits ? magnitude * 10 + digit : limit;
  }

  if (negative) return static_cast<std::int32_t>(std::uint32_t{0} - magnitude);
  if (magnitude == limit) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(magnitude);
}

std::size_t find_bytes(ByteView text, ByteView needle) noexcept {
  if (needle.empty()) return 0;
  if (needle.size() > text.size()) return ByteView::npos;
  const char first = needle[0];
  const ByteView rest(needle.data() + 1, needle.size() - 1);
  const std::size_t last = text.size() - needle.size();
  for (std::size_t at = 0; at <= last; ++at) {
    if (text[at] == first && equal_bytes(ByteView(text.data() + at + 1, rest.size()), rest)) {
      return at;
    }
  }
  return ByteView::npos;
}

bool equal_ignoring_ascii_case(ByteView a, ByteView b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && fold_ascii_case(a[i]) != fold_ascii_case(b[i])) return false;
  }
  return true;
}

std::size_t format_decimal(std::int64_t value, char* out) noexcept {
  // Work on the magnitude as unsigned so the most negative value is safe.
  std::uint64_t magnitude = static_cast<std::uint64_t>(value);
  if (value < 0) magnitude = std::uint64_t{0} - magnitude;
  std::size_t count = 0;
  if (value < 0) out[count++] = '-';

  // The digits are made from the last, into a buffer of their own; in 32
  // bits once the rest fits, which spares 32-bit builds a 64-bit division per
  // digit.
  char digits[max_decimal_length];
  char* first = digits + sizeof digits;
  for (; magnitude > UINT32_MAX; magnitude /= 10) {
    *--first = static_cast<char>('0' + magnitude % 10);
  }
  for (std::uint32_t low = static_cast<std::uint32_t>(magnitude);; low /= 10) {
    *--first = static_cast<char>('0' + low % 10);
    if (low < 10) break;
  }
  while (first != digits + sizeof digits) out[count++] = *first++;
  return count;
}

void append_decimal(ByteString& out, std::int64_t value) {
  char digits[max_decimal_length];
  out.append(digits, format_decimal(value, digits));
}

}  // namespace saori
