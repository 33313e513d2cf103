#include "protocol/response_writer.h"

#include "protocol/text_rules.h"

namespace saori {

namespace {

constexpr ByteView crlf = "\r\n";

void append_line(ByteString& out, ByteView name, ByteView value) {
  out.append(name).append(": ").append(value).append(crlf);
}

}  // namespace

ByteView reason_phrase(StatusCode code) noexcept {
  switch (code) {
    case 200: return "OK";
    case 204: return "No Content";
    case 210: return "Break";
    case 300: return "Communicate";
    case 311: return "Not Enough";
    case 312: return "Advice";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 420: return "Refuse";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 510: return "Not Local IP";
    case 511: return "In Black List";
    case 512: return "Invisible";
    default: return {};
  }
}

ByteString write_response(const ValueList* values, const HeaderMap* headers, StatusCode code,
                          ByteView result, ByteString::allocator_type allocator) {
  ByteView phrase = reason_phrase(code);
  if (phrase.empty()) phrase = "Unknown Error";

  // The status line is made on the stack: the longest is 10 + 10 + 1 +
  // 21 + 2 bytes.
  char status[64];
  constexpr ByteView protocol = "SAORI/1.0 ";
  std::size_t length = protocol.copy(status, protocol.size());
  length += format_decimal(code, status + length);
  status[length++] = ' ';
  length += phrase.copy(status + length, phrase.size());
  length += crlf.copy(status + length, crlf.size());

  ByteString out(allocator);
  out.reserve(length + (result.empty() ? 0 : result.size() + 10) + crlf.size());
  out.append(status, length);
  if (!result.empty()) append_line(out, "Result", result);

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

  out.append(crlf);
  return out;
}

}  // namespace saori
