// A SAORI/1.0 plug-in for tests that moves one file: EXECUTE with Argument0
// FROM and Argument1 TO moves FROM to TO, both counted from the folder the
// host passed to load (FROM may name a missing file: nothing happens). It
// answers Result: 1 when the file was moved, 0 otherwise; any other request,
// GET Version among them, gets 200 OK. Argument0 "hold" with Argument1 FOLDER
// (ending in a backslash) makes the file of the voice name the plug-in would
// write next there (speech_<highest there + 1>.wav) and keeps it open with no
// sharing, as a baseware may while it plays a file, until Argument0 "release"
// (one file at a time).
//
// With it a ghost script changes its own ghost folder between two calls of
// the plug-in under test, so that one run of a script engine goes through
// several situations (engine there, engine missing, ...) where each run is a
// process start that costs most of a minute under emulated Wine.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string folder;
HANDLE held = INVALID_HANDLE_VALUE;

// The name after the highest speech_<N>.wav in `folder`.
std::string next_voice_name(const std::string& folder) {
  unsigned long highest = 0;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "speech_*.wav").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      highest = std::max(highest, std::strtoul(entry.cFileName + 7, nullptr, 10));
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  return "speech_" + std::to_string(highest + 1) + ".wav";
}

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
      const std::string voice = folder + argument(text, "Argument1");
      held = CreateFileA((voice + next_voice_name(voice)).c_str(), GENERIC_WRITE, 0, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    const bool holding = held != INVALID_HANDLE_VALUE;
    return answer(std::string("SAORI/1.0 200 OK\r\nResult: ") + (holding ? "1" : "0") + "\r\n\r\n", length);
  }
  const std::string from = folder + command;
  const std::string to = folder + argument(text, "Argument1");
  const bool moved = MoveFileA(from.c_str(), to.c_str()) != 0;
  return answer(std::string("SAORI/1.0 200 OK\r\nResult: ") + (moved ? "1" : "0") + "\r\n\r\n", length);
}
