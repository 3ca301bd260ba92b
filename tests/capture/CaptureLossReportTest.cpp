// The summary of a run's losses: the total, and where each increase was noticed.
#include "CaptureLossReport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace vornak {
namespace {

// Each note is the run's running total and the place where it was taken.
using Notes = std::vector<std::pair<std::uint64_t, std::string>>;

TEST(CaptureLossReport, SaysHowManyWereLostAndWhereEachIncreaseWasNoticed) {
    const std::string start = "WARNING: ";
    const std::string lost = " packets\\frames have been lost during capturing, noticed at ";
    struct Case {
        const char* name;
        Notes notes;
        std::string summary;
    };
    const std::vector<Case> cases{
        {"nothing lost", {{0, "0:00:01:00"}, {0, "0:00:02:00"}}, ""},
        {"one place",
         {{0, "0:00:01:00"}, {4008, "0:00:02:10"}},
         start + "4008" + lost + "0:00:02:10 (4008)."},
        {"no growth is no place",
         {{256, "0:00:01:00"}, {256, "0:00:02:00"}, {300, "0:00:03:00"}},
         start + "300" + lost + "0:00:01:00 (256), 0:00:03:00 (44)."},
        {"the same place again",
         {{5, "0:01:00:00"}, {9, "0:01:00:00"}},
         start + "9" + lost + "0:01:00:00 (9)."},
        {"the time into the run",
         {{2, "elapsed 0:00:03"}},
         start + "2" + lost + "elapsed 0:00:03 (2)."},
        {"the first five places, and how many more",
         {{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}, {5, "E"}, {6, "F"}, {8, "G"}, {9, "G"}},
         start + "9" + lost + "A (1), B (1), C (1), D (1), E (1) and 2 more places."},
        {"one more place",
         {{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}, {5, "E"}, {7, "F"}},
         start + "7" + lost + "A (1), B (1), C (1), D (1), E (1) and 1 more place."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureLossReport report;
        std::uint64_t last = 0;
        for (const auto& [total, where] : c.notes) {
            EXPECT_EQ(report.Note(total, where), total > last);
            last = std::max(last, total);
        }
        EXPECT_EQ(report.Total(), last);
        EXPECT_EQ(report.Summary(), c.summary);
        report.Reset();
        EXPECT_EQ(report.Total(), 0u);
        EXPECT_EQ(report.Summary(), "");
    }
}

}  // namespace
}  // namespace vornak
