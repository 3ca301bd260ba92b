// The pace of reception: HDV's rate until a steady stretch has been measured, and a pause after
// a bus reset counted by its length (by the clock or by the polls that timed out, whichever is
// longer) only when it is long, the stream was flowing, and no longer than a reconnection takes.
#include "ReceptionPace.h"

#include <gtest/gtest.h>

#include <vector>

namespace vornak {
namespace {

// 'a': `packets` arrive at `ms`; 't': a poll found nothing for `ms`; 'r': a bus reset.
struct Step {
    char kind;
    long ms = 0;
    std::size_t packets = 0;
};

TEST(ReceptionPace, CountsALongPauseAfterABusResetByItsLengthAtTheStreamsRate) {
    constexpr double kHdv = ReceptionPace::kNominalPacketsPerSecond;
    const auto hdv = [](double seconds) {
        return static_cast<std::uint64_t>(seconds * kHdv + 0.5);
    };
    const struct {
        const char* what;
        std::vector<Step> steps;
        std::uint64_t lost;  // what the last arrival reports
        double rate;
    } cases[] = {
        {"short: left to the stream's counters", {{'a', 0, 9}, {'r'}, {'a', 400, 9}}, 0, kHdv},
        {"long by the clock, at HDV's rate", {{'a', 0, 9}, {'r'}, {'a', 600, 9}}, hdv(0.6), kHdv},
        {"long by the polls",
         {{'a', 0, 9}, {'r'}, {'t', 300}, {'t', 300}, {'a', 1, 9}},
         hdv(0.6),
         kHdv},
        {"no reset: the stream's own pause", {{'a', 0, 9}, {'a', 3000, 9}}, 0, kHdv},
        {"a reset while the stream was paused",
         {{'a', 0, 9}, {'t', 200}, {'r'}, {'a', 900, 9}},
         0,
         kHdv},
        {"longer than any reconnection",
         {{'a', 0, 9}, {'r'}, {'t', 3000}, {'t', 3000}, {'a', 1, 9}},
         0,
         kHdv},
        {"20,000 packets in a steady 2 s set the rate",
         {{'a', 0, 1}, {'a', 1000, 10000}, {'a', 2000, 10000}, {'r'}, {'a', 3000, 1}},
         10000,
         10000},
        {"too few packets, or a pause, measure nothing",
         {{'a', 0, 1}, {'a', 2000, 500}, {'a', 2001, 1}, {'t', 200}, {'a', 4001, 99999}},
         0,
         kHdv},
    };
    for (const auto& c : cases) {
        ReceptionPace pace;
        std::uint64_t lost = 0;
        for (const Step& step : c.steps) {
            if (step.kind == 'a') {
                lost = pace.Arrived(step.packets, ReceptionPace::Clock::time_point{} +
                                                      std::chrono::milliseconds(step.ms));
            } else if (step.kind == 't') {
                pace.TimedOut(std::chrono::milliseconds(step.ms));
            } else {
                pace.BusReset();
            }
        }
        EXPECT_EQ(lost, c.lost) << c.what;
        EXPECT_DOUBLE_EQ(pace.PacketsPerSecond(), c.rate) << c.what;
    }
}

}  // namespace
}  // namespace vornak
