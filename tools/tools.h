// The bodies of the shipped tools. Each runs on a command line given as
// UTF-16 words (the program's name first), reads and writes the process's
// standard handles, gives back everything it took, and returns its exit
// status. The programs' mains hand them the process's own command line;
// the tests run many command lines in one process.
#pragma once

#include <string>
#include <vector>

namespace saori_call {
int run(const std::vector<std::wstring>& words) noexcept;
}

namespace speech_check {
int run(const std::vector<std::wstring>& words) noexcept;
}
