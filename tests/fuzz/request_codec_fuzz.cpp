// Feeds arbitrary bytes to the request parser and writes a response from
// what it returns, checking what a fault would break.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/request_parser.h"
#include "protocol/response_writer.h"
#include "protocol/text_rules.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool is_argument_name(saori::ByteView name) {
  return name.size() > 8 && saori::equal_ignoring_ascii_case(name.substr(0, 8), "Argument");
}

bool ends_with(const std::string& text, saori::ByteView tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const saori::ByteView text(reinterpret_cast<const char*>(data), size);
  saori::HeaderMap headers{{"SecurityLevel", "Local"}};
  saori::ByteView method;
  saori::ArgumentList arguments;
  const int count = saori::parse_request(text, headers, method, arguments);
  if (count < 0) return 0;

  require(static_cast<std::size_t>(count) == arguments.size());
  require(text.find(" SAORI/1.") != saori::ByteView::npos);
  std::size_t lines = 1;
  for (char byte : text) lines += (byte == '\r' || byte == '\n') ? 1 : 0;
  require(arguments.size() <= saori::max_argument_index + lines);
  for (const auto& [name, value] : headers) {
    require(!is_argument_name(name));
    require(name.find("\r") == saori::ByteView::npos && name.find("\n") == saori::ByteView::npos);
    require(value.find('\r') == saori::ByteView::npos && value.find('\n') == saori::ByteView::npos);
  }
  for (saori::ByteView argument : arguments) {
    require(argument.empty() || (argument.data() >= text.data() &&
                                 argument.data() + argument.size() <= text.data() + text.size()));
  }

  const saori::StatusCode code = size > 0 ? data[0] * 3u : 0u;
  const std::string response = saori::write_response(&arguments, &headers, code, method);
  require(response.compare(0, 10, "SAORI/1.0 ") == 0);
  require(ends_with(response, "\r\n\r\n"));
  return 0;
}
