#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/file_system.h"

namespace saori {

namespace {

// A descriptor travels as its value plus one, so that descriptor 0 is not
// the null file.
int descriptor(FileSystem::File file) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1);
}

class PosixFiles final : public FileSystem {
 public:
  bool make_folder(const char* path) override {
    if (mkdir(path, 0777) == 0) return true;
    struct stat info;
    return errno == EEXIST && stat(path, &info) == 0 && S_ISDIR(info.st_mode);
  }

  File create_new(const char* path) override {
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd < 0 ? nullptr : reinterpret_cast<File>(static_cast<std::intptr_t>(fd) + 1);
  }

  bool write(File file, const unsigned char* bytes, std::size_t size) override {
    while (size > 0) {
      const ssize_t done = ::write(descriptor(file), bytes, size);
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) return false;
      bytes += done;
      size -= static_cast<std::size_t>(done);
    }
    return true;
  }

  bool close(File file) override { return ::close(descriptor(file)) == 0; }

  bool remove(const char* path) override { return unlink(path) == 0 || errno == ENOENT; }

  void list(const char* folder, Visitor& visitor) override {
    DIR* entries = opendir(folder);
    if (entries == nullptr) return;
    while (const dirent* entry = readdir(entries)) visitor.visit(entry->d_name);
    closedir(entries);
  }

  // POSIX paths are bytes: no byte pairs with the next.
  bool is_lead_byte(unsigned char) override { return false; }
};

}  // namespace

FileSystem& system_files() {
  static PosixFiles files;
  return files;
}

}  // namespace saori
