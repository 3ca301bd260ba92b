// What a log line says besides its words: how grave it is. And the one place where the log's
// line breaks become the terminal's and the boxes'.
#pragma once

#include <string>
#include <string_view>

namespace vornak {

// How the user is to take a line. A line's text begins with the words its severity puts there
// ("WARNING: ", "ERROR: ", "FATAL ERROR: "; nothing for Info), for the user to read; the program
// goes by the severity that comes with it.
enum class LogSeverity { Info, Warning, Error, Fatal };

// Lines the user must see even when asking for quiet.
constexpr bool IsProblem(LogSeverity severity) {
    return severity != LogSeverity::Info;
}

// A failure rather than a warning.
constexpr bool IsError(LogSeverity severity) {
    return severity == LogSeverity::Error || severity == LogSeverity::Fatal;
}

// The words a line of `severity` begins with.
std::string_view SeverityPrefix(LogSeverity severity);

// The words of `line` after the line breaks it may start with and the prefix of `severity`,
// as a box shows a reason without "ERROR: ".
std::string_view WithoutSeverityPrefix(LogSeverity severity, std::string_view line);

// The engine's lines break with CR LF; a terminal, a text box and a message box each want LF.
std::string LogTextToLf(std::string text);

}  // namespace vornak
