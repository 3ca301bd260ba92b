// The program's settings in memory: text keys to text values, in byte order of the keys.
#pragma once

#include <map>
#include <string>

namespace vornak {

// std::char_traits<char> compares as unsigned bytes, which is the order the file is written in.
using SettingsMap = std::map<std::string, std::string>;

// Reads "./vornak.ini" style files into `map` (first occurrence of a key wins). A missing file
// leaves the map as it is.
void LoadSettingsFile(const std::string& path, SettingsMap& map);
// Writes every entry as "key=value\r\n" in key order. The file is replaced atomically: a
// temporary file beside it is written in full, then renamed over it. Returns false on failure.
bool SaveSettingsFile(const std::string& path, const SettingsMap& map);

// Integer conversion of the Windows call the settings were first read with: optional leading
// white space, optional sign, decimal digits up to the first other character, 0 without digits.
int StrToIntA(const std::string& text);

// Convenience for owners: the value when present.
const std::string* FindSetting(const SettingsMap* map, const std::string& key);

}  // namespace vornak
