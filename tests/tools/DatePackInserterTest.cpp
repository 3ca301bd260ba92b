// Date packs added to a stream made elsewhere: where they go, what dates they carry, what input
// is refused, and a real ffmpeg clip that the engine then splits at the cut.
#include "DatePackInserter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "RecordingDate.h"
#include "SceneFileName.h"
#include "SceneSplitter.h"
#include "TapeOptionsParser.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak::tape {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPacket = 188;
constexpr std::size_t kRoom = 184;  // after the transport header
constexpr int kVideo = 0x810;
constexpr int kDate = 0x811;
constexpr int kAudio = 0x814;
constexpr std::uint8_t kFiller = 0x55;
constexpr std::uint64_t kSecond = 90000;
constexpr std::uint64_t kGroupTicks = 43200;  // twelve pictures at 25 a second
constexpr std::uint64_t kT0 = 900000;
constexpr std::uint64_t kClockWrap = std::uint64_t{1} << 33;
constexpr std::int64_t kHour = 3600;
constexpr std::size_t kBigAdaptation = 120;

const Bytes kGroupHeader = {0x00, 0x00, 0x01, 0xB8, 0x08, 0x00, 0x08, 0x00};
const Bytes kPictureHeader = {0x00, 0x00, 0x01, 0x00, 0x00, 0x0F, 0xFF, 0xF8};
const DateTime kStart{2007, 6, 15, 10, 0, 0};

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Filler(std::size_t n) {
    return Bytes(n, kFiller);
}

// One video packet: the PES header when `start` (with a PTS if given), an adaptation field of at
// least `minAdaptation` bytes padding the packet, and `es` at its very end.
Bytes Video(const Bytes& es, bool start, std::optional<std::uint64_t> pts = std::nullopt,
            std::size_t minAdaptation = 0) {
    Bytes pes;
    if (start) {
        pes = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80, 0x00, 0x00};
        if (pts) {
            const std::uint64_t t = *pts & (kClockWrap - 1);
            pes[7] = 0x80;
            pes[8] = 5;
            pes = pes + Bytes{static_cast<std::uint8_t>(0x21 | ((t >> 29) & 0x0E)),
                              static_cast<std::uint8_t>(t >> 22),
                              static_cast<std::uint8_t>(((t >> 14) & 0xFE) | 1),
                              static_cast<std::uint8_t>(t >> 7),
                              static_cast<std::uint8_t>(((t << 1) & 0xFE) | 1)};
        }
    }
    const std::size_t stuffing = kRoom - pes.size() - es.size();
    EXPECT_GE(stuffing, minAdaptation) << "test packet overfull";
    Bytes pkt = {0x47, static_cast<std::uint8_t>((start ? 0x40 : 0) | (kVideo >> 8)),
                 static_cast<std::uint8_t>(kVideo & 0xFF),
                 static_cast<std::uint8_t>(stuffing > 0 ? 0x30 : 0x10)};
    if (stuffing > 0) {
        pkt.push_back(static_cast<std::uint8_t>(stuffing - 1));
        Bytes field(stuffing - 1, 0xFF);
        if (!field.empty()) {
            field[0] = 0x00;  // no adaptation flags
        }
        pkt = pkt + field;
    }
    return pkt + pes + es;
}

// A packet of another PID whose payload looks like a group header: only video is searched.
Bytes Audio() {
    Bytes pkt = {0x47, 0x40 | (kAudio >> 8), kAudio & 0xFF, 0x10};
    while (pkt.size() < kPacket) {
        pkt = pkt + kGroupHeader;
    }
    pkt.resize(kPacket);
    return pkt;
}

Bytes Join(const std::vector<Bytes>& packets) {
    Bytes out;
    for (const Bytes& p : packets) {
        EXPECT_EQ(p.size(), kPacket);
        out = out + p;
    }
    return out;
}

int Pid(const std::uint8_t* p) {
    return ((p[1] << 8) | p[2]) & 0x1FFF;
}

// Feeds `input` in pieces of `piece` bytes (all at once when 0).
Bytes FeedAll(DatePackInserter& inserter, const Bytes& input, std::size_t piece = 0) {
    Bytes out;
    const std::size_t step = piece == 0 ? input.size() : piece;
    for (std::size_t at = 0; at < input.size(); at += step) {
        const std::size_t n = std::min(step, input.size() - at);
        EXPECT_TRUE(inserter.Feed(input.data() + at, n, out)) << inserter.Error();
    }
    EXPECT_TRUE(inserter.Finish(out)) << inserter.Error();
    return out;
}

Bytes Dated(const Bytes& input, DateInsertOptions options, std::size_t piece = 0) {
    DatePackInserter inserter(options);
    return FeedAll(inserter, input, piece);
}

struct Pack {
    std::size_t inputPacketsBefore = 0;
    int continuity = 0;
    RecordingDate date;  // read as the engine reads it
};

// Splits the output into the input's packets and the packs added among them.
std::vector<Pack> Packs(const Bytes& out, Bytes* withoutPacks = nullptr) {
    std::vector<Pack> packs;
    std::size_t inputPackets = 0;
    for (std::size_t at = 0; at + kPacket <= out.size(); at += kPacket) {
        const std::uint8_t* p = out.data() + at;
        if (Pid(p) != kDate) {
            ++inputPackets;
            if (withoutPacks != nullptr) {
                withoutPacks->insert(withoutPacks->end(), p, p + kPacket);
            }
            continue;
        }
        const std::uint8_t* d = p + p[ADAPTATION_LENGTH_OFFSET];
        Pack pack;
        pack.inputPacketsBefore = inputPackets;
        pack.continuity = continuity_counter(p);
        pack.date.day = DecodeBcd(d[DATE_DAY_OFFSET], DAY_TENS_MASK);
        pack.date.month = DecodeBcd(d[DATE_MONTH_OFFSET], MONTH_TENS_MASK);
        pack.date.year = FullYear(DecodeBcd(d[DATE_YEAR_OFFSET], YEAR_TENS_MASK));
        pack.date.second = DecodeBcd(d[DATE_SECOND_OFFSET], SECOND_TENS_MASK);
        pack.date.minute = DecodeBcd(d[DATE_MINUTE_OFFSET], MINUTE_TENS_MASK);
        pack.date.hour = DecodeBcd(d[DATE_HOUR_OFFSET], HOUR_TENS_MASK);
        packs.push_back(pack);
    }
    return packs;
}

DateTime AsDateTime(const RecordingDate& d) {
    return DateTime{d.year, d.month, d.day, d.hour, d.minute, d.second};
}

// One picture group per entry, starting a video PES with that PTS, audio after each.
Bytes GroupsAt(const std::vector<std::optional<std::uint64_t>>& times) {
    std::vector<Bytes> packets = {packets::Pat()};
    for (const auto& pts : times) {
        packets.push_back(Video(kGroupHeader + kPictureHeader + Filler(40), true, pts));
        packets.push_back(Audio());
    }
    return Join(packets);
}

std::vector<DateTime> DatesOf(const Bytes& out) {
    std::vector<DateTime> dates;
    for (const Pack& pack : Packs(out)) {
        dates.push_back(AsDateTime(pack.date));
    }
    return dates;
}

DateTime Plus(std::int64_t seconds) {
    return AddSeconds(kStart, seconds);
}

// Group headers that begin: whole inside a PES start (1), split 00 00 | 01 B8 with audio between
// (7 | 9), after a large adaptation field (10), split 00 | 00 | 01 B8 over three packets with the
// middle one carrying a single byte (11 | 12 | 13). Packet 4 ends in 00 00 before a picture start
// code, and the last packet ends in 00 00 01 when the input ends: held, then written unchanged.
TEST(DatePackInserter, CopiesEveryPacketAndAddsAPackWhereEachGroupHeaderBegins) {
    const Bytes input = Join({
        packets::Pat(),                                                                 // 0
        Video(Filler(20) + kGroupHeader + kPictureHeader + Filler(30), true, kT0),      // 1
        Video(Filler(kRoom), false),                                                    // 2
        Audio(),                                                                        // 3
        Video(kPictureHeader + Filler(50) + Bytes{0, 0}, true, kT0 + 3600),             // 4
        Audio(),                                                                        // 5
        Video(Bytes{0x01, 0x00} + Filler(60), false),                                   // 6
        Video(Filler(10) + Bytes{0, 0}, true, kT0 + kGroupTicks),                       // 7
        Audio(),                                                                        // 8
        Video(Bytes{0x01, 0xB8, 0x08, 0x00} + Filler(kRoom - 4), false),                // 9
        Video(kGroupHeader + Filler(30), true, kT0 + 2 * kGroupTicks, kBigAdaptation),  // 10
        Video(Filler(30) + Bytes{0}, true, kT0 + 3 * kGroupTicks),                      // 11
        Video(Bytes{0}, false),                                                         // 12
        Video(Bytes{0x01, 0xB8} + Filler(40), false),                                   // 13
        Video(Filler(40) + Bytes{0, 0, 1}, false),                                      // 14
    });
    DatePackInserter inserter({kStart});
    const Bytes out = FeedAll(inserter, input);

    Bytes copied;
    const auto packs = Packs(out, &copied);
    EXPECT_EQ(copied, input) << "input packets changed, lost or reordered";
    ASSERT_EQ(packs.size(), 4u);
    const std::vector<std::size_t> after = {1, 7, 10, 11};
    const std::vector<DateTime> dates = {Plus(0), Plus(0), Plus(0), Plus(1)};
    for (std::size_t i = 0; i < packs.size(); ++i) {
        EXPECT_EQ(packs[i].inputPacketsBefore, after[i] + 1) << "pack " << i;
        EXPECT_EQ(packs[i].continuity, static_cast<int>(i)) << "pack " << i;
        EXPECT_EQ(AsDateTime(packs[i].date), dates[i]) << "pack " << i;
    }
    EXPECT_EQ(inserter.PacketsIn(), 15u);
    EXPECT_EQ(inserter.DatePacks(), 4u);
    EXPECT_EQ(inserter.Scenes(), 1);

    // The pack is the packet the generator writes for that date, counter aside.
    const Bytes expectedPack = packets::DatePack(kStart, 7, 1);
    const std::size_t second = (packs[1].inputPacketsBefore + 1) * kPacket;
    EXPECT_EQ(Bytes(out.begin() + second, out.begin() + second + kPacket), expectedPack);

    for (std::size_t piece : {1u, 5u, 187u, 189u, 1000u}) {
        EXPECT_EQ(Dated(input, {kStart}, piece), out) << "fed " << piece << " bytes at a time";
    }
}

// Groups 0.48 s apart from just before the 33-bit clock wraps; the sixth PES has no PTS and keeps
// the date of the group before it. The 17 counters wrap after 15.
TEST(DatePackInserter, DatesAdvanceByWholeSecondsOfPresentationTime) {
    const std::uint64_t first = kClockWrap - kSecond;
    std::vector<std::optional<std::uint64_t>> times;
    for (std::uint64_t g = 0; g < 5; ++g) {
        times.push_back(first + g * kGroupTicks);
    }
    times.push_back(std::nullopt);
    for (std::uint64_t g = 5; g < 16; ++g) {
        times.push_back(first + g * kGroupTicks);
    }
    const Bytes out = Dated(GroupsAt(times), {kStart});
    const auto packs = Packs(out);
    ASSERT_EQ(packs.size(), times.size());
    const std::vector<std::int64_t> seconds = {0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7};
    for (std::size_t i = 0; i < packs.size(); ++i) {
        EXPECT_EQ(AsDateTime(packs[i].date), Plus(seconds[i])) << "group " << i;
        EXPECT_EQ(packs[i].continuity, static_cast<int>(i % 16)) << "group " << i;
    }
}

TEST(DatePackInserter, CutAfterMakesTheFirstGroupFromThatTimeJumpAnHour) {
    const Bytes input = GroupsAt({kT0, kT0 + kGroupTicks, kT0 + kSecond - 1, kT0 + kSecond,
                                  kT0 + kSecond + kGroupTicks, kT0 + 5 * kSecond / 2});
    DatePackInserter inserter({kStart, true, kSecond});
    EXPECT_EQ(DatesOf(FeedAll(inserter, input)),
              (std::vector<DateTime>{Plus(0), Plus(0), Plus(0), Plus(kHour + 1), Plus(kHour + 1),
                                     Plus(kHour + 2)}));
    EXPECT_EQ(inserter.Scenes(), 2);

    DatePackInserter late({kStart, true, 10 * kSecond});
    EXPECT_EQ(DatesOf(FeedAll(late, input)),
              (std::vector<DateTime>{Plus(0), Plus(0), Plus(0), Plus(1), Plus(1), Plus(2)}));
    EXPECT_EQ(late.Scenes(), 1);

    DatePackInserter first({kStart, true, 0});
    EXPECT_EQ(DatesOf(FeedAll(first, input)).front(), Plus(kHour));
    EXPECT_EQ(first.Scenes(), 1) << "every group moved: still one scene";
}

TEST(DatePackInserter, RefusesDamagedOrUnsuitableInputNamingTheFile) {
    test::TempDir dir;
    const Bytes good = GroupsAt({kT0, kT0 + kGroupTicks});
    const Bytes text(400, 'x');
    const Bytes shifted = Bytes(good.begin(), good.begin() + 2 * kPacket) + Bytes{1, 2, 3} +
                          Bytes(good.begin() + 2 * kPacket, good.end());
    const Bytes truncated(good.begin(), good.end() - 10);
    const Bytes withDates = good + packets::DatePack(kStart);
    const Bytes noGroups = Join({packets::Pat(), Video(kPictureHeader, true, kT0), Audio()});
    struct Case {
        Bytes input;
        std::string says;
    };
    const std::vector<Case> cases = {
        {text, "byte 0 is 0x78"},       {shifted, "byte 376 is 0x01"},
        {truncated, "inside"},          {withDates, "already carries packets on PID 0x811"},
        {noGroups, "no picture-group"}, {{}, "empty"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string in = dir.File("in" + std::to_string(n) + ".ts");
        const std::string out = dir.File("out" + std::to_string(n++) + ".m2t");
        test::WriteAll(in, c.input);
        DatePackInserter inserter;
        EXPECT_FALSE(inserter.InsertFile(in, out)) << c.says;
        EXPECT_NE(inserter.Error().find(in), std::string::npos) << inserter.Error();
        EXPECT_NE(inserter.Error().find(c.says), std::string::npos) << inserter.Error();
        EXPECT_FALSE(std::filesystem::exists(out)) << "a refused input leaves no output";
    }

    DatePackInserter missing;
    EXPECT_FALSE(missing.InsertFile(dir.File("none.ts"), dir.File("never.m2t")));
    EXPECT_NE(missing.Error().find(dir.File("none.ts")), std::string::npos) << missing.Error();
    EXPECT_FALSE(std::filesystem::exists(dir.File("never.m2t")));

    const std::string in = dir.File("good.ts");
    const std::string taken = dir.File("taken.m2t");
    test::WriteAll(in, good);
    test::WriteAll(taken, {1, 2, 3});
    DatePackInserter refused;
    EXPECT_FALSE(refused.InsertFile(in, taken));
    EXPECT_NE(refused.Error().find("already exists"), std::string::npos) << refused.Error();
    EXPECT_EQ(test::ReadAll(taken), (Bytes{1, 2, 3}));

    DatePackInserter fine({kStart});
    ASSERT_TRUE(fine.InsertFile(in, dir.File("dated.m2t"))) << fine.Error();
    EXPECT_EQ(test::ReadAll(dir.File("dated.m2t")), Dated(good, {kStart}));
}

TEST(TapeOptionsParser, AddDatesTakesAStartOrOneSceneAndACut) {
    const auto r = TapeOptionsParser::Parse(
        {"--add-dates", "clip.ts", "--start", "2007-06-15 10:00:00", "--cut-after=1.5", "o.m2t"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.command.datesInput, "clip.ts");
    EXPECT_EQ(r.command.output, "o.m2t");
    EXPECT_EQ(r.command.dates.start, kStart);
    EXPECT_TRUE(r.command.dates.cut);
    EXPECT_EQ(r.command.dates.cutAfterTicks, 135000u);

    const auto scene = TapeOptionsParser::Parse(
        {"--scene", "2008-01-02 03:04:05,7", "--add-dates", "clip.ts", "--quiet", "o.m2t"});
    ASSERT_TRUE(scene.ok) << scene.error;
    EXPECT_EQ(scene.command.dates.start, (DateTime{2008, 1, 2, 3, 4, 5}));
    EXPECT_FALSE(scene.command.dates.cut);
    const auto plain = TapeOptionsParser::Parse({"--add-dates", "clip.ts", "o.m2t"});
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_EQ(plain.command.dates.start, TapeOptionsParser::DefaultStart());
    EXPECT_TRUE(TapeOptionsParser::Parse({"t.m2t"}).command.datesInput.empty());

    const std::vector<std::vector<std::string>> bad = {
        {"--add-dates", "clip.ts"},
        {"--add-dates", "clip.ts", "--gop", "12", "o.m2t"},
        {"--add-dates", "clip.ts", "--no-audio", "o.m2t"},
        {"--add-dates", "clip.ts", "--scene", "2008-01-02 03:04:05,7", "--scene",
         "2008-01-02 04:04:05,7", "o.m2t"},
        {"--add-dates", "clip.ts", "--scene", "2008-01-02 03:04:05,7", "--start",
         "2008-01-02 03:04:05", "o.m2t"},
        {"--add-dates", "clip.ts", "--start", "2008-01-02", "o.m2t"},
        {"--add-dates", "clip.ts", "--cut-after", "-1", "o.m2t"},
        {"--add-dates", "clip.ts", "--cut-after", "0", "o.m2t"},
        {"--add-dates", "clip.ts", "--cut-after", "1s", "o.m2t"},
        {"--cut-after", "1", "o.m2t"},
        {"--start", "2008-01-02 03:04:05", "o.m2t"},
        {"--add-dates=", "o.m2t"},
    };
    for (const auto& args : bad) {
        const auto parsed = TapeOptionsParser::Parse(args);
        EXPECT_FALSE(parsed.ok) << ::testing::PrintToString(args);
        EXPECT_FALSE(parsed.error.empty()) << ::testing::PrintToString(args);
    }
}

// A decodable 2-second clip from ffmpeg (picture groups every 0.48 s), dated with a cut after
// one second: the engine makes two scene files named by the packs' dates, which together are
// the dated tape.
TEST(DatePackInserter, FfmpegClipSplitsIntoTwoScenesThatMakeUpTheDatedTape) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "the ffmpeg program is not installed: no decodable clip to date";
    }
    test::ScopedTimeZone tz("UTC0");
    test::TempDir dir;
    const std::string clip = dir.File("clip.ts");
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error"
        " -f lavfi -i testsrc2=size=1440x1080:rate=25"
        " -f lavfi -i sine=frequency=1000:sample_rate=48000 -t 2"
        " -c:v mpeg2video -b:v 25M -c:a mp2 -b:a 384k -ac 2"
        " -mpegts_pmt_start_pid 0x100 -streamid 0:0x810 -streamid 1:0x814"
        " -f mpegts '" +
        clip + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const std::string dated = dir.File("dated.m2t");
    DatePackInserter inserter({kStart, true, kSecond});
    ASSERT_TRUE(inserter.InsertFile(clip, dated)) << inserter.Error();
    EXPECT_EQ(inserter.Scenes(), 2);
    EXPECT_GE(inserter.DatePacks(), 3u);
    Bytes copied;
    const Bytes tape = test::ReadAll(dated);
    Packs(tape, &copied);
    EXPECT_EQ(copied, test::ReadAll(clip));

    const std::string scenes = dir.File("scenes");
    std::filesystem::create_directory(scenes);
    SceneSplitter splitter(dated, {.baseName = scenes + "/tape", .extension = "m2t"});
    splitter.Run();
    EXPECT_FALSE(splitter.Failed());
    const std::vector<std::string> names = test::ListFiles(scenes);
    ASSERT_EQ(names, (std::vector<std::string>{"tape-2007_06_15-10_00_00.m2t",
                                               "tape-2007_06_15-11_00_01.m2t"}));
    EXPECT_EQ(test::Concat(scenes, names), tape);
}

}  // namespace
}  // namespace vornak::tape
