#include <windows.h>

#include <cstring>

#include "platform/file_system.h"

namespace saori {

namespace {

class WindowsFiles final : public FileSystem {
 public:
  bool make_folder(const char* path) override {
    if (CreateDirectoryA(path, nullptr)) return true;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  // No sharing while it is written: nobody reads a wave half made.
  File create_new(const char* path) override {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
  }

  bool write(File file, const unsigned char* bytes, std::size_t size) override {
    while (size > 0) {
      const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
      DWORD done = 0;
      if (!WriteFile(static_cast<HANDLE>(file), bytes, chunk, &done, nullptr) || done == 0) {
        return false;
      }
      bytes += done;
      size -= done;
    }
    return true;
  }

  bool close(File file) override { return CloseHandle(static_cast<HANDLE>(file)) != 0; }

  bool remove(const char* path) override {
    if (DeleteFileA(path)) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }

  void list(const char* folder, Visitor& visitor) override {
    // The narrow functions take paths of at most MAX_PATH bytes.
    char pattern[MAX_PATH];
    const std::size_t length = std::strlen(folder);
    if (length + 2 > sizeof pattern) return;
    std::memcpy(pattern, folder, length);
    std::memcpy(pattern + length, "*", 2);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
      visitor.visit(entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }

  bool is_lead_byte(unsigned char byte) override { return IsDBCSLeadByte(byte) != 0; }
};

}  // namespace

FileSystem& system_files() {
  static WindowsFiles files;
  return files;
}

}  // namespace saori
