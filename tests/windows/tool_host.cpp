// Runs the shipped tools' bodies (saori-call, speech-check) on one command
// line after another in this one process, as the tests' shell scripts ask.
// Where Wine runs under emulation every program start costs most of a
// minute; a call here costs what the tool itself does.
//
// Each line on standard input asks for one run; its fields are separated by
// single spaces, each the hex of a UTF-8 text (an empty field is an empty
// text):
//   TOOL FOLDER STDIN STDOUT STDERR VARIABLE WORD...
// TOOL is saori-call or speech-check; FOLDER the current folder for the run
// (empty: unchanged); STDIN the file read as standard input (empty: none);
// STDOUT and STDERR the files the run's output goes to, made anew; VARIABLE
// a NAME=VALUE set in the environment for the run only (empty: none); the
// WORDs are the command line after the program's name. Paths are Windows
// paths. For each line the exit status goes to standard output, one line.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tools/tools.h"

namespace {

std::string from_hex(const std::string& hex) {
  std::string bytes;
  const auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
  for (std::size_t k = 0; k + 1 < hex.size(); k += 2) {
    bytes.push_back(static_cast<char>(digit(hex[k]) << 4 | digit(hex[k + 1])));
  }
  return bytes;
}

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  std::wstring out(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &out[0], static_cast<int>(out.size()));
  return out;
}

bool read_line(HANDLE input, std::string& line) {
  line.clear();
  char c;
  DWORD got = 0;
  while (ReadFile(input, &c, 1, &got, nullptr) && got == 1) {
    if (c == '\n') return true;
    line.push_back(c);
  }
  return !line.empty();
}

HANDLE open_file(const std::wstring& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int run(const std::vector<std::wstring>& fields) {
  if (fields.size() < 6) return 100;
  const std::wstring& tool = fields[0];
  std::vector<std::wstring> words{tool};
  words.insert(words.end(), fields.begin() + 6, fields.end());

  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  if (!fields[1].empty() && !SetCurrentDirectoryW(fields[1].c_str())) return 101;
  // Through the C runtime, whose copy of the environment the stand-in
  // engine reads; it passes the change on to the system's.
  const std::wstring& variable = fields[5];
  const std::wstring name = variable.substr(0, variable.find(L'='));
  if (!variable.empty()) _wputenv(variable.c_str());

  const HANDLE input = fields[2].empty() ? INVALID_HANDLE_VALUE : open_file(fields[2], false);
  const HANDLE output = open_file(fields[3], true);
  const HANDLE error = open_file(fields[4], true);
  const HANDLE saved[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                           GetStdHandle(STD_ERROR_HANDLE)};
  SetStdHandle(STD_INPUT_HANDLE, input == INVALID_HANDLE_VALUE ? nullptr : input);
  SetStdHandle(STD_OUTPUT_HANDLE, output);
  SetStdHandle(STD_ERROR_HANDLE, error);

  int status = 102;
  if (output != INVALID_HANDLE_VALUE && error != INVALID_HANDLE_VALUE) {
    if (tool == L"saori-call") status = saori_call::run(words);
    if (tool == L"speech-check") status = speech_check::run(words);
  }

  SetStdHandle(STD_INPUT_HANDLE, saved[0]);
  SetStdHandle(STD_OUTPUT_HANDLE, saved[1]);
  SetStdHandle(STD_ERROR_HANDLE, saved[2]);
  for (const HANDLE handle : {input, output, error}) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  if (!variable.empty()) _wputenv((name + L"=").c_str());
  SetCurrentDirectoryW(folder);
  return status;
}

}  // namespace

int main() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  std::string line;
  while (read_line(input, line)) {
    std::vector<std::wstring> fields;
    for (std::size_t start = 0;;) {
      const std::size_t end = line.find(' ', start);
      fields.push_back(wide(from_hex(line.substr(start, end - start))));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    const std::string status = std::to_string(run(fields)) + "\n";
    DWORD written = 0;
    WriteFile(output, status.data(), static_cast<DWORD>(status.size()), &written, nullptr);
  }
  return 0;
}
