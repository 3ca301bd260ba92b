// The version every command-line program prints.
#pragma once

#include <string>

namespace vornak {

inline constexpr char kToolVersion[] = "0.77";

// The line --version prints, "PROGRAM (Vornak) 0.77", with its newline; help2man reads it for
// the man page's title.
std::string ToolVersionLine(const std::string& program);

}  // namespace vornak
