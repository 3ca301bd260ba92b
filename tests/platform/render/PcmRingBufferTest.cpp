#include "PcmRingBuffer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

namespace vornak {
namespace {

std::vector<std::uint8_t> Sequence(std::size_t count, std::uint8_t first) {
    std::vector<std::uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

TEST(PcmRingBuffer, KeepsTheOrderAcrossTheEnd) {
    PcmRingBuffer ring;
    ring.Reset(8, 2);
    const auto first = Sequence(6, 0);
    EXPECT_EQ(ring.Write(first.data(), first.size()), 6u);
    std::vector<std::uint8_t> out(8);
    EXPECT_EQ(ring.Read(out.data(), 4), 4u);
    EXPECT_EQ(out[3], 3);
    // Wraps around the end of the buffer.
    const auto second = Sequence(6, 6);
    EXPECT_EQ(ring.Write(second.data(), second.size()), 6u);
    EXPECT_EQ(ring.Size(), 8u);
    EXPECT_EQ(ring.Read(out.data(), out.size()), 8u);
    EXPECT_EQ(out, Sequence(8, 4));
    EXPECT_EQ(ring.Size(), 0u);
    EXPECT_EQ(ring.Dropped(), 0u);
}

TEST(PcmRingBuffer, DropsWhatDoesNotFitInWholeFrames) {
    PcmRingBuffer ring;
    ring.Reset(10, 4);  // room for two frames
    EXPECT_EQ(ring.Capacity(), 8u);
    const auto bytes = Sequence(10, 0);
    EXPECT_EQ(ring.Write(bytes.data(), bytes.size()), 8u);
    EXPECT_EQ(ring.Dropped(), 2u);
    EXPECT_EQ(ring.Write(bytes.data(), 4), 0u);  // full: the newest goes
    EXPECT_EQ(ring.Dropped(), 6u);

    std::vector<std::uint8_t> out(8);
    EXPECT_EQ(ring.Read(out.data(), 6), 4u);  // whole frames only
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[3], 3);
    // A partial frame at the end of a write is dropped too.
    EXPECT_EQ(ring.Write(bytes.data(), 3), 0u);
    EXPECT_EQ(ring.Dropped(), 9u);
}

TEST(PcmRingBuffer, ResetEmptiesAndWithoutRoomDropsAll) {
    PcmRingBuffer ring;
    const auto bytes = Sequence(8, 0);
    EXPECT_EQ(ring.Write(bytes.data(), bytes.size()), 0u);
    ring.Reset(16, 4);
    EXPECT_EQ(ring.Write(bytes.data(), bytes.size()), 8u);
    ring.Reset(0, 4);
    EXPECT_EQ(ring.Size(), 0u);
    EXPECT_EQ(ring.Dropped(), 0u);
    EXPECT_EQ(ring.Write(bytes.data(), bytes.size()), 0u);
    EXPECT_EQ(ring.Dropped(), 8u);
    std::vector<std::uint8_t> out(8);
    EXPECT_EQ(ring.Read(out.data(), out.size()), 0u);
}

TEST(PcmRingBuffer, WriterAndReaderOnTwoThreads) {
    // Frames of four equal bytes numbered in order: the reader must find whole frames, in
    // order, and everything written either read or counted as dropped.
    constexpr std::size_t kFrame = 4;
    constexpr int kFrames = 20000;
    PcmRingBuffer ring;
    ring.Reset(64 * kFrame, kFrame);
    std::size_t written = 0;
    std::thread writer([&] {
        for (int i = 0; i < kFrames; ++i) {
            const std::vector<std::uint8_t> frame(kFrame, static_cast<std::uint8_t>(i));
            written += frame.size();
            ring.Write(frame.data(), frame.size());
        }
    });
    std::size_t read = 0;
    int last = -1;
    std::vector<std::uint8_t> out(7 * kFrame);
    auto drain = [&] {
        const std::size_t n = ring.Read(out.data(), out.size());
        ASSERT_EQ(n % kFrame, 0u);
        for (std::size_t f = 0; f < n; f += kFrame) {
            for (std::size_t b = 1; b < kFrame; ++b) {
                ASSERT_EQ(out[f + b], out[f]);
            }
            // Numbers wrap at 256; in order means a step of 1..255 from the last.
            if (last >= 0) {
                ASSERT_NE(out[f], static_cast<std::uint8_t>(last));
            }
            last = out[f];
        }
        read += n;
    };
    while (read + ring.Dropped() < kFrames * kFrame) {
        drain();
        if (::testing::Test::HasFatalFailure()) {
            break;
        }
    }
    writer.join();
    drain();
    EXPECT_EQ(written, kFrames * kFrame);
    EXPECT_EQ(read + ring.Dropped(), written);
}

}  // namespace
}  // namespace vornak
