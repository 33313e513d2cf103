// What the project's own Windows hosts (the end-to-end tests, the
// differential driver, the Wine benchmark) need to drive a SAORI/1.0 DLL as
// a host does: the export types, lookup by plain name, fixed global memory
// blocks, and the build tree's paths as Wine shows them.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

namespace windows_host {

using LoadFunction = BOOL(__cdecl*)(HGLOBAL, long);
using RequestFunction = HGLOBAL(__cdecl*)(HGLOBAL, long*);
using UnloadFunction = BOOL(__cdecl*)();

// A Unix path of the build tree as Wine shows it, on its Z: drive.
inline std::string windows_path(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// An export by its plain name, through the generic function type, which
// converts to any other.
template <typename Function>
Function entry(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A fixed block (GMEM_FIXED: the handle is the address) holding `bytes`.
inline HGLOBAL block_of(const std::string& bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes.empty() ? 1 : bytes.size());
  if (block != nullptr && !bytes.empty()) std::memcpy(block, bytes.data(), bytes.size());
  return block;
}

// Makes `folder` (a Windows path with its trailing backslash) hold copies of
// the engine's two libraries from `engine` (the same), with no voice folder:
// one an earlier run left there (Wine reuses process ids), or a file of that
// name, is removed. A plug-in loaded from it writes its voices afresh.
inline void engine_folder(const std::string& folder, const std::string& engine) {
  CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* file : {"AquesTalk.dll", "AquesTalkDa.dll"}) {
    CopyFileA((engine + file).c_str(), (folder + file).c_str(), FALSE);
  }
  const std::string voice = folder + "voice\\";
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA((voice + "*.wav").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      DeleteFileA((voice + entry.cFileName).c_str());
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA((folder + "voice").c_str());
  DeleteFileA((folder + "voice").c_str());
}

// The three exports of a plug-in DLL, loaded as a host loads it.
struct PluginExports {
  HMODULE module = nullptr;
  LoadFunction load = nullptr;
  RequestFunction request = nullptr;
  UnloadFunction unload = nullptr;

  // Loads the DLL at a Unix path of the build tree; true when it loaded
  // and has all three exports.
  bool open(const std::string& unix_file) {
    const std::string file = windows_path(unix_file);
    module = LoadLibraryW(std::wstring(file.begin(), file.end()).c_str());
    if (module == nullptr) return false;
    load = entry<LoadFunction>(module, "load");
    request = entry<RequestFunction>(module, "request");
    unload = entry<UnloadFunction>(module, "unload");
    return load != nullptr && request != nullptr && unload != nullptr;
  }
};

}  // namespace windows_host
