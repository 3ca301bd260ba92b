// The pace of reception: HDV's rate until a steady stretch has been measured, and a pause after
// a bus reset counted by its length (by the clock or by the polls that timed out, whichever is
// longer) only when it is long, and only once.
#include "ReceptionPace.h"

#include <gtest/gtest.h>

#include <vector>

namespace vornak {
namespace {

using Clock = ReceptionPace::Clock;
using std::chrono::milliseconds;

struct Step {
    enum Kind { Arrive, TimeOut, Reset } kind;
    long atMs = 0;            // Arrive: when
    std::size_t packets = 0;  // Arrive: how many
    long waitedMs = 0;        // TimeOut: how long
};

TEST(ReceptionPace, CountsALongPauseAfterABusResetByItsLengthAtTheStreamsRate) {
    constexpr double kHdv = ReceptionPace::kNominalPacketsPerSecond;
    const struct {
        const char* what;
        std::vector<Step> steps;
        std::uint64_t lost;  // what the last arrival reports
        double rate;
    } cases[] = {
        {"a short pause is left to the stream's counters",
         {{Step::Arrive, 0, 100}, {Step::Reset}, {Step::Arrive, 400, 100}},
         0,
         kHdv},
        {"a long pause by the clock, at HDV's rate before any measure",
         {{Step::Arrive, 0, 100}, {Step::Reset}, {Step::Arrive, 600, 100}},
         static_cast<std::uint64_t>(0.6 * kHdv + 0.5),
         kHdv},
        {"a long pause by the polls that timed out",
         {{Step::Arrive, 0, 100},
          {Step::Reset},
          {Step::TimeOut, 0, 0, 200},
          {Step::TimeOut, 0, 0, 200},
          {Step::TimeOut, 0, 0, 200},
          {Step::Arrive, 10, 100}},
         static_cast<std::uint64_t>(0.6 * kHdv + 0.5),
         kHdv},
        {"a pause without a bus reset is the stream's own (a stopped tape)",
         {{Step::Arrive, 0, 100}, {Step::Arrive, 5000, 100}},
         0,
         kHdv},
        {"a bus reset while the stream was paused costs nothing",
         {{Step::Arrive, 0, 100},
          {Step::TimeOut, 0, 0, 200},
          {Step::Reset},
          {Step::Arrive, 9000, 1}},
         0,
         kHdv},
        {"a pause that outlasts any reconnection is the stream's own",
         {{Step::Arrive, 0, 100},
          {Step::Reset},
          {Step::TimeOut, 0, 0, 3000},
          {Step::TimeOut, 0, 0, 3000},
          {Step::Arrive, 6000, 1}},
         0,
         kHdv},
        {"a measured stretch sets the rate: 20,000 packets in 2 s",
         {{Step::Arrive, 0, 1},
          {Step::Arrive, 1000, 10000},
          {Step::Arrive, 2000, 10000},
          {Step::Reset},
          {Step::Arrive, 3000, 1}},
         10000,
         10000},
        {"too few packets measure nothing",
         {{Step::Arrive, 0, 1}, {Step::Arrive, 2000, 500}, {Step::Reset}, {Step::Arrive, 3000, 1}},
         static_cast<std::uint64_t>(kHdv + 0.5),
         kHdv},
        {"a stretch with a pause in it measures nothing",
         {{Step::Arrive, 0, 1},
          {Step::Arrive, 1000, 10000},
          {Step::TimeOut, 0, 0, 200},
          {Step::Arrive, 2000, 10000},
          {Step::Reset},
          {Step::Arrive, 2100, 1}},
         0,
         kHdv},
    };
    const Clock::time_point start{};
    for (const auto& c : cases) {
        ReceptionPace pace;
        std::uint64_t lost = 0;
        for (const Step& step : c.steps) {
            switch (step.kind) {
                case Step::Arrive:
                    lost = pace.Arrived(step.packets, start + milliseconds(step.atMs));
                    break;
                case Step::TimeOut:
                    pace.TimedOut(milliseconds(step.waitedMs));
                    break;
                case Step::Reset:
                    pace.BusReset();
                    break;
            }
        }
        EXPECT_EQ(lost, c.lost) << c.what;
        EXPECT_DOUBLE_EQ(pace.PacketsPerSecond(), c.rate) << c.what;
        EXPECT_FALSE(pace.Restoring()) << c.what;
    }
}

}  // namespace
}  // namespace vornak
