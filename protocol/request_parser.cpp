#include "protocol/request_parser.h"

#include <cstring>

#include "protocol/text_rules.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define SAORI_HAVE_SSE2 1
#endif

namespace saori {

namespace {

constexpr ByteView protocol_token = " SAORI/1.";
constexpr ByteView argument_prefix = "Argument";

// First CR or LF in [begin, end), or end. Lines are usually short, but a
// request may carry long values, so where SSE2 is available sixteen bytes are
// tested at a time.
const char* find_line_end(const char* begin, const char* end) noexcept {
  const char* p = begin;
#if defined(SAORI_HAVE_SSE2)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  for (; end - p >= 16; p += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int mask = _mm_movemask_epi8(
        _mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf)));
    if (mask != 0) {
#if defined(_MSC_VER) && !defined(__clang__)
      unsigned long bit;
      _BitScanForward(&bit, static_cast<unsigned long>(mask));
      return p + bit;
#else
      return p + __builtin_ctz(static_cast<unsigned>(mask));
#endif
    }
  }
#endif
  for (; p < end; ++p) {
    if (*p == '\r' || *p == '\n') return p;
  }
  return end;
}

// Offset of the first ": " in `line`, or ByteView::npos.
std::size_t find_separator(ByteView line) noexcept {
  const char* const begin = line.data();
  const char* const end = begin + line.size();
  const char* p = begin;
  while (p < end) {
    const void* colon = std::memchr(p, ':', static_cast<std::size_t>(end - p));
    if (colon == nullptr) break;
    p = static_cast<const char*>(colon);
    if (p + 1 < end && p[1] == ' ') return static_cast<std::size_t>(p - begin);
    ++p;
  }
  return ByteView::npos;
}

bool has_argument_prefix(ByteView name) noexcept {
  return name.size() > argument_prefix.size() &&
         equal_ignoring_ascii_case(name.substr(0, argument_prefix.size()), argument_prefix);
}

// Index named by an argument line, or -1 when the line is to be dropped.
std::int32_t argument_index(ByteView name) noexcept {
  const ByteView rest = name.substr(argument_prefix.size());
  const std::int32_t index = parse_decimal(rest);
  if (index < 0) return -1;
  if (index == 0 && rest[0] != '0') return -1;  // "ArgumentX", "Argument-0", "Argument 0"
  if (index > max_argument_index) return -1;
  return index;
}

}  // namespace

Line read_line(ByteView text, std::size_t position) noexcept {
  if (position == no_line || position >= text.size()) return {ByteView{}, no_line};

  const char* const begin = text.data();
  const char* const end = begin + text.size();
  const char* const start = begin + position;
  const char* const terminator = find_line_end(start, end);
  const ByteView line(start, static_cast<std::size_t>(terminator - start));
  if (terminator == end) return {line, no_line};

  std::size_t next = static_cast<std::size_t>(terminator - begin) + 1;
  if (*terminator == '\r' && next < text.size() && text[next] == '\n') ++next;
  if (next >= text.size()) next = no_line;
  return {line, next};
}

int parse_request(ByteView text, HeaderMap& headers, ByteView& method, ArgumentList& arguments) {
  method = ByteView{};
  arguments.clear();

  const Line first = read_line(text, 0);
  const std::size_t token = first.text.find(protocol_token);
  if (token == ByteView::npos) return -1;
  method = first.text.substr(0, token);

  int count = 0;
  for (std::size_t position = first.next; position != no_line;) {
    const Line line = read_line(text, position);
    position = line.next;

    const std::size_t separator = find_separator(line.text);
    if (separator == ByteView::npos) continue;
    const ByteView name = line.text.substr(0, separator);
    const ByteView value = line.text.substr(separator + 2);

    if (has_argument_prefix(name)) {
      const std::int32_t index = argument_index(name);
      if (index < 0) continue;
      // Arguments land at their index only in ascending order: a gap is
      // padded with empty entries, an index already covered is appended.
      if (static_cast<std::size_t>(index) > arguments.size()) {
        arguments.resize(static_cast<std::size_t>(index));
      }
      arguments.push_back(value);
      count = static_cast<int>(arguments.size());
    } else if (!name.empty()) {
      headers.insert_or_assign(name, value);
    }
  }
  return count;
}

}  // namespace saori
