// The DV frame queue: whole frames out in the order they went in, with their publication
// numbers; a full queue throws whole frames away, counts them and marks the next one kept.
#include "DvFrameQueue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kSlot = 16;

Bytes FrameOf(std::uint8_t seed, std::size_t size = kSlot) {
    Bytes frame(size);
    for (std::size_t i = 0; i < size; ++i) {
        frame[i] = static_cast<std::uint8_t>(seed * 17 + i);
    }
    return frame;
}

TEST(DvFrameQueue, KeepsWholeFramesInOrderAndCountsWhatFindsNoRoom) {
    const struct {
        const char* what;
        std::size_t slots;
        std::vector<std::size_t> sizes;  // frames added, seeds 1, 2, ...
        std::vector<bool> kept;
        std::uint64_t dropped;
        std::vector<bool> gapBefore;  // of the frames taken, in order
    } cases[] = {
        {"room for all", 3, {kSlot, kSlot, 8}, {true, true, true}, 0, {false, false, false}},
        {"full: the next kept follows a gap",
         2,
         {kSlot, kSlot, kSlot},
         {true, true, false},
         1,
         {false, false}},
        {"longer than a slot", 2, {kSlot + 1, kSlot}, {false, true}, 1, {true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DvFrameQueue queue(c.slots, kSlot);
        std::vector<Bytes> kept;
        std::vector<std::uint64_t> orders;
        for (std::size_t i = 0; i < c.sizes.size(); ++i) {
            const Bytes frame = FrameOf(static_cast<std::uint8_t>(i + 1), c.sizes[i]);
            EXPECT_EQ(queue.Add(frame, 100 + i), c.kept[i]) << i;
            if (c.kept[i]) {
                kept.push_back(frame);
                orders.push_back(100 + i);
            }
        }
        EXPECT_EQ(queue.DroppedFrames(), c.dropped);
        EXPECT_EQ(queue.StoredFrames(), kept.size());
        ASSERT_EQ(queue.ReadyFrames(), kept.size());
        std::vector<bool> gaps;
        for (std::size_t k = 0; k < kept.size(); ++k) {
            const Bytes& frame = kept[k];
            ASSERT_TRUE(queue.FrontOrder().has_value());
            EXPECT_EQ(*queue.FrontOrder(), orders[k]);
            Bytes out(kSlot, 0xEE);
            bool gap = false;
            EXPECT_EQ(queue.Take(out.data(), frame.size() - 1, &gap), 0u) << "too little room";
            ASSERT_EQ(queue.Take(out.data(), out.size(), &gap), frame.size());
            out.resize(frame.size());
            EXPECT_EQ(out, frame);
            gaps.push_back(gap);
        }
        EXPECT_EQ(gaps, c.gapBefore);
        EXPECT_FALSE(queue.FrontOrder().has_value());
        ASSERT_TRUE(queue.Add(FrameOf(9), 200));
        EXPECT_EQ(queue.DropReady(), 1u) << "what waits at a stop";
        EXPECT_EQ(queue.DroppedFrames(), c.dropped + 1);
    }
}

}  // namespace
}  // namespace vornak
