// The plug-in's only way to the operating system's library loader.
//
// The engine binding calls these four operations and nothing else, so the
// same binding code runs on Windows (LoadLibraryW and friends), natively on
// POSIX systems (dlopen), and against recording or failing doubles in tests.
#pragma once

#include <string>

namespace saori {

using LibraryHandle = void*;

// Any entry point; callers cast it to the engine's own function type.
using EntryPoint = void (*)();

class DynamicLibraries {
 public:
  virtual ~DynamicLibraries() = default;

  // Converts `length` bytes of ANSI text to UTF-16 as MultiByteToWideChar
  // does with CP_ACP and no flags: with `capacity` 0 it returns the number of
  // units the conversion yields, otherwise it fills `out` and returns the
  // number written. 0 means failure; empty input also gives 0.
  virtual int to_wide(const char* bytes, int length, char16_t* out, int capacity) = 0;

  // Loads the library at a zero-terminated UTF-16 path; null on failure.
  virtual LibraryHandle open(const char16_t* path) = 0;

  // Looks up an exported entry point by its exact name; null when absent.
  virtual EntryPoint resolve(LibraryHandle library, const char* name) = 0;

  // Gives back one load of the library.
  virtual void close(LibraryHandle library) = 0;
};

// The platform's own loader. It keeps no state.
DynamicLibraries& system_libraries();

}  // namespace saori
