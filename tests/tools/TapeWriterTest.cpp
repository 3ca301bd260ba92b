#include "TapeWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "TapeOptionsParser.h"
#include "TestSupport.h"

namespace vornak::tape {
namespace {

constexpr std::size_t kPacket = 188;
constexpr int kVideo = 0x810;
constexpr int kDate = 0x811;
constexpr int kAudio = 0x814;
constexpr std::size_t kDayAt = 47;  // after the adaptation field length L
constexpr std::size_t kPesFixedHeader = 9;

// A view of one transport packet of a tape, read independently of the writer.
struct Packet {
    std::size_t offset = 0;
    const std::uint8_t* p = nullptr;
    int pid() const { return ((p[1] << 8) | p[2]) & 0x1FFF; }
    bool start() const { return (p[1] & 0x40) != 0; }
    // Elementary bytes: after the adaptation field and, at a PES start, the PES header.
    std::vector<std::uint8_t> Es() const {
        std::size_t at = 4;
        if (p[3] & 0x20) {
            at += 1 + p[4];
        }
        if (start() && at + kPesFixedHeader <= kPacket) {
            at += kPesFixedHeader + p[at + 8];
        }
        return at < kPacket ? std::vector<std::uint8_t>(p + at, p + kPacket)
                            : std::vector<std::uint8_t>{};
    }
};

std::vector<Packet> Packets(const std::vector<std::uint8_t>& tape, std::size_t first = 0) {
    std::vector<Packet> out;
    for (std::size_t at = first; at + kPacket <= tape.size(); at += kPacket) {
        out.push_back({at, tape.data() + at});
    }
    return out;
}

// One elementary-stream buffer per video PES packet, in tape order.
std::vector<std::vector<std::uint8_t>> VideoPictures(const std::vector<Packet>& packets) {
    std::vector<std::vector<std::uint8_t>> pictures;
    for (const Packet& pkt : packets) {
        if (pkt.pid() != kVideo) {
            continue;
        }
        if (pkt.start()) {
            pictures.emplace_back();
        }
        if (!pictures.empty()) {
            const auto es = pkt.Es();
            pictures.back().insert(pictures.back().end(), es.begin(), es.end());
        }
    }
    return pictures;
}

// Start codes (the byte after 00 00 01) in order.
std::vector<std::uint8_t> StartCodes(const std::vector<std::uint8_t>& es) {
    std::vector<std::uint8_t> codes;
    for (std::size_t i = 0; i + 3 < es.size(); ++i) {
        if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1) {
            codes.push_back(es[i + 3]);
        }
    }
    return codes;
}

int FromBcd(std::uint8_t byte, int tensMask) {
    return (byte & 0x0F) + 10 * ((byte >> 4) & tensMask);
}

DateTime DecodeDate(const Packet& pkt) {
    const std::size_t l = pkt.p[4];
    DateTime d;
    d.day = FromBcd(pkt.p[l + kDayAt], 0x3);
    d.month = FromBcd(pkt.p[l + kDayAt + 1], 0x1);
    d.year = 2000 + FromBcd(pkt.p[l + kDayAt + 2], 0xF);
    d.second = FromBcd(pkt.p[l + kDayAt + 4], 0x7);
    d.minute = FromBcd(pkt.p[l + kDayAt + 5], 0x7);
    d.hour = FromBcd(pkt.p[l + kDayAt + 6], 0x3);
    return d;
}

std::uint32_t Crc(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        for (int b = 7; b >= 0; --b) {
            const bool bit = ((crc >> 31) ^ (data[i] >> b)) & 1;
            crc = (crc << 1) ^ (bit ? 0x04C11DB7 : 0);
        }
    }
    return crc;
}

TapeOptions Small() {
    TapeOptions options;
    options.pictureBytes = 2000;
    return options;
}

SceneSpec Scene(DateTime start, int gops) {
    SceneSpec scene;
    scene.start = start;
    scene.gops = gops;
    return scene;
}

TEST(TapeWriter, WholePacketsBetweenStrayBytesAndPartialLastPacket) {
    TapeOptions options = Small();
    options.strayBytesAtStart = 300;
    options.partialLastPacket = 100;
    TapeWriter writer(options);
    writer.AddScene(Scene({}, 2));
    const auto tape = writer.Build();
    ASSERT_EQ((tape.size() - 400) % kPacket, 0u);
    EXPECT_EQ(writer.Size(), tape.size());
    for (std::size_t i = 0; i < 300; ++i) {
        ASSERT_NE(tape[i], 0x47) << i;
    }
    const auto packets = Packets(tape, 300);
    for (const Packet& pkt : packets) {
        ASSERT_EQ(pkt.p[0], 0x47) << pkt.offset;
    }
    EXPECT_EQ(tape[tape.size() - 100], 0x47);

    // Tables: the PAT leads to the PMT, which lists video, audio and date pack streams.
    ASSERT_EQ(packets[0].pid(), 0);
    ASSERT_EQ(packets[1].pid(), 0x100);
    for (int i : {0, 1}) {
        const std::uint8_t* section = packets[i].p + 5;
        const std::size_t length = ((section[1] & 0x0F) << 8) | section[2];
        EXPECT_EQ(Crc(section, 3 + length), 0u) << "CRC of table " << i;
    }
    EXPECT_EQ(((packets[0].p[15] & 0x1F) << 8) | packets[0].p[16], 0x100);
    const std::uint8_t* streams = packets[1].p + 5 + 12;
    const std::vector<std::pair<int, int>> expected = {
        {0x02, kVideo}, {0x03, kAudio}, {0xA1, kDate}};
    for (std::size_t s = 0; s < expected.size(); ++s) {
        EXPECT_EQ(streams[5 * s], expected[s].first);
        EXPECT_EQ(((streams[5 * s + 1] & 0x1F) << 8) | streams[5 * s + 2], expected[s].second);
    }
}

// Scene 0: 2009-12-31 23:59:59, 3 groups of 15 pictures, two date packs in its first group.
// Scene 1: 2010-03-01 08:00:00, 2 groups, no date packs.
// Scene 2: 2010-03-01 09:00:00, 1 group; its date pack is the fifth overall (4), damaged.
// Group dates advance by 0.6 s per group, so scene 0 crosses into 2010 in its third group.
TEST(TapeWriter, DatePacksCarryTheGroupDatesAfterTheFirstVideoPacket) {
    TapeOptions options = Small();
    options.damagedDatePacks = {4};
    TapeWriter writer(options);
    SceneSpec first = Scene({2009, 12, 31, 23, 59, 59}, 3);
    first.secondDatePack = true;
    SceneSpec quiet = Scene({2010, 3, 1, 8, 0, 0}, 2);
    quiet.noDates = true;
    writer.AddScene(first);
    writer.AddScene(quiet);
    writer.AddScene(Scene({2010, 3, 1, 9, 0, 0}, 1));
    const auto tape = writer.Build();
    const auto& gops = writer.Gops();
    ASSERT_EQ(gops.size(), 6u);

    const std::vector<DateTime> dates = {{2009, 12, 31, 23, 59, 59}, {2009, 12, 31, 23, 59, 59},
                                         {2010, 1, 1, 0, 0, 0},      {2010, 3, 1, 8, 0, 0},
                                         {2010, 3, 1, 8, 0, 0},      {2010, 3, 1, 9, 0, 0}};
    const std::vector<int> counts = {2, 1, 1, 0, 0, 1};
    for (std::size_t g = 0; g < gops.size(); ++g) {
        EXPECT_EQ(gops[g].date, dates[g]) << "group " << g;
        EXPECT_EQ(gops[g].datePacks, counts[g]) << "group " << g;
    }

    std::vector<std::vector<Packet>> packsPerGroup(gops.size());
    for (const Packet& pkt : Packets(tape)) {
        if (pkt.pid() != kDate) {
            continue;
        }
        std::size_t g = 0;
        while (g + 1 < gops.size() && gops[g + 1].firstVideoPacket < pkt.offset) {
            ++g;
        }
        ASSERT_GT(pkt.offset, gops[g].firstVideoPacket) << "a date pack before its group";
        packsPerGroup[g].push_back(pkt);
    }
    for (std::size_t g = 0; g + 1 < gops.size(); ++g) {
        ASSERT_EQ(packsPerGroup[g].size(), static_cast<std::size_t>(counts[g])) << "group " << g;
        for (const Packet& pkt : packsPerGroup[g]) {
            EXPECT_EQ(pkt.p[3] & 0x30, 0x30);
            const std::size_t pes = 5 + pkt.p[4];
            EXPECT_EQ(pkt.p[pes + 3], 0xBF);
            EXPECT_EQ(pes + 6 + ((pkt.p[pes + 4] << 8) | pkt.p[pes + 5]), kPacket);
            EXPECT_EQ(DecodeDate(pkt), dates[g]) << "group " << g;
        }
    }
    ASSERT_EQ(packsPerGroup.back().size(), 1u);
    EXPECT_GT(packsPerGroup.back()[0].p[4] + kDayAt + 6, kPacket - 1) << "damaged pack";
}

// Scene 0 (closed first group) of 3 groups, scene 1 of 2 open groups; then the same
// tape with every group closed.
TEST(TapeWriter, GroupHeaderLiesInTheFirstPacketWithItsClosedFlag) {
    for (bool allClosed : {false, true}) {
        TapeOptions options = Small();
        options.closedGops = allClosed;
        TapeWriter writer(options);
        SceneSpec first = Scene({}, 3);
        first.closedFirstGop = true;
        writer.AddScene(first);
        writer.AddScene(Scene({2006, 5, 1, 15, 0, 0}, 2));
        const auto tape = writer.Build();
        ASSERT_EQ(writer.Gops().size(), 5u);
        std::size_t g = 0;
        for (const GopInfo& gop : writer.Gops()) {
            const bool expectClosed = allClosed || g == 0;
            EXPECT_EQ(gop.closed, expectClosed) << g;
            const Packet pkt{gop.firstVideoPacket, tape.data() + gop.firstVideoPacket};
            ASSERT_EQ(pkt.pid(), kVideo);
            ASSERT_TRUE(pkt.start());
            const auto es = pkt.Es();
            const auto codes = StartCodes(es);
            ASSERT_GE(codes.size(), 3u);
            EXPECT_EQ(codes[0], 0xB3);
            EXPECT_EQ(codes[2], 0xB8);
            std::size_t at = 0;
            while (!(es[at] == 0 && es[at + 1] == 0 && es[at + 2] == 1 && es[at + 3] == 0xB8)) {
                ++at;
            }
            ASSERT_LT(at + 7, es.size());
            EXPECT_EQ((es[at + 7] & 0x40) != 0, expectClosed) << g;
            ++g;
        }
    }
}

TEST(TapeWriter, PicturesHave68SlicesAndBrokenOnes67) {
    for (int gopLength : {12, 15}) {
        TapeOptions options = Small();
        options.gopLength = gopLength;
        options.brokenPictures = {3, 20};
        TapeWriter writer(options);
        writer.AddScene(Scene({}, 3));
        const auto pictures = VideoPictures(Packets(writer.Build()));
        ASSERT_EQ(pictures.size(), static_cast<std::size_t>(3 * gopLength));
        for (std::size_t n = 0; n < pictures.size(); ++n) {
            int slices = 0;
            int pictureCodes = 0;
            for (std::uint8_t code : StartCodes(pictures[n])) {
                if (code >= 0x01 && code <= 0xAF) {
                    EXPECT_EQ(code, slices + 1) << "slices in order";
                    ++slices;
                } else if (code == 0x00) {
                    ++pictureCodes;
                } else {
                    EXPECT_TRUE(code == 0xB3 || code == 0xB5 || code == 0xB8) << int(code);
                }
            }
            EXPECT_EQ(pictureCodes, 1) << n;
            EXPECT_EQ(slices, n == 3 || n == 20 ? 67 : 68) << n;
        }
    }
}

// 7 stray bytes, then scene 0 (2 groups) and scene 1 (2 groups), with audio in between.
TEST(TapeWriter, GroupOffsetsAndCutsFallOnVideoPacketBoundaries) {
    TapeOptions options = Small();
    options.strayBytesAtStart = 7;
    TapeWriter writer(options);
    writer.AddScene(Scene({}, 2));
    writer.AddScene(Scene({2006, 5, 1, 16, 0, 0}, 2));
    const auto tape = writer.Build();
    const auto packets = Packets(tape, 7);
    const auto& gops = writer.Gops();
    ASSERT_EQ(gops.size(), 4u);
    EXPECT_EQ(gops[0].cut, 0u);
    std::size_t audioBetween = 0;
    for (std::size_t g = 0; g < gops.size(); ++g) {
        EXPECT_EQ(gops[g].scene, g < 2 ? 0 : 1);
        ASSERT_EQ((gops[g].firstVideoPacket - 7) % kPacket, 0u);
        const Packet first{gops[g].firstVideoPacket, tape.data() + gops[g].firstVideoPacket};
        ASSERT_EQ(first.pid(), kVideo);
        ASSERT_TRUE(first.start());
        if (g == 0) {
            continue;
        }
        const Packet last{gops[g].cut - kPacket, tape.data() + gops[g].cut - kPacket};
        EXPECT_EQ(last.pid(), kVideo) << g;
        for (std::size_t at = gops[g].cut; at < gops[g].firstVideoPacket; at += kPacket) {
            const Packet between{at, tape.data() + at};
            EXPECT_NE(between.pid(), kVideo) << g;
            audioBetween += between.pid() == kAudio;
        }
    }
    EXPECT_GT(audioBetween, 0u) << "the cuts should not coincide with the group starts";
    EXPECT_EQ(writer.SceneCuts(), (std::vector<std::uint64_t>{gops[0].cut, gops[2].cut}));
    EXPECT_LT(packets.front().offset, gops[0].firstVideoPacket);
}

// Video: decoded and shown one picture every 3600 ticks, never shown before it is decoded.
// Audio: a frame every 1728 ticks, muxed next to the video decoded at the same time.
TEST(TapeWriter, TimestampsFollowThe90kHzClock) {
    TapeWriter writer(Small());
    writer.AddScene(Scene({}, 2));
    const auto tape = writer.Build();
    const auto packets = Packets(tape);
    auto timestamp = [](const std::uint8_t* t) {
        return (std::uint64_t(t[0] & 0x0E) << 29) | (std::uint64_t(t[1]) << 22) |
               (std::uint64_t(t[2] >> 1) << 15) | (std::uint64_t(t[3]) << 7) | (t[4] >> 1);
    };
    std::uint64_t lastDts = 0;
    std::vector<std::uint64_t> audioPts;
    std::vector<std::uint64_t> videoPts;
    for (const Packet& pkt : packets) {
        if (!pkt.start()) {
            continue;
        }
        const std::uint8_t* pes = pkt.p + 4 + ((pkt.p[3] & 0x20) ? 1 + pkt.p[4] : 0);
        if (pkt.pid() == kVideo) {
            ASSERT_NE(pes[7] & 0x80, 0) << "every picture has a PTS";
            videoPts.push_back(timestamp(pes + 9));
            const std::uint64_t dts = timestamp(pes + ((pes[7] & 0x40) ? 14 : 9));
            EXPECT_LE(dts, videoPts.back());
            if (videoPts.size() > 1) {
                EXPECT_EQ(dts - lastDts, 3600u) << "decoding one picture at a time";
            }
            lastDts = dts;
        } else if (pkt.pid() == kAudio) {
            ASSERT_EQ(pes[3], 0xC0);
            EXPECT_EQ(pes[14], 0xFF);
            EXPECT_EQ(pes[15] & 0xF0, 0xF0);
            audioPts.push_back(timestamp(pes + 9));
            EXPECT_LE(audioPts.back(), lastDts + 3600);
            EXPECT_GE(audioPts.back() + 3600, lastDts);
        }
    }
    ASSERT_EQ(videoPts.size(), 30u);
    std::sort(videoPts.begin(), videoPts.end());
    for (std::size_t i = 1; i < videoPts.size(); ++i) {
        EXPECT_EQ(videoPts[i] - videoPts[i - 1], 3600u);
    }
    ASSERT_GT(audioPts.size(), 40u);
    for (std::size_t i = 1; i < audioPts.size(); ++i) {
        EXPECT_EQ(audioPts[i] - audioPts[i - 1], 1728u);
    }

    TapeOptions silent = Small();
    silent.audio = false;
    TapeWriter quiet(silent);
    quiet.AddScene(Scene({}, 1));
    const auto silentTape = quiet.Build();
    for (const Packet& pkt : Packets(silentTape)) {
        EXPECT_NE(pkt.pid(), kAudio);
    }
}

TEST(TapeWriter, OutputDependsOnlyOnOptionsAndSeed) {
    auto make = [](std::uint32_t seed) {
        TapeOptions options = Small();
        options.seed = seed;
        TapeWriter writer(options);
        writer.AddScene(Scene({}, 2));
        return writer.Build();
    };
    EXPECT_EQ(make(5), make(5));
    EXPECT_NE(make(5), make(6));

    TapeWriter writer(Small());
    writer.AddScene(Scene({}, 2));
    std::vector<std::uint8_t> streamed;
    const std::uint64_t size = writer.Write([&](const std::uint8_t* data, std::size_t n) {
        streamed.insert(streamed.end(), data, data + n);
    });
    EXPECT_EQ(size, streamed.size());
    EXPECT_EQ(streamed, make(1));
}

TEST(TapeWriter, WriteFileNeverOverwrites) {
    test::TempDir dir;
    const std::string path = dir.File("tape.m2t");
    TapeWriter writer(Small());
    writer.AddScene(Scene({}, 1));
    ASSERT_TRUE(writer.WriteFile(path)) << writer.Error();
    EXPECT_EQ(test::ReadAll(path), writer.Build());

    test::WriteAll(path, {1, 2, 3});
    EXPECT_FALSE(writer.WriteFile(path));
    EXPECT_NE(writer.Error().find("already exists"), std::string::npos);
    EXPECT_EQ(test::ReadAll(path), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(writer.WriteFile(dir.File("no/such/folder.m2t")));
}

TEST(TapeOptionsParser, ReadsScenesAndOptions) {
    const auto r = TapeOptionsParser::Parse({"--scene",
                                             "2007-02-28 23:59:58,4,closed,twodates",
                                             "--scene=2008-02-29 00:00:00,1,nodates",
                                             "--gop",
                                             "12",
                                             "--picture-size",
                                             "1280x720",
                                             "--picture-bytes",
                                             "5000",
                                             "--closed-gops",
                                             "--no-audio",
                                             "--broken",
                                             "3",
                                             "--broken",
                                             "7",
                                             "--stray",
                                             "5",
                                             "--partial=10",
                                             "--damaged-date",
                                             "2",
                                             "--seed",
                                             "4294967295",
                                             "--quiet",
                                             "out.m2t"});
    ASSERT_TRUE(r.ok) << r.error;
    const MkTapeCommand& c = r.command;
    EXPECT_EQ(c.output, "out.m2t");
    ASSERT_EQ(c.scenes.size(), 2u);
    EXPECT_EQ(c.scenes[0].start, (DateTime{2007, 2, 28, 23, 59, 58}));
    EXPECT_EQ(c.scenes[0].gops, 4);
    EXPECT_TRUE(c.scenes[0].closedFirstGop && c.scenes[0].secondDatePack);
    EXPECT_FALSE(c.scenes[0].noDates);
    EXPECT_EQ(c.scenes[1].start, (DateTime{2008, 2, 29, 0, 0, 0}));
    EXPECT_TRUE(c.scenes[1].noDates);
    EXPECT_FALSE(c.scenes[1].closedFirstGop);
    EXPECT_EQ(c.options.gopLength, 12);
    EXPECT_EQ(c.options.width, 1280);
    EXPECT_EQ(c.options.height, 720);
    EXPECT_EQ(c.options.pictureBytes, 5000u);
    EXPECT_TRUE(c.options.closedGops);
    EXPECT_FALSE(c.options.audio);
    EXPECT_EQ(c.options.brokenPictures, (std::vector<long>{3, 7}));
    EXPECT_EQ(c.options.strayBytesAtStart, 5u);
    EXPECT_EQ(c.options.partialLastPacket, 10u);
    EXPECT_EQ(c.options.damagedDatePacks, (std::vector<long>{2}));
    EXPECT_EQ(c.options.seed, 4294967295u);
    EXPECT_TRUE(c.quiet);

    EXPECT_TRUE(TapeOptionsParser::Parse({"x.m2t", "--help"}).command.help);
}

TEST(TapeOptionsParser, MakesDefaultScenesAndFillsToASize) {
    const auto one = TapeOptionsParser::Parse({"t.m2t"});
    ASSERT_TRUE(one.ok);
    ASSERT_EQ(one.command.scenes.size(), 1u);
    EXPECT_EQ(one.command.scenes[0].start, (DateTime{2006, 5, 1, 14, 3, 59}));
    EXPECT_EQ(one.command.scenes[0].gops, 10);

    const auto three = TapeOptionsParser::Parse({"--scenes", "3", "--scene-gops", "2", "t.m2t"});
    ASSERT_TRUE(three.ok);
    ASSERT_EQ(three.command.scenes.size(), 3u);
    EXPECT_EQ(three.command.scenes[2].start, (DateTime{2006, 5, 1, 16, 4, 5}));
    EXPECT_EQ(three.command.scenes[2].gops, 2);

    std::uint64_t bytes = 0;
    ASSERT_TRUE(TapeOptionsParser::ParseSize("1.5G", bytes));
    EXPECT_EQ(bytes, 1610612736u);
    ASSERT_TRUE(TapeOptionsParser::ParseSize("200M", bytes));
    EXPECT_EQ(bytes, 200u << 20);

    const auto sized = TapeOptionsParser::Parse(
        {"--size", "3M", "--picture-bytes", "3000", "--scene-gops", "2", "t.m2t"});
    ASSERT_TRUE(sized.ok) << sized.error;
    TapeWriter writer(sized.command.options);
    for (const auto& scene : sized.command.scenes) {
        writer.AddScene(scene);
    }
    const std::uint64_t size = writer.Write([](const std::uint8_t*, std::size_t) {});
    EXPECT_GE(size, 3u << 20);
    EXPECT_LT(size, (3u << 20) + 3 * writer.EstimatedGroupBytes());
}

TEST(TapeOptionsParser, RejectsBadUsage) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"a.m2t", "b.m2t"},
        {"--frobnicate", "t.m2t"},
        {"--gop", "13", "t.m2t"},
        {"--gop", "t.m2t"},
        {"--scene", "2006-05-01 14:03:59", "t.m2t"},
        {"--scene", "2006-05-01 14:03:59,0", "t.m2t"},
        {"--scene", "2006-02-29 10:00:00,3", "t.m2t"},
        {"--scene", "2006-05-01 24:00:00,3", "t.m2t"},
        {"--scene", "1999-05-01 10:00:00,3", "t.m2t"},
        {"--scene", "2006-5-1 10:00:00,3", "t.m2t"},
        {"--scene", "2006-05-01 10:00:00,3,open", "t.m2t"},
        {"--scene", "2006-05-01 10:00:00,3", "--scenes", "2", "t.m2t"},
        {"--scenes", "0", "t.m2t"},
        {"--size", "12X", "t.m2t"},
        {"--size", "-1M", "t.m2t"},
        {"--picture-size", "1440", "t.m2t"},
        {"--picture-size", "5000x1080", "t.m2t"},
        {"--partial", "188", "t.m2t"},
        {"--broken", "-1", "t.m2t"},
        {"--seed", "4294967296", "t.m2t"},
        {"--quiet=1", "t.m2t"},
        {"t.m2t", "--stray"},
    };
    for (const auto& args : bad) {
        const auto r = TapeOptionsParser::Parse(args);
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        EXPECT_FALSE(r.ok) << joined;
        EXPECT_FALSE(r.error.empty()) << joined;
    }
}

// help2man reads the version line and the usage to write the man page.
TEST(TapeOptionsParser, VersionNeedsNoOutputFile) {
    const auto r = TapeOptionsParser::Parse({"--version"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.command.version);
    EXPECT_FALSE(r.command.help);
    EXPECT_EQ(TapeOptionsParser::Version(), "vornak-mktape (Vornak) 0.77\n");
    EXPECT_NE(TapeOptionsParser::Usage().find("--version"), std::string::npos);
    EXPECT_FALSE(TapeOptionsParser::Parse({"t.m2t"}).command.version);
}

}  // namespace
}  // namespace vornak::tape
