// Engine log lines as terminal text, for both command-line programs.
#pragma once

#include <string>

namespace vornak {

// Turns one engine log line into terminal text: each CR LF becomes a newline and the line ends
// with one.
std::string LogLineToText(const std::string& line);

}  // namespace vornak
