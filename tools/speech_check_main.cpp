#include "tools/tool_support.h"
#include "tools/tools.h"

int main() { return speech_check::run(tool::command_line_words()); }
