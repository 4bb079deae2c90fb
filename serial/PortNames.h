// The order in which port names are listed: without regard to case, and
// numbers by their value, so that /dev/ttyS2 comes before /dev/ttyS10 and
// /dev/pts/7 before /dev/pts/12.
#pragma once

#include <string>
#include <vector>

namespace PortNames {

bool Less(const std::string& a, const std::string& b);
// Sorts the names in that order and drops repeated ones.
void Sort(std::vector<std::string>& names);

}  // namespace PortNames
