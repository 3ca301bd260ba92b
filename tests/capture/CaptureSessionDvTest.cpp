// A stretch of DV that sends nothing amid HDV in capture runs: a split run closes the scene
// where DV begins and starts the next with HDV; a file run keeps appending.
#include "CaptureSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "CapturePin.h"
#include "CaptureSessionRunTest.h"
#include "RecordingView.h"
#include "TestSupport.h"
#include "TsPacket.h"
#include "VirtualCamcorderFilter.h"

namespace vornak {
namespace {

using test::CaptureSessionRunTest;

using namespace std::chrono_literals;

constexpr char kPlaysDv[] = "INFO: The camcorder plays DV: it is captured into DV files (.dv).";
// Scenes of 1.8 s, 6 s and 1.8 s, with three seconds of DV inside the second one.
const std::vector<int> kDvTapeGops{3, 10, 3};
constexpr double kDvAt = 3.8;
// At three times the tape's rate the DV lasts a second, longer than the silence that ends a
// run here, which is still long enough for the once-a-second check (ten times faster here) to
// see the DV before the silence ends the scene on its own.
constexpr double kDvSpeed = 3;
constexpr auto kShortSilence = 500ms;

// A file run does not depend on the sync mode.
class CaptureSessionDvTest : public CaptureSessionRunTest {};

bool StartsWith(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& part) {
    return part.size() <= data.size() && std::equal(part.begin(), part.end(), data.begin());
}
bool EndsWith(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& part) {
    return part.size() <= data.size() && std::equal(part.rbegin(), part.rend(), data.rbegin());
}

// True when the first video packet of `data` holds a picture group header.
bool FirstVideoPacketStartsAGroup(const std::vector<std::uint8_t>& data) {
    constexpr std::uint8_t kGroupHeader[] = {0x00, 0x00, 0x01, 0xB8};
    for (std::size_t at = 0; at + PKT_SIZE <= data.size(); at += PKT_SIZE) {
        const std::uint8_t* packet = data.data() + at;
        if (packet[0] == SYNC_BYTE && pid(packet) == PID_VIDEO) {
            return std::search(packet, packet + PKT_SIZE, std::begin(kGroupHeader),
                               std::end(kGroupHeader)) != packet + PKT_SIZE;
        }
    }
    return false;
}

// The scene in progress ends where DV begins, HDV starts a new scene file with the next number,
// and the silence of the DV does not end the run.
TEST_P(CaptureSessionRunTest, DvInASplitRunClosesTheSceneAndHdvStartsANewOne) {
    Start(kDvSpeed, kDvTapeGops, {kDvAt});
    const std::string expected = m_dir.File("expected");
    const std::string live = m_dir.File("live");
    std::filesystem::create_directory(live);
    ASSERT_NO_FATAL_FAILURE(SplitTheTapeInto(expected));

    m_session.GetCapturePin()->SetTakeChunksTimeout(kShortSilence);
    m_session.OnRecord(SplitOptions(live));
    TickUntilTheRunHasEnded();
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::EndOfTape);
    EXPECT_EQ(Count(kPlaysDv), 1);
    EXPECT_EQ(Count("INFO: No more data is received from camcoder. Capture stopped."), 0);
    // The HDV comes back inside a picture group: that part of it is a fragment of its own, in
    // either mode.
    ASSERT_EQ(test::ListFiles(live),
              (std::vector<std::string>{"tape-0000.m2t", "tape-0001.m2t", "tape-0002-fragment.m2t",
                                        "tape-0003.m2t", "tape-0004.m2t"}));
    EXPECT_EQ(m_session.SceneCounter(), 5);
    EXPECT_TRUE(test::ReadAll(live + "/tape-0004.m2t") ==
                test::ReadAll(expected + "/tape-0002.m2t"));
    const auto before = test::ReadAll(live + "/tape-0001.m2t");
    auto fragment = test::ReadAll(live + "/tape-0002-fragment.m2t");
    const auto after = test::ReadAll(live + "/tape-0003.m2t");
    EXPECT_FALSE(before.empty());
    EXPECT_FALSE(fragment.empty());
    EXPECT_FALSE(after.empty());
    EXPECT_FALSE(FirstVideoPacketStartsAGroup(fragment));
    EXPECT_TRUE(FirstVideoPacketStartsAGroup(after));
    if (!GetParam()) {
        // The second scene in three files, byte for byte: its start up to the DV, the rest of
        // the group the HDV came back in, and its rest from the first picture group after it.
        const auto scene = test::ReadAll(expected + "/tape-0001.m2t");
        EXPECT_LT(before.size() + fragment.size() + after.size(), scene.size());
        EXPECT_TRUE(StartsWith(scene, before));
        fragment.insert(fragment.end(), after.begin(), after.end());
        EXPECT_TRUE(EndsWith(scene, fragment));
    }
    EXPECT_TRUE(test::ReadAll(live + "/tape-0000.m2t") ==
                test::ReadAll(expected + "/tape-0000.m2t"));
}

// A file run keeps its file through the DV and goes on writing into it when HDV comes back:
// the file is the tape without the DV stretch.
TEST_F(CaptureSessionDvTest, AFileRunKeepsAppendingAfterDv) {
    Start(kDvSpeed, kDvTapeGops, {kDvAt});
    CaptureOptions options;
    options.folder = m_dir.Path();
    options.fileName = "whole";
    options.sceneSplit = false;
    m_session.OnRecord(options);
    TickUntilTheRunHasEnded();
    EXPECT_EQ(m_session.LastRunEnd(), RunEnd::EndOfTape);
    EXPECT_EQ(Count(kPlaysDv), 1);
    // The tape's counters jump across the stretch: no packet of the stream is missing.
    ASSERT_NE(m_session.GetCapturePin(), nullptr);
    EXPECT_EQ(m_session.GetCapturePin()->LostPackets(), 0u);

    const auto tape = test::ReadAll(m_dir.File("tape.m2t"));
    const auto file = test::ReadAll(m_dir.File("whole.m2t"));
    ASSERT_LT(file.size(), tape.size());
    const std::size_t gap = tape.size() - file.size();
    ASSERT_EQ(gap % PKT_SIZE, 0u);
    VirtualTape virtualTape;
    ASSERT_TRUE(virtualTape.Open(m_dir.File("tape.m2t")));
    EXPECT_NEAR(static_cast<double>(gap / PKT_SIZE),
                TapeTransport::kDvStretchSeconds * virtualTape.BitRate() / (PKT_SIZE * 8), 1.0);
    const auto mismatch = std::mismatch(file.begin(), file.end(), tape.begin());
    const std::size_t cut =
        static_cast<std::size_t>(mismatch.first - file.begin()) / PKT_SIZE * PKT_SIZE;
    EXPECT_GT(cut, 0u);
    EXPECT_TRUE(std::equal(file.begin() + static_cast<std::ptrdiff_t>(cut), file.end(),
                           tape.begin() + static_cast<std::ptrdiff_t>(cut + gap)));
}

}  // namespace
}  // namespace vornak
