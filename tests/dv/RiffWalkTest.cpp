#include "RiffWalk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "DvContainerFiles.h"

namespace vornak::dv {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(RiffWalk, FindsTheInterleavedStreamInTheHeaderListOnly) {
    const test::Frames frames(2, Bytes(100, 0x11));
    const Bytes type1 = test::AviDv(frames, 1);
    const Bytes type2 = test::AviDv(frames, 2);
    const std::size_t strl = static_cast<std::size_t>(
        std::search(type1.begin(), type1.end(), "strl", "strl" + 4) - type1.begin());
    const std::size_t iavs = static_cast<std::size_t>(
        std::search(type1.begin(), type1.end(), "iavs", "iavs" + 4) - type1.begin());
    // A second stream list in front of the first: the interleaved stream is number 1.
    Bytes second = type1;
    const std::size_t strlList = strl - 8;
    std::uint32_t strlLength = 0;
    std::memcpy(&strlLength, type1.data() + strlList + 4, 4);
    Bytes other(type1.begin() + static_cast<std::ptrdiff_t>(strlList),
                type1.begin() + static_cast<std::ptrdiff_t>(strlList + 8 + strlLength));
    std::memcpy(other.data() + (iavs - strlList), "auds", 4);
    second.insert(second.begin() + static_cast<std::ptrdiff_t>(strlList), other.begin(),
                  other.end());
    // The header list's own length corrected for the list put in.
    const std::size_t hdrlLength = 12 + 4;
    std::uint32_t length = 0;
    std::memcpy(&length, second.data() + hdrlLength, 4);
    length += static_cast<std::uint32_t>(other.size());
    std::memcpy(second.data() + hdrlLength, &length, 4);
    // 'iavs' among the frames, behind a header list that declares none.
    Bytes inFrames = test::AviDv({Bytes{'s', 't', 'r', 'h', 8, 0, 0, 0, 'i', 'a', 'v', 's'}}, 2);
    Bytes wild = type1;
    const std::uint32_t huge = 0xFFFF'FFF0U;
    std::memcpy(wild.data() + strl - 4, &huge, 4);  // the stream list's length

    struct Case {
        const char* name;
        Bytes start;
        int stream;
    };
    const Case cases[] = {
        {"type 1", type1, 0},
        {"type 2", type2, -1},
        {"behind another stream", second, 1},
        {"in a frame only", inFrames, -1},
        {"a length past the end", wild, 0},
        {"no RIFF", Bytes(type1.begin() + 4, type1.end()), -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RiffWalk::InterleavedDvStream(c.start), c.stream) << c.name;
    }
    // Cut anywhere, the header is read as far as it goes and no further.
    for (std::size_t cut = 0; cut < iavs + 8; ++cut) {
        const Bytes start(type1.begin(), type1.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(RiffWalk::InterleavedDvStream(start), cut >= iavs + 4 ? 0 : -1) << cut;
    }
}

}  // namespace
}  // namespace vornak::dv
