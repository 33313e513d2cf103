// Writes the text of one SAORI/1.0 response.
#pragma once

#include "protocol/byte_string.h"

namespace saori {

// Phrase of a known status code, or the empty text for any other code.
ByteView reason_phrase(StatusCode code) noexcept;

// Status line, "Result: " line when `result` is not empty, one "Value<i>" line
// per value, the headers in ascending name order, then the closing empty
// line; every line ends with CR LF. Nothing is escaped or trimmed. The text
// is allocated through `allocator`.
ByteString write_response(const ValueList* values, const HeaderMap* headers, StatusCode code,
                          ByteView result, ByteString::allocator_type allocator = {});

// The same text without values and headers, written straight to `out`
// (a host's block, say), which has room for response_length bytes.
std::size_t response_length(StatusCode code, ByteView result) noexcept;
void write_response(char* out, StatusCode code, ByteView result) noexcept;

}  // namespace saori
