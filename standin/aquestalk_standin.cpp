// A stand-in for the outside speech engine, for tests, for the demo and for
// ghost authors who want to try their scripts without the vendor's engine.
//
// One source builds both libraries: with STANDIN_SYNTHESIS it is AquesTalk.dll
// (AquesTalk_Synthe, AquesTalk_FreeWave), with STANDIN_PLAYBACK it is
// AquesTalkDa.dll (AquesTalkDa_PlaySync). STANDIN_WITHOUT_<NAME> leaves one
// entry point out, for the binding failure cases.
//
// Synthesis answers a real RIFF/WAVE file (16-bit PCM, mono, 16 kHz) whose
// length grows with the text and shrinks with the speed. Playback needs no
// sound device: it only records what it would say.
//
// Steering, by the start of the text:
//   "#fail:N"  synthesis returns null with N in the size; playback returns N
//   "#size:N"  synthesis returns a buffer of N bytes, byte i being i mod 256
//              (N < 0: a one-byte buffer with the size N)
//
// Built with STANDIN_VOICE="name" it is another voice: its tones are pitched
// lower, so its waves differ from the default build's for the same text, and
// its log lines carry " voice=name" before the text.
//
// Recording: when the environment variable AQUESTALK_STANDIN_LOG names a file,
// every load and unload of the library and every call is appended to it as a
// line, e.g. "synthe speed=120 size=3884 fnv=1a2b3c4d text=82a082a2". Built
// with STANDIN_QUIET it records nothing and never looks at the environment,
// so that playback answers at once, as benchmarks need.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#define STANDIN_CALL __stdcall
#else
#define STANDIN_CALL
#endif

#if !defined(STANDIN_LIBRARY_NAME)
#error "STANDIN_LIBRARY_NAME must name the library being built"
#endif

#if defined(STANDIN_VOICE)
#define STANDIN_VOICE_FIELD " voice=" STANDIN_VOICE
[[maybe_unused]] constexpr unsigned voice_pitch_offset = 17;
#else
#define STANDIN_VOICE_FIELD ""
[[maybe_unused]] constexpr unsigned voice_pitch_offset = 0;
#endif

namespace {

#if defined(__GNUC__)
void log_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif

// Appends one line to the log named by the environment, if any.
void log_line(const char* format, ...) {
#if defined(STANDIN_QUIET)
  static_cast<void>(format);
  return;
#endif
  const char* path = std::getenv("AQUESTALK_STANDIN_LOG");
  if (path == nullptr || *path == '\0') return;
  std::FILE* log = std::fopen(path, "ab");
  if (log == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(log, format, arguments);
  va_end(arguments);
  std::fputc('\n', log);
  std::fclose(log);
}

// The text as lower-case hex, so any bytes survive the log.
[[maybe_unused]] void hex_of(const char* text, char* out, std::size_t capacity) {
  static const char digits[] = "0123456789abcdef";
  std::size_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
       *p != 0 && n + 2 < capacity; ++p) {
    out[n++] = digits[*p >> 4];
    out[n++] = digits[*p & 15];
  }
  out[n] = '\0';
}

// Reads "<prefix><integer>" at the start of text.
[[maybe_unused]] bool steering(const char* text, const char* prefix, long* value) {
  const std::size_t length = std::strlen(prefix);
  if (std::strncmp(text, prefix, length) != 0) return false;
  *value = std::strtol(text + length, nullptr, 10);
  return true;
}

}  // namespace

#if defined(STANDIN_SYNTHESIS)

namespace {

// Every buffer handed out carries this header, so a stray or repeated free
// shows up in the log instead of passing silently.
constexpr std::uint32_t live_buffer = 0x57415645;   // "WAVE"
[[maybe_unused]] constexpr std::uint32_t freed_buffer = 0x44454144;  // "DEAD"
struct BufferHeader {
  std::uint32_t magic;
  std::uint32_t padding;
};

[[maybe_unused]] unsigned char* new_buffer(std::size_t size) {
  void* memory = std::malloc(sizeof(BufferHeader) + (size == 0 ? 1 : size));
  if (memory == nullptr) return nullptr;
  static_cast<BufferHeader*>(memory)->magic = live_buffer;
  return static_cast<unsigned char*>(memory) + sizeof(BufferHeader);
}

[[maybe_unused]] void put16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
[[maybe_unused]] void put32(unsigned char* p, std::uint32_t v) {
  put16(p, v & 0xFFFF);
  put16(p + 2, v >> 16);
}

constexpr std::uint32_t sample_rate = 16000;
constexpr std::uint32_t samples_per_byte_at_100 = 960;  // 60 ms per byte

// A triangle tone per text byte, its pitch taken from the byte.
[[maybe_unused]] unsigned char* synthesize_wave(const char* text, int speed, std::int32_t* size) {
  const std::size_t bytes = std::strlen(text);
  const std::uint32_t per_byte = samples_per_byte_at_100 * 100 / static_cast<std::uint32_t>(speed);
  const std::uint32_t samples = static_cast<std::uint32_t>(bytes) * per_byte;
  const std::uint32_t data = samples * 2;
  unsigned char* wave = new_buffer(44 + data);
  if (wave == nullptr) return nullptr;

  std::memcpy(wave, "RIFF", 4);
  put32(wave + 4, 36 + data);
  std::memcpy(wave + 8, "WAVEfmt ", 8);
  put32(wave + 16, 16);               // fmt chunk size
  put16(wave + 20, 1);                // PCM
  put16(wave + 22, 1);                // mono
  put32(wave + 24, sample_rate);
  put32(wave + 28, sample_rate * 2);  // bytes per second
  put16(wave + 32, 2);                // block align
  put16(wave + 34, 16);               // bits per sample
  std::memcpy(wave + 36, "data", 4);
  put32(wave + 40, data);

  unsigned char* out = wave + 44;
  for (std::size_t b = 0; b < bytes; ++b) {
    const std::uint32_t period = 24 + voice_pitch_offset + static_cast<unsigned char>(text[b]) % 48;
    for (std::uint32_t s = 0; s < per_byte; ++s) {
      const std::uint32_t phase = s % period;
      const std::int32_t rise = static_cast<std::int32_t>(phase * 4 * 6000 / period);
      std::int32_t value = phase < period / 2 ? rise - 6000 : 18000 - rise;
      if (s < 80 || per_byte - s < 80) value /= 4;  // soften each joint
      put16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(value)));
      out += 2;
    }
  }
  *size = static_cast<std::int32_t>(44 + data);
  return wave;
}

[[maybe_unused]] std::uint32_t fnv1a(const unsigned char* bytes, std::int32_t size) {
  std::uint32_t hash = 2166136261u;
  for (std::int32_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
  return hash;
}

}  // namespace

extern "C" {

#if !defined(STANDIN_WITHOUT_SYNTHE)
unsigned char* STANDIN_CALL AquesTalk_Synthe(const char* text, int speed, int* size) {
  char hex[1024];
  hex_of(text, hex, sizeof hex);
  long value = 0;
  unsigned char* wave = nullptr;
  std::int32_t bytes = 0;
  if (steering(text, "#fail:", &value)) {
    *size = static_cast<int>(value);
    log_line("synthe speed=%d fail=%ld" STANDIN_VOICE_FIELD " text=%s", speed, value, hex);
    return nullptr;
  }
  if (steering(text, "#size:", &value)) {
    bytes = static_cast<std::int32_t>(value);
    wave = new_buffer(bytes > 0 ? static_cast<std::size_t>(bytes) : 1);
    for (std::int32_t i = 0; wave != nullptr && i < bytes; ++i) {
      wave[i] = static_cast<unsigned char>(i & 0xFF);
    }
  } else {
    wave = synthesize_wave(text, speed > 0 ? speed : 100, &bytes);
  }
  if (wave == nullptr) {
    *size = 0;
    log_line("synthe speed=%d fail=nomemory" STANDIN_VOICE_FIELD " text=%s", speed, hex);
    return nullptr;
  }
  *size = bytes;
  log_line("synthe speed=%d size=%d fnv=%08x" STANDIN_VOICE_FIELD " text=%s", speed, bytes,
           static_cast<unsigned>(fnv1a(wave, bytes)), hex);
  return wave;
}
#endif

#if !defined(STANDIN_WITHOUT_FREEWAVE)
void STANDIN_CALL AquesTalk_FreeWave(unsigned char* wave) {
  if (wave == nullptr) {
    log_line("freewave null");
    return;
  }
  BufferHeader* header = reinterpret_cast<BufferHeader*>(wave - sizeof(BufferHeader));
  if (header->magic != live_buffer) {
    log_line("freewave invalid");
    return;
  }
  header->magic = freed_buffer;
  log_line("freewave");
  std::free(header);
}
#endif

}  // extern "C"

#endif  // STANDIN_SYNTHESIS

#if defined(STANDIN_PLAYBACK) && !defined(STANDIN_WITHOUT_PLAYSYNC)
extern "C" int STANDIN_CALL AquesTalkDa_PlaySync(const char* text, int speed) {
  long value = 0;
  const int result = steering(text, "#fail:", &value) ? static_cast<int>(value) : 0;
#if !defined(STANDIN_QUIET)
  char hex[1024];
  hex_of(text, hex, sizeof hex);
  log_line("playsync speed=%d result=%d" STANDIN_VOICE_FIELD " text=%s", speed, result, hex);
#else
  static_cast<void>(speed);
#endif
  return result;
}
#endif

// Loads and unloads of the library itself, so tests can count them.
#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) log_line("attach " STANDIN_LIBRARY_NAME);
  if (reason == DLL_PROCESS_DETACH) log_line("detach " STANDIN_LIBRARY_NAME);
  return TRUE;
}
#else
__attribute__((constructor)) static void standin_attach() { log_line("attach " STANDIN_LIBRARY_NAME); }
__attribute__((destructor)) static void standin_detach() { log_line("detach " STANDIN_LIBRARY_NAME); }
#endif
