// The least a SAORI/1.0 plug-in can do per request, as the Wine benchmark's
// floor: copy the request out of the host's block into memory of its own (on
// the stack when it fits in 16 KiB, malloc'ed otherwise), free the block, and
// answer a fixed "SAORI/1.0 200 OK" in a new fixed block. It parses nothing.
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char answer[] = "SAORI/1.0 200 OK\r\n\r\n";
constexpr long answer_length = sizeof answer - 1;
constexpr std::size_t stack_capacity = 16 * 1024;

// Called through a volatile pointer, so the compiler must assume the copy is
// read and cannot leave it out.
void look_at(const char*) {}
void (*volatile consume)(const char*) = look_at;

}  // namespace

extern "C" {

BOOL __cdecl load(HGLOBAL block, long) {
  if (block != nullptr) GlobalFree(block);
  return TRUE;
}

HGLOBAL __cdecl request(HGLOBAL block, long* length) {
  const std::size_t size = *length > 0 ? static_cast<std::size_t>(*length) : 0;
  char stack_copy[stack_capacity];
  char* copy = size <= stack_capacity ? stack_copy : static_cast<char*>(std::malloc(size));
  if (copy != nullptr) {
    std::memcpy(copy, block, size);
    consume(copy);
  }
  GlobalFree(block);
  if (copy != stack_copy) std::free(copy);

  HGLOBAL response = GlobalAlloc(GMEM_FIXED, answer_length);
  *length = response != nullptr ? answer_length : 0;
  if (response != nullptr) std::memcpy(response, answer, answer_length);
  return response;
}

BOOL __cdecl unload() { return TRUE; }

}  // extern "C"
