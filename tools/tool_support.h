// What the project's shipped command-line tools (saori-call, speech-check)
// share: their command line as UTF-16 words, text written to a console as
// UTF-16 or elsewhere in a chosen code page, conversions between UTF-16 and
// code pages, the system's text for an error number, and the host's side of
// a SAORI/1.0 call (export lookup, fixed blocks, the status of an answer).
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#if defined(_MSC_VER)
#pragma comment(lib, "shell32.lib")
#endif

namespace tool {

// The command line as the program was given it, program name first; empty
// when it cannot be read.
inline std::vector<std::wstring> command_line_words() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return {};
  std::vector<std::wstring> words(argv, argv + count);
  LocalFree(argv);
  return words;
}

// The text in the code page. `lossy` is set when some character has no
// place there and went out as the code page's default character; best-fit
// look-alikes are refused so that such a loss is always seen. CP_ACP is the
// system's code page, which is UTF-8 where "Unicode UTF-8 for worldwide
// language support" is turned on, and the flags go by the code page it
// stands for: UTF-8 takes neither of them (Windows refuses the call), and
// only a lone surrogate has no place there, going out as U+FFFD.
inline std::string encode(const std::wstring& text, UINT code_page, bool& lossy) {
  if (text.empty()) return {};
  if (code_page == CP_ACP) code_page = GetACP();
  const int length = static_cast<int>(text.size());
  const bool utf8 = code_page == CP_UTF8;
  DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* used = utf8 ? nullptr : &used_default;
  int needed = WideCharToMultiByte(code_page, flags, text.data(), length, nullptr, 0, nullptr, used);
  if (needed <= 0 && utf8) {
    used_default = TRUE;  // a lone surrogate
    flags = 0;
    needed = WideCharToMultiByte(code_page, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  }
  if (needed <= 0) {
    lossy = true;
    return {};
  }
  std::string out(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(code_page, flags, text.data(), length, &out[0], needed, nullptr, used);
  if (used_default) lossy = true;
  return out;
}

inline std::string encode(const std::wstring& text, UINT code_page) {
  bool lossy = false;
  return encode(text, code_page, lossy);
}

// Bytes in the code page as UTF-16.
inline std::wstring decode(const std::string& bytes, UINT code_page) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring out(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), length, &out[0], needed);
  return out;
}

inline bool is_console(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// Writes the bytes as they are, to a console too (which shows them in its
// code page). False when they could not all go.
inline bool write_bytes(HANDLE handle, const std::string& bytes) {
  DWORD written = 0;
  return bytes.empty() || (WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0 &&
                           written == bytes.size());
}

// Writes the text to a console as UTF-16, readable whatever its code page;
// to a file or pipe as bytes of `code_page`. False when it could not all go.
inline bool write_text(HANDLE handle, const std::wstring& text, UINT code_page) {
  if (text.empty()) return true;
  DWORD written = 0;
  if (is_console(handle)) {
    return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
  }
  return write_bytes(handle, encode(text, code_page));
}

// The system's text for an error number, in the language asked for if the
// system has it (0: its own), without its line end; empty when it has none.
inline std::wstring system_text(DWORD error, DWORD language = 0) {
  std::wstring text;
  for (const DWORD asked : {language, DWORD{0}}) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, asked, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length > 0 && buffer != nullptr) text.assign(buffer, length);
    if (buffer != nullptr) LocalFree(buffer);
    if (!text.empty() || asked == 0) break;
  }
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) {
    text.pop_back();
  }
  return text;
}

// The host's side of SAORI/1.0 ---------------------------------------------

using LoadEntry = BOOL(__cdecl*)(HGLOBAL block, long length);
using RequestEntry = HGLOBAL(__cdecl*)(HGLOBAL block, long* length);
using UnloadEntry = BOOL(__cdecl*)();

template <typename Entry>
Entry entry_point(HMODULE module, const char* name) {
  // Through the generic function pointer type, which converts to any other
  // without a warning.
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A GMEM_FIXED block holding the bytes; the plug-in frees it. An empty text
// still gets a one-byte block, so the plug-in never sees a null block.
inline HGLOBAL host_block(const std::string& bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes.empty() ? 1 : bytes.size());
  if (block != nullptr && !bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
  return block;
}

// The three-digit status of "SAORI/x.y NNN ...", or -1.
inline int status_of(const std::string& response) {
  const std::string first_line = response.substr(0, response.find_first_of("\r\n"));
  if (first_line.compare(0, 6, "SAORI/") != 0) return -1;
  const std::size_t space = first_line.find(' ');
  if (space == std::string::npos || first_line.size() < space + 4) return -1;
  int status = 0;
  for (std::size_t k = space + 1; k < space + 4; ++k) {
    const char c = first_line[k];
    if (c < '0' || c > '9') return -1;
    status = status * 10 + (c - '0');
  }
  if (first_line.size() > space + 4 && first_line[space + 4] != ' ') return -1;
  return status;
}

// The full path of a file, or empty when the system cannot make one.
inline std::wstring full_path(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (length == 0) return {};
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // too small: `length` is the size needed, terminator included
  }
}

}  // namespace tool
