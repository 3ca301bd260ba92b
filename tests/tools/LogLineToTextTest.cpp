#include "LogLineToText.h"

#include <gtest/gtest.h>

namespace vornak {
namespace {

TEST(LogLineToText, TurnsLogLinesIntoTerminalLines) {
    EXPECT_EQ(LogLineToText("Scene change detected."), "Scene change detected.\n");
    EXPECT_EQ(LogLineToText("\r\nProcessing file: /a b.m2t"), "\nProcessing file: /a b.m2t\n");
    EXPECT_EQ(LogLineToText("ERROR: Out of memory.\r\nPreview is disabled."),
              "ERROR: Out of memory.\nPreview is disabled.\n");
    EXPECT_EQ(LogLineToText("ends with a break\r\n"), "ends with a break\n");
    EXPECT_EQ(LogLineToText(""), "\n");
    EXPECT_EQ(LogLineToText("lone\rcarriage"), "lone\rcarriage\n");
}

}  // namespace
}  // namespace vornak
