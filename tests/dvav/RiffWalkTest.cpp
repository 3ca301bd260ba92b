#include "RiffWalk.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "DvContainerFiles.h"

namespace vornak::dv {
namespace {

using test::Bytes;

TEST(RiffWalk, FindsTheInterleavedStreamInTheHeaderListOnly) {
    const test::Frames frames(2, Bytes(100, 0x11));
    const Bytes type1 = test::AviType1(frames);
    Bytes notInHeader = test::AviType1({Bytes{'s', 't', 'r', 'h', 8, 0, 0, 0, 'i', 'a', 'v', 's'}});
    const auto iavs = std::search(notInHeader.begin(), notInHeader.end(), "iavs", "iavs" + 4);
    std::copy_n("vids", 4, iavs);  // the header's; the frame's stays
    EXPECT_EQ(RiffWalk::InterleavedDvStream(type1), 0);
    EXPECT_EQ(RiffWalk::InterleavedDvStream(test::AviType1(frames, 2)), 2);
    EXPECT_EQ(RiffWalk::InterleavedDvStream(notInHeader), -1);
    EXPECT_EQ(RiffWalk::InterleavedDvStream(Bytes(type1.begin() + 1, type1.end())), -1);
    // Cut anywhere, the header is read as far as it goes and no further.
    const auto at = static_cast<std::size_t>(
        std::search(type1.begin(), type1.end(), "iavs", "iavs" + 4) - type1.begin());
    for (std::size_t cut = 0; cut < at + 8; ++cut) {
        const Bytes start(type1.begin(), type1.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(RiffWalk::InterleavedDvStream(start), cut >= at + 4 ? 0 : -1) << cut;
    }
}

}  // namespace
}  // namespace vornak::dv
