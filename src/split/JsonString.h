// A JSON string literal for bytes that need not be UTF-8: file names are bytes.
#pragma once

#include <string>

namespace vornak {

// The quoted literal for `bytes`. Valid UTF-8 stays as it is; every other byte becomes its
// surrogate escape, "\udce9" for 0xE9 (as Python's surrogateescape reads file names), so that
// the name parsed from the document (in Python, os.fsencode() of it) gives the file's bytes
// back. Quotes, backslashes and control characters are escaped as JSON requires.
std::string JsonString(const std::string& bytes);

}  // namespace vornak
