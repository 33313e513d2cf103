// Where the plug-in is, when speech-check is given a folder without it: in
// that folder or the folders below it, nearest first. The folder may be a
// ghost's own, or the baseware's, holding the plug-in five folders down in
// ghost\NAME\ghost\master\saori\ (or ...\dic\); it may also be a whole
// drive, so the search looks into a bounded number of folders and says
// when it stopped there. The folders and files come through the callers'
// functions, so that the search runs natively under test.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace speech_check {

struct PluginSearch {
  static constexpr int depth = 5;                 // folders below the one given
  static constexpr std::size_t most_folders = 10000;
  static constexpr std::size_t most_found = 8;

  std::vector<std::wstring> found;  // the plug-ins' paths
  bool stopped = false;             // folders were left unsearched at the bound
};

// `folder` ends in a backslash. `subfolders(folder)` lists the names of the
// folders in a folder; `is_plugin(path)` tells whether the file at `path`
// is the plug-in.
template <typename Subfolders, typename IsPlugin>
PluginSearch search_plugins(const std::wstring& folder, const std::wstring& file_name, Subfolders subfolders,
                            IsPlugin is_plugin) {
  PluginSearch search;
  std::deque<std::pair<std::wstring, int>> waiting{{folder, 0}};
  std::size_t searched = 0;
  while (!waiting.empty() && search.found.size() < PluginSearch::most_found) {
    const auto [path, depth] = std::move(waiting.front());
    waiting.pop_front();
    ++searched;
    if (is_plugin(path + file_name)) search.found.push_back(path + file_name);
    if (depth == PluginSearch::depth) continue;
    for (const std::wstring& name : subfolders(path)) {
      if (searched + waiting.size() == PluginSearch::most_folders) {
        search.stopped = true;
        break;
      }
      waiting.emplace_back(path + name + L"\\", depth + 1);
    }
  }
  return search;
}

}  // namespace speech_check
