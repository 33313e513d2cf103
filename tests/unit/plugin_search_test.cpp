// speech-check's search for the plug-in below a folder, on trees of names.
#include "tools/plugin_search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace speech_check {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

// Folders as paths ending in a backslash, each with the names of the
// folders in it; the plug-ins as the paths of files.
struct Tree {
  std::map<std::wstring, std::vector<std::wstring>> folders;
  std::set<std::wstring> plugins;

  // Adds a file or folder path ("a\b\" or "a\b\file") and the folders on its way.
  void add(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
      const std::wstring folder = path.substr(0, at + 1);
      if (folders.count(folder) == 1) continue;
      folders[folder];
      const std::size_t start = folder.find_last_of(L'\\', folder.size() - 2);
      const std::wstring parent = start == std::wstring::npos ? L"" : folder.substr(0, start + 1);
      folders[parent].push_back(folder.substr(parent.size(), folder.size() - parent.size() - 1));
    }
    if (path.back() != L'\\') plugins.insert(path);
  }

  PluginSearch search(const std::wstring& from) const {
    return search_plugins(
        from, L"saori_speech.dll", [&](const std::wstring& folder) { return folders.at(folder); },
        [&](const std::wstring& path) { return plugins.count(path) == 1; });
  }
};

TEST(PluginSearchTest, FindsThePluginFromTheBasewaresFolderInEveryLayout) {
  Tree tree;
  for (const wchar_t* path : {L"ssp\\ghost\\a\\ghost\\master\\saori_speech.dll",
                              L"ssp\\ghost\\b\\ghost\\master\\saori\\saori_speech.dll",
                              L"ssp\\ghost\\c\\ghost\\master\\dic\\saori_speech.dll",
                              L"ssp\\ghost\\d\\ghost\\master\\dic\\old\\saori_speech.dll",  // 6 down
                              L"ssp\\ghost\\a\\shell\\master\\", L"ssp\\balloon\\b\\"}) {
    tree.add(path);
  }
  const PluginSearch search = tree.search(L"ssp\\");
  EXPECT_THAT(search.found, ElementsAre(L"ssp\\ghost\\a\\ghost\\master\\saori_speech.dll",
                                        L"ssp\\ghost\\b\\ghost\\master\\saori\\saori_speech.dll",
                                        L"ssp\\ghost\\c\\ghost\\master\\dic\\saori_speech.dll"));
  EXPECT_FALSE(search.stopped);
}

TEST(PluginSearchTest, StopsAtItsBoundOfFoldersAndSaysSo) {
  // The bound's worth of folders, the one given among them, and then the
  // one holding the plug-in: the search stops before it.
  Tree tree;
  for (std::size_t k = 1; k < PluginSearch::most_folders; ++k) tree.add(L"drive\\" + std::to_wstring(k) + L"\\");
  tree.add(L"drive\\z\\saori_speech.dll");
  PluginSearch search = tree.search(L"drive\\");
  EXPECT_THAT(search.found, IsEmpty());
  EXPECT_TRUE(search.stopped);

  // One folder fewer, and the plug-in's folder is searched.
  tree.folders[L"drive\\"].erase(tree.folders[L"drive\\"].begin());
  search = tree.search(L"drive\\");
  EXPECT_THAT(search.found, ElementsAre(L"drive\\z\\saori_speech.dll"));
  EXPECT_FALSE(search.stopped);
}

}  // namespace
}  // namespace speech_check
