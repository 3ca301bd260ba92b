// The virtual camcorder's tape: whole packets only, reads clamped to the tape, the rate
// measured from the tape's clock references, and the timecode of a tape position.
#include "VirtualTape.h"

#include <gtest/gtest.h>

#include <cmath>

#include "DeviceControl.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Numbered(std::size_t packets, std::size_t extra = 0) {
    Bytes out(packets * PKT_SIZE + extra);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(i / PKT_SIZE);
    }
    return out;
}

TEST(VirtualTape, PlaysWholePacketsOnlyAndStopsReadingAtTheEnd) {
    test::TempDir dir;
    const Bytes bytes = Numbered(5, 100);
    test::WriteAll(dir.File("t.m2t"), bytes);
    VirtualTape tape;
    ASSERT_TRUE(tape.Open(dir.File("t.m2t")));
    EXPECT_EQ(tape.PacketCount(), 5u);

    Bytes out(4 * PKT_SIZE, 0xEE);
    EXPECT_EQ(tape.Read(3, 4, out.data()), 2u);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 2 * PKT_SIZE, bytes.begin() + 3 * PKT_SIZE));
    EXPECT_EQ(out[2 * PKT_SIZE], 0xEE);  // nothing written past what was read
    EXPECT_EQ(tape.Read(5, 1, out.data()), 0u);
    EXPECT_EQ(tape.Read(99, 1, out.data()), 0u);
}

TEST(VirtualTape, MeasuresTheRateFromClockReferences) {
    test::TempDir dir;
    tape::TapeWriter writer;  // pictures sized for about 25 Mbit/s
    tape::SceneSpec scene;
    scene.gops = 3;
    writer.AddScene(scene);
    ASSERT_TRUE(writer.WriteFile(dir.File("hdv.m2t")));
    VirtualTape hdv;
    ASSERT_TRUE(hdv.Open(dir.File("hdv.m2t")));
    EXPECT_NEAR(hdv.BitRate(), 25e6, 25e6 * 0.1);

    tape::TapeOptions small;
    small.pictureBytes = 3000;  // about 0.6 Mbit/s of video
    tape::TapeWriter slow(small);
    slow.AddScene(scene);
    ASSERT_TRUE(slow.WriteFile(dir.File("slow.m2t")));
    VirtualTape slowTape;
    ASSERT_TRUE(slowTape.Open(dir.File("slow.m2t")));
    EXPECT_LT(slowTape.BitRate(), 2e6);

    // Recordings joined end to end restart their clocks: the rate is still each one's.
    Bytes joined;
    const Bytes one = test::ReadAll(dir.File("slow.m2t"));
    for (int i = 0; i < 20; ++i) {
        joined.insert(joined.end(), one.begin(), one.end());
    }
    test::WriteAll(dir.File("joined.m2t"), joined);
    VirtualTape joinedTape;
    ASSERT_TRUE(joinedTape.Open(dir.File("joined.m2t")));
    EXPECT_NEAR(joinedTape.BitRate(), slowTape.BitRate(), slowTape.BitRate() * 0.05);
}

TEST(VirtualTape, FallsBackToTheHdvRateWithoutClockReferences) {
    test::TempDir dir;
    test::WriteAll(dir.File("plain.m2t"), Numbered(50));
    VirtualTape tape;
    ASSERT_TRUE(tape.Open(dir.File("plain.m2t")));
    EXPECT_EQ(tape.BitRate(), VirtualTape::kDefaultBitRate);
    EXPECT_FALSE(tape.Open(dir.File("missing.m2t")));
    EXPECT_EQ(tape.PacketCount(), 0u);
}

TEST(VirtualTape, TimecodeCountsWholeFramesOfPlayingTime) {
    // At 25 Mbit/s a packet plays for 60.16 us; 16622.34 packets make a second.
    constexpr double kHdv = 25e6;
    EXPECT_EQ(VirtualTape::TimecodeAt(0, kHdv), 0u);
    EXPECT_EQ(VirtualTape::TimecodeAt(664, kHdv), PackTimecode(0, 0, 0, 0));  // 39.9 ms
    EXPECT_EQ(VirtualTape::TimecodeAt(665, kHdv), PackTimecode(0, 0, 0, 1));  // 40.0 ms
    EXPECT_EQ(VirtualTape::TimecodeAt(16'622, kHdv), PackTimecode(0, 0, 0, 24));
    EXPECT_EQ(VirtualTape::TimecodeAt(16'623, kHdv), PackTimecode(0, 0, 1, 0));
    EXPECT_EQ(VirtualTape::TimecodeAt(16'623, kHdv), 0x00000100u);  // BCD, frames lowest

    // With 1000 packets a second, whole seconds come out exactly.
    constexpr double kThousandPackets = 188 * 8 * 1000;
    EXPECT_EQ(VirtualTape::TimecodeAt(999, kThousandPackets), PackTimecode(0, 0, 0, 24));
    EXPECT_EQ(VirtualTape::TimecodeAt(1'000, kThousandPackets), PackTimecode(0, 0, 1, 0));
    EXPECT_EQ(VirtualTape::TimecodeAt(1'040, kThousandPackets), PackTimecode(0, 0, 1, 1));
    const std::uint64_t hms = (12 * 3600 + 34 * 60 + 56) * 1000;
    EXPECT_EQ(VirtualTape::TimecodeAt(hms + 920, kThousandPackets), 0x12345623u);
    // The hours wrap after 23, as a tape counter does.
    EXPECT_EQ(VirtualTape::TimecodeAt((23 * 3600 + 59 * 60 + 59) * 1000 + 960, kThousandPackets),
              PackTimecode(23, 59, 59, 24));
    EXPECT_EQ(VirtualTape::TimecodeAt((24 * 3600 + 1) * 1000, kThousandPackets),
              PackTimecode(0, 0, 1, 0));
}

}  // namespace
}  // namespace vornak
