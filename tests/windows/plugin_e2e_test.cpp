// The built saori_speech.dll driven the way a host drives it: loaded with
// LoadLibraryW, called through its three exports with GlobalAlloc blocks,
// against the stand-in engine, whose log tells what reached the engine and
// when each engine library was attached and detached.
//
// Every test loads the plug-in afresh and leaves no engine library behind, so
// the cases run alike one process each (as CTest runs them) or all in one.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/support/request_kinds.h"
#include "tests/support/windows_host.h"

namespace {

using namespace windows_host;

// ---------------------------------------------------------------------------
// Paths and texts

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The stand-in variant's directory, with the trailing backslash a host gives.
std::string variant_directory(const char* variant) {
  return windows_path(PLUGIN_E2E_STANDIN_DIR) + "\\" + variant + "\\";
}

std::string scratch_path(const std::string& name) {
  return windows_path(PLUGIN_E2E_SCRATCH_DIR) + "\\" + std::to_string(GetCurrentProcessId()) +
         "-" + name;
}

// Shift_JIS bytes of a UTF-16 text, by the system's own converter.
std::string shift_jis(const std::wstring& text) {
  const int needed = WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
  if (needed > 0) {
    WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), &out[0], needed,
                        nullptr, nullptr);
  }
  return out;
}

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

// FNV-1a 32 of the bytes, in the log's eight-digit hex.
std::string fnv1a_hex(const std::string& bytes) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : bytes) hash = (hash ^ c) * 16777619u;
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(hash));
  return text;
}

bool read_file(const std::string& path, std::string& contents) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  contents.clear();
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, got);
  std::fclose(file);
  return true;
}

void write_file(const std::string& path, const std::string& contents) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fwrite(contents.data(), 1, contents.size(), file);
  std::fclose(file);
}

bool file_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// ---------------------------------------------------------------------------
// The stand-in engine's log

std::string log_path() { return scratch_path("standin.log"); }

void clear_log() { std::remove(log_path().c_str()); }

std::vector<std::string> log_lines() {
  std::string contents;
  std::vector<std::string> lines;
  if (!read_file(log_path(), contents)) return lines;
  std::size_t start = 0;
  while (start < contents.size()) {
    std::size_t end = contents.find('\n', start);
    if (end == std::string::npos) end = contents.size();
    lines.push_back(contents.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

int count_lines(const std::string& line) {
  int count = 0;
  for (const std::string& l : log_lines()) count += l == line ? 1 : 0;
  return count;
}

int count_lines_starting(const std::string& prefix) {
  int count = 0;
  for (const std::string& l : log_lines()) count += l.rfind(prefix, 0) == 0 ? 1 : 0;
  return count;
}

std::string log_text() {
  std::string all;
  for (const std::string& l : log_lines()) all += "  " + l + "\n";
  return all;
}

// The value of "name=" in a log line, up to the next space.
std::string log_field(const std::string& line, const std::string& name) {
  const std::size_t at = line.find(" " + name + "=");
  if (at == std::string::npos) return {};
  const std::size_t begin = at + name.size() + 2;
  return line.substr(begin, line.find(' ', begin) - begin);
}

// ---------------------------------------------------------------------------
// The plug-in, as a host holds it

struct Response {
  bool null = true;
  long length = -1;
  std::string bytes;
  bool fixed = false;        // GMEM_FIXED: the handle is the pointer
  SIZE_T block_size = 0;
};

class Plugin {
 public:
  bool open() { return exports_.open(PLUGIN_E2E_PLUGIN_FILE); }

  bool is_open() const { return exports_.module != nullptr; }
  const PluginExports& exports() const { return exports_; }
  HMODULE module() const { return exports_.module; }

  // FreeLibrary of the plug-in, as a host does after unload (or without it).
  void free() {
    if (exports_.module != nullptr) FreeLibrary(exports_.module);
    exports_ = PluginExports{};
  }

  int load(const std::string& directory) {
    return load(directory, static_cast<long>(directory.size()));
  }
  int load(const std::string& directory, long length) {
    return exports_.load(block_of(directory), length);
  }
  int load_null() { return exports_.load(nullptr, 0); }
  int unload() { return exports_.unload(); }

  // Sends `block` with only its first `counted` bytes announced.
  Response request_block(const std::string& block, long counted) {
    return request_handle(block_of(block), counted);
  }

  Response request_handle(HGLOBAL block, long counted) {
    long length = counted;
    HGLOBAL answer = exports_.request(block, &length);
    return take(answer, length);
  }

  Response request(const std::string& text) {
    return request_block(text, static_cast<long>(text.size()));
  }

  Response request_null_block() {
    long length = 7;
    HGLOBAL answer = exports_.request(nullptr, &length);
    return take(answer, length);
  }

  // request with a null length pointer; true when it answered null.
  bool request_without_length(const std::string& text) {
    return exports_.request(block_of(text), nullptr) == nullptr;
  }

 private:
  static Response take(HGLOBAL answer, long length) {
    Response r;
    r.length = length;
    r.null = answer == nullptr;
    if (answer == nullptr) return r;
    // A movable block's handle is not its address: locking tells them apart.
    void* locked = GlobalLock(answer);
    r.fixed = GlobalHandle(answer) == answer && locked == answer;
    if (locked != nullptr) GlobalUnlock(answer);
    r.block_size = GlobalSize(answer);
    if (length > 0) r.bytes.assign(static_cast<const char*>(answer), static_cast<std::size_t>(length));
    GlobalFree(answer);
    return r;
  }

  PluginExports exports_;
};

// ---------------------------------------------------------------------------
// Requests and responses

const std::string ok = "SAORI/1.0 200 OK\r\n\r\n";
const std::string bad_request = "SAORI/1.0 400 Bad Request\r\n\r\n";
const std::string server_error = "SAORI/1.0 500 Internal Server Error\r\n\r\n";

std::string execute(const std::vector<std::string>& arguments, const std::string& headers = {}) {
  std::string text = "EXECUTE SAORI/1.0\r\nCharset: Shift_JIS\r\nSender: e2e\r\n" + headers;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    text += "Argument" + std::to_string(i) + ": " + arguments[i] + "\r\n";
  }
  return text + "\r\n";
}

std::string with_result(const std::string& status_line, const std::wstring& message) {
  return status_line + "\r\nResult: " + shift_jis(message) + "\r\n\r\n";
}

// Each test starts with a fresh plug-in bound to the complete stand-in and an
// empty log, and ends with the plug-in and every engine library released.
class PluginTest : public testing::Test {
 protected:
  void SetUp() override {
    clear_log();
    ASSERT_TRUE(plugin.open()) << "cannot load the plug-in (" << GetLastError() << ")";
    if (bind_on_setup) {
      ASSERT_EQ(plugin.load(variant_directory("complete")), 1);
    }
  }

  void TearDown() override {
    if (plugin.is_open()) {
      plugin.unload();
      plugin.free();
    }
    EXPECT_EQ(GetModuleHandleW(engine_file("complete", L"AquesTalk.dll").c_str()), nullptr);
    EXPECT_EQ(GetModuleHandleW(engine_file("complete", L"AquesTalkDa.dll").c_str()), nullptr);
  }

  static std::wstring engine_file(const char* variant, const wchar_t* name) {
    return widen(variant_directory(variant)) + name;
  }

  Plugin plugin;
  bool bind_on_setup = true;
};

// The plug-in is loaded, but load is left to the test.
class UnboundPluginTest : public PluginTest {
 protected:
  UnboundPluginTest() { bind_on_setup = false; }
};

struct ExactCase {
  const char* name;
  std::string request;
  std::string response;
  long length;
};

TEST_F(PluginTest, AnswersEachRequestWithExactBytesInAFixedBlock) {
  const ExactCase cases[] = {
      {"version", "GET Version SAORI/1.0\r\n\r\n", ok, 20},
      {"version with headers", "GET Version SAORI/1.0\r\nCharset: Shift_JIS\r\nSender: e2e\r\n\r\n",
       ok, 20},
      {"version with bare LF lines", "GET Version SAORI/1.0\nSender: e2e\n\n", ok, 20},
      {"version without a blank line", "GET Version SAORI/1.0", ok, 20},
      {"lower-case method", "execute SAORI/1.0\r\n\r\n", bad_request, 29},
      {"unknown method", "NOTIFY SAORI/1.0\r\nArgument0: PLAYSYNC\r\n\r\n", bad_request, 29},
      {"external request", execute({"PLAYSYNC", "x"}, "SecurityLevel: External\r\n"),
       server_error, 39},
      {"command done", execute({"PLAYSYNC", "x"}), ok, 20},
  };
  for (const ExactCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Response r = plugin.request(c.request);
    ASSERT_FALSE(r.null);
    EXPECT_EQ(r.length, c.length);
    EXPECT_EQ(r.bytes, c.response);
    EXPECT_TRUE(r.fixed);
    EXPECT_EQ(r.block_size, static_cast<SIZE_T>(c.length));
  }
}

TEST_F(PluginTest, MalformedRequestGivesNullWithZeroLength) {
  const std::pair<const char*, std::string> cases[] = {
      {"other protocol", "GET Version HTTP/1.0\r\n\r\n"},
      {"other major version", "GET Version SAORI/2.0\r\n\r\n"},
      {"no space before the protocol", "GET VersionSAORI/1.0\r\n\r\n"},
      {"protocol on the second line", "\r\nGET Version SAORI/1.0\r\n\r\n"},
      {"empty", ""},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(name);
    const Response r = plugin.request(text);
    EXPECT_TRUE(r.null);
    EXPECT_EQ(r.length, 0);
  }
  const Response r = plugin.request_null_block();
  EXPECT_TRUE(r.null);
  EXPECT_EQ(r.length, 0);
  EXPECT_TRUE(plugin.request_without_length("GET Version SAORI/1.0\r\n\r\n"));
  // The plug-in still answers afterwards.
  EXPECT_EQ(plugin.request("GET Version SAORI/1.0\r\n\r\n").bytes, ok);
}

TEST_F(PluginTest, ReadsOnlyTheCountedBytesOfTheBlock) {
  const std::string text = "EXECUTE SAORI/1.0\r\nArgument0: PLAYSYNC\r\nArgument1: abc";
  const long counted = static_cast<long>(text.size());
  // A heap of the host's own, as a C runtime's malloc has: the process heap,
  // which GlobalAlloc's blocks come from, cannot tell the size of a block of
  // another heap, so the stated length is all the plug-in has to go by.
  const HANDLE own_heap = HeapCreate(0, 0, 0);
  ASSERT_NE(own_heap, nullptr);
  struct Case {
    const char* name;
    std::string block;
    long length;
    bool own_heap = false;
  } cases[] = {
      {"a zero byte after the counted bytes", text + std::string(1, '\0'), counted},
      {"more text after the counted bytes", text + "def\r\nArgument2: 200\r\n\r\n", counted},
      // A host that overstates the length: only the block's own bytes count.
      {"a length one byte beyond the block", text, counted + 1},
      {"a length megabytes beyond the block", text, counted + 64 * 1024 * 1024},
      {"a block of a heap of the host's own", text + "def", counted, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clear_log();
    void* block = c.own_heap ? HeapAlloc(own_heap, 0, c.block.size()) : block_of(c.block);
    if (c.own_heap) std::memcpy(block, c.block.data(), c.block.size());
    const Response r = plugin.request_handle(block, c.length);
    EXPECT_EQ(r.bytes, ok);
    EXPECT_EQ(count_lines("playsync speed=100 result=0 text=" + hex("abc")), 1) << log_text();
  }
  // The plug-in could not give that block back to the process heap.
  HeapDestroy(own_heap);
}

struct LevelCase {
  const char* name;
  std::string headers;
  bool runs;
};

TEST_F(PluginTest, RunsCommandsOnlyForLocalRequests) {
  const LevelCase cases[] = {
      {"absent", "", true},
      {"lower case", "SecurityLevel: local\r\n", true},
      {"upper case", "SecurityLevel: LOCAL\r\n", true},
      {"zero byte ends the value", std::string("SecurityLevel: Local\0junk\r\n", 27), true},
      {"trailing space", "SecurityLevel: Local \r\n", false},
      {"leading space", "SecurityLevel:  Local\r\n", false},
      {"external", "SecurityLevel: External\r\n", false},
      {"prefix only", "SecurityLevel: Loca\r\n", false},
      {"a longer name is another header", "SecurityLevelX: External\r\n", true},
      {"empty", "SecurityLevel: \r\n", false},
  };
  for (const LevelCase& c : cases) {
    SCOPED_TRACE(c.name);
    clear_log();
    const Response r = plugin.request(execute({"PLAYSYNC", "level"}, c.headers));
    EXPECT_EQ(r.bytes, c.runs ? ok : server_error);
    EXPECT_EQ(count_lines_starting("playsync "), c.runs ? 1 : 0) << log_text();
  }
  // Refused requests do not reach the synthesis either.
  clear_log();
  const std::string wave = scratch_path("external.wav");
  std::remove(wave.c_str());
  EXPECT_EQ(plugin.request(execute({"CREATEWAV", wave, "x"}, "SecurityLevel: External\r\n")).bytes,
            server_error);
  EXPECT_EQ(count_lines_starting("synthe "), 0) << log_text();
  EXPECT_FALSE(file_exists(wave));
}

TEST_F(PluginTest, CreateWavWritesTheEngineBytesUnchanged) {
  const std::string wave = scratch_path("steered.wav");
  write_file(wave, std::string(5000, 'x'));  // longer than the new contents
  std::string expected;
  for (int i = 0; i < 600; ++i) expected.push_back(static_cast<char>(i % 256));
  // The bytes a text-mode write would alter or stop at.
  for (char awkward : {'\r', '\n', '\x1a', '\0'}) {
    ASSERT_NE(expected.find(awkward), std::string::npos);
  }

  EXPECT_EQ(plugin.request(execute({"CREATEWAV", wave, "#size:600", "120"})).bytes, ok);
  std::string written;
  ASSERT_TRUE(read_file(wave, written));
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected) << "first difference at "
                                   << std::mismatch(written.begin(), written.end(),
                                                    expected.begin(), expected.end())
                                              .first -
                                          written.begin();
  EXPECT_EQ(count_lines("synthe speed=120 size=600 fnv=" + fnv1a_hex(expected) +
                        " text=" + hex("#size:600")),
            1)
      << log_text();
  EXPECT_EQ(count_lines("freewave"), 1) << log_text();
  EXPECT_EQ(count_lines("freewave invalid"), 0);
  std::remove(wave.c_str());
}

TEST_F(PluginTest, CreateWavWritesTheSynthesizedWave) {
  const std::string wave = scratch_path("spoken.wav");
  const std::string text = shift_jis(L"こんにちは、ソフト表示");
  EXPECT_EQ(plugin.request(execute({"CREATEWAV", wave, text, "150"})).bytes, ok);

  std::string written;
  ASSERT_TRUE(read_file(wave, written));
  std::string synthe;
  for (const std::string& line : log_lines()) {
    if (line.rfind("synthe ", 0) == 0) synthe = line;
  }
  ASSERT_FALSE(synthe.empty()) << log_text();
  EXPECT_EQ(log_field(synthe, "speed"), "150");
  EXPECT_EQ(log_field(synthe, "text"), hex(text));
  EXPECT_EQ(log_field(synthe, "size"), std::to_string(written.size()));
  EXPECT_EQ(log_field(synthe, "fnv"), fnv1a_hex(written));
  EXPECT_GT(written.size(), 44u);
  EXPECT_EQ(written.substr(0, 4), "RIFF");
  EXPECT_EQ(count_lines("freewave"), 1) << log_text();
  std::remove(wave.c_str());
}

struct SpeedCase {
  const char* name;
  std::vector<std::string> speed;  // Argument2, when present
  const char* reaches;
};

TEST_F(PluginTest, PlaySyncHandsTextAndSpeedToTheEngine) {
  // "ソ" and "表" end in the byte 0x5C, which must stay as it is.
  const std::string text = shift_jis(L"ゆっくりソフト表示してね");
  ASSERT_NE(text.find('\\'), std::string::npos);
  const SpeedCase cases[] = {
      {"absent", {}, "100"},
      {"lowest", {"50"}, "50"},
      {"highest", {"300"}, "300"},
      {"ordinary", {"175"}, "175"},
      {"below range", {"49"}, "100"},
      {"above range", {"301"}, "100"},
      {"not a number", {"fast"}, "100"},
      {"empty", {""}, "100"},
  };
  for (const SpeedCase& c : cases) {
    SCOPED_TRACE(c.name);
    clear_log();
    std::vector<std::string> arguments{"PLAYSYNC", text};
    arguments.insert(arguments.end(), c.speed.begin(), c.speed.end());
    EXPECT_EQ(plugin.request(execute(arguments)).bytes, ok);
    EXPECT_EQ(count_lines(std::string("playsync speed=") + c.reaches + " result=0 text=" + hex(text)),
              1)
        << log_text();
  }
}

struct FailureCase {
  const char* name;
  std::vector<std::string> arguments;
  std::string status_line;
  std::wstring message;
};

TEST_F(PluginTest, FailuresAnswerWithTheirShiftJisMessage) {
  const std::string missing = scratch_path("no-such-folder\\out.wav");
  const std::string wave = scratch_path("failed.wav");
  const FailureCase cases[] = {
      {"playback error", {"PLAYSYNC", "#fail:7"}, "SAORI/1.0 400 Bad Request",
       L"エラー：PLAYSYNC：PlaySyncのエラー(7)"},
      {"negative playback error", {"PLAYSYNC", "#fail:-2", "120"}, "SAORI/1.0 400 Bad Request",
       L"エラー：PLAYSYNC：PlaySyncのエラー(-2)"},
      {"synthesis error", {"CREATEWAV", wave, "#fail:12"}, "SAORI/1.0 400 Bad Request",
       L"エラー：CREATEWAV：Syntheのエラー(12)"},
      {"negative size", {"CREATEWAV", wave, "#size:-5"}, "SAORI/1.0 400 Bad Request",
       L"エラー：CREATEWAV：Syntheのエラー(-5)"},
      {"file cannot be opened", {"CREATEWAV", missing, "x"}, "SAORI/1.0 400 Bad Request",
       L"エラー：CREATEWAV：ファイルを開くのに失敗しました"},
      {"unknown command", {"SPEAK", "x"}, "SAORI/1.0 500 Internal Server Error",
       L"エラー：不明な命令です"},
      {"no arguments", {}, "SAORI/1.0 500 Internal Server Error", L"エラー：引数がありません"},
      {"playback without text", {"PLAYSYNC"}, "SAORI/1.0 500 Internal Server Error",
       L"エラー：PLAYSYNC：PLAYSYNCには１つか２つの引数を指定してください"},
      {"synthesis without text", {"CREATEWAV", wave}, "SAORI/1.0 500 Internal Server Error",
       L"エラー：CREATEWAV：２つか３つの引数を指定してください"},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    clear_log();
    const Response r = plugin.request(execute(c.arguments));
    const std::string expected = with_result(c.status_line, c.message);
    EXPECT_EQ(hex(r.bytes), hex(expected));
    EXPECT_EQ(r.length, static_cast<long>(expected.size()));
    EXPECT_EQ(count_lines("freewave invalid"), 0) << log_text();
  }
  std::remove(wave.c_str());
}

TEST_F(PluginTest, BufferWithNegativeSizeIsGivenBackToTheEngine) {
  const std::string wave = scratch_path("negative.wav");
  plugin.request(execute({"CREATEWAV", wave, "#size:-5"}));
  EXPECT_EQ(count_lines_starting("synthe speed=100 size=-5 "), 1) << log_text();
  EXPECT_EQ(count_lines("freewave"), 1) << log_text();
  std::remove(wave.c_str());
}

// Windows refuses to delete a file that is still open, so a file the
// plug-in forgot to close shows here.
TEST_F(PluginTest, OutputFileIsClosedOnEveryPath) {
  const std::string wave = scratch_path("closed.wav");
  for (const char* text : {"#fail:4", "#size:-5", "#size:0", "#size:3000"}) {
    SCOPED_TRACE(text);
    write_file(wave, "old");
    plugin.request(execute({"CREATEWAV", wave, text}));
    EXPECT_TRUE(DeleteFileA(wave.c_str())) << GetLastError();
  }
}

TEST_F(UnboundPluginTest, CommandsWithoutAnEngineAreRefused) {
  ASSERT_EQ(plugin.load(variant_directory("no-playsync")), 0);
  const std::string wave = scratch_path("unbound.wav");
  std::remove(wave.c_str());
  clear_log();
  EXPECT_EQ(plugin.request(execute({"PLAYSYNC", "x"})).bytes,
            with_result("SAORI/1.0 400 Bad Request",
                        L"エラー：PLAYSYNC：音声エンジンが読み込まれていません"));
  EXPECT_EQ(plugin.request(execute({"CREATEWAV", wave, "x"})).bytes,
            with_result("SAORI/1.0 400 Bad Request",
                        L"エラー：CREATEWAV：音声エンジンが読み込まれていません"));
  EXPECT_FALSE(file_exists(wave));
  EXPECT_TRUE(log_lines().empty()) << log_text();

  // After unload a bound plug-in refuses the same way.
  ASSERT_EQ(plugin.load(variant_directory("complete")), 1);
  EXPECT_EQ(plugin.unload(), 1);
  EXPECT_EQ(plugin.request(execute({"PLAYSYNC", "x"})).bytes,
            with_result("SAORI/1.0 400 Bad Request",
                        L"エラー：PLAYSYNC：音声エンジンが読み込まれていません"));
}

struct VariantCase {
  const char* variant;
  int answer;
};

TEST_F(UnboundPluginTest, LoadAnswersWhetherTheWholeEngineBound) {
  const VariantCase cases[] = {
      {"complete", 1},          {"no-synthesis-library", 0}, {"no-synthe", 0},
      {"no-freewave", 0},       {"no-playback-library", 0},  {"no-playsync", 0},
  };
  for (const VariantCase& c : cases) {
    SCOPED_TRACE(c.variant);
    clear_log();
    EXPECT_EQ(plugin.load(variant_directory(c.variant)), c.answer);
    for (const char* library : {"AquesTalk.dll", "AquesTalkDa.dll"}) {
      const int attached = count_lines(std::string("attach ") + library);
      const int detached = count_lines(std::string("detach ") + library);
      // A failed load keeps nothing; a bound engine holds both libraries.
      EXPECT_LE(attached, 1) << library << "\n" << log_text();
      EXPECT_EQ(detached, c.answer == 1 ? 0 : attached) << library << "\n" << log_text();
      if (c.answer == 1) {
        EXPECT_EQ(attached, 1) << library << "\n" << log_text();
      }
    }
    EXPECT_EQ(plugin.unload(), 1);
    EXPECT_EQ(count_lines("attach AquesTalk.dll"), count_lines("detach AquesTalk.dll"));
    EXPECT_EQ(count_lines("attach AquesTalkDa.dll"), count_lines("detach AquesTalkDa.dll"));
  }
}

TEST_F(UnboundPluginTest, DirectoryIsJoinedToTheFileNamesAsGiven) {
  std::string without_separator = variant_directory("complete");
  without_separator.pop_back();
  EXPECT_EQ(plugin.load(without_separator), 0);
  EXPECT_EQ(plugin.load(""), 0);
  EXPECT_EQ(plugin.load(variant_directory("complete")), 1);
  // A length beyond the block: the folder is the block's bytes, no more.
  const std::string directory = variant_directory("complete");
  EXPECT_EQ(plugin.load(directory, static_cast<long>(directory.size()) + 1), 1);
  EXPECT_EQ(plugin.unload(), 1);
}

TEST_F(UnboundPluginTest, NullBlockKeepsTheEarlierDirectory) {
  EXPECT_EQ(plugin.load_null(), 0);  // nothing given yet
  EXPECT_EQ(plugin.load(variant_directory("complete")), 1);
  EXPECT_EQ(plugin.unload(), 1);
  EXPECT_EQ(plugin.load_null(), 1);
  EXPECT_EQ(plugin.request(execute({"PLAYSYNC", "again"})).bytes, ok);
  EXPECT_EQ(plugin.load(variant_directory("no-playsync")), 0);
  EXPECT_EQ(plugin.load_null(), 0);
  EXPECT_EQ(plugin.unload(), 1);
}

TEST_F(PluginTest, FreeingThePluginWithoutUnloadReleasesTheEngine) {
  plugin.free();
  EXPECT_EQ(count_lines("detach AquesTalk.dll"), 1) << log_text();
  EXPECT_EQ(count_lines("detach AquesTalkDa.dll"), 1) << log_text();
  EXPECT_EQ(count_lines("attach AquesTalk.dll"), 1) << log_text();
  EXPECT_EQ(count_lines("attach AquesTalkDa.dll"), 1) << log_text();
}

struct ReleaseCase {
  const char* name;
  std::vector<const char*> steps;  // "load", "unload", "free"
};

// The test holds its own reference to each engine library, so a surplus
// FreeLibrary by the plug-in would detach a library the test still holds.
TEST_F(UnboundPluginTest, EachLibraryIsGivenBackExactlyOnce) {
  const ReleaseCase cases[] = {
      {"unload, then free", {"load", "unload", "free"}},
      {"free without unload", {"load", "free"}},
      {"unload twice", {"load", "unload", "unload", "free"}},
      {"load twice", {"load", "load", "unload", "free"}},
      {"load twice, free without unload", {"load", "load", "free"}},
      {"failed load after a bound one", {"load", "fail", "unload", "free"}},
  };
  for (const ReleaseCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (!plugin.is_open()) {
      ASSERT_TRUE(plugin.open());
    }
    HMODULE held[] = {LoadLibraryW(engine_file("complete", L"AquesTalk.dll").c_str()),
                      LoadLibraryW(engine_file("complete", L"AquesTalkDa.dll").c_str())};
    ASSERT_NE(held[0], nullptr);
    ASSERT_NE(held[1], nullptr);
    clear_log();
    for (const std::string step : c.steps) {
      if (step == "load") {
        EXPECT_EQ(plugin.load(variant_directory("complete")), 1);
      } else if (step == "fail") {
        // Nothing to be found there, so the log shows only the complete engine.
        std::string nowhere = variant_directory("complete");
        nowhere.pop_back();
        EXPECT_EQ(plugin.load(nowhere), 0);
      } else if (step == "unload") {
        EXPECT_EQ(plugin.unload(), 1);
      } else {
        plugin.free();
      }
    }
    EXPECT_EQ(count_lines("detach AquesTalk.dll"), 0) << log_text();
    EXPECT_EQ(count_lines("detach AquesTalkDa.dll"), 0) << log_text();
    EXPECT_EQ(GetModuleHandleW(engine_file("complete", L"AquesTalk.dll").c_str()), held[0]);
    EXPECT_EQ(GetModuleHandleW(engine_file("complete", L"AquesTalkDa.dll").c_str()), held[1]);

    FreeLibrary(held[0]);
    FreeLibrary(held[1]);
    EXPECT_EQ(count_lines("detach AquesTalk.dll"), 1) << log_text();
    EXPECT_EQ(count_lines("detach AquesTalkDa.dll"), 1) << log_text();
  }
}

// ---------------------------------------------------------------------------
// What the plug-in asks of the heap

// Calls the plug-in makes through its import table to the C runtime's
// allocator (operator new ends there too) and to the global memory
// functions. The engine and the test itself have import tables of their own
// and are not counted.
struct HeapCalls {
  long c_runtime = 0;
  long global_alloc = 0;
  long global_free = 0;
};
HeapCalls heap_calls;

void* (__cdecl* real_malloc)(size_t);
void* (__cdecl* real_calloc)(size_t, size_t);
void* (__cdecl* real_realloc)(void*, size_t);
void* (__cdecl* real_aligned_malloc)(size_t, size_t);
HGLOBAL(WINAPI* real_global_alloc)(UINT, SIZE_T);
HGLOBAL(WINAPI* real_global_free)(HGLOBAL);

void(__cdecl* real_free)(void*);
void(__cdecl* real_aligned_free)(void*);

// Bytes the plug-in holds from the C runtime's heap, and their peak.
std::map<void*, std::size_t> heap_blocks;
long long heap_live = 0;
long long heap_peak = 0;
void* held(void* block, std::size_t size) {
  if (block == nullptr) return block;
  heap_blocks[block] = size;
  heap_live += static_cast<long long>(size);
  if (heap_live > heap_peak) heap_peak = heap_live;
  return block;
}
void let_go(void* block) {
  const auto found = heap_blocks.find(block);
  if (found == heap_blocks.end()) return;
  heap_live -= static_cast<long long>(found->second);
  heap_blocks.erase(found);
}

void* __cdecl counted_malloc(size_t size) {
  ++heap_calls.c_runtime;
  return held(real_malloc(size), size);
}
void* __cdecl counted_calloc(size_t count, size_t size) {
  ++heap_calls.c_runtime;
  return held(real_calloc(count, size), count * size);
}
void* __cdecl counted_realloc(void* block, size_t size) {
  ++heap_calls.c_runtime;
  let_go(block);
  return held(real_realloc(block, size), size);
}
void* __cdecl counted_aligned_malloc(size_t size, size_t alignment) {
  ++heap_calls.c_runtime;
  return held(real_aligned_malloc(size, alignment), size);
}
void __cdecl counted_free(void* block) {
  let_go(block);
  real_free(block);
}
void __cdecl counted_aligned_free(void* block) {
  let_go(block);
  real_aligned_free(block);
}
HGLOBAL WINAPI counted_global_alloc(UINT flags, SIZE_T size) {
  ++heap_calls.global_alloc;
  return real_global_alloc(flags, size);
}
HGLOBAL WINAPI counted_global_free(HGLOBAL block) {
  ++heap_calls.global_free;
  return real_global_free(block);
}

// Points the module's import of `name` at `replacement`; returns the entry
// it held, or null when the module does not import that name.
void* hook_import(HMODULE module, const char* name, void* replacement) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
  for (; import->Name != 0; ++import) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), name) != 0) continue;
      DWORD protection;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
      void* original = reinterpret_cast<void*>(slots->u1.Function);
      slots->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      return original;
    }
  }
  return nullptr;
}

template <typename Function>
void hook(HMODULE module, const char* name, Function replacement, Function& original) {
  if (void* entry = hook_import(module, name, reinterpret_cast<void*>(replacement))) {
    original = reinterpret_cast<Function>(entry);
  }
}

void count_heap_calls(HMODULE plugin) {
  hook(plugin, "malloc", counted_malloc, real_malloc);
  hook(plugin, "calloc", counted_calloc, real_calloc);
  hook(plugin, "realloc", counted_realloc, real_realloc);
  hook(plugin, "free", counted_free, real_free);
  hook(plugin, "_aligned_free", counted_aligned_free, real_aligned_free);
  hook(plugin, "_aligned_malloc", counted_aligned_malloc, real_aligned_malloc);
  hook(plugin, "GlobalAlloc", counted_global_alloc, real_global_alloc);
  hook(plugin, "GlobalFree", counted_global_free, real_global_free);
}

std::string long_text(std::size_t size) {
  std::string text;
  while (text.size() < size) text += shift_jis(L"あいうえおかきくけこ");
  return text.substr(0, size);
}

std::string many_headers(std::size_t size) {
  std::string lines;
  for (int i = 0; lines.size() < size; ++i) lines += "X-Header" + std::to_string(i % 40) + ": v\r\n";
  return lines;
}

std::string many_arguments(std::size_t size) {
  std::vector<std::string> arguments{"PLAYSYNC", "a", "120"};
  for (std::size_t total = 0; total < size; total += 16) arguments.push_back("unused");
  return execute(arguments);
}

struct HeapCase {
  const char* name;
  std::string request;
  std::string response;
};

// A request of a few KiB is answered from the plug-in's own stack: the only
// heap work is freeing the host's block and allocating the response block.
TEST_F(PluginTest, RequestsOfAFewKilobytesUseNoHeap) {
  count_heap_calls(plugin.module());
  ASSERT_NE(real_malloc, nullptr) << "the plug-in does not import malloc";
  ASSERT_NE(real_global_alloc, nullptr);
  const std::string wave = scratch_path("heap.wav");
  const HeapCase cases[] = {
      {"version", "GET Version SAORI/1.0\r\nCharset: Shift_JIS\r\nSender: e2e\r\n\r\n", ok},
      {"typical", execute({"PLAYSYNC", shift_jis(L"こんにちは"), "120"}), ok},
      {"engine error", execute({"PLAYSYNC", "#fail:3"}),
       with_result("SAORI/1.0 400 Bad Request", L"エラー：PLAYSYNC：PlaySyncのエラー(3)")},
      {"synthesis", execute({"CREATEWAV", wave, "#size:100"}), ok},
      {"unknown command", execute({"SING"}),
       with_result("SAORI/1.0 500 Internal Server Error", L"エラー：不明な命令です")},
      {"4 KiB text", execute({"PLAYSYNC", long_text(4096)}), ok},
      {"4 KiB of headers", execute({"PLAYSYNC", "a"}, many_headers(4096)), ok},
      {"4 KiB of arguments", many_arguments(4096), ok},
  };
  for (const HeapCase& c : cases) {
    SCOPED_TRACE(c.name);
    heap_calls = {};
    EXPECT_EQ(hex(plugin.request(c.request).bytes), hex(c.response));
    EXPECT_EQ(heap_calls.c_runtime, 0);
    EXPECT_EQ(heap_calls.global_alloc, 1);
    EXPECT_EQ(heap_calls.global_free, 1);
  }
  // Beyond that the heap takes over, and the answer is the same.
  heap_calls = {};
  EXPECT_EQ(plugin.request(execute({"PLAYSYNC", long_text(64 * 1024)})).bytes, ok);
  EXPECT_GT(heap_calls.c_runtime, 0);

  // The largest request that still needs no heap, for the record.
  std::size_t fits = 0;
  for (std::size_t size = 1024; size <= 32 * 1024; size += 64) {
    const std::string text = execute({"PLAYSYNC", long_text(size)});
    heap_calls = {};
    plugin.request(text);
    if (heap_calls.c_runtime != 0) break;
    fits = text.size();
  }
  std::printf("largest PLAYSYNC request answered without heap: %u bytes\n",
              static_cast<unsigned>(fits));
  std::remove(wave.c_str());
}

// A folder of its own holding copies of the complete stand-in, so that the
// voice folder VOICE makes beside the plug-in's folder is the test's.
std::string engine_copy(const std::string& name) {
  const std::string directory = scratch_path(name) + "\\";
  engine_folder(directory, variant_directory("complete"));
  return directory;
}

TEST_F(UnboundPluginTest, VoicePassesOverAHeldFileAndNamesAFolderItCannotMake) {
  // "]" in the folder's name is written "\]" in the tag.
  const std::string directory = engine_copy("voice]");
  const std::string folder = directory + "voice\\";
  std::string tag_folder = folder;
  tag_folder.insert(tag_folder.find(']'), "\\");
  ASSERT_EQ(plugin.load(directory), 1);
  count_heap_calls(plugin.module());
  heap_calls = {};
  const std::string text = shift_jis(L"こんにちは");
  const auto answer = [](const std::string& tag) {
    return "SAORI/1.0 200 OK\r\nResult: \\_v[" + tag + "]\r\n\r\n";
  };
  EXPECT_EQ(plugin.request(execute({"VOICE", text})).bytes, answer(tag_folder + "speech_1.wav"));
  // Reading and making the folder too comes from the plug-in's own stack.
  EXPECT_EQ(heap_calls.c_runtime, 0);
  // The next name held open with no sharing, as a baseware playing it may.
  const HANDLE held = CreateFileA((folder + "speech_2.wav").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(plugin.request(execute({"VOICE", text, "150"})).bytes,
            answer(tag_folder + "speech_3.wav"));
  CloseHandle(held);
  std::string wave;
  ASSERT_TRUE(read_file(folder + "speech_3.wav", wave));
  EXPECT_EQ(count_lines_starting("synthe speed=150 size=" + std::to_string(wave.size()) +
                                 " fnv=" + fnv1a_hex(wave) + " text=" + hex(text)),
            1)
      << log_text();
  EXPECT_TRUE(DeleteFileA((folder + "speech_3.wav").c_str())) << "still open";
  // A file of the next name that nobody holds is not replaced either.
  write_file(folder + "speech_4.wav", "not ours");
  EXPECT_EQ(plugin.request(execute({"VOICE", text})).bytes, answer(tag_folder + "speech_5.wav"));
  ASSERT_TRUE(read_file(folder + "speech_4.wav", wave));
  EXPECT_EQ(wave, "not ours");
  EXPECT_EQ(plugin.unload(), 1);

  // A file where the folder would be: it cannot be made.
  const std::string blocked = engine_copy("voice-blocked");
  write_file(blocked + "voice", "a file");
  ASSERT_EQ(plugin.load(blocked), 1);
  EXPECT_EQ(hex(plugin.request(execute({"VOICE", text})).bytes),
            hex("SAORI/1.0 400 Bad Request\r\nResult: " + shift_jis(L"エラー：VOICE：フォルダ「") +
                blocked + "voice\\" + shift_jis(L"」を作るのに失敗しました") + "\r\n\r\n"));
  EXPECT_EQ(plugin.unload(), 1);
}

// Whatever the lines of a large request, the plug-in holds at most 2.5
// bytes per request byte while it answers it (its copy of the request and
// its argument list included): the argument list's growth rule keeps it
// near 2.2, where plain doubling would pass 2.5.
TEST_F(PluginTest, LargeRequestsTakeAtMostTwoAndAHalfTimesTheirSize) {
  count_heap_calls(plugin.module());
  ASSERT_NE(real_free, nullptr) << "the plug-in does not import free";
  // A little over 3 MiB: the shortest argument lines then just pass 2^18 in
  // number, where a list that doubled as it grew would hold three times
  // what they need.
  const std::size_t size = (3 << 20) + (2 << 10);
  for (const request_kinds::Kind& kind : request_kinds::kinds) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, size);
    ASSERT_NE(block, nullptr);
    long length =
        static_cast<long>(request_kinds::write_request(kind, static_cast<char*>(block), size));
    const long request_length = length;
    heap_peak = heap_live;
    const long long before = heap_live;
    HGLOBAL answer = plugin.exports().request(block, &length);
    const double per_byte = static_cast<double>(heap_peak - before) / request_length;
    std::printf("%-20s %5ld KiB: %.2f heap bytes per request byte\n", kind.name,
                request_length >> 10, per_byte);
    EXPECT_NE(answer, nullptr) << kind.name;
    EXPECT_LE(per_byte, 2.5) << kind.name;
    EXPECT_EQ(heap_live, before) << kind.name;
    if (answer != nullptr) GlobalFree(answer);
  }
}

// Busy blocks over every heap of the process.
long busy_heap_blocks() {
  HANDLE heaps[256];
  const DWORD count = GetProcessHeaps(256, heaps);
  long busy = 0;
  for (DWORD i = 0; i < count && i < 256; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY e{};
    while (HeapWalk(heaps[i], &e)) {
      if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++busy;
    }
    HeapUnlock(heaps[i]);
  }
  return busy;
}

SIZE_T private_bytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  return counters.PrivateUsage > counters.PagefileUsage ? counters.PrivateUsage
                                                        : counters.PagefileUsage;
}

TEST_F(PluginTest, RequestsLeaveNoMemoryBehind) {
  // Each request carries 4 KiB, so a block kept per request shows plainly.
  const std::string padding = "X-Padding: " + std::string(4096, 'p') + "\r\n";
  const std::string requests[] = {
      "GET Version SAORI/1.0\r\n" + padding + "\r\n",
      execute({"NONE", "x"}, padding),
      execute({"PLAYSYNC", "x"}, "SecurityLevel: External\r\n" + padding),
      "GET Version HTTP/1.0\r\n" + padding + "\r\n",
  };
  auto run = [&](int count) {
    for (int i = 0; i < count; ++i) plugin.request(requests[i % 4]);
  };
  run(2000);  // the heaps settle first
  const long blocks_before = busy_heap_blocks();
  const SIZE_T bytes_before = private_bytes();
  run(20000);
  const long blocks_after = busy_heap_blocks();
  const SIZE_T bytes_after = private_bytes();
  // A leak of one block per request would be 20000 blocks and 80 MB.
  EXPECT_LT(blocks_after - blocks_before, 200) << blocks_before << " -> " << blocks_after;
  EXPECT_LT(bytes_after, bytes_before + 16 * 1024 * 1024) << bytes_before << " -> " << bytes_after;
}

TEST_F(UnboundPluginTest, LoadBlocksAreFreed) {
  // A directory where nothing is found, so each load is quick and fails.
  const std::string directory = "Z:\\" + std::string(4096, 'd') + "\\";
  for (int i = 0; i < 200; ++i) EXPECT_EQ(plugin.load(directory), 0);
  const long blocks_before = busy_heap_blocks();
  for (int i = 0; i < 2000; ++i) plugin.load(directory);
  const long blocks_after = busy_heap_blocks();
  EXPECT_LT(blocks_after - blocks_before, 200) << blocks_before << " -> " << blocks_after;
}

}  // namespace

int main(int argc, char** argv) {
  CreateDirectoryA(windows_path(PLUGIN_E2E_SCRATCH_DIR).c_str(), nullptr);
  // The stand-in reads the variable through the C runtime, which keeps its
  // own copy of the environment: set both.
  const std::string setting = "AQUESTALK_STANDIN_LOG=" + log_path();
  _putenv(setting.c_str());
  SetEnvironmentVariableA("AQUESTALK_STANDIN_LOG", log_path().c_str());
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
