#include "protocol/request_parser.h"

#include <cstring>

#include "protocol/text_rules.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define SAORI_HAVE_SSE2 1
#endif
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

namespace saori {

namespace {

constexpr ByteView protocol_token = " SAORI/1.";
constexpr ByteView argument_prefix = "Argument";
constexpr std::size_t first_capacity = 4;
constexpr std::size_t typical_line = 16;
// The shortest line that adds an argument: "Argument0: " and a line end.
constexpr std::size_t shortest_argument_line = argument_prefix.size() + 1 + 2 + 1;

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

// One bit per byte of a block of text. A machine word, so that the scan
// below is word arithmetic on 32-bit builds as on 64-bit ones: blocks are
// 32 bytes there and 64 here.
using Mask = std::size_t;
constexpr std::size_t mask_bits = sizeof(Mask) * 8;

// Index of the lowest set bit of a non-zero mask.
#if defined(_MSC_VER) && !defined(__clang__)
std::size_t lowest_bit(Mask mask) noexcept {
  unsigned long bit;
#if defined(_WIN64)
  _BitScanForward64(&bit, mask);
#else
  _BitScanForward(&bit, mask);
#endif
  return static_cast<std::size_t>(bit);
}
#else
std::size_t lowest_bit(Mask mask) noexcept {
  if constexpr (mask_bits == 64) {
    return static_cast<std::size_t>(__builtin_ctzll(mask));
  } else {
    return static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
  }
}
#endif

// Walks the request text once and reports, in order, the bytes the line loop
// stops at: CR, LF and ':'. The text is classified a block at a time into a
// bit mask, so finding the next of these bytes is usually a shift and a bit
// scan instead of a search restarted on every line and every field.
class MarkScanner {
 public:
  // Starts at offset `from`, which must not be past the end of the text.
  MarkScanner(ByteView text, std::size_t from) noexcept
      : text_(text.data()), size_(text.size()), block_(from),
        mask_(from < size_ ? classify(text_ + from, size_ - from, size_) : 0) {}

  // Offset of the first CR, LF or ':' at or after `from`, or the size of the
  // text when there is none. Successive calls must not go backwards.
  std::size_t next(std::size_t from) noexcept {
    for (;;) {
      const std::size_t shift = from - block_;
      if (shift < block_size) {
        const Mask pending = mask_ >> shift;
        if (pending != 0) return from + lowest_bit(pending);
        from = block_ + block_size;
      }
      if (from >= size_) return size_;
      block_ = from;
      mask_ = classify(text_ + from, size_ - from, size_);
    }
  }

 private:
  static constexpr std::size_t block_size = mask_bits;

  // Bit i is set when byte i of the block is CR, LF or ':'; bytes past
  // `available` are not read. `text_size` is the size of the whole text the
  // block ends or lies in.
  static Mask classify(const char* block, std::size_t available, std::size_t text_size) noexcept {
    Mask mask = 0;
    std::size_t i = 0;
#if defined(SAORI_HAVE_SSE2)
    if (available >= block_size) {
      for (; i < block_size; i += 16) mask |= chunk_marks(block + i) << i;
      return mask;
    }
    // The last block of the text, which is where a short request spends
    // all its time: whole chunks, then one chunk that ends with the text and
    // overlaps bytes already classified, when the text is long enough.
    for (; available - i >= 16; i += 16) mask |= chunk_marks(block + i) << i;
    if (i == available) return mask;
    if (text_size >= 16) {
      const std::size_t overlap = i + 16 - available;
      return mask | (chunk_marks(block + available - 16) >> overlap) << i;
    }
#else
    static_cast<void>(text_size);
#endif
    const std::size_t count = available < block_size ? available : block_size;
    for (std::size_t j = i; j < count; ++j) {
      const char byte = block[j];
      const bool mark = byte == '\r' || byte == '\n' || byte == ':';
      mask |= Mask{mark} << j;
    }
    return mask;
  }

#if defined(SAORI_HAVE_SSE2)
  // Bit i set when byte i of the sixteen at `chunk` is CR, LF or ':'.
  static Mask chunk_marks(const char* chunk) noexcept {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chunk));
    const __m128i hits = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                     _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
        _mm_cmpeq_epi8(bytes, _mm_set1_epi8(':')));
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
  }
#endif

  const char* text_;
  std::size_t size_;
  std::size_t block_;  // offset of the classified block
  Mask mask_;          // its marks
};

// insert_or_assign that answers the entry of the name.
HeaderMap::value_type* set_header(HeaderMap& headers, ByteView name, ByteView value) {
  return &*headers.insert_or_assign(name, value).first;
}

// Sets headers like set_header, remembering where each name was found. A
// request with many header lines usually repeats a few names, and a tree
// search per line is then mostly mispredicted branches; a name found in the
// cache costs one comparison. Map entries never move, and parsing removes
// none, so a remembered entry stays valid for the whole request. The first
// few header lines go straight to the map, so a short request never pays
// for setting up the cache.
class HeaderSetter {
 public:
  explicit HeaderSetter(HeaderMap& headers) noexcept : headers_(headers) {}

  void set(ByteView name, ByteView value) {
    if (lines_ < uncached_lines) {
      ++lines_;
      set_header(headers_, name, value);
      return;
    }
    if (lines_ == uncached_lines) {
      ++lines_;
      for (HeaderMap::value_type*& entry : entries_) entry = nullptr;
    }
    HeaderMap::value_type*& entry = entries_[slot_of(name)];
    if (entry != nullptr && equal_bytes(entry->first, name)) {
      entry->second = value;
    } else {
      entry = set_header(headers_, name, value);
    }
  }

 private:
  static constexpr int uncached_lines = 8;
  static constexpr int slot_bits = 8;

  // Mixes the length with the first, middle and last two bytes of the name:
  // cheap, and enough to tell apart the few names a request repeats.
  static std::size_t slot_of(ByteView name) noexcept {
    const std::size_t n = name.size();  // never 0: empty names are not stored
    const auto byte = [name](std::size_t at) { return static_cast<unsigned char>(name[at]); };
    std::uint32_t h = static_cast<std::uint32_t>(n);
    h = h * 131 + byte(0);
    h = h * 131 + byte(n / 2);
    h = h * 131 + byte(n >= 2 ? n - 2 : 0);
    h = h * 131 + byte(n - 1);
    return static_cast<std::size_t>((h * 0x9e3779b9u) >> (32 - slot_bits));
  }

  HeaderMap& headers_;
  int lines_ = 0;
  HeaderMap::value_type* entries_[std::size_t{1} << slot_bits];  // set up on first use
};

// Whether `name` is longer than "Argument" and starts with it in any ASCII
// case. Every byte of the prefix is a letter, and setting bit 5 of a byte
// gives that letter exactly for its two cases, so eight bytes compare at once.
bool has_argument_prefix(ByteView name) noexcept {
  static_assert(argument_prefix.size() == 8);
  if (name.size() <= argument_prefix.size()) return false;
  std::uint64_t head;
  std::uint64_t prefix;
  std::memcpy(&head, name.data(), sizeof head);
  std::memcpy(&prefix, "argument", sizeof prefix);
  return (head | 0x2020202020202020u) == prefix;
}

// Index named by an argument line, or -1 when the line is to be dropped.
std::int32_t argument_index(ByteView name) noexcept {
  const ByteView rest(name.data() + argument_prefix.size(), name.size() - argument_prefix.size());
  // The usual name is plain digits. Up to five of them followed by a
  // non-digit are read here; anything else takes the general rule below.
  std::int32_t digits = 0;
  std::int32_t value = 0;
  while (digits < 6 && static_cast<std::size_t>(digits) < rest.size() && rest[digits] >= '0' &&
         rest[digits] <= '9') {
    value = value * 10 + (rest[digits] - '0');
    ++digits;
  }
  if (digits > 0 && digits < 6) return value > max_argument_index ? -1 : value;

  const std::int32_t index = parse_decimal(rest);
  if (index < 0) return -1;
  if (index == 0 && rest[0] != '0') return -1;  // "ArgumentX", "Argument-0", "Argument 0"
  if (index > max_argument_index) return -1;
  return index;
}

// The most arguments that lines in the last `rest` bytes of the text can
// add without padding: each takes a shortest argument line, the last one
// maybe without its line end.
std::size_t most_arguments_in(std::size_t rest) noexcept {
  return (rest + 1) / shortest_argument_line;
}

// Makes room before an argument is appended at the line that starts `rest`
// bytes before the end of the text, when the list is full. The list lives
// in request memory, where every copy made while it grows costs time and,
// until the old storage goes back, memory: so it grows at most three times.
// The first argument makes room for a few. A longer list then gets room for
// the rest of the text at 16 bytes a line, which most lists fill with room
// to spare. Only a list of shorter lines fills that too; it then gets room
// for every argument the rest of the text can hold.
void make_room(ArgumentList& arguments, std::size_t rest) {
  const std::size_t size = arguments.size();
  std::size_t room;
  if (size == 0) {
    room = first_capacity;
  } else if (size == first_capacity) {
    room = size + rest / typical_line;
  } else {
    room = size + most_arguments_in(rest);
  }
  arguments.reserve(room > size ? room : size + 1);
}

// Pads the list with empty entries up to `index`, when the room left cannot
// hold them and the arguments the `rest` bytes after this line could add.
// Room grows at least twofold, so a run of ever larger indexes copies the
// list only a few times; and never past what the largest index and the rest
// of the text could need, after which no padding copies it again.
void pad_arguments(ArgumentList& arguments, std::size_t index, std::size_t rest) {
  const std::size_t needed = index + 1 + most_arguments_in(rest);
  if (needed > arguments.capacity()) {
    const std::size_t most = max_argument_index + 1 + most_arguments_in(rest);
    const std::size_t twice = 2 * arguments.capacity();
    arguments.reserve(needed > twice ? needed : twice < most ? twice : most);
  }
  arguments.resize(index);
}

// Takes every ordinary header line into a HeaderMap.
struct AllHeaders {
  HeaderSetter setter;
  void set(ByteView name, ByteView value) { setter.set(name, value); }
};

// Keeps the value of one header, and nothing of the others.
struct OneHeader {
  ByteView name;
  ByteView& value;
  void set(ByteView header, ByteView header_value) noexcept {
    if (equal_bytes(header, name)) value = header_value;
  }
};

// The line loop of parse_header_lines, for either kind of header sink.
template <typename Headers>
int parse_lines(ByteView text, std::size_t position, Headers& headers, ArgumentList& arguments);

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

bool parse_request_line(ByteView text, ByteView& method, std::size_t& next) noexcept {
  const Line first = read_line(text, 0);
  const std::size_t token = find_bytes(first.text, protocol_token);
  method = token == ByteView::npos ? ByteView{} : first.text.substr(0, token);
  next = first.next;
  return token != ByteView::npos;
}

int parse_request(ByteView text, HeaderMap& headers, ByteView& method, ArgumentList& arguments) {
  arguments.clear();
  std::size_t next;
  if (!parse_request_line(text, method, next)) return -1;
  return parse_header_lines(text, next, headers, arguments);
}

int parse_header_lines(ByteView text, std::size_t position, HeaderMap& headers,
                       ArgumentList& arguments) {
  AllHeaders all{HeaderSetter(headers)};
  return parse_lines(text, position, all, arguments);
}

int parse_header_lines(ByteView text, std::size_t position, ByteView name, ByteView& value,
                       ArgumentList& arguments) {
  OneHeader one{name, value};
  return parse_lines(text, position, one, arguments);
}

namespace {

template <typename Headers>
int parse_lines(ByteView text, std::size_t position, Headers& headers, ArgumentList& arguments) {
  // The lines, split as read_line does: each ends at its first CR or LF, and
  // CR LF counts as one terminator.
  const std::size_t size = text.size();
  MarkScanner marks(text, position == no_line ? size : position);
  int count = 0;
  while (position != no_line) {
    // Colons come before the terminator; the first one followed by a space
    // separates the name from the value.
    std::size_t separator = ByteView::npos;
    std::size_t mark = marks.next(position);
    while (mark < size && text[mark] == ':') {
      if (separator == ByteView::npos && mark + 1 < size && text[mark + 1] == ' ') {
        separator = mark;
      }
      mark = marks.next(mark + 1);
    }
    const std::size_t start = position;
    if (mark >= size) {
      position = no_line;
    } else {
      position = mark + 1;
      if (text[mark] == '\r' && position < size && text[position] == '\n') ++position;
      if (position >= size) position = no_line;
    }

    if (separator == ByteView::npos) continue;
    // Both lie inside the text by construction: no bounds checks needed.
    const ByteView name(text.data() + start, separator - start);
    const ByteView value(text.data() + separator + 2, mark - separator - 2);

    if (has_argument_prefix(name)) {
      const std::int32_t index = argument_index(name);
      if (index < 0) continue;
      // Arguments land at their index only in ascending order: a gap is
      // padded with empty entries, an index already covered is appended.
      if (static_cast<std::size_t>(index) > arguments.size()) {
        pad_arguments(arguments, static_cast<std::size_t>(index),
                      position == no_line ? 0 : size - position);
      }
      if (arguments.size() == arguments.capacity()) make_room(arguments, size - start);
      arguments.emplace_back(value.data(), value.size());
      count = static_cast<int>(arguments.size());
    } else if (!name.empty()) {
      headers.set(name, value);
    }
  }
  return count;
}

}  // namespace

}  // namespace saori
