// The stand-in engine's call log: the stand-in appends a line per load,
// unload and call to the file named by AQUESTALK_STANDIN_LOG.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

class StandinLog {
 public:
  StandinLog() {
    char name[] = "/tmp/standin-log-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path_ = name;
    setenv("AQUESTALK_STANDIN_LOG", path_.c_str(), 1);
  }
  ~StandinLog() {
    unsetenv("AQUESTALK_STANDIN_LOG");
    std::remove(path_.c_str());
  }
  StandinLog(const StandinLog&) = delete;
  StandinLog& operator=(const StandinLog&) = delete;

  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }

  // Lines whose first word is `word`.
  std::vector<std::string> lines_starting(const std::string& word) const {
    std::vector<std::string> result;
    for (const std::string& line : lines()) {
      if (line.compare(0, word.size() + 1, word + " ") == 0 || line == word) result.push_back(line);
    }
    return result;
  }

 private:
  std::string path_;
};
