// Reads a built binary's version resource back the way Explorer and
// installers do (GetFileVersionInfoW, VerQueryValueW) and compares it with
// the version CMake was given. Prints what it read.
//
// Usage: version_resource_test VERSION FILE...
//   VERSION is major.minor.patch; each FILE is a Unix path of the build tree
//   (read through Wine's Z: drive).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
  }
}

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

// Checks one file's version resource; false when it has none to read.
bool check_file(const std::string& unix_path, const std::string& version) {
  std::string path = std::string("Z:") + unix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  const std::string file_name = path.substr(path.find_last_of('\\') + 1);
  const std::string stem = file_name.substr(0, file_name.find_last_of('.'));
  const bool is_dll = file_name.size() > 4 && file_name.compare(file_name.size() - 4, 4, ".dll") == 0;

  const std::wstring wide_path = widen(path);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide_path.c_str(), &handle);
  if (size == 0) {
    std::printf("FAIL: %s has no version resource (error %lu)\n", path.c_str(), GetLastError());
    return false;
  }
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(wide_path.c_str(), 0, size, data.data())) {
    std::printf("FAIL: GetFileVersionInfoW failed on %s\n", path.c_str());
    return false;
  }

  unsigned major = 0, minor = 0, patch = 0;
  check(std::sscanf(version.c_str(), "%u.%u.%u", &major, &minor, &patch) == 3,
        "VERSION is not major.minor.patch: " + version);

  void* value = nullptr;
  UINT length = 0;
  const VS_FIXEDFILEINFO* fixed = nullptr;
  if (VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  }
  check(fixed != nullptr && fixed->dwSignature == VS_FFI_SIGNATURE, "no fixed file information");
  if (fixed != nullptr) {
    const DWORD high = (major << 16) | minor, low = patch << 16;
    std::printf("fixed: FileVersion %u.%u.%u.%u ProductVersion %u.%u.%u.%u type %lu\n",
                HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
                HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS),
                fixed->dwFileType);
    check(fixed->dwFileVersionMS == high && fixed->dwFileVersionLS == low, "fixed FileVersion");
    check(fixed->dwProductVersionMS == high && fixed->dwProductVersionLS == low,
          "fixed ProductVersion");
    check(fixed->dwFileType == (is_dll ? VFT_DLL : VFT_APP), "file type");
  }

  // The strings are looked up under the first language the resource lists.
  const WORD* translation = nullptr;
  if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) &&
      length >= 4) {
    translation = static_cast<const WORD*>(value);
  }
  check(translation != nullptr, "no Translation entry");
  if (translation == nullptr) return false;
  std::printf("Translation: %04x, %u\n", translation[0], translation[1]);
  wchar_t block[32];
  std::swprintf(block, 32, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);

  struct Expected {
    const wchar_t* name;
    std::string text;  // empty: any text but an empty one
    bool whole;        // false: `text` is to be found inside the value
  };
  const Expected table[] = {
      {L"FileVersion", version, true},
      {L"ProductVersion", version, true},
      {L"OriginalFilename", file_name, true},
      {L"InternalName", stem, true},
      {L"ProductName", "saori-speech", true},
      {L"LegalCopyright", "saori-speech contributors", false},
      {L"FileDescription", "", false},
  };
  for (const Expected& expected : table) {
    std::wstring query = std::wstring(block) + expected.name;
    std::string text;
    if (VerQueryValueW(data.data(), query.c_str(), &value, &length) && length > 0) {
      text = narrow(static_cast<const wchar_t*>(value));
    }
    std::printf("%s: %s\n", narrow(expected.name).c_str(), text.c_str());
    const bool ok = expected.whole ? text == expected.text
                                   : !text.empty() && text.find(expected.text) != std::string::npos;
    check(ok, narrow(expected.name) + " is \"" + text + "\", expected " +
                  (expected.whole ? "" : "to contain ") + "\"" + expected.text + "\"");
  }

  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: version_resource_test VERSION FILE...\n");
    return 2;
  }
  for (int k = 2; k < argc; ++k) {
    const int before = failures;
    if (!check_file(argv[k], argv[1])) ++failures;
    if (failures == before) std::printf("version resource of %s matches %s\n", argv[k], argv[1]);
  }
  return failures == 0 ? 0 : 1;
}
