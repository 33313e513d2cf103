// saori-call: a command-line SAORI/1.0 host. It loads one plug-in DLL the
// way a desktop host does, sends it one request and writes the response to
// standard output byte for byte. It knows nothing about any particular
// plug-in, so it serves for trying out this project's DLL and any other.
//
// The command line is read as UTF-16 and the texts of the request are
// converted to the chosen code page here, so that Japanese typed on a UTF-8
// terminal (under Wine, say) reaches the plug-in as Shift_JIS bytes.
#include <windows.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "tools/tool_support.h"
#include "tools/tools.h"

namespace saori_call {
namespace {

// The exit status tells the caller what became of the request.
enum ExitCode : int {
  exit_success = 0,          // the response carried a 2xx status
  exit_failure = 1,          // request file unreadable, output failed, no memory
  exit_usage = 2,            // bad command line
  exit_status_3xx = 3,
  exit_status_4xx = 4,
  exit_status_5xx = 5,
  exit_bad_response = 6,     // no readable status line, or an impossible length
  exit_null_response = 7,    // request returned no block: a malformed request
  exit_dll_not_loaded = 8,
  exit_export_missing = 9,
};

const char usage_text[] =
    "Usage: saori-call [options] DLL [METHOD [ARG...]]\n"
    "       saori-call [options] -f FILE DLL\n"
    "\n"
    "Loads the SAORI/1.0 plug-in DLL as a host does (load with the DLL's folder),\n"
    "sends it one request, writes the response to standard output exactly as\n"
    "received, then calls unload.\n"
    "\n"
    "METHOD is EXECUTE or \"GET Version\" (GET and Version may also be given as two\n"
    "words); any other text is sent as it is. Without METHOD, GET Version is sent.\n"
    "Each ARG becomes a header line Argument0, Argument1, ... in order. The request\n"
    "carries, before the arguments:\n"
    "  Sender: saori-call\n"
    "  SecurityLevel: Local\n"
    "  Charset: Shift_JIS        (per -c)\n"
    "Options come before DLL:\n"
    "  -H \"Name: value\"  add a header line; it replaces the default header of the\n"
    "                    same name. -H Name (no colon) drops that default header.\n"
    "                    Repeatable.\n"
    "  -c CHARSET        how METHOD, ARGs and -H lines are encoded:\n"
    "                      shift_jis  code page 932, Charset: Shift_JIS (default)\n"
    "                      utf-8      Charset: UTF-8\n"
    "                      ansi       the system's ANSI code page, no Charset line\n"
    "  -f FILE           send the bytes of FILE (- for standard input) as the\n"
    "                    request, unchanged; no METHOD, ARG, -H or -c with it.\n"
    "  -x                write the response as lower-case hex on one line\n"
    "  -v                also write the request, as sent, to standard error\n"
    "  -h, --help        show this help\n"
    "Texts with a line break cannot be built into a request; use -f for those.\n"
    "\n"
    "Exit status:\n"
    "  0  the response status was 2xx\n"
    "  3, 4, 5  the response status was 3xx, 4xx, 5xx\n"
    "  6  the response had no readable \"SAORI/x.y NNN\" line (or a 1xx or 6xx+\n"
    "     status), or request gave an impossible length\n"
    "  7  request returned no response (the plug-in found the request malformed)\n"
    "  8  the DLL could not be loaded\n"
    "  9  the DLL lacks load, request or unload\n"
    "  2  usage error\n"
    "  1  other failure (request file unreadable, output failed, out of memory)\n"
    "A warning goes to standard error when load returns 0; the request is still\n"
    "sent. Messages on standard error are UTF-8 unless it is a console.\n";

// Diagnostics ------------------------------------------------------------

// One line on standard error, prefixed with the program's name. A console
// gets the UTF-16 text itself; a pipe or file gets UTF-8.
void say(const std::wstring& text) {
  tool::write_text(GetStdHandle(STD_ERROR_HANDLE), L"saori-call: " + text + L"\n", CP_UTF8);
}

int usage_error(const std::wstring& text) {
  say(text);
  say(L"try 'saori-call --help'");
  return exit_usage;
}

// The system's text for an error number and the number.
std::wstring system_message(DWORD error) {
  std::wstring text = tool::system_text(error);
  while (!text.empty() && text.back() == L'.') text.pop_back();
  const std::wstring number = L"error " + std::to_wstring(error);
  return text.empty() ? number : text + L" (" + number + L")";
}

// Texts ------------------------------------------------------------------

struct Charset {
  const wchar_t* names[4];  // what -c accepts, in lower case
  UINT code_page;
  const char* header;       // the Charset value sent, or null for none
};

const Charset charsets[] = {
    {{L"shift_jis", L"sjis", L"cp932", L"932"}, 932, "Shift_JIS"},
    {{L"utf-8", L"utf8", L"cp65001", L"65001"}, CP_UTF8, "UTF-8"},
    {{L"ansi", nullptr, nullptr, nullptr}, CP_ACP, nullptr},
};

wchar_t ascii_lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

bool equal_ignoring_ascii_case(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

const Charset* find_charset(const std::wstring& name) {
  for (const Charset& charset : charsets) {
    for (const wchar_t* known : charset.names) {
      if (known != nullptr && equal_ignoring_ascii_case(name, known)) return &charset;
    }
  }
  return nullptr;
}

// The text in the code page, with a warning naming `what` if it lost any
// character on the way.
std::string encode_reporting(const std::wstring& text, UINT code_page, const std::wstring& what) {
  bool lossy = false;
  std::string out = tool::encode(text, code_page, lossy);
  if (lossy) {
    say(L"warning: " + what + L" has characters that code page " + std::to_wstring(code_page) +
        L" cannot hold; they were sent as the default character");
  }
  return out;
}

bool has_line_break(const std::wstring& text) { return text.find_first_of(L"\r\n") != std::wstring::npos; }

// Command line -----------------------------------------------------------

struct Options {
  std::vector<std::wstring> headers;  // -H texts, in order
  const Charset* charset = &charsets[0];
  bool charset_given = false;
  bool have_request_file = false;
  std::wstring request_file;
  bool hex = false;
  bool verbose = false;
  bool help = false;
  std::wstring dll;
  std::wstring method = L"GET Version";
  std::vector<std::wstring> arguments;
};

// Reads the command line into `options`; returns exit_success or the exit
// status of a usage error, already reported.
int parse_command_line(const std::vector<std::wstring>& words, Options& options) {
  std::size_t i = 1;
  for (; i < words.size(); ++i) {
    const std::wstring& word = words[i];
    if (word == L"--") {
      ++i;
      break;
    }
    if (word.size() < 2 || word[0] != L'-') break;
    if (word == L"-h" || word == L"--help") {
      options.help = true;
      return exit_success;
    }
    if (word == L"-x") {
      options.hex = true;
    } else if (word == L"-v") {
      options.verbose = true;
    } else if (word == L"-H" || word == L"-c" || word == L"-f") {
      if (i + 1 >= words.size()) return usage_error(L"option " + word + L" needs a value");
      const std::wstring& value = words[++i];
      if (word == L"-H") {
        if (value.empty() || value[0] == L':') return usage_error(L"-H needs a header name: -H \"Name: value\"");
        if (has_line_break(value)) return usage_error(L"-H text holds a line break; use -f for such a request");
        options.headers.push_back(value);
      } else if (word == L"-c") {
        options.charset = find_charset(value);
        if (options.charset == nullptr) {
          return usage_error(L"unknown charset '" + value + L"' (shift_jis, utf-8 or ansi)");
        }
        options.charset_given = true;
      } else {
        options.have_request_file = true;
        options.request_file = value;
      }
    } else {
      return usage_error(L"unknown option " + word);
    }
  }

  if (i >= words.size()) return usage_error(L"no DLL given");
  options.dll = words[i++];

  if (options.have_request_file) {
    if (i < words.size() || !options.headers.empty() || options.charset_given) {
      return usage_error(L"-f sends FILE as it is: no METHOD, ARG, -H or -c with it");
    }
    return exit_success;
  }

  if (i < words.size()) {
    options.method = words[i++];
    if (options.method == L"GET" && i < words.size() && words[i] == L"Version") {
      options.method = L"GET Version";
      ++i;
    }
    if (options.method.empty()) return usage_error(L"METHOD is empty");
    if (has_line_break(options.method)) return usage_error(L"METHOD holds a line break; use -f for such a request");
  }
  for (; i < words.size(); ++i) {
    if (has_line_break(words[i])) {
      return usage_error(L"ARG " + std::to_wstring(options.arguments.size()) +
                         L" holds a line break; use -f for such a request");
    }
    options.arguments.push_back(words[i]);
  }
  return exit_success;
}

// The header's name: the text before its colon, without trailing blanks.
std::wstring header_name(const std::wstring& line) {
  std::wstring name = line.substr(0, line.find(L':'));
  while (!name.empty() && (name.back() == L' ' || name.back() == L'\t')) name.pop_back();
  return name;
}

// The request as the options describe it, every text in the chosen code page.
std::string build_request(const Options& options) {
  struct Line {
    std::wstring text;
    bool is_default;
  };
  std::vector<Line> lines{{L"Sender: saori-call", true}, {L"SecurityLevel: Local", true}};
  if (options.charset->header != nullptr) {
    const char* value = options.charset->header;
    lines.push_back({L"Charset: " + std::wstring(value, value + std::strlen(value)), true});
  }

  for (const std::wstring& header : options.headers) {
    const std::wstring name = header_name(header);
    const bool drop = header.find(L':') == std::wstring::npos;
    bool replaced = false;
    for (std::size_t k = 0; k < lines.size(); ++k) {
      if (!lines[k].is_default || !equal_ignoring_ascii_case(header_name(lines[k].text), name)) continue;
      if (drop) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(k));
      } else {
        lines[k] = {header, false};
      }
      replaced = true;
      break;
    }
    if (!replaced && !drop) lines.push_back({header, false});
  }

  const UINT code_page = options.charset->code_page;
  std::string request = encode_reporting(options.method, code_page, L"METHOD");
  request += " SAORI/1.0\r\n";
  for (const Line& line : lines) {
    request += encode_reporting(line.text, code_page, L"header '" + header_name(line.text) + L"'");
    request += "\r\n";
  }
  for (std::size_t k = 0; k < options.arguments.size(); ++k) {
    const std::wstring name = L"Argument" + std::to_wstring(k);
    request += "Argument" + std::to_string(k) + ": ";
    request += encode_reporting(options.arguments[k], code_page, name);
    request += "\r\n";
  }
  request += "\r\n";
  return request;
}

// Reads the whole file, or standard input for "-", without any change.
bool read_request_file(const std::wstring& path, std::string& out) {
  const bool standard_input = path == L"-";
  HANDLE file = standard_input ? GetStdHandle(STD_INPUT_HANDLE)
                               : CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == nullptr || file == INVALID_HANDLE_VALUE) {
    say(L"cannot open " + (standard_input ? std::wstring(L"standard input") : path) + L": " +
        system_message(GetLastError()));
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
      const DWORD error = GetLastError();
      if (error == ERROR_BROKEN_PIPE) break;  // the writing end of a pipe closed
      say(L"cannot read " + path + L": " + system_message(error));
      ok = false;
      break;
    }
    if (got == 0) break;
    out.append(buffer, got);
  }
  if (!standard_input) CloseHandle(file);
  return ok;
}

// Host side --------------------------------------------------------------

using tool::entry_point;
using tool::host_block;
using tool::LoadEntry;
using tool::RequestEntry;
using tool::UnloadEntry;

int exit_code_for(int status) {
  if (status >= 200 && status <= 299) return exit_success;
  if (status >= 300 && status <= 399) return exit_status_3xx;
  if (status >= 400 && status <= 499) return exit_status_4xx;
  if (status >= 500 && status <= 599) return exit_status_5xx;
  return exit_bad_response;
}

bool write_output(const std::string& response, bool hex) {
  std::string out;
  if (hex) {
    static const char digits[] = "0123456789abcdef";
    out.reserve(response.size() * 2 + 1);
    for (const char c : response) {
      const unsigned char byte = static_cast<unsigned char>(c);
      out.push_back(digits[byte >> 4]);
      out.push_back(digits[byte & 15]);
    }
    out.push_back('\n');
  } else {
    out = response;
  }
  return tool::write_bytes(GetStdHandle(STD_OUTPUT_HANDLE), out);
}

// Loads the DLL, drives one request through it and unloads it again.
int call_plugin(const Options& options, const std::string& request_text) {
  // The folder handed to load is the DLL's own, as a full path.
  const std::wstring full = tool::full_path(options.dll);
  if (full.empty()) {
    say(L"cannot load " + options.dll + L": " + system_message(GetLastError()));
    return exit_dll_not_loaded;
  }

  // No "missing disk" boxes from the system: a failure is reported here.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryW(full.c_str());
  if (module == nullptr) {
    say(L"cannot load " + full + L": " + system_message(GetLastError()));
    return exit_dll_not_loaded;
  }

  const LoadEntry load = entry_point<LoadEntry>(module, "load");
  const RequestEntry request = entry_point<RequestEntry>(module, "request");
  const UnloadEntry unload = entry_point<UnloadEntry>(module, "unload");
  std::wstring missing;
  const auto note_missing = [&missing](bool absent, const wchar_t* name) {
    if (!absent) return;
    if (!missing.empty()) missing += L", ";
    missing += name;
  };
  note_missing(load == nullptr, L"load");
  note_missing(request == nullptr, L"request");
  note_missing(unload == nullptr, L"unload");
  if (!missing.empty()) {
    say(full + L" is no SAORI/1.0 plug-in: it does not export " + missing);
    FreeLibrary(module);
    return exit_export_missing;
  }

  const std::wstring folder = full.substr(0, full.find_last_of(L'\\') + 1);
  const std::string directory = encode_reporting(folder, CP_ACP, L"the DLL's folder");
  HGLOBAL directory_block = host_block(directory);
  HGLOBAL request_block = host_block(request_text);
  if (directory_block == nullptr || request_block == nullptr) {
    say(L"out of memory");
    if (directory_block != nullptr) GlobalFree(directory_block);
    if (request_block != nullptr) GlobalFree(request_block);
    FreeLibrary(module);
    return exit_failure;
  }

  if (!load(directory_block, static_cast<long>(directory.size()))) {
    say(L"warning: load returned 0: the plug-in is not ready (its engine or data may be missing from " +
        folder + L")");
  }

  long length = static_cast<long>(request_text.size());
  HGLOBAL answer = request(request_block, &length);

  int result = exit_success;
  std::string response;
  if (answer == nullptr) {
    std::wstring text = L"request returned no response: the plug-in found the request malformed";
    if (length != 0) text += L" (length " + std::to_wstring(length) + L")";
    say(text);
    result = exit_null_response;
  } else {
    const SIZE_T capacity = GlobalSize(answer);
    if (length < 0 || static_cast<unsigned long>(length) > capacity) {
      say(L"request returned the length " + std::to_wstring(length) + L" for a block of " +
          std::to_wstring(static_cast<unsigned long long>(capacity)) + L" bytes");
      result = exit_bad_response;
    } else {
      response.assign(static_cast<const char*>(static_cast<const void*>(answer)),
                      static_cast<std::size_t>(length));
    }
    GlobalFree(answer);
  }

  if (!unload()) say(L"warning: unload returned 0");
  FreeLibrary(module);

  if (answer == nullptr || result != exit_success) return result;
  if (!write_output(response, options.hex)) {
    say(L"cannot write the response to standard output");
    return exit_failure;
  }
  const int status = tool::status_of(response);
  if (status < 0) {
    say(L"the response has no \"SAORI/x.y NNN\" status line");
    return exit_bad_response;
  }
  return exit_code_for(status);
}

int run_words(const std::vector<std::wstring>& words) {
  if (words.empty()) {
    say(L"cannot read the command line");
    return exit_failure;
  }

  Options options;
  const int parsed = parse_command_line(words, options);
  if (parsed != exit_success) return parsed;
  if (options.help) {
    return tool::write_bytes(GetStdHandle(STD_OUTPUT_HANDLE), usage_text) ? exit_success : exit_failure;
  }

  std::string request;
  if (options.have_request_file) {
    if (!read_request_file(options.request_file, request)) return exit_failure;
  } else {
    request = build_request(options);
  }
  if (options.verbose) tool::write_bytes(GetStdHandle(STD_ERROR_HANDLE), request);
  return call_plugin(options, request);
}

}  // namespace

int run(const std::vector<std::wstring>& words) noexcept {
  try {
    return run_words(words);
  } catch (const std::bad_alloc&) {
    try {
      say(L"out of memory");
    } catch (const std::bad_alloc&) {
    }
    return exit_failure;
  }
}

}  // namespace saori_call
