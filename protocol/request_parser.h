// Splits one SAORI/1.x request text into its method, headers and arguments.
//
// The parser works on views: the method, the header names and values and the
// arguments all point into the request text, which must outlive them. Only the
// containers themselves allocate (map nodes, vector growth); an allocation
// failure propagates as std::bad_alloc for the caller to contain. The
// argument list takes at most a few times the size of the request: see
// make_room and pad_arguments.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/byte_string.h"

namespace saori {

// Position of a line inside the request text, or no_line when there is none.
inline constexpr std::size_t no_line = static_cast<std::size_t>(-1);

struct Line {
  ByteView text;       // the line without its terminator
  std::size_t next;    // where the following line starts, or no_line
};

// Reads the line starting at `position`. CR, LF and the pair CR LF each end a
// line; a terminator at the very end of the text ends the iteration without an
// extra empty line, and a final line without a terminator is still returned.
Line read_line(ByteView text, std::size_t position) noexcept;

// Highest argument index that is honoured. A line naming a larger index is
// dropped like an unusable argument name, so padding can never grow the
// argument list past max_argument_index + 1 entries.
inline constexpr std::int32_t max_argument_index = 65535;

// Parses `text`. `headers` may already hold defaults; parsed header lines add
// to it and overwrite. `method` and `arguments` are reset first. Returns the
// number of arguments after the last argument line (0 without any), or -1 when
// the first line lacks " SAORI/1.", in which case the outputs mean nothing.
// It is parse_request_line followed by parse_header_lines.
int parse_request(ByteView text, HeaderMap& headers, ByteView& method, ArgumentList& arguments);

// The first line of `text`: `method` is its text before " SAORI/1." and
// `next` where the following line starts (or no_line). False when the line
// lacks that token, which is what makes a request malformed.
bool parse_request_line(ByteView text, ByteView& method, std::size_t& next) noexcept;

// The header lines of `text` from `position` on, taken into `headers` and
// appended to `arguments` as parse_request does; returns the argument count
// after the last argument line, or 0 without any.
int parse_header_lines(ByteView text, std::size_t position, HeaderMap& headers,
                       ArgumentList& arguments);

// The same, keeping of the headers only the one called `name`: `value` gets
// the value of its last line, and keeps what it held when there is none.
// Answering a request needs no other header, and so no memory for them.
int parse_header_lines(ByteView text, std::size_t position, ByteView name, ByteView& value,
                       ArgumentList& arguments);

}  // namespace saori
