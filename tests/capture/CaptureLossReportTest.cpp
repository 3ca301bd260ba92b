// The summary of a run's losses: the total, and where each increase was noticed.
#include "CaptureLossReport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vornak {
namespace {

// Each note is the run's running total and the place where it was taken.
using Notes = std::vector<std::pair<std::uint64_t, std::string>>;

TEST(CaptureLossReport, SaysHowManyWereLostAndWhereEachIncreaseWasNoticed) {
    const std::string lost = " packets\\frames have been lost during capturing, noticed at ";
    const std::vector<std::pair<Notes, std::string>> cases{
        {{{0, "0:00:01:00"}}, ""},
        {{{256, "0:00:01:00"}, {256, "0:00:02:00"}, {300, "0:00:03:00"}, {304, "0:00:03:00"}},
         "WARNING: 304" + lost + "0:00:01:00 (256), 0:00:03:00 (48)."},
        {{{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}, {5, "E"}, {6, "F"}, {8, "G"}, {9, "G"}},
         "WARNING: 9" + lost + "A (1), B (1), C (1), D (1), E (1) and 2 more places."},
    };
    for (const auto& [notes, summary] : cases) {
        CaptureLossReport report;
        for (const auto& [total, where] : notes) {
            report.Note(total, where);
        }
        EXPECT_EQ(report.Total(), notes.back().first);
        EXPECT_EQ(report.Summary(), summary);
    }
}

}  // namespace
}  // namespace vornak
