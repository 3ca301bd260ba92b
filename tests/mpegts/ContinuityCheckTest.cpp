// The continuity check: jumps in the counters of every PID but the null one count the packets
// they skip; duplicates, adaptation-only packets, the discontinuity indicator and a reset do
// not; a jump onto a start is a join when the clock jumps too and a loss when it keeps pace,
// and then the clock tells how many packets went. Tapes from the tape writer, with packets
// taken out as the kernel or the bus would lose them, show the counts against the truth.
#include "ContinuityCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "TapeWriter.h"

namespace vornak {
namespace {

constexpr std::size_t kPacket = 188;
using Packets = std::vector<std::vector<std::uint8_t>>;

struct Packet {
    int pid;
    int counter;
    bool payload = true;
    bool discontinuity = false;
    bool unitStart = false;
    std::uint8_t fill = 0xFF;
    int adaptationLength = -1;  // -1: as the flags ask
};

std::vector<std::uint8_t> Stream(const std::vector<Packet>& packets) {
    std::vector<std::uint8_t> out;
    for (const Packet& p : packets) {
        std::vector<std::uint8_t> packet(kPacket, p.fill);
        packet[0] = 0x47;
        packet[1] = static_cast<std::uint8_t>((p.unitStart ? 0x40 : 0) | (p.pid >> 8));
        packet[2] = static_cast<std::uint8_t>(p.pid);
        const bool adaptation = p.discontinuity || !p.payload || p.adaptationLength >= 0;
        packet[3] = static_cast<std::uint8_t>((adaptation ? 0x20 : 0) | (p.payload ? 0x10 : 0) |
                                              (p.counter & 0x0F));
        if (adaptation) {
            packet[4] = static_cast<std::uint8_t>(p.adaptationLength >= 0 ? p.adaptationLength : 1);
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
        {"the same counter with another payload: fifteen went",
         {{0x810, 5}, {0x810, 5, true, false, false, 0x11}},
         15},
        {"adaptation only does not advance",
         {{0x810, 5}, {0x810, 5, false}, {0x810, 9, false}, {0x810, 6}},
         0},
        {"the discontinuity indicator starts anew", {{0x810, 5}, {0x810, 12, true, true}}, 0},
        {"without a clock, every stream jumping onto a start is a join",
         {{0x810, 7}, {0x814, 3}, {0x810, 0, true, false, true}, {0x814, 0, true, false, true}},
         0},
        {"a loss inside a PES packet, then a start that follows on",
         {{0x810, 7}, {0x810, 11}, {0x810, 12, true, false, true}},
         3},
        {"date packs, tables and any other PID count; the null PID does not",
         {{0x811, 1}, {0x811, 9}, {0x0000, 4}, {0x0000, 6}, {0x1FFF, 0}, {0x1FFF, 7}},
         8},
        {"an adaptation field longer than the packet is not trusted",
         {{0x810, 1}, {0x810, 9, true, false, false, 0xFF, 183}, {0x810, 2}},
         0},
    };
    for (const auto& c : cases) {
        ContinuityCheck check;
        const auto stream = Stream(c.packets);
        EXPECT_EQ(check.Check(stream.data(), stream.size()) + check.Flush(), c.missing) << c.what;
        ContinuityCheck quick;  // one packet at a time, through the quick path
        std::uint32_t missing = 0;
        for (std::size_t at = 0; at + kPacket <= stream.size(); at += kPacket) {
            missing += quick.CheckOne(stream.data() + at);
        }
        EXPECT_EQ(missing + quick.Flush(), c.missing) << c.what << ", one at a time";
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

// A tape of three picture groups as the tape writer makes them (about 25 Mbit/s, a clock
// reference on the first packet of every picture), as packets.
Packets Tape(std::uint32_t seed) {
    tape::TapeOptions options;
    options.seed = seed;
    tape::TapeWriter writer(options);
    writer.AddScene({tape::DateTime{}, 3});
    const std::vector<std::uint8_t> bytes = writer.Build();
    Packets packets;
    for (std::size_t at = 0; at + kPacket <= bytes.size(); at += kPacket) {
        packets.emplace_back(bytes.begin() + static_cast<long>(at),
                             bytes.begin() + static_cast<long>(at + kPacket));
    }
    return packets;
}

int PidOf(const std::vector<std::uint8_t>& packet) {
    return ((packet[1] << 8) | packet[2]) & 0x1FFF;
}

// Where the `n`th packet of `packetPid` (from 0) is; with `starts`, the `n`th that starts a
// PES packet or section.
std::size_t Find(const Packets& packets, int packetPid, int n, bool starts = false) {
    for (std::size_t i = 0; i < packets.size(); ++i) {
        if (PidOf(packets[i]) == packetPid && (!starts || (packets[i][1] & 0x40) != 0) &&
            n-- == 0) {
            return i;
        }
    }
    ADD_FAILURE() << "no such packet";
    return 0;
}

Packets Without(const Packets& packets, std::size_t from, std::size_t to) {
    Packets out(packets.begin(), packets.begin() + static_cast<long>(from));
    out.insert(out.end(), packets.begin() + static_cast<long>(to), packets.end());
    return out;
}

std::uint32_t CountAll(const Packets& packets, std::size_t perCall) {
    ContinuityCheck check;
    std::uint32_t missing = 0;
    std::vector<std::uint8_t> buffer;
    for (std::size_t at = 0; at < packets.size(); at += perCall) {
        if (perCall == 1) {
            missing += check.CheckOne(packets[at].data());  // the quick path for one packet
            continue;
        }
        buffer.clear();
        for (std::size_t i = at; i < std::min(packets.size(), at + perCall); ++i) {
            buffer.insert(buffer.end(), packets[i].begin(), packets[i].end());
        }
        missing += check.Check(buffer.data(), buffer.size());
    }
    return missing + check.Flush();
}

constexpr int kVideo = 0x810;
const Packets& FirstTape() {
    static const Packets tape = Tape(1);
    return tape;
}

struct Edit {
    Packets packets;
    long removed;
};

// `count` video packets in a row (other PIDs between them stay) from inside picture `picture`.
Edit WithoutVideo(int picture, int count) {
    Packets out = FirstTape();
    std::size_t at = Find(out, kVideo, picture, true) + 50;
    for (int removed = 0; removed < count; ++at) {
        if (PidOf(out[at]) == kVideo) {
            out.erase(out.begin() + static_cast<long>(at--));
            ++removed;
        }
    }
    return {out, count};
}

// The first tape up to a picture, then another recording from its start, whose counters of
// `followingOn` PIDs happen to follow on from the first tape's.
Packets JoinedTapes(std::initializer_list<int> followingOn) {
    const Packets& first = FirstTape();
    Packets out(first.begin(), first.begin() + static_cast<long>(Find(first, kVideo, 30, true)));
    Packets second = Tape(7);
    for (const int followed : followingOn) {
        int last = -1;
        for (const auto& packet : out) {
            last = PidOf(packet) == followed ? packet[3] & 0x0F : last;
        }
        const int shift = last + 1 - (second[Find(second, followed, 0)][3] & 0x0F);
        for (auto& packet : second) {
            if (PidOf(packet) == followed) {
                packet[3] =
                    static_cast<std::uint8_t>((packet[3] & 0xF0) | ((packet[3] + shift) & 0x0F));
            }
        }
    }
    out.insert(out.end(), second.begin(), second.end());
    return out;
}

// The tape with 40 more packets of a stream of their own (counters in order) before each of
// the given pictures: the clock intervals that end there carry more packets than the rest.
Packets WithBurstsBefore(const Packets& tape, std::initializer_list<int> pictures) {
    constexpr int kBurstPid = 0x21;
    constexpr int kBurstPackets = 40;
    Packets out = tape;
    int counter = 0;
    for (auto picture = std::rbegin(pictures); picture != std::rend(pictures); ++picture) {
        const auto at = out.begin() + static_cast<long>(Find(out, kVideo, *picture, true));
        Packets burst(kBurstPackets, std::vector<std::uint8_t>(kPacket, 0xFF));
        for (auto& packet : burst) {
            packet[0] = 0x47;
            packet[1] = 0;
            packet[2] = kBurstPid;
            packet[3] = static_cast<std::uint8_t>(0x10 | (counter++ & 0x0F));
        }
        out.insert(at, burst.begin(), burst.end());
    }
    return out;
}

TEST(ContinuityCheck, CountsWhatATapeLostAgainstThePacketsReallyRemoved) {
    const Packets& tape = FirstTape();
    const struct {
        const char* what;
        std::function<Edit()> edit;
        long tolerance;  // packets either way: one turn of a counter where the clock estimates
    } cases[] = {
        {"nothing lost",
         [&] {
             return Edit{tape, 0};
         },
         0},
        {"a whole picture: the counters jump onto the next picture, the clock keeps pace",
         [&] {
             const std::size_t from = Find(tape, kVideo, 20, true);
             const std::size_t to = Find(tape, kVideo, 21, true);
             return Edit{Without(tape, from, to), static_cast<long>(to - from)};
         },
         16},
        {"4,008 packets from inside a picture",
         [&] {
             const std::size_t from = Find(tape, kVideo, 17, true) + 100;
             return Edit{Without(tape, from, from + 4008), 4008};
         },
         16},
        {"15 video packets: the counter repeats with another payload",
         [] { return WithoutVideo(12, 15); }, 0},
        {"16 video packets: the counter looks in order, only the clock sees them",
         [&] { return WithoutVideo(12, 16); }, 0},
        {"32 video packets", [&] { return WithoutVideo(25, 32); }, 0},
        {"a date pack",
         [&] {
             const std::size_t at = Find(tape, 0x811, 1);
             return Edit{Without(tape, at, at + 1), 1};
         },
         0},
        {"a PAT and a PMT",
         [&] {
             const std::size_t pat = Find(tape, 0x0000, 4);
             const std::size_t pmt = Find(tape, 0x0100, 7);
             return Edit{Without(Without(tape, pmt, pmt + 1), pat, pat + 1), 2};
         },
         0},
        {"a duplicate of a video packet",
         [&] {
             Packets out = tape;
             const std::size_t at = Find(tape, kVideo, 300);
             out.insert(out.begin() + static_cast<long>(at), tape[at]);
             return Edit{out, 0};
         },
         0},
        {"the join of two recordings: every counter and the clock start anew",
         [] {
             return Edit{JoinedTapes({}), 0};
         },
         0},
        {"a join where the clock starts anew before the audio and date counters do",
         [] {
             return Edit{JoinedTapes({0x0000, 0x0100, kVideo}), 0};
         },
         0},
        {"a multiplexer at a variable rate: the first intervals' pace says nothing",
         [&] {
             return Edit{WithBurstsBefore(tape, {1, 2, 3}), 0};
         },
         0},
    };
    for (const auto& c : cases) {
        const Edit edit = c.edit();
        for (const std::size_t perCall : {std::size_t{256}, std::size_t{7}, std::size_t{1}}) {
            const long counted = CountAll(edit.packets, perCall);
            EXPECT_LE(std::labs(counted - edit.removed), c.tolerance)
                << c.what << ": counted " << counted << " of " << edit.removed << " removed";
        }
    }
}

// The packets of one PID from its `n`th start to the next; where the counter then jumps.
std::pair<Packets, std::size_t> WithoutUnit(int packetPid, int n) {
    Packets out = FirstTape();
    const std::size_t from = Find(out, packetPid, n, true);
    std::size_t to = Find(out, packetPid, n + 1, true);
    for (std::size_t at = from; at < to;) {
        if (PidOf(out[at]) == packetPid) {
            out.erase(out.begin() + static_cast<long>(at));
            --to;
        } else {
            ++at;
        }
    }
    return {out, to};
}

// Packet by packet, as a scanner that files each loss where it happened feeds it.
TEST(ContinuityCheck, PlacesEachCountAtTheJumpItBelongsTo) {
    const Packets& tape = FirstTape();
    const struct {
        const char* what;
        Packets packets;
        std::size_t jump;  // the packet (in the edited stream) where the counter jumped
    } cases[] = {
        {"inside a picture: counted at once",
         Without(tape, Find(tape, kVideo, 4, true) + 40, Find(tape, kVideo, 4, true) + 43),
         Find(tape, kVideo, 4, true) + 40},
        {"a whole picture: the jump onto the next one, which carries the clock",
         WithoutUnit(kVideo, 20).first, WithoutUnit(kVideo, 20).second},
        {"an audio frame: its jump waits for the next picture's clock", WithoutUnit(0x814, 9).first,
         WithoutUnit(0x814, 9).second},
    };
    for (const auto& c : cases) {
        ContinuityCheck check;
        std::uint32_t total = 0;
        std::optional<std::uint64_t> placed;
        for (std::size_t i = 0; i < c.packets.size(); ++i) {
            const std::uint32_t found = check.CheckOne(c.packets[i].data());
            if (check.LastJump() == i) {
                EXPECT_EQ(i, c.jump) << c.what << ": a jump where none is";
            }
            if (found > 0) {
                EXPECT_FALSE(placed) << c.what << ": counted twice";
                placed = check.LostAt();
            }
            total += found;
        }
        total += check.Flush();
        EXPECT_GT(total, 0u) << c.what;
        EXPECT_EQ(placed, c.jump) << c.what;
        EXPECT_EQ(check.LastJump(), c.jump) << c.what;
    }
    ContinuityCheck clean;
    for (const auto& packet : tape) {
        EXPECT_EQ(clean.CheckOne(packet.data()), 0u);
    }
    EXPECT_FALSE(clean.LastJump());
}

}  // namespace
}  // namespace vornak
