// A SAORI/1.0 plug-in for testing saori-call itself: it answers every
// request with what it was given, as hex, so the tests can see the exact
// bytes a host sent, and it lets the request choose the answer's shape.
//
// The answer is
//   <status line>\r\n
//   Load: <hex of the bytes load received>\r\n
//   Request: <hex of the request bytes>\r\n
//   \r\n
// The status line is "SAORI/1.0 200 OK" unless the request holds a header
//   Echo-Status: NNN     the line becomes "SAORI/1.0 NNN Echo"
//   Echo-Line: TEXT      the line becomes TEXT
// A request holding "Echo-Null:" gets no answer at all (null, length 0).
// Blocks that are not the host's GMEM_FIXED blocks of at least the stated
// length turn the answer into "SAORI/1.0 500 Bad Block". Built with
// ECHO_LOAD_ANSWER=FALSE, its load answers 0 (a plug-in that is not ready).
// With ECHO_PLUGIN_ATTACHED naming a file, attaching to a process makes
// that file, so that a test sees whether any of its code ran.
#include <windows.h>

#include <cstring>
#include <string>

#ifndef ECHO_LOAD_ANSWER
#define ECHO_LOAD_ANSWER TRUE
#endif

namespace {

std::string loaded;
bool load_block_ok = true;

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 15]);
  }
  return out;
}

// Copies and frees a host block; false if it is not one of `length` bytes.
bool take_block(HGLOBAL block, long length, std::string& out) {
  if (block == nullptr || length < 0 || GlobalSize(block) < static_cast<SIZE_T>(length)) return false;
  out.assign(static_cast<const char*>(static_cast<const void*>(block)), static_cast<std::size_t>(length));
  return GlobalFree(block) == nullptr;
}

// The value of "\r\nName: value\r\n" in the request, if present.
bool header(const std::string& request, const char* name, std::string& value) {
  const std::string key = std::string("\r\n") + name + ": ";
  const std::size_t at = request.find(key);
  if (at == std::string::npos) return false;
  const std::size_t start = at + key.size();
  value = request.substr(start, request.find("\r\n", start) - start);
  return true;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"ECHO_PLUGIN_ATTACHED", path, MAX_PATH);
  if (reason == DLL_PROCESS_ATTACH && length > 0 && length < MAX_PATH) {
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return TRUE;
}

extern "C" {

// No exception leaves the module: running out of memory answers 0 / null.
__declspec(dllexport) BOOL __cdecl load(HGLOBAL block, long length) {
  try {
    load_block_ok = take_block(block, length, loaded);
    return ECHO_LOAD_ANSWER;
  } catch (...) {
    return FALSE;
  }
}

__declspec(dllexport) HGLOBAL __cdecl request(HGLOBAL block, long* length) {
  if (length == nullptr) return nullptr;
  try {
    std::string text;
    const bool block_ok = take_block(block, *length, text);
    *length = 0;
    std::string value;
    if (header(text, "Echo-Null", value)) return nullptr;

    std::string answer = "SAORI/1.0 200 OK";
    if (!block_ok || !load_block_ok) {
      answer = "SAORI/1.0 500 Bad Block";
    } else if (header(text, "Echo-Status", value)) {
      answer = "SAORI/1.0 " + value + " Echo";
    } else if (header(text, "Echo-Line", value)) {
      answer = value;
    }
    answer += "\r\nLoad: " + hex(loaded) + "\r\nRequest: " + hex(text) + "\r\n\r\n";

    HGLOBAL out = GlobalAlloc(GMEM_FIXED, answer.size());
    if (out == nullptr) return nullptr;
    std::memcpy(out, answer.data(), answer.size());
    *length = static_cast<long>(answer.size());
    return out;
  } catch (...) {
    *length = 0;
    return nullptr;
  }
}

__declspec(dllexport) BOOL __cdecl unload() { return TRUE; }

}  // extern "C"
