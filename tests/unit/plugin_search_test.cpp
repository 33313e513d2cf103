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

// Folders (paths ending in a backslash) with the names of the folders in
// them, and the plug-ins' paths.
struct Tree {
  std::map<std::wstring, std::vector<std::wstring>> folders;
  std::set<std::wstring> plugins;

  // A folder or a plug-in, and the folders on its way.
  void add(const std::wstring& path) {
    for (std::size_t end = path.find(L'\\'), start = 0; end != std::wstring::npos;
         start = end + 1, end = path.find(L'\\', start)) {
      if (folders.count(path.substr(0, end + 1)) == 0) {
        folders[path.substr(0, start)].push_back(path.substr(start, end - start));
        folders[path.substr(0, end + 1)];
      }
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
  // The folder given and the bound's worth of folders in it but one, then
  // the plug-in's: the search stops before it.
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

TEST(PluginSearchTest, NamesAtMostItsBoundOfPlugins) {
  Tree tree;
  std::vector<std::wstring> plugins;
  for (int k = 1; k <= 9; ++k) plugins.push_back(L"ghost\\" + std::to_wstring(k) + L"\\saori_speech.dll");
  for (const std::wstring& path : plugins) tree.add(path);
  EXPECT_EQ(tree.search(L"ghost\\").found,
            std::vector<std::wstring>(plugins.begin(), plugins.begin() + PluginSearch::most_found));
}

}  // namespace
}  // namespace speech_check
