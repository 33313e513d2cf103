// Feeds arbitrary bytes to the request parser, compares what it finds with a
// plain line-by-line reading of the same rules, and writes a response from
// it, checking what a fault would break.
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

bool ends_with(saori::ByteView text, saori::ByteView tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The request rules written plainly, line by line with read_line, to check
// the parser's single-scan loop against.
int reference_parse(saori::ByteView text, saori::HeaderMap& headers, saori::ByteView& method,
                    saori::ArgumentList& arguments) {
  const saori::Line first = saori::read_line(text, 0);
  const std::size_t token = first.text.find(" SAORI/1.");
  if (token == saori::ByteView::npos) return -1;
  method = first.text.substr(0, token);
  int count = 0;
  for (std::size_t position = first.next; position != saori::no_line;) {
    const saori::Line line = saori::read_line(text, position);
    position = line.next;
    const std::size_t separator = line.text.find(": ");
    if (separator == saori::ByteView::npos) continue;
    const saori::ByteView name = line.text.substr(0, separator);
    const saori::ByteView value = line.text.substr(separator + 2);
    if (is_argument_name(name)) {
      const std::int32_t index = saori::parse_decimal(name.substr(8));
      if (index < 0 || (index == 0 && name[8] != '0') || index > saori::max_argument_index) continue;
      if (static_cast<std::size_t>(index) > arguments.size()) arguments.resize(index);
      arguments.push_back(value);
      count = static_cast<int>(arguments.size());
    } else if (!name.empty()) {
      headers.insert_or_assign(name, value);
    }
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const saori::ByteView text(reinterpret_cast<const char*>(data), size);
  saori::HeaderMap headers{{"SecurityLevel", "Local"}};
  saori::ByteView method;
  saori::ArgumentList arguments;
  const int count = saori::parse_request(text, headers, method, arguments);

  saori::HeaderMap expected_headers{{"SecurityLevel", "Local"}};
  saori::ByteView expected_method;
  saori::ArgumentList expected_arguments;
  const int expected_count = reference_parse(text, expected_headers, expected_method, expected_arguments);
  require(count == expected_count);
  if (count < 0) return 0;
  require(method == expected_method);
  require(arguments == expected_arguments);
  require(headers == expected_headers);

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
  const saori::ByteString response = saori::write_response(&arguments, &headers, code, method);
  require(response.compare(0, 10, "SAORI/1.0 ") == 0);
  require(ends_with(response, "\r\n\r\n"));
  return 0;
}
