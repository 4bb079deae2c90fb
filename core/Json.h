// JSON text for the programs' machine-readable output.
#pragma once

#include <string>

namespace Json {

// `s` (UTF-8) as a JSON string: quoted, with quotes, backslashes and control
// characters escaped; other bytes as they are.
std::string Quoted(const std::string& s);

}  // namespace Json
