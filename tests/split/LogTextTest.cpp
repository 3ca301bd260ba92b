#include "LogText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornak {
namespace {

// A box shows the reason of an error line without its prefix or the line break before it.
TEST(LogText, WithoutSeverityPrefixKeepsTheReason) {
    struct Case {
        LogSeverity severity;
        std::string line;
        std::string words;
    };
    const std::vector<Case> cases = {
        {LogSeverity::Error, "ERROR: No such folder: /x", "No such folder: /x"},
        {LogSeverity::Error, "\r\nERROR: Not a file: /f", "Not a file: /f"},
        {LogSeverity::Fatal, "FATAL ERROR: No stream", "No stream"},
        {LogSeverity::Warning, "\r\n\r\nWARNING: w", "w"},
        {LogSeverity::Info, "\r\nProcessing file: /a", "Processing file: /a"},
        // Only the line's own severity's prefix goes.
        {LogSeverity::Error, "FATAL ERROR: f", "FATAL ERROR: f"},
        {LogSeverity::Error, "no prefix", "no prefix"},
        {LogSeverity::Error, "\r\n", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WithoutSeverityPrefix(c.severity, c.line), c.words) << c.line;
    }
}

TEST(LogText, CrLfBecomesLfAndNothingElseChanges) {
    EXPECT_EQ(LogTextToLf("ERROR: Out of memory.\r\nPreview is disabled.\r\n"),
              "ERROR: Out of memory.\nPreview is disabled.\n");
    EXPECT_EQ(LogTextToLf("\r\r\n\n\r"), "\r\n\n\r");
    EXPECT_EQ(LogTextToLf(""), "");
}

}  // namespace
}  // namespace vornak
