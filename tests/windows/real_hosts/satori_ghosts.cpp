// Drives Satori (satori.dll) in several ghost folders one after another, in
// one process, as a baseware drives one ghost: for each folder it loads that
// folder's satori.dll, calls load with the folder, sends the SHIORI/3.0 GET
// requests listed for it, calls unload and frees the library before the next
// folder. Where Wine runs under emulation every process start costs most of a
// minute, so all the folders of a test share one.
//
// Usage: satori_ghosts.exe PLAN
// PLAN is a text file, one item a line (ASCII; CR LF or LF):
//   ghost DIR\             the next ghost folder (a Windows path, with the
//                          trailing backslash a baseware gives)
//   request ID[,REF0,...]  one request: ID, and Reference0.. as given
//
// Printed, one line an item: GHOST=DIR, LOAD=n, REQUEST=ID, STATUS=<status
// line>, VALUE=<Value header>, HEADER=<any other header of the answer>,
// UNLOAD=n (STATUS=(no ghost) for a request to a folder that did not load).
// CR, LF and other control bytes of a value are shown as \r, \n and
// <XX>; the text stays in the bytes Satori answered (Shift_JIS).
//
// With SHIORI_MARK_LOG naming a file, a line "ghost DIR" or "request ID" is
// appended to it before each folder's load and each request, so that the
// engine stand-in's log (the same file) tells which request made which call.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using LoadFunction = BOOL(__cdecl*)(HGLOBAL, long);
using RequestFunction = HGLOBAL(__cdecl*)(HGLOBAL, long*);
using UnloadFunction = BOOL(__cdecl*)();

template <typename Function>
Function entry_point(HMODULE library, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

void mark(const std::string& line) {
  const char* path = std::getenv("SHIORI_MARK_LOG");
  if (path == nullptr || *path == '\0') return;
  if (std::FILE* log = std::fopen(path, "ab")) {
    std::fprintf(log, "%s\n", line.c_str());
    std::fclose(log);
  }
}

HGLOBAL block_of(const std::string& bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes.size() + 1);
  if (block == nullptr) return nullptr;
  std::memcpy(block, bytes.data(), bytes.size());
  static_cast<char*>(block)[bytes.size()] = '\0';
  return block;
}

// A header value with its control bytes made visible.
std::string shown(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "<%02X>", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void print_answer(const std::string& answer) {
  std::size_t start = 0;
  bool first = true;
  while (start < answer.size()) {
    std::size_t end = answer.find("\r\n", start);
    if (end == std::string::npos) end = answer.size();
    const std::string line = answer.substr(start, end - start);
    start = end + 2;
    if (first) {
      std::printf("STATUS=%s\n", shown(line).c_str());
      first = false;
    } else if (line.empty()) {
      break;
    } else if (line.compare(0, 7, "Value: ") == 0) {
      std::printf("VALUE=%s\n", shown(line.substr(7)).c_str());
    } else {
      std::printf("HEADER=%s\n", shown(line).c_str());
    }
  }
}

std::string request_text(const std::string& item) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = item.find(',', start);
    fields.push_back(item.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::string text = "GET SHIORI/3.0\r\nCharset: Shift_JIS\r\nSender: SSP\r\nSecurityLevel: local\r\nID: " +
                     fields[0] + "\r\n";
  for (std::size_t i = 1; i < fields.size(); ++i) {
    text += "Reference" + std::to_string(i - 1) + ": " + fields[i] + "\r\n";
  }
  return text + "\r\n";
}

struct Ghost {
  HMODULE library = nullptr;
  RequestFunction request = nullptr;
  UnloadFunction unload = nullptr;
};

void close_ghost(Ghost& ghost) {
  if (ghost.library == nullptr) return;
  if (ghost.unload != nullptr) std::printf("UNLOAD=%d\n", ghost.unload() ? 1 : 0);
  FreeLibrary(ghost.library);
  ghost = Ghost{};
  std::fflush(stdout);
}

bool open_ghost(Ghost& ghost, const std::string& folder) {
  std::printf("GHOST=%s\n", folder.c_str());
  mark("ghost " + folder);
  const std::string path = folder + "satori.dll";
  ghost.library = LoadLibraryA(path.c_str());
  if (ghost.library == nullptr) {
    std::printf("LOADLIBRARY=%lu\n", GetLastError());
    return false;
  }
  const auto load = entry_point<LoadFunction>(ghost.library, "load");
  ghost.request = entry_point<RequestFunction>(ghost.library, "request");
  ghost.unload = entry_point<UnloadFunction>(ghost.library, "unload");
  if (load == nullptr || ghost.request == nullptr || ghost.unload == nullptr) {
    std::printf("EXPORTS=missing\n");
    FreeLibrary(ghost.library);
    ghost = Ghost{};
    return false;
  }
  std::printf("LOAD=%d\n", load(block_of(folder), static_cast<long>(folder.size())) ? 1 : 0);
  return true;
}

void send(Ghost& ghost, const std::string& item) {
  const std::string id = item.substr(0, item.find(','));
  std::printf("REQUEST=%s\n", id.c_str());
  mark("request " + id);
  const std::string text = request_text(item);
  long length = static_cast<long>(text.size());
  HGLOBAL answer = ghost.request(block_of(text), &length);
  if (answer == nullptr) {
    std::printf("STATUS=(no answer)\n");
  } else {
    print_answer(std::string(static_cast<const char*>(answer), static_cast<std::size_t>(length)));
    GlobalFree(answer);
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: satori_ghosts PLAN\n");
    return 2;
  }
  std::ifstream plan(argv[1], std::ios::binary);
  if (!plan) {
    std::fprintf(stderr, "satori_ghosts: cannot read %s\n", argv[1]);
    return 2;
  }
  Ghost ghost;
  bool open = false;
  std::string line;
  while (std::getline(plan, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, 6, "ghost ") == 0) {
      close_ghost(ghost);
      open = open_ghost(ghost, line.substr(6));
    } else if (line.compare(0, 8, "request ") == 0) {
      if (open) {
        send(ghost, line.substr(8));
      } else {
        std::printf("REQUEST=%s\nSTATUS=(no ghost)\n", line.substr(8).c_str());
      }
    }
  }
  close_ghost(ghost);
  return 0;
}
