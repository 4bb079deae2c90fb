#include "core/CommandLine.h"

namespace CommandLine {

std::vector<std::string> Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void UseParentConsole() {}

}  // namespace CommandLine
