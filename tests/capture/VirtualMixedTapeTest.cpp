// The tape of parts: the setting split into files (a whole name that exists is one file), a
// file that cannot be opened named, and the timecode of a position in each kind of part.
#include "VirtualMixedTape.h"

#include <gtest/gtest.h>

#include "DeviceControl.h"
#include "DvTestFrames.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

TEST(VirtualMixedTape, SplitsTheSettingAtCommasUnlessItNamesAFile) {
    test::TempDir dir;
    const std::string comma = dir.File("take 1, take 2.m2t");
    test::WriteAll(comma, Bytes(PKT_SIZE));
    const struct {
        std::string text;
        Strings paths;
    } cases[] = {
        {"a.m2t", {"a.m2t"}},
        {"a.m2t,b.dv,c.m2t", {"a.m2t", "b.dv", "c.m2t"}},
        {"a.m2t,,b.dv,", {"a.m2t", "", "b.dv", ""}},
        {comma, {comma}},
        {comma + "," + comma,
         {dir.File("take 1"), " take 2.m2t", dir.File("take 1"), " take 2.m2t"}},
        {"missing, file.m2t", {"missing", " file.m2t"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VirtualMixedTape::SplitList(c.text), c.paths) << c.text;
    }
}

class VirtualMixedTapeTest : public ::testing::Test {
  protected:
    // Ten packets without clock references (25 Mbit/s), three 625/50 frames with the
    // timecodes 10:20:30:00 to :02 (or none), five packets.
    VirtualMixedTapeTest() {
        test::WriteAll(m_dir.File("a.m2t"), Bytes(10 * PKT_SIZE, 0x47));
        Bytes frames;
        for (int i = 0; i < 3; ++i) {
            dv::test::FrameSetup setup;
            setup.tc = {10, 20, 30, i};
            setup.timecode = i != 1;
            const Bytes frame = dv::test::MakeFrame(setup);
            frames.insert(frames.end(), frame.begin(), frame.end());
        }
        test::WriteAll(m_dir.File("b.dv"), frames);
        test::WriteAll(m_dir.File("c.m2t"), Bytes(5 * PKT_SIZE, 0x47));
    }
    std::string List(const Strings& names) const {
        std::string list;
        for (const std::string& name : names) {
            list += (list.empty() ? "" : ",") + m_dir.File(name);
        }
        return list;
    }

    test::TempDir m_dir;
};

TEST_F(VirtualMixedTapeTest, OpensEveryPartOrNamesTheOneThatFails) {
    VirtualMixedTape tape;
    ASSERT_TRUE(tape.Open(VirtualMixedTape::SplitList(List({"a.m2t", "b.dv", "c.m2t"}))));
    ASSERT_EQ(tape.PartCount(), 3u);
    EXPECT_EQ(tape.UnitCount(), 18u);
    EXPECT_TRUE(tape.HasDv());
    const auto parts = tape.TransportParts();
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[1].units, 3u);
    EXPECT_TRUE(parts[1].dv);
    EXPECT_EQ(parts[1].timeDenominator, 25);
    EXPECT_FALSE(parts[2].dv);

    EXPECT_FALSE(tape.Open(VirtualMixedTape::SplitList(List({"a.m2t", "gone.dv", "c.m2t"}))));
    EXPECT_EQ(tape.FailedPath(), m_dir.File("gone.dv"));
    EXPECT_EQ(tape.PartCount(), 0u);
    EXPECT_EQ(tape.UnitCount(), 0u);
}

// In DV parts the frame's own subcode; elsewhere (and in a frame without one) the playing
// time of everything before the position: 60.16 us a packet, 40 ms a frame.
TEST_F(VirtualMixedTapeTest, TimecodeComesFromTheDvFramesAndFromThePlayingTimeElsewhere) {
    VirtualMixedTape tape;
    ASSERT_TRUE(tape.Open(VirtualMixedTape::SplitList(List({"a.m2t", "b.dv", "c.m2t"}))));
    const struct {
        std::uint64_t position;
        DWORD timecode;
    } cases[] = {
        {0, PackTimecode(0, 0, 0, 0)},     {10, PackTimecode(10, 20, 30, 0)},
        {11, PackTimecode(0, 0, 0, 1)},                                     // 0.6 ms and 40 ms
        {12, PackTimecode(10, 20, 30, 2)}, {13, PackTimecode(0, 0, 0, 3)},  // 0.6 ms and 120 ms
        {18, PackTimecode(0, 0, 0, 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tape.TimecodeAt(c.position), c.timecode) << c.position;
    }
    // At the end of a tape that ends in DV, the last frame's.
    ASSERT_TRUE(tape.Open(VirtualMixedTape::SplitList(List({"a.m2t", "b.dv"}))));
    EXPECT_EQ(tape.TimecodeAt(13), PackTimecode(10, 20, 30, 2));
}

}  // namespace
}  // namespace vornak
