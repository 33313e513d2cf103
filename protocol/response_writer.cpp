#include "protocol/response_writer.h"

#include <cstring>

#include "protocol/text_rules.h"

namespace saori {

namespace {

constexpr ByteView crlf = "\r\n";

void append_line(ByteString& out, ByteView name, ByteView value) {
  out.append(name).append(": ").append(value).append(crlf);
}

// The status line of each known code, CR LF included. A whole line from
// here is appended with one copy where composing it would take five, each
// a call into the C runtime that under Wine costs more than its bytes.
ByteView known_status_line(StatusCode code) noexcept {
  switch (code) {
    case 200: return "SAORI/1.0 200 OK\r\n";
    case 204: return "SAORI/1.0 204 No Content\r\n";
    case 210: return "SAORI/1.0 210 Break\r\n";
    case 300: return "SAORI/1.0 300 Communicate\r\n";
    case 311: return "SAORI/1.0 311 Not Enough\r\n";
    case 312: return "SAORI/1.0 312 Advice\r\n";
    case 400: return "SAORI/1.0 400 Bad Request\r\n";
    case 401: return "SAORI/1.0 401 Unauthorized\r\n";
    case 403: return "SAORI/1.0 403 Forbidden\r\n";
    case 404: return "SAORI/1.0 404 Not Found\r\n";
    case 405: return "SAORI/1.0 405 Method Not Allowed\r\n";
    case 406: return "SAORI/1.0 406 Not Acceptable\r\n";
    case 408: return "SAORI/1.0 408 Request Timeout\r\n";
    case 409: return "SAORI/1.0 409 Conflict\r\n";
    case 420: return "SAORI/1.0 420 Refuse\r\n";
    case 500: return "SAORI/1.0 500 Internal Server Error\r\n";
    case 501: return "SAORI/1.0 501 Not Implemented\r\n";
    case 503: return "SAORI/1.0 503 Service Unavailable\r\n";
    case 510: return "SAORI/1.0 510 Not Local IP\r\n";
    case 511: return "SAORI/1.0 511 In Black List\r\n";
    case 512: return "SAORI/1.0 512 Invisible\r\n";
    default: return {};
  }
}

constexpr ByteView protocol = "SAORI/1.0 ";
// Where the phrase starts in a known line: every known code has 3 digits.
constexpr std::size_t phrase_start = protocol.size() + 4;

// The status line of `code`, CR LF included: a known one, or one made in
// `buffer` (the longest is 10 + 10 + 1 + 13 + 2 bytes).
ByteView status_line(StatusCode code, char (&buffer)[64]) noexcept {
  const ByteView known = known_status_line(code);
  if (!known.empty()) return known;
  constexpr ByteView unknown = "Unknown Error";
  std::size_t length = protocol.copy(buffer, protocol.size());
  length += format_decimal(code, buffer + length);
  buffer[length++] = ' ';
  length += unknown.copy(buffer + length, unknown.size());
  length += crlf.copy(buffer + length, crlf.size());
  return ByteView(buffer, length);
}

constexpr ByteView result_name = "Result: ";

char* put(char* out, ByteView bytes) noexcept {
  std::memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

}  // namespace

ByteView reason_phrase(StatusCode code) noexcept {
  const ByteView line = known_status_line(code);
  if (line.empty()) return line;
  return line.substr(phrase_start, line.size() - phrase_start - crlf.size());
}

std::size_t response_length(StatusCode code, ByteView result) noexcept {
  char buffer[64];
  std::size_t length = status_line(code, buffer).size() + crlf.size();
  if (!result.empty()) length += result_name.size() + result.size() + crlf.size();
  return length;
}

void write_response(char* out, StatusCode code, ByteView result) noexcept {
  char buffer[64];
  out = put(out, status_line(code, buffer));
  if (!result.empty()) out = put(put(put(out, result_name), result), crlf);
  put(out, crlf);
}

ByteString write_response(const ValueList* values, const HeaderMap* headers, StatusCode code,
                          ByteView result, ByteString::allocator_type allocator) {
  char buffer[64];
  const ByteView line = status_line(code, buffer);
  ByteString out(allocator);
  out.reserve(line.size() + (result.empty() ? 0 : result.size() + 10) + crlf.size());
  out.append(line);
  if (!result.empty()) out.append(result_name).append(result).append(crlf);

  if (values != nullptr) {
    for (std::size_t i = 0; i < values->size(); ++i) {
      out.append("Value");
      append_decimal(out, static_cast<std::int64_t>(i));
      out.append(": ").append((*values)[i]).append(crlf);
    }
  }

  if (headers != nullptr) {
    for (const auto& [name, value] : *headers) append_line(out, name, value);
  }

  out.push_back('\r');
  out.push_back('\n');
  return out;
}

}  // namespace saori
