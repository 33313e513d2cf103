// A SAORI/1.0 plug-in for tests that moves one file: EXECUTE with Argument0
// FROM and Argument1 TO moves FROM to TO, both counted from the folder the
// host passed to load (FROM may name a missing file: nothing happens). It
// answers Result: 1 when the file was moved, 0 otherwise; any other request,
// GET Version among them, gets 200 OK. Argument0 "hold" with Argument1 FILE
// opens FILE for reading with no sharing and keeps it open, as a baseware may
// while it plays the file, until Argument0 "release" (one file at a time).
//
// With it a ghost script changes its own ghost folder between two calls of
// the plug-in under test, so that one run of a script engine goes through
// several situations (engine there, engine missing, ...) where each run is a
// process start that costs most of a minute under emulated Wine.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

std::string folder;
HANDLE held = INVALID_HANDLE_VALUE;

std::string argument(const std::string& request, const char* name) {
  const std::string key = std::string("\r\n") + name + ": ";
  const std::size_t start = request.find(key);
  if (start == std::string::npos) return std::string();
  const std::size_t value = start + key.size();
  return request.substr(value, request.find("\r\n", value) - value);
}

HGLOBAL answer(const std::string& text, long* length) {
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, text.size());
  if (block == nullptr) {
    *length = 0;
    return nullptr;
  }
  std::memcpy(block, text.data(), text.size());
  *length = static_cast<long>(text.size());
  return block;
}

}  // namespace

extern "C" __declspec(dllexport) BOOL __cdecl load(HGLOBAL h, long length) {
  folder.assign(static_cast<const char*>(h), static_cast<std::size_t>(length));
  GlobalFree(h);
  return TRUE;
}

extern "C" __declspec(dllexport) BOOL __cdecl unload() {
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  held = INVALID_HANDLE_VALUE;
  return TRUE;
}

extern "C" __declspec(dllexport) HGLOBAL __cdecl request(HGLOBAL h, long* length) {
  const std::string text(static_cast<const char*>(h), static_cast<std::size_t>(*length));
  GlobalFree(h);
  if (text.compare(0, 8, "EXECUTE ") != 0) return answer("SAORI/1.0 200 OK\r\n\r\n", length);
  const std::string command = argument(text, "Argument0");
  if (command == "hold" || command == "release") {
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    held = INVALID_HANDLE_VALUE;
    if (command == "hold") {
      const std::string path = folder + argument(text, "Argument1");
      held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    const bool holding = held != INVALID_HANDLE_VALUE;
    return answer(std::string("SAORI/1.0 200 OK\r\nResult: ") + (holding ? "1" : "0") + "\r\n\r\n", length);
  }
  const std::string from = folder + command;
  const std::string to = folder + argument(text, "Argument1");
  const bool moved = MoveFileA(from.c_str(), to.c_str()) != 0;
  return answer(std::string("SAORI/1.0 200 OK\r\nResult: ") + (moved ? "1" : "0") + "\r\n\r\n", length);
}
