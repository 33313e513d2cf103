// Measures how far one request raises the host process's peak working set,
// for a request of one kind of line (tests/support/request_kinds.h), as a
// host sees it: the request is written straight into its GlobalAlloc block,
// the peak is read, `request` is called, and the peak is read again.
//
//   request_memory_host.exe MIB [BOUND]        every kind, each in a process
//   request_memory_host.exe MIB BOUND KIND     one kind
//
// Prints the rise per request byte and exits 1 when it is above BOUND
// (default 4) or the request got no answer, 2 on a usage or set-up error.
// One kind per process, as the peak of a process never comes down.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/request_kinds.h"
#include "tests/support/windows_host.h"

namespace {

SIZE_T peak_working_set() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize;
}

// Runs this program for one kind and answers its exit status.
DWORD run_kind(const char* kind, const char* mib, const char* bound) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = std::string("\"") + self + "\" " + mib + " " + bound + " " + kind;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 2;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 2;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace windows_host;
  const std::size_t size = argc >= 2 ? std::strtoul(argv[1], nullptr, 10) << 20 : 0;
  const char* bound_text = argc >= 3 ? argv[2] : "4";
  if (argc == 2 || argc == 3) {
    DWORD worst = 0;
    for (const request_kinds::Kind& kind : request_kinds::kinds) {
      std::fflush(stdout);
      const DWORD status = run_kind(kind.name, argv[1], bound_text);
      if (status > worst) worst = status;
    }
    return static_cast<int>(worst);
  }
  const request_kinds::Kind* kind = argc == 4 ? request_kinds::find_kind(argv[3]) : nullptr;
  const double bound = std::atof(bound_text);
  if (kind == nullptr || size == 0) {
    std::fprintf(stderr, "usage: request_memory_host MIB [BOUND [KIND]]\n");
    return 2;
  }

  PluginExports plugin;
  const std::string directory = windows_path(REQUEST_MEMORY_STANDIN_DIR) + "\\";
  if (!plugin.open(REQUEST_MEMORY_PLUGIN_FILE) ||
      plugin.load(block_of(directory), static_cast<long>(directory.size())) != 1) {
    std::fprintf(stderr, "cannot load the plug-in with the stand-in engine\n");
    return 2;
  }

  HGLOBAL block = GlobalAlloc(GMEM_FIXED, size);
  if (block == nullptr) {
    std::fprintf(stderr, "no block of %u bytes\n", static_cast<unsigned>(size));
    return 2;
  }
  long length = static_cast<long>(
      request_kinds::write_request(*kind, static_cast<char*>(block), size));
  const long request_length = length;

  const SIZE_T before = peak_working_set();
  HGLOBAL answer = plugin.request(block, &length);
  const SIZE_T after = peak_working_set();

  const double per_byte = static_cast<double>(after - before) / request_length;
  std::printf("%-20s %5ld KiB: peak working set rose %.2f bytes per request byte (%s)\n",
              kind->name, request_length >> 10, per_byte,
              answer != nullptr ? "answered" : "no answer");
  if (answer != nullptr) GlobalFree(answer);
  plugin.unload();
  FreeLibrary(plugin.module);
  return answer != nullptr && per_byte <= bound ? 0 : 1;
}
