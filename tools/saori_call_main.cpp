#include "tools/tool_support.h"
#include "tools/tools.h"

int main() { return saori_call::run(tool::command_line_words()); }
