#include "FfmpegVideoDecodeCheck.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "ColourTape.h"
#include "PesHeader.h"
#include "Pids.h"
#include "TestSupport.h"
#include "TransportPacket.h"

namespace vornak {
namespace {

using Tags = std::vector<std::uint64_t>;

// One PES packet of the video: where its transport packets lie, and its picture's type.
struct VideoPes {
    std::uint64_t tag = 0;  // the offset of its first transport packet
    std::vector<std::size_t> packets;
    char type = '?';
};

std::optional<TransportPacket> VideoPacket(const std::vector<std::uint8_t>& ts, std::size_t at) {
    const std::optional<TransportPacket> packet = TransportPacket::Parse(
        std::span<const std::uint8_t>(ts).subspan(at, TransportPacket::kSize));
    if (!packet || packet->pid() != PID_VIDEO || packet->payload().empty()) {
        return std::nullopt;
    }
    return packet;
}

// The elementary stream in a packet: after the PES header where one begins.
std::span<const std::uint8_t> VideoBytes(const TransportPacket& packet) {
    std::span<const std::uint8_t> payload = packet.payload();
    if (packet.payload_unit_start_indicator()) {
        const std::optional<PesHeader> header = PesHeader::Parse(payload);
        payload = header ? payload.subspan(header->PayloadOffset()) : payload.subspan(0, 0);
    }
    return payload;
}

char PictureType(std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i + 5 < bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && bytes[i + 3] == 0) {
            const int type = (bytes[i + 5] >> 3) & 7;  // after ten bits of temporal_reference
            return type >= 1 && type <= 3 ? "?IPB"[type] : '?';
        }
    }
    return '?';
}

std::vector<VideoPes> ListVideo(const std::vector<std::uint8_t>& ts) {
    std::vector<VideoPes> list;
    for (std::size_t at = 0; at + TransportPacket::kSize <= ts.size();
         at += TransportPacket::kSize) {
        const std::optional<TransportPacket> packet = VideoPacket(ts, at);
        if (!packet) {
            continue;
        }
        if (packet->payload_unit_start_indicator()) {
            list.push_back({at, {}, PictureType(VideoBytes(*packet))});
        }
        if (!list.empty()) {
            list.back().packets.push_back(at);
        }
    }
    return list;
}

// Feeds the video as a job would; `flushBefore` names PES packets a Flush comes before, and
// `beforeEnd` gets the failures found before the last Flush.
Tags Check(const std::vector<std::uint8_t>& ts, const Tags& flushBefore = {},
           const FfmpegVideoDecodeCheck::Options& options = {}, Tags* beforeEnd = nullptr) {
    FfmpegVideoDecodeCheck check(options);
    EXPECT_TRUE(check.Available());
    Tags failures;
    for (std::size_t at = 0; at + TransportPacket::kSize <= ts.size();
         at += TransportPacket::kSize) {
        const std::optional<TransportPacket> packet = VideoPacket(ts, at);
        if (!packet) {
            continue;
        }
        const bool start = packet->payload_unit_start_indicator();
        if (start && std::find(flushBefore.begin(), flushBefore.end(), at) != flushBefore.end()) {
            check.Flush();
        }
        const std::span<const std::uint8_t> bytes = VideoBytes(*packet);
        check.Feed(bytes.data(), bytes.size(), start, at);
        check.TakeFailures(failures);
    }
    if (beforeEnd != nullptr) {
        *beforeEnd = failures;
    }
    check.Flush();
    check.TakeFailures(failures);
    return failures;
}

// A clip of ffmpeg's moving test picture in open picture groups, at a constant rate as a
// camcorder records it (the encoder stuffs pictures that need fewer bytes); empty when ffmpeg
// failed.
std::vector<std::uint8_t> MakeClip(const test::TempDir& dir, const std::string& size, int seconds) {
    const std::string clip = dir.File(size + ".ts");
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc2=size=" + size +
        ":rate=25 -t " + std::to_string(seconds) +
        " -c:v mpeg2video -b:v 8M -minrate 8M -maxrate 8M -bufsize 3M -g 12 -bf 2" +
        " -mpegts_pmt_start_pid 0x100" + " -streamid 0:0x810 -f mpegts '" + clip + "'";
    return std::system(command.c_str()) == 0 ? test::ReadAll(clip) : std::vector<std::uint8_t>{};
}

// The index of the n-th picture of a type, counted from 0.
std::size_t Nth(const std::vector<VideoPes>& video, char type, int n) {
    for (std::size_t i = 0; i < video.size(); ++i) {
        if (video[i].type == type && n-- == 0) {
            return i;
        }
    }
    ADD_FAILURE() << "no picture " << type << " " << n;
    return 0;
}

enum class Damage { Overwritten, CutShort, HeaderDestroyed };

// Damages the PES packet at `pes` of `video` in `ts` (whose offsets then no longer hold for
// what follows a cut).
void Spoil(std::vector<std::uint8_t>& ts, const VideoPes& pes, Damage damage) {
    const std::size_t count = pes.packets.size();
    switch (damage) {
        case Damage::Overwritten:
            // Three transport packets' worth of slice data in the middle, without a start code.
            for (std::size_t k = count / 2 - 1; k <= count / 2 + 1; ++k) {
                const std::size_t at = pes.packets[k];
                const std::size_t from = at + *VideoPacket(ts, at)->payload_offset();
                for (std::size_t i = from; i < at + TransportPacket::kSize; ++i) {
                    ts[i] = static_cast<std::uint8_t>(0x10 + (i * 167) % 0xF0);
                }
            }
            break;
        case Damage::CutShort:
            ts.erase(ts.begin() + static_cast<std::ptrdiff_t>(pes.packets[count / 2]),
                     ts.begin() +
                         static_cast<std::ptrdiff_t>(pes.packets.back() + TransportPacket::kSize));
            break;
        case Damage::HeaderDestroyed: {
            const std::size_t at = pes.packets.front();
            for (std::size_t i = at; i + 4 <= at + TransportPacket::kSize; ++i) {
                if (ts[i] == 0 && ts[i + 1] == 0 && ts[i + 2] == 1 && ts[i + 3] == 0) {
                    std::fill(ts.begin() + static_cast<std::ptrdiff_t>(i),
                              ts.begin() + static_cast<std::ptrdiff_t>(i + 4), 0xFF);
                    return;
                }
            }
            ADD_FAILURE() << "no picture header in the first transport packet";
            break;
        }
    }
}

class FfmpegVideoDecodeCheckTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::FfmpegAvailable()) {
            GTEST_SKIP() << "the ffmpeg program is not installed: no decodable clip";
        }
        m_clip = MakeClip(m_dir, "720x576", 3);
        ASSERT_FALSE(m_clip.empty());
        m_video = ListVideo(m_clip);
        ASSERT_EQ(m_video.size(), 75u);
    }

    test::TempDir m_dir;
    std::vector<std::uint8_t> m_clip;
    std::vector<VideoPes> m_video;
};

TEST_F(FfmpegVideoDecodeCheckTest, CleanVideoGivesNoFailures) {
    EXPECT_EQ(Check(m_clip), Tags{});
}

// libavcodec conceals slice data it cannot read and says so on the picture (overwritten or cut
// short), and hands out nothing for a picture without its header. The pictures that refer to a
// concealed one come out without a mark: only the damaged picture itself fails.
TEST_F(FfmpegVideoDecodeCheckTest, ADamagedPictureFailsAlone) {
    struct Case {
        Damage damage;
        char type;
    };
    const std::vector<Case> cases = {
        {Damage::Overwritten, 'I'},     {Damage::Overwritten, 'P'},
        {Damage::Overwritten, 'B'},     {Damage::CutShort, 'I'},
        {Damage::CutShort, 'P'},        {Damage::CutShort, 'B'},
        {Damage::HeaderDestroyed, 'I'}, {Damage::HeaderDestroyed, 'P'},
        {Damage::HeaderDestroyed, 'B'},
    };
    // With slice threads as without, each picture keeps its own tag.
    for (const int threads : {1, 2}) {
        for (const Case& c : cases) {
            // The second picture group's, whose references all came before it.
            const VideoPes& pes = m_video[Nth(m_video, c.type, c.type == 'I' ? 1 : 2)];
            SCOPED_TRACE(std::string(1, c.type) + " at " + std::to_string(pes.tag) + ", damage " +
                         std::to_string(static_cast<int>(c.damage)) + ", threads " +
                         std::to_string(threads));
            std::vector<std::uint8_t> ts = m_clip;
            Spoil(ts, pes, c.damage);
            EXPECT_EQ(Check(ts, {}, {.threads = threads}), Tags{pes.tag});
        }
    }
}

// The B-pictures at the head of an open picture group refer to the group before; after a Flush
// libavcodec skips them, as it skips everything before the first I-picture.
TEST_F(FfmpegVideoDecodeCheckTest, PicturesThatReferBeforeAFlushAreNoFailures) {
    Tags flushes;
    for (int n = 1; n < 5; ++n) {
        flushes.push_back(m_video[Nth(m_video, 'I', n)].tag);
    }
    flushes.push_back(m_video[Nth(m_video, 'P', 14)].tag);
    flushes.push_back(m_video[Nth(m_video, 'B', 38)].tag);
    EXPECT_EQ(Check(m_clip, flushes), Tags{});

    // Where the picture groups say they are closed, the B-pictures after a Flush are decoded,
    // and judged, like any other.
    std::vector<std::uint8_t> closed = m_clip;
    for (const VideoPes& pes : m_video) {
        const std::size_t at = pes.packets.front();
        for (std::size_t i = at; pes.type == 'I' && i + 8 <= at + TransportPacket::kSize; ++i) {
            if (closed[i] == 0 && closed[i + 1] == 0 && closed[i + 2] == 1 &&
                closed[i + 3] == 0xB8) {
                closed[i + 7] |= 0x40;  // closed_gop, after 25 bits of time code
            }
        }
    }
    EXPECT_EQ(Check(closed, flushes), Tags{});
    const VideoPes& leading = m_video[Nth(m_video, 'I', 2) + 1];
    ASSERT_EQ(leading.type, 'B');
    Spoil(closed, leading, Damage::Overwritten);
    EXPECT_EQ(Check(closed, flushes), Tags{leading.tag});
    EXPECT_EQ(Check(closed), Tags{leading.tag});

    // Nor are they when the video starts in the middle of a picture, and of its group.
    const VideoPes& cut = m_video[Nth(m_video, 'P', 9)];
    const std::vector<std::uint8_t> tail(
        m_clip.begin() + static_cast<std::ptrdiff_t>(cut.packets[cut.packets.size() / 2]),
        m_clip.end());
    EXPECT_EQ(Check(tail), Tags{});

    // A damaged I-picture after a Flush still fails.
    std::vector<std::uint8_t> ts = m_clip;
    const VideoPes& damaged = m_video[Nth(m_video, 'I', 2)];
    Spoil(ts, damaged, Damage::Overwritten);
    EXPECT_EQ(Check(ts, flushes), Tags{damaged.tag});
}

// A picture the decoder never hands out is found without waiting for the end of the video.
TEST_F(FfmpegVideoDecodeCheckTest, APictureThatNeverComesOutFailsBeforeTheEnd) {
    std::vector<std::uint8_t> ts = m_clip;
    const VideoPes& lost = m_video[Nth(m_video, 'P', 0)];
    Spoil(ts, lost, Damage::HeaderDestroyed);
    Tags beforeEnd;
    EXPECT_EQ(Check(ts, {}, {}, &beforeEnd), Tags{lost.tag});
    EXPECT_EQ(beforeEnd, Tags{lost.tag});
}

// libavcodec starts afresh at a sequence of another size, dropping the picture it held back;
// the check drains the decoder first, so a clean join is no failure.
TEST_F(FfmpegVideoDecodeCheckTest, ANewPictureSizeWithoutAFlushIsNoFailure) {
    const std::vector<std::uint8_t> second = MakeClip(m_dir, "352x288", 1);
    ASSERT_FALSE(second.empty());
    std::vector<std::uint8_t> ts = m_clip;
    ts.insert(ts.end(), second.begin(), second.end());
    EXPECT_EQ(Check(ts), Tags{});
}

}  // namespace
}  // namespace vornak
