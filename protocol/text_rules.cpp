#include "protocol/text_rules.h"

#include <cstddef>
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

  // The magnitude is kept one past the largest positive value so that the
  // most negative value is still representable; more digits change nothing.
  constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (magnitude < limit) magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (magnitude > limit) magnitude = limit;

  if (negative) return static_cast<std::int32_t>(-magnitude);
  if (magnitude == limit) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(magnitude);
}

bool equal_ignoring_ascii_case(ByteView a, ByteView b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold_ascii_case(a[i]) != fold_ascii_case(b[i])) return false;
  }
  return true;
}

void append_decimal(ByteString& out, std::int64_t value) {
  char digits[24];
  std::size_t count = 0;
  // Work on the magnitude as unsigned so the most negative value is safe.
  std::uint64_t magnitude =
      value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) out.push_back('-');
  while (count > 0) out.push_back(digits[--count]);
}

}  // namespace saori
