// The virtual camcorder's tape: whole packets only, reads clamped to the tape, and the rate
// measured from the tape's clock references.
#include "VirtualTape.h"

#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
}  // namespace vornak
