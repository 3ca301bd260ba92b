// The continuity check: jumps in the counters of the video and audio streams count the packets
// they skip; duplicates, adaptation-only packets, the discontinuity indicator, a jump onto the
// start of a PES packet (two recordings joined on the tape), other PIDs and a reset do not.
#include "ContinuityCheck.h"

#include <gtest/gtest.h>

#include <vector>

namespace vornak {
namespace {

constexpr std::size_t kPacket = 188;

struct Packet {
    int pid;
    int counter;
    bool payload = true;
    bool discontinuity = false;
    bool unitStart = false;
};

std::vector<std::uint8_t> Stream(const std::vector<Packet>& packets) {
    std::vector<std::uint8_t> out;
    for (const Packet& p : packets) {
        std::vector<std::uint8_t> packet(kPacket, 0xFF);
        packet[0] = 0x47;
        packet[1] = static_cast<std::uint8_t>((p.unitStart ? 0x40 : 0) | (p.pid >> 8));
        packet[2] = static_cast<std::uint8_t>(p.pid);
        const bool adaptation = p.discontinuity || !p.payload;
        packet[3] = static_cast<std::uint8_t>((adaptation ? 0x20 : 0) | (p.payload ? 0x10 : 0) |
                                              (p.counter & 0x0F));
        if (adaptation) {
            packet[4] = 1;
            packet[5] = p.discontinuity ? 0x80 : 0x00;
        }
        out.insert(out.end(), packet.begin(), packet.end());
    }
    return out;
}

TEST(ContinuityCheck, CountsThePacketsEachJumpSkipsAndNothingElse) {
    const struct {
        const char* what;
        std::vector<Packet> packets;
        std::uint32_t missing;
    } cases[] = {
        {"in order, across the wrap", {{0x810, 14}, {0x810, 15}, {0x810, 0}, {0x810, 1}}, 0},
        {"video skips three", {{0x810, 2}, {0x810, 6}}, 3},
        {"jump across the wrap", {{0x814, 14}, {0x814, 1}}, 2},
        {"each stream has its own counter",
         {{0x810, 1}, {0x814, 9}, {0x815, 4}, {0x810, 2}, {0x814, 10}, {0x815, 6}},
         1},
        {"a duplicate is no loss", {{0x810, 5}, {0x810, 5}, {0x810, 6}}, 0},
        {"adaptation only does not advance",
         {{0x810, 5}, {0x810, 5, false}, {0x810, 9, false}, {0x810, 6}},
         0},
        {"the discontinuity indicator starts anew", {{0x810, 5}, {0x810, 12, true, true}}, 0},
        {"two recordings joined: every stream jumps onto a PES start",
         {{0x810, 7}, {0x814, 3}, {0x810, 0, true, false, true}, {0x814, 0, true, false, true}},
         0},
        {"a loss inside a PES packet, then a start that follows on",
         {{0x810, 7}, {0x810, 11}, {0x810, 12, true, false, true}},
         3},
        {"other PIDs are not looked at", {{0x811, 1}, {0x811, 9}, {0x1FFF, 0}, {0x1FFF, 7}}, 0},
    };
    for (const auto& c : cases) {
        ContinuityCheck check;
        const auto stream = Stream(c.packets);
        EXPECT_EQ(check.Check(stream.data(), stream.size()), c.missing) << c.what;
    }
}

TEST(ContinuityCheck, CountersCarryOverFromOneBufferToTheNextUntilAReset) {
    ContinuityCheck check;
    auto first = Stream({{0x810, 3}});
    first.resize(first.size() + 100, 0x47);  // a partial packet at the end is not looked at
    EXPECT_EQ(check.Check(first.data(), first.size()), 0u);
    const auto second = Stream({{0x810, 7}});
    EXPECT_EQ(check.Check(second.data(), second.size()), 3u);
    check.Reset();
    const auto third = Stream({{0x810, 12}});
    EXPECT_EQ(check.Check(third.data(), third.size()), 0u);
}

}  // namespace
}  // namespace vornak
