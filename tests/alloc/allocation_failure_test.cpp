// Fails the Nth allocation along a request's path, for every N, and checks
// that nothing escapes the entry points, that the request block is always
// freed, that nothing leaks, and that the answer is either the whole
// response or a null handle. A request of a few KiB must make no C++
// allocation at all; only larger ones reach the heap, and a large one takes
// at most a few times its own size.
//
// Every C++ allocation goes through the operator new replaced below, and
// every host block through the counting host memory, so one countdown
// covers both.
#include <dirent.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "plugin/plugin.h"
#include "support/counting_memory.h"
#include "support/request_kinds.h"

namespace {

// 0: no failure armed; otherwise the allocation that makes it reach 0 fails.
long countdown = 0;
long heap_allocations = 0;  // through operator new
bool failure_injected = false;
bool host_block_failed = false;

// Set while a test double does its own bookkeeping, which is not part of
// the path under test.
bool suspended = false;

bool next_allocation_fails() {
  if (countdown == 0 || suspended) return false;
  if (--countdown != 0) return false;
  failure_injected = true;
  return true;
}

// Bytes held through operator new, as malloc counts them, and their peak.
std::size_t live_bytes = 0;
std::size_t peak_bytes = 0;

void* counted(void* memory) {
  if (memory == nullptr) throw std::bad_alloc();
  live_bytes += malloc_usable_size(memory);
  peak_bytes = std::max(peak_bytes, live_bytes);
  return memory;
}

void release(void* memory) noexcept {
  if (memory != nullptr) live_bytes -= malloc_usable_size(memory);
  std::free(memory);
}

}  // namespace

void* operator new(std::size_t size) {
  if (!suspended) ++heap_allocations;
  if (next_allocation_fails()) throw std::bad_alloc();
  return counted(std::malloc(size == 0 ? 1 : size));
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { release(memory); }
void operator delete[](void* memory) noexcept { release(memory); }
void operator delete(void* memory, std::size_t) noexcept { release(memory); }
void operator delete[](void* memory, std::size_t) noexcept { release(memory); }
// The heap behind a request's own memory asks with an alignment.
void* operator new(std::size_t size, std::align_val_t alignment) {
  if (!suspended) ++heap_allocations;
  if (next_allocation_fails()) throw std::bad_alloc();
  void* memory = nullptr;
  if (posix_memalign(&memory, std::max(sizeof(void*), static_cast<std::size_t>(alignment)),
                     size == 0 ? 1 : size) != 0) {
    throw std::bad_alloc();
  }
  return counted(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept { release(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { release(memory); }

namespace saori {
namespace {

// Host memory whose allocations share the countdown.
class FailingMemory final : public HostMemory {
 public:
  HostBlock allocate(std::size_t size) override {
    if (next_allocation_fails()) {
      host_block_failed = true;
      return nullptr;
    }
    suspended = true;
    HostBlock block = inner.allocate(size);
    suspended = false;
    return block;
  }
  void release(HostBlock block) override { inner.release(block); }
  bool block_size(HostBlock block, std::size_t& size) override {
    return inner.block_size(block, size);
  }
  testing_support::CountingMemory inner;
};

// An engine that allocates nothing through operator new, as the real one.
int synthe_buffers_out = 0;
int play_calls = 0;
unsigned char* SAORI_ENGINE_CALL synthe(const char*, std::int32_t, std::int32_t* size) {
  ++synthe_buffers_out;
  *size = 4;
  return static_cast<unsigned char*>(std::malloc(4));
}
void SAORI_ENGINE_CALL free_wave(unsigned char* wave) {
  --synthe_buffers_out;
  std::free(wave);
}
std::int32_t SAORI_ENGINE_CALL play_sync(const char*, std::int32_t) {
  ++play_calls;
  return 0;
}

// A loader that allocates nothing and counts what it holds.
class CountingLibraries final : public DynamicLibraries {
 public:
  int to_wide(const char* bytes, int length, char16_t* out, int capacity) override {
    if (length <= 0) return 0;
    if (capacity == 0) return length;
    for (int i = 0; i < length && i < capacity; ++i) out[i] = static_cast<unsigned char>(bytes[i]);
    return length < capacity ? length : capacity;
  }
  LibraryHandle open(const char16_t*) override {
    ++held;
    return reinterpret_cast<LibraryHandle>(static_cast<std::uintptr_t>(held));
  }
  EntryPoint resolve(LibraryHandle, const char* name) override {
    const std::string_view n = name;
    if (n == "AquesTalk_Synthe") return reinterpret_cast<EntryPoint>(synthe);
    if (n == "AquesTalk_FreeWave") return reinterpret_cast<EntryPoint>(free_wave);
    return reinterpret_cast<EntryPoint>(play_sync);
  }
  void close(LibraryHandle) override { --held; }
  int held = 0;
};

int open_descriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

std::string wav_path() { return "/tmp/allocation-failure-" + std::to_string(getpid()) + ".wav"; }
// The plug-in's folder, where VOICE makes its own.
std::string plugin_folder() { return "/tmp/allocation-failure-" + std::to_string(getpid()) + "/"; }

struct PathCase {
  const char* name;
  std::string request;
  std::string response;  // VOICE's answers differ in the file's number: its start
  bool fits_in_request_memory = true;
};

class AllocationFailureTest : public testing::TestWithParam<PathCase> {};

TEST_P(AllocationFailureTest, EveryFailurePointIsContained) {
  FailingMemory memory;
  CountingLibraries libraries;
  const Platform platform{libraries, memory, system_files()};
  PluginState state;
  const std::string directory = plugin_folder();
  mkdir(directory.c_str(), 0700);
  ASSERT_EQ(plugin_load(state, platform, memory.inner.block_of(directory),
                        static_cast<std::int32_t>(directory.size())), 1);
  const int descriptors = open_descriptors();

  HostBlock first = memory.inner.block_of(GetParam().request);
  std::int32_t length = static_cast<std::int32_t>(GetParam().request.size());
  const long heap_before = heap_allocations;
  HostBlock answer = plugin_request(state, platform, first, &length);
  const long heap_used = heap_allocations - heap_before;
  memory.release(answer);
  if (GetParam().fits_in_request_memory) {
    EXPECT_EQ(heap_used, 0) << "heap used by a small request";
  } else {
    EXPECT_GT(heap_used, 0) << "the heap fallback was not reached";
  }

  long completed_without_failure = 0;
  for (long n = 1; n < 10000 && completed_without_failure == 0; ++n) {
    HostBlock block = memory.inner.block_of(GetParam().request);
    std::int32_t length = static_cast<std::int32_t>(GetParam().request.size());
    failure_injected = host_block_failed = false;
    countdown = n;
    HostBlock response = plugin_request(state, platform, block, &length);
    countdown = 0;

    if (!failure_injected) completed_without_failure = n;
    const bool voice = GetParam().response.find("\\_v[") != std::string::npos;
    if (response != nullptr) {
      const std::string bytes(static_cast<const char*>(response), static_cast<std::size_t>(length));
      EXPECT_EQ(voice ? bytes.substr(0, GetParam().response.size()) : bytes, GetParam().response)
          << "failing allocation " << n;
      memory.release(response);
    } else if (host_block_failed) {
      // The length the answer would have had; VOICE's is its start and more.
      const auto start = static_cast<std::int32_t>(GetParam().response.size());
      EXPECT_TRUE(voice ? length > start : length == start) << length << ", failing allocation " << n;
    } else {
      EXPECT_EQ(length, 0) << "failing allocation " << n;
    }
    EXPECT_EQ(memory.inner.live_blocks(), 0u) << "failing allocation " << n;
    EXPECT_EQ(synthe_buffers_out, 0) << "failing allocation " << n;
    EXPECT_EQ(open_descriptors(), descriptors) << "failing allocation " << n;
  }
  std::printf("%s: %ld allocation points\n", GetParam().name, completed_without_failure - 1);
  EXPECT_EQ(plugin_unload(state, platform), 1);
  EXPECT_EQ(libraries.held, 0);
  std::remove(wav_path().c_str());
  const std::string voice = directory + "voice/";
  if (DIR* files = opendir(voice.c_str())) {
    while (const dirent* entry = readdir(files)) std::remove((voice + entry->d_name).c_str());
    closedir(files);
  }
  rmdir(voice.c_str());
  rmdir(directory.c_str());
}

const std::string request_head = "EXECUTE SAORI/1.0\r\nSecurityLevel: Local\r\nSender: test\r\n";

// Beyond the request's own memory: a long text, many headers, a long
// padded argument list.
std::string many_headers() {
  std::string lines = request_head + "Argument0: PLAYSYNC\r\nArgument1: a\r\n";
  for (int i = 0; i < 2000; ++i) lines += "Header" + std::to_string(i) + ": value\r\n";
  return lines + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Paths, AllocationFailureTest,
    testing::Values(
        PathCase{"Version", "GET Version SAORI/1.0\r\nCharset: UTF-8\r\n\r\n",
                 "SAORI/1.0 200 OK\r\n\r\n"},
        PathCase{"PlaySync",
                 request_head + "Argument0: PLAYSYNC\r\nArgument1: a rather long text to speak\r\n"
                                "Argument2: 120\r\n\r\n",
                 "SAORI/1.0 200 OK\r\n\r\n"},
        PathCase{"CreateWav",
                 request_head + "Argument0: CREATEWAV\r\nArgument1: " + wav_path() +
                     "\r\nArgument2: a rather long text to write\r\nArgument3: 90\r\n\r\n",
                 "SAORI/1.0 200 OK\r\n\r\n"},
        PathCase{"CreateWavOpenFails",
                 request_head + "Argument0: CREATEWAV\r\nArgument1: /nonexistent/x.wav\r\n"
                                "Argument2: text\r\n\r\n",
                 "SAORI/1.0 400 Bad Request\r\nResult: "
                 "\x83\x47\x83\x89\x81\x5b\x81\x46\x43\x52\x45\x41\x54\x45\x57\x41\x56\x81\x46\x83"
                 "\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x8a\x4a\x82\xad\x82\xcc\x82\xc9\x8e\xb8\x94"
                 "\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\r\n\r\n"},
        PathCase{"Voice",
                 request_head + "Argument0: VOICE\r\nArgument1: a rather long text to voice\r\n\r\n",
                 "SAORI/1.0 200 OK\r\nResult: \\_v[" + plugin_folder() + "voice/speech_"},
        PathCase{"NotLocal", "EXECUTE SAORI/1.0\r\nSecurityLevel: External\r\n\r\n",
                 "SAORI/1.0 500 Internal Server Error\r\n\r\n"},
        PathCase{"Malformed", "NOT A REQUEST\r\n\r\n", ""},
        PathCase{"LongPlaySync",
                 request_head + "Argument0: PLAYSYNC\r\nArgument1: " + std::string(40000, 'a') +
                     "\r\n\r\n",
                 "SAORI/1.0 200 OK\r\n\r\n", false},
        PathCase{"ManyHeaders", many_headers(), "SAORI/1.0 200 OK\r\n\r\n", false},
        PathCase{"PaddedArguments",
                 request_head + "Argument0: PLAYSYNC\r\nArgument1: a\r\nArgument9999: x\r\n\r\n",
                 "SAORI/1.0 200 OK\r\n\r\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadAllocationFailureTest, LoadFailsCleanlyOrBinds) {
  const std::string directory = "C:\\a rather long ghost directory name\\";
  for (long n = 1; n < 1000; ++n) {
    FailingMemory memory;
    CountingLibraries libraries;
    const Platform platform{libraries, memory, system_files()};
    PluginState state;
    HostBlock block = memory.inner.block_of(directory);
    failure_injected = false;
    countdown = n;
    const int loaded =
        plugin_load(state, platform, block, static_cast<std::int32_t>(directory.size()));
    countdown = 0;
    EXPECT_EQ(memory.inner.live_blocks(), 0u) << n;
    EXPECT_EQ(loaded, state.engine.bound() ? 1 : 0) << n;
    EXPECT_EQ(libraries.held, loaded == 1 ? 2 : 0) << n;
    plugin_unload(state, platform);
    EXPECT_EQ(libraries.held, 0) << n;
    if (!failure_injected) {
      EXPECT_EQ(loaded, 1);
      break;
    }
  }
}

// The heap a request takes while it is answered, whatever its lines: the
// peak over what was held before stays within 3.5 bytes per request byte
// (here, where an argument's view takes 16 bytes; in the DLL, 8). Prints
// the peak for each kind of line, for the record.
TEST(RequestMemoryBound, PeakStaysWithinThreeAndAHalfTimesTheRequest) {
  CountingLibraries libraries;
  HostMemory& memory = system_host_memory();  // malloc: none of it counted
  const Platform platform{libraries, memory, system_files()};
  PluginState state;
  ASSERT_EQ(plugin_load(state, platform, nullptr, 0), 1);
  for (const request_kinds::Kind& kind : request_kinds::kinds) {
    for (const std::size_t size : {std::size_t{1} << 20, std::size_t{8} << 20}) {
      HostBlock block = memory.allocate(size);
      const std::size_t length =
          request_kinds::write_request(kind, static_cast<char*>(block), size);
      std::int32_t count = static_cast<std::int32_t>(length);
      const std::size_t before = live_bytes;
      peak_bytes = live_bytes;
      HostBlock answer = plugin_request(state, platform, block, &count);
      const double per_byte = static_cast<double>(peak_bytes - before) / static_cast<double>(length);
      std::printf("%-20s %5zu KiB: %.2f heap bytes per request byte\n", kind.name, length >> 10,
                  per_byte);
      EXPECT_NE(answer, nullptr) << kind.name;
      EXPECT_LE(per_byte, 3.5) << kind.name << " at " << length << " bytes";
      memory.release(answer);
      EXPECT_EQ(live_bytes, before) << kind.name;
    }
  }
  plugin_unload(state, platform);
}

}  // namespace
}  // namespace saori
