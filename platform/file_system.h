// The few file operations the voice folder needs, on zero-terminated narrow
// paths in the system's ANSI code page, as the host gives the plug-in's
// folder.
//
// The VOICE command reaches the file system only through this interface, so
// the same naming and tidying code runs on Windows, natively on POSIX systems,
// and against a recording double in tests.
#pragma once

#include <cstddef>

#include "protocol/byte_string.h"

namespace saori {

#if defined(_WIN32)
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

class FileSystem {
 public:
  using File = void*;

  // Receives the names of a folder's entries, one call each.
  class Visitor {
   public:
    virtual void visit(ByteView name) = 0;

   protected:
    ~Visitor() = default;
  };

  virtual ~FileSystem() = default;

  // Makes the folder; true when it is there afterwards, made now or before.
  virtual bool make_folder(const char* path) = 0;

  // Creates a file that does not exist yet, open for writing and shared with
  // no other opener; null when a file of that name is there (held open or
  // not) or none can be made.
  virtual File create_new(const char* path) = 0;

  // Writes all `size` bytes; false when fewer were written.
  virtual bool write(File file, const unsigned char* bytes, std::size_t size) = 0;

  // Closes the file; false when the system reports that it failed.
  virtual bool close(File file) = 0;

  // Removes a file; true when none is there afterwards (removed now, or there
  // was none), false when it stays (held open, not allowed).
  virtual bool remove(const char* path) = 0;

  // Visits the name of every entry of the folder (given with its trailing
  // separator); nothing when it cannot be read.
  virtual void list(const char* folder, Visitor& visitor) = 0;

  // Whether `byte` begins a two-byte character in the code page of paths.
  virtual bool is_lead_byte(unsigned char byte) = 0;
};

// The platform's own file system. It keeps no state.
FileSystem& system_files();

}  // namespace saori
