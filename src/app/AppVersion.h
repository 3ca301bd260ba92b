// The program's version: the window's title, the about box and --version all give this one.
#pragma once

namespace vornak {

inline constexpr char kAppVersion[] = "0.77";

}  // namespace vornak
