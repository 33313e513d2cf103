// speech-check: tells a ghost author, in one step and in plain words, whether
// the plug-in in a folder can load its speech engine, and if not, why.
//
// The engine is tried by the plug-in's own binding code (bind_engine), run
// here against the system's loader through a recording loader, so the paths,
// file names and entry-point names in the report are the ones the plug-in
// uses. Then the plug-in itself is loaded as a host loads it and asked what
// its load answers, and optionally to speak or to write one text.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "engine/engine_binding.h"
#include "platform/dynamic_library.h"
#include "tools/pe_image.h"
#include "tools/plugin_search.h"
#include "tools/speech_check_texts.h"
#include "tools/tool_support.h"
#include "tools/tools.h"

#ifndef SPEECH_CHECK_PLUGIN_FILE
#error "SPEECH_CHECK_PLUGIN_FILE must name the plug-in's DLL"
#endif
#ifndef SPEECH_CHECK_PRODUCT_NAME
#error "SPEECH_CHECK_PRODUCT_NAME must be the product name in the plug-in's version resource"
#endif

namespace speech_check {
namespace {

// One status per kind of problem; with several, the first one reported.
enum ExitCode : int {
  exit_success = 0,
  exit_failure = 1,             // the report could not be written, no memory
  exit_usage = 2,
  exit_plugin = 3,              // the plug-in is missing, refused, or no plug-in
  exit_library_missing = 4,
  exit_not_32_bit_dll = 5,      // not a DLL, or one for another processor
  exit_library_refused = 6,
  exit_entry_point_missing = 7,
  exit_plugin_not_ready = 8,    // load answered 0 or GET Version was no 200
  exit_command_failed = 9,      // the --play or --wav command answered an error
};

constexpr UINT shift_jis = 932;

// Each finding goes out as soon as it is made, one line.
class Report {
 public:
  explicit Report(bool english) : english_(english) {}

  bool english() const { return english_; }
  int status() const { return status_; }
  bool output_failed() const { return output_failed_; }

  void line(Text text, std::initializer_list<std::wstring> values = {}) {
    // A console shows UTF-16 whatever its code page; a file or pipe gets
    // Shift_JIS, the code page of the Japanese texts.
    if (!tool::write_text(GetStdHandle(STD_OUTPUT_HANDLE), say(text, english_, values) + L"\r\n",
                          shift_jis)) {
      output_failed_ = true;
    }
  }

  void problem(ExitCode status, Text text, std::initializer_list<std::wstring> values = {}) {
    if (status_ == exit_success) status_ = status;
    line(text, values);
  }

  std::wstring joined(const std::vector<std::wstring>& names) const {
    std::wstring out;
    for (const std::wstring& name : names) out += (out.empty() ? L"" : english_ ? L", " : L"、") + name;
    return out;
  }

 private:
  bool english_;
  int status_ = exit_success;
  bool output_failed_ = false;
};

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The plug-in's binding, recorded ----------------------------------------

void never_called() {}

// The system's loader with every open and resolve recorded, with its result
// and the error Windows gave. Where the plug-in's binding would stop at the
// first failure, this one hands back a stand-in handle or entry point (never
// used), so that bind_engine goes on and every library and entry point it
// needs is tried and gets its own finding.
class RecordingLibraries final : public saori::DynamicLibraries {
 public:
  struct Opening {
    std::wstring path;
    HMODULE module;  // null when Windows refused it
    DWORD error;
    std::vector<std::pair<std::string, bool>> entry_points;  // name, found
  };
  std::vector<Opening> openings;
  int held = 0;  // loads not yet given back

  int to_wide(const char* bytes, int length, char16_t* out, int capacity) override {
    return system_.to_wide(bytes, length, out, capacity);
  }

  saori::LibraryHandle open(const char16_t* path) override {
    SetLastError(ERROR_SUCCESS);
    saori::LibraryHandle library = system_.open(path);
    const DWORD error = GetLastError();
    openings.push_back({reinterpret_cast<const wchar_t*>(path), static_cast<HMODULE>(library), error, {}});
    if (library != nullptr) {
      ++held;
      return library;
    }
    return stand_in(openings.size() - 1);
  }

  saori::EntryPoint resolve(saori::LibraryHandle library, const char* name) override {
    for (std::size_t k = 0; k < openings.size(); ++k) {
      Opening& opening = openings[k];
      if (opening.module == nullptr && library == stand_in(k)) break;  // not loaded: not tried
      if (opening.module != nullptr && opening.module == library) {
        const saori::EntryPoint entry = system_.resolve(library, name);
        opening.entry_points.emplace_back(name, entry != nullptr);
        if (entry != nullptr) return entry;
        break;
      }
    }
    return &never_called;
  }

  void close(saori::LibraryHandle library) override {
    for (const Opening& opening : openings) {
      if (opening.module != nullptr && opening.module == library) {
        system_.close(library);
        --held;
        return;
      }
    }
  }

 private:
  // A distinct address per refused library, inside this program's data,
  // which no loaded module's handle can equal.
  saori::LibraryHandle stand_in(std::size_t index) {
    return &stand_ins_[std::min(index, sizeof stand_ins_ - 1)];
  }

  saori::DynamicLibraries& system_ = saori::system_libraries();
  char stand_ins_[8] = {};
};

// Files -------------------------------------------------------------------

bool is_file(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool is_folder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The names in `folder` matching `pattern`, files or folders, sorted.
std::vector<std::wstring> names_in(const std::wstring& folder, const std::wstring& pattern, bool folders) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    const bool folder_entry = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder_entry == folders && name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// The folder holding `folder`, both ending in a backslash; empty for a
// drive's root.
std::wstring folder_above(const std::wstring& folder) {
  const std::size_t last = folder.size() < 2 ? std::wstring::npos : folder.find_last_of(L'\\', folder.size() - 2);
  return last == std::wstring::npos ? std::wstring() : folder.substr(0, last + 1);
}

bool read_file(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  // An engine library is far smaller; a larger file is no library of it.
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= (64 << 20);
  if (ok) {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    ok = bytes.empty() || (ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                           got == bytes.size());
  }
  CloseHandle(file);
  return ok;
}

PeImage read_image(const std::wstring& path) {
  std::string bytes;
  if (!read_file(path, bytes)) return {};
  return read_pe_image(bytes.data(), bytes.size());
}

// An imported DLL that neither a loaded module nor the system's search
// finds. The search is the one for a program started from here; a host's
// folder may hold what this one lacks.
bool cannot_be_found(const std::string& dll) {
  const std::wstring name = widen(dll);
  if (name.compare(0, 7, L"api-ms-") == 0 || name.compare(0, 7, L"ext-ms-") == 0) return false;
  if (GetModuleHandleW(name.c_str()) != nullptr) return false;
  wchar_t found[MAX_PATH];
  return SearchPathW(nullptr, name.c_str(), nullptr, MAX_PATH, found, nullptr) == 0;
}

// The system's own words for an error, in the report's language if it has
// them.
void report_system_text(Report& report, DWORD error) {
  const DWORD language = report.english() ? MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)
                                          : MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
  const std::wstring system = tool::system_text(error, language);
  if (!system.empty()) report.line(Text::system_says, {system});
}

// The engine ---------------------------------------------------------------

// Whether `text` begins with `start`, letter case aside.
bool begins_with(const std::wstring& text, const std::wstring& start) {
  return text.size() >= start.size() &&
         CompareStringOrdinal(text.c_str(), static_cast<int>(start.size()), start.c_str(),
                              static_cast<int>(start.size()), TRUE) == CSTR_EQUAL;
}

// Whether `text` holds `part`, letter case aside.
bool holds(const std::wstring& text, const std::wstring& part) {
  for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
    if (begins_with(text.substr(at), part)) return true;
  }
  return false;
}

// What is in the folder instead of a missing library: files named as the
// library with something added ("AquesTalk (1).dll", "AquesTalk.dll.txt"),
// but not another library of the engine under such a name, and the library
// in the folder one above (the plug-in moved into saori\ without it) or in
// a folder one below.
void report_instead(Report& report, const std::wstring& folder, const std::wstring& name,
                    const std::vector<std::wstring>& engine_names) {
  const std::size_t dot = name.rfind(L'.');
  const std::wstring base = name.substr(0, dot);
  const std::wstring extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
  for (const std::wstring& similar : names_in(folder, base + L"*", false)) {
    const bool another = std::any_of(engine_names.begin(), engine_names.end(), [&](const std::wstring& own) {
      const std::wstring own_base = own.substr(0, own.rfind(L'.'));
      return CompareStringOrdinal(own.c_str(), -1, similar.c_str(), -1, TRUE) == CSTR_EQUAL ||
             (own_base.size() > base.size() && begins_with(similar, own_base));
    });
    if (!another && holds(similar.substr(base.size()), extension)) {
      report.line(Text::similar_name, {similar, name});
    }
  }
  const std::wstring above = folder_above(folder);
  if (!above.empty() && is_file(above + name)) report.line(Text::one_folder_above, {above + name});
  for (const std::wstring& below : names_in(folder, L"*", true)) {
    if (is_file(folder + below + L"\\" + name)) report.line(Text::one_folder_below, {below + L"\\" + name});
  }
}

void report_refused(Report& report, const RecordingLibraries::Opening& opening, const std::wstring& name,
                    const std::wstring& folder, const std::vector<std::wstring>& engine_names) {
  if (!is_file(opening.path)) {
    report.problem(exit_library_missing, Text::library_missing, {name});
    report_instead(report, folder, name, engine_names);
    return;
  }
  const PeImage image = read_image(opening.path);
  switch (image.kind) {
    case PeImage::not_a_dll: report.problem(exit_not_32_bit_dll, Text::not_a_dll, {name}); return;
    case PeImage::bits_64: report.problem(exit_not_32_bit_dll, Text::dll_64_bit, {name}); return;
    case PeImage::other_processor:
      report.problem(exit_not_32_bit_dll, Text::dll_other_processor, {name});
      return;
    case PeImage::x86: break;
  }
  report.problem(exit_library_refused, Text::load_refused, {name, std::to_wstring(opening.error)});
  report_system_text(report, opening.error);
  for (const std::string& dll : image.imports) {
    if (cannot_be_found(dll)) report.line(Text::missing_dependency, {name, widen(dll)});
  }
}

// Binds the engine as the plug-in does, from `directory` (the bytes a host
// passes to load), reports on each library, and gives everything back.
void check_engine(Report& report, const std::string& directory, const std::wstring& folder) {
  RecordingLibraries libraries;
  saori::EngineBinding binding;
  const std::u16string wide = saori::to_wide_directory(libraries, directory);
  saori::bind_engine(binding, libraries, directory);
  saori::release_engine(binding, libraries);

  std::vector<std::wstring> names;
  for (const RecordingLibraries::Opening& opening : libraries.openings) {
    names.push_back(opening.path.substr(std::min(wide.size(), opening.path.size())));
  }
  for (std::size_t k = 0; k < libraries.openings.size(); ++k) {
    const RecordingLibraries::Opening& opening = libraries.openings[k];
    const std::wstring& name = names[k];
    report.line(Text::library_path, {name, opening.path});
    if (opening.module == nullptr) {
      report_refused(report, opening, name, folder, names);
      continue;
    }
    std::vector<std::wstring> found;
    for (const auto& [entry, present] : opening.entry_points) {
      if (present) {
        found.push_back(widen(entry));
      } else {
        report.problem(exit_entry_point_missing, Text::entry_point_missing, {name, widen(entry)});
      }
    }
    if (found.size() == opening.entry_points.size()) report.line(Text::library_bound, {name, report.joined(found)});
  }
}

// The plug-in ----------------------------------------------------------------

// The plug-in is told from any other DLL by what only it carries: its
// version resource, with the original file name and the product name its
// build writes. A ghost's script engine (every SHIORI) exports load,
// request and unload as the plug-in does, and sits in the same folder; a
// renamed plug-in keeps its resource. The resource is read as data (the
// system maps the file without running any of its code).
std::wstring version_value(const std::vector<char>& data, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr) {
    return {};
  }
  return std::wstring(value, std::find(value, value + length, L'\0'));
}

// The plug-in's version, or empty when the file is not the plug-in. Its
// resource takes a few hundred bytes; a far larger one is another file's.
std::wstring plugin_version(const std::wstring& path) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size > 64 * 1024) size = 0;
  std::vector<char> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      length < sizeof *info || version_value(data, L"OriginalFilename") != widen(SPEECH_CHECK_PLUGIN_FILE) ||
      version_value(data, L"ProductName") != widen(SPEECH_CHECK_PRODUCT_NAME)) {
    return {};
  }
  std::wstring version = std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
                         std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
                         std::to_wstring(HIWORD(info->dwFileVersionLS));
  if (LOWORD(info->dwFileVersionLS) != 0) version += L"." + std::to_wstring(LOWORD(info->dwFileVersionLS));
  return version;
}

struct Command {
  std::vector<std::wstring> arguments;  // empty: no command asked for
};

struct Answer {
  bool received = false;
  std::string bytes;
};

Answer ask(tool::RequestEntry request, const std::string& text) {
  Answer answer;
  HGLOBAL block = tool::host_block(text);
  if (block == nullptr) throw std::bad_alloc();
  long length = static_cast<long>(text.size());
  HGLOBAL response = request(block, &length);
  if (response == nullptr) return answer;
  if (length >= 0 && static_cast<SIZE_T>(length) <= GlobalSize(response)) {
    answer.received = true;
    answer.bytes.assign(static_cast<const char*>(static_cast<const void*>(response)),
                        static_cast<std::size_t>(length));
  }
  GlobalFree(response);
  return answer;
}

// A request as a script sends it through its host: Shift_JIS texts, the
// output path in the system's code page, as the plug-in reads paths.
std::string request_text(const std::string& method, const std::vector<std::wstring>& arguments) {
  std::string text = method + " SAORI/1.0\r\nSender: speech-check\r\nSecurityLevel: Local\r\nCharset: Shift_JIS\r\n";
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    const bool path = k == 1 && arguments[0] == L"CREATEWAV";
    text += "Argument" + std::to_string(k) + ": " + tool::encode(arguments[k], path ? CP_ACP : shift_jis) + "\r\n";
  }
  return text + "\r\n";
}

// The value of the answer's Result line, as a script receives it.
std::wstring result_of(const std::string& answer) {
  const std::size_t start = answer.find("\r\nResult: ");
  if (start == std::string::npos) return {};
  const std::size_t value = start + 10;
  return tool::decode(answer.substr(value, answer.find("\r\n", value) - value), shift_jis);
}

std::wstring first_line(const std::string& answer) {
  return tool::decode(answer.substr(0, answer.find("\r\n")), shift_jis);
}

void check_plugin(Report& report, const std::wstring& path, const std::string& directory, const Command& command) {
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) {
    const DWORD error = GetLastError();
    report.problem(exit_plugin, Text::plugin_not_loaded, {path, std::to_wstring(error)});
    report_system_text(report, error);
    return;
  }
  const auto load = tool::entry_point<tool::LoadEntry>(module, "load");
  const auto request = tool::entry_point<tool::RequestEntry>(module, "request");
  const auto unload = tool::entry_point<tool::UnloadEntry>(module, "unload");
  if (load == nullptr || request == nullptr || unload == nullptr) {
    report.problem(exit_plugin, Text::not_a_plugin, {path});
    FreeLibrary(module);
    return;
  }

  HGLOBAL block = tool::host_block(directory);
  if (block == nullptr) throw std::bad_alloc();
  if (load(block, static_cast<long>(directory.size()))) {
    report.line(Text::load_answered_1);
  } else {
    report.problem(exit_plugin_not_ready, Text::load_answered_0);
  }

  const Answer version = ask(request, request_text("GET Version", {}));
  if (version.received && tool::status_of(version.bytes) == 200) {
    report.line(Text::version_answer, {first_line(version.bytes)});
  } else {
    report.problem(exit_plugin_not_ready, Text::version_answer_bad, {first_line(version.bytes)});
  }

  if (!command.arguments.empty()) {
    const std::vector<std::wstring>& a = command.arguments;
    const std::wstring label = a[0] == L"PLAYSYNC" ? say(Text::playsync_label, report.english(), {a[1]})
                                                   : say(Text::createwav_label, report.english(), {a[1], a[2]});
    const Answer answer = ask(request, request_text("EXECUTE", a));
    const int status = tool::status_of(answer.bytes);
    if (!answer.received) {
      report.problem(exit_command_failed, Text::command_no_answer, {label});
    } else if (status >= 200 && status <= 299) {
      report.line(Text::command_succeeded, {label, std::to_wstring(status)});
    } else {
      report.problem(exit_command_failed, Text::command_failed,
                     {label, std::to_wstring(status), result_of(answer.bytes)});
    }
  }
  unload();
  FreeLibrary(module);
}

// The command line ------------------------------------------------------------

struct Options {
  bool english = false;
  bool help = false;
  std::wstring target;  // the plug-in or its folder; empty: the current folder
  Command command;
  std::wstring error;   // a usage error, in English and Japanese alike
};

Options parse(const std::vector<std::wstring>& words) {
  Options options;
  bool positional_only = false;
  const auto has_line_break = [](const std::wstring& text) {
    return text.find_first_of(L"\r\n") != std::wstring::npos;
  };
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::wstring& word = words[i];
    const std::size_t left = words.size() - i - 1;
    if (positional_only || word.size() < 2 || word[0] != L'-') {
      if (!options.target.empty()) options.error = L"too many arguments: " + word;
      options.target = word;
    } else if (word == L"--") {
      positional_only = true;
    } else if (word == L"-h" || word == L"--help") {
      options.help = true;
    } else if (word == L"--lang" && left >= 1 && (words[i + 1] == L"ja" || words[i + 1] == L"en")) {
      options.english = words[++i] == L"en";
    } else if (word == L"--play" && left >= 1 && options.command.arguments.empty()) {
      options.command.arguments = {L"PLAYSYNC", words[++i]};
    } else if (word == L"--wav" && left >= 2 && options.command.arguments.empty()) {
      options.command.arguments = {L"CREATEWAV", words[i + 1], words[i + 2]};
      i += 2;
    } else {
      options.error = L"cannot use " + word;
    }
  }
  for (const std::wstring& argument : options.command.arguments) {
    if (has_line_break(argument)) options.error = L"a line break cannot be sent";
  }
  return options;
}

std::wstring plugin_file_name() { return widen(SPEECH_CHECK_PLUGIN_FILE); }

// The plug-in named on the command line: the file, or the plug-in in the
// folder; by default the plug-in in the current folder.
std::wstring plugin_path(const std::wstring& target) {
  if (target.empty()) return tool::full_path(plugin_file_name());
  std::wstring full = tool::full_path(target);
  if (full.empty() || !is_folder(full)) return full;
  if (full.back() != L'\\') full += L'\\';
  return full + plugin_file_name();
}

// With no plug-in to check: where there is one, and what to give instead.
void report_no_plugin(Report& report, const std::wstring& folder) {
  const PluginSearch search = search_plugins(
      folder, plugin_file_name(), [](const std::wstring& path) { return names_in(path, L"*", true); },
      [](const std::wstring& path) { return is_file(path) && !plugin_version(path).empty(); });
  for (const std::wstring& path : search.found) report.line(Text::plugin_found, {path});
  if (search.stopped) report.line(Text::search_stopped, {std::to_wstring(PluginSearch::most_folders)});
  report.line(Text::verdict_no_plugin, {plugin_file_name()});
}

// Started by dropping a file on it in Explorer, the program has its console
// window to itself, which closes when it ends: the reader needs a key to
// end it.
void wait_if_alone(Report& report) {
  DWORD processes[2];
  if (!tool::is_console(GetStdHandle(STD_OUTPUT_HANDLE)) || GetConsoleProcessList(processes, 2) != 1) return;
  report.line(Text::press_a_key);
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  FlushConsoleInputBuffer(input);
  INPUT_RECORD record;
  DWORD read = 0;
  while (ReadConsoleInputW(input, &record, 1, &read) && read == 1) {
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) break;
  }
}

int finish(Report& report) {
  wait_if_alone(report);
  return report.output_failed() ? exit_failure : report.status();
}

int run_words(const std::vector<std::wstring>& words) {
  const Options options = parse(words);
  Report report(options.english);
  if (!options.error.empty()) {
    tool::write_text(GetStdHandle(STD_ERROR_HANDLE), say(Text::usage_error, options.english, {options.error}) + L"\r\n",
                     shift_jis);
    return exit_usage;
  }
  if (options.help) {
    std::wstring help = say(Text::help, options.english, {plugin_file_name()});
    std::wstring crlf;
    for (const wchar_t c : help) crlf += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    return tool::write_text(GetStdHandle(STD_OUTPUT_HANDLE), crlf, shift_jis) ? exit_success : exit_failure;
  }

  // No "missing disk" boxes from the system: every failure is reported here.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const std::wstring plugin = plugin_path(options.target);
  const std::wstring folder = plugin.substr(0, plugin.find_last_of(L'\\') + 1);
  if (!is_file(plugin)) {
    report.problem(exit_plugin, Text::plugin_missing, {plugin});
    report_no_plugin(report, folder);
    return finish(report);
  }
  // Nothing but the plug-in is ever loaded: another DLL's code may do
  // anything, a script engine's load its ghost's dictionaries and logs.
  const std::wstring version = plugin_version(plugin);
  if (version.empty()) {
    report.problem(exit_plugin, Text::not_the_plugin, {plugin, plugin_file_name()});
    report_no_plugin(report, folder);
    return finish(report);
  }
  report.line(Text::plugin, {plugin, version});

  // The folder as a host passes it to load: the plug-in's own, with the
  // trailing backslash, in the system's code page. A character that code
  // page lacks arrives as another, and the plug-in looks for its engine in
  // a folder that is not there.
  bool lossy = false;
  const std::string directory = tool::encode(folder, CP_ACP, lossy);
  report.line(Text::folder, {tool::decode(directory, CP_ACP)});
  if (lossy) {
    report.problem(exit_plugin, Text::folder_not_passed);
  } else {
    check_engine(report, directory, folder);
  }
  check_plugin(report, plugin, directory, options.command);

  report.line(report.status() == exit_success ? Text::verdict_good : Text::verdict_bad);
  return finish(report);
}

}  // namespace

int run(const std::vector<std::wstring>& words) noexcept {
  try {
    return run_words(words);
  } catch (const std::bad_alloc&) {
    return exit_failure;
  }
}

}  // namespace speech_check
