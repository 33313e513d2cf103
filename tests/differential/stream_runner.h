// The loop both differential drivers run: the plug-in DLL under Wine on one
// side, the native core on the other.
//
// A driver sends the request stream to its plug-in, bound to the complete
// stand-in engine, and writes one transcript line per request: the request's
// hash and length, then the answer (null or not, the length, the bytes). The
// stand-in engine logs its loads, unloads and calls into the same file (the
// driver's transcript is the file named by AQUESTALK_STANDIN_LOG), so each
// request's engine calls come just before its line. After a request that
// names CREATEWAV, the sizes and hashes of the files it may have written
// follow. Every thousand requests the engine is unloaded for fifty of them
// and loaded again.
//
//   driver run SEED COUNT    answer the stream into the transcript
//   driver show SEED INDEX   print one request of the stream
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/differential/request_stream.h"

namespace differential {

struct Answer {
  bool null = true;
  long length = 0;
  std::string bytes;
};

// One side of the comparison, driven as a host drives a plug-in.
class PluginUnderTest {
 public:
  virtual ~PluginUnderTest() = default;
  virtual int load() = 0;  // bound to the complete stand-in engine
  virtual Answer request(const std::string& text) = 0;
  virtual int unload() = 0;
};

inline std::uint32_t fnv1a(std::string_view bytes) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : bytes) hash = (hash ^ c) * 16777619u;
  return hash;
}

// Printable ASCII as it is, every other byte (and the backslash) as \xNN.
inline std::string escaped(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      out += "\\x";
      out.push_back(digits[c >> 4]);
      out.push_back(digits[c & 15]);
    }
  }
  return out;
}

inline void write_file_hashes(std::FILE* out) {
  std::fputs("  files", out);
  for (std::string_view name : written_files) {
    std::FILE* file = std::fopen(std::string(name).c_str(), "rb");
    if (file == nullptr) {
      std::fprintf(out, " %s=absent", std::string(name).c_str());
      continue;
    }
    std::string contents;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, got);
    std::fclose(file);
    std::fprintf(out, " %s=%lu:%08lx", std::string(name).c_str(),
                 static_cast<unsigned long>(contents.size()),
                 static_cast<unsigned long>(fnv1a(contents)));
  }
  std::fputc('\n', out);
}

inline int run_stream(PluginUnderTest& plugin, std::uint32_t seed, std::uint32_t count) {
  const char* path = std::getenv("AQUESTALK_STANDIN_LOG");
  if (path == nullptr || *path == '\0') {
    std::fprintf(stderr, "AQUESTALK_STANDIN_LOG must name the transcript\n");
    return 2;
  }
  std::FILE* out = std::fopen(path, "ab");
  if (out == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return 2;
  }
  // Whatever is written is flushed before the plug-in runs again, so that the
  // stand-in's lines land after it.
  auto note = [out](const char* text, int value) {
    std::fprintf(out, "%s %d\n", text, value);
    std::fflush(out);
  };
  const RequestStream stream(seed);
  note("load", plugin.load());
  for (std::uint32_t i = 0; i < count; ++i) {
    if (i % 1000 == 950) note("unload", plugin.unload());
    if (i % 1000 == 0 && i > 0) note("load", plugin.load());
    const std::string text = stream.request(i);
    const Answer answer = plugin.request(text);
    std::fprintf(out, "request %lu %08lx:%lu -> ", static_cast<unsigned long>(i),
                 static_cast<unsigned long>(fnv1a(text)), static_cast<unsigned long>(text.size()));
    if (answer.null) {
      std::fprintf(out, "null %ld\n", answer.length);
    } else {
      std::fprintf(out, "%ld %s\n", answer.length, escaped(answer.bytes).c_str());
    }
    if (text.find("CREATEWAV") != std::string::npos) write_file_hashes(out);
    std::fflush(out);
  }
  note("unload", plugin.unload());
  std::fclose(out);
  return 0;
}

inline int driver_main(int argc, char** argv, PluginUnderTest& plugin) {
  if (argc == 4) {
    const std::string mode = argv[1];
    const auto seed = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const auto number = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
    if (mode == "run") return run_stream(plugin, seed, number);
    if (mode == "show") {
      const std::string text = RequestStream(seed).request(number);
      std::printf("request %lu (%lu bytes): %s\n", static_cast<unsigned long>(number),
                  static_cast<unsigned long>(text.size()), escaped(text).c_str());
      return 0;
    }
  }
  std::fprintf(stderr, "usage: %s run SEED COUNT | show SEED INDEX\n", argv[0]);
  return 2;
}

}  // namespace differential
