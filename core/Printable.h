// Names the programs print for a person (a port, a file): control characters
// (a line end, an escape sequence) shown as \xNN instead of acting, so that
// a name never makes a second line or changes the terminal. Other bytes,
// UTF-8 among them, stay as they are.
#pragma once

#include <string>

namespace Printable {

std::string Escaped(const std::string& s);

}  // namespace Printable
