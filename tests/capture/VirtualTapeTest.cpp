// The virtual camcorder's tape: whole packets or DV frames only (told by the content), reads
// clamped to the tape, the rate measured from the tape's clock references or given by the DV
// system, and the timecode of a tape position.
#include "VirtualTape.h"

#include <gtest/gtest.h>

#include <cmath>

#include "DeviceControl.h"
#include "DvTestFrames.h"
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

// DV frames 0, 1, ... of `system`, each with the timecode 00:00:02:nn in its subcode.
Bytes DvFrames(dv::DvSystem system, int frames) {
    Bytes out;
    for (int i = 0; i < frames; ++i) {
        dv::test::FrameSetup setup;
        setup.system = system;
        setup.tc = {0, 0, 2, i};
        const Bytes frame = dv::test::MakeFrame(setup);
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

// The name says nothing: a ".dv" of packets is a transport stream, a ".m2t" of frames is DV.
TEST(VirtualTape, TellsDvFromPacketsByContentAndPlaysWholeUnits) {
    struct Case {
        const char* name;
        Bytes bytes;
        bool dv;
        std::size_t unitSize;
        std::uint64_t units;
        std::uint64_t numerator;  // a unit plays numerator / denominator seconds
        double denominator;
    };
    Bytes pal = DvFrames(dv::DvSystem::k625_50, 3);
    pal.resize(pal.size() + 1000, 0x55);  // a frame cut short is not played
    const Case cases[] = {
        {"packets.dv", Numbered(7, 10), false, PKT_SIZE, 7, PKT_SIZE * 8,
         VirtualTape::kDefaultBitRate},
        {"pal.m2t", pal, true, dv::kFrameSize625, 3, 1, 25},
        {"ntsc.dv", DvFrames(dv::DvSystem::k525_60, 2), true, dv::kFrameSize525, 2, 1001, 30000},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteAll(dir.File(c.name), c.bytes);
        VirtualTape tape;
        ASSERT_TRUE(tape.Open(dir.File(c.name)));
        EXPECT_EQ(tape.IsDv(), c.dv);
        EXPECT_EQ(tape.UnitSize(), c.unitSize);
        EXPECT_EQ(tape.UnitCount(), c.units);
        EXPECT_EQ(tape.UnitTimeNumerator(), c.numerator);
        EXPECT_EQ(tape.UnitTimeDenominator(), c.denominator);
        // The last unit, byte for byte, and nothing past the end.
        Bytes out(2 * c.unitSize, 0xEE);
        EXPECT_EQ(tape.Read(c.units - 1, 2, out.data()), 1u);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(c.unitSize),
                               c.bytes.begin() + static_cast<long>((c.units - 1) * c.unitSize)));
        EXPECT_EQ(out[c.unitSize], 0xEE);
        // The frame's own timecode in DV, none in a transport stream.
        const auto timecode = tape.DvTimecodeAt(1);
        EXPECT_EQ(timecode.has_value(), c.dv);
        if (c.dv) {
            EXPECT_EQ(*timecode, PackTimecode(0, 0, 2, 1));
        }
        EXPECT_FALSE(tape.DvTimecodeAt(c.units).has_value());
    }
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
