#include "StartCodeSearch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace vornak {
namespace {

// What a byte-at-a-time shift register sees: every 00 00 01 xx wholly inside the block.
std::vector<std::pair<std::size_t, std::uint8_t>> Reference(const std::vector<std::uint8_t>& data) {
    std::vector<std::pair<std::size_t, std::uint8_t>> codes;
    for (std::size_t j = 0; j + 3 < data.size(); ++j) {
        if (data[j] == 0 && data[j + 1] == 0 && data[j + 2] == 1) {
            codes.emplace_back(j, data[j + 3]);
        }
    }
    return codes;
}

std::vector<std::uint8_t> Found(const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> found;
    ForEachStartCode(data.data(), data.size(), [&](std::uint8_t last) { found.push_back(last); });
    return found;
}

// Blocks of every length up to a few packets, full of zeros and ones so that codes begin at
// every offset, including in the last lanes and right at the end.
TEST(StartCodeSearch, FindsWhatAByteWiseScanFinds) {
    std::mt19937 rng(7);
    for (std::size_t size = 0; size <= 400; ++size) {
        for (int round = 0; round < 20; ++round) {
            std::vector<std::uint8_t> data(size);
            for (auto& byte : data) {
                const unsigned r = rng() % 8;
                byte = r < 4 ? 0 : (r < 6 ? 1 : static_cast<std::uint8_t>(rng()));
            }
            std::vector<std::uint8_t> expected;
            for (const auto& code : Reference(data)) {
                expected.push_back(code.second);
            }
            ASSERT_EQ(Found(data), expected) << "size " << size << ", round " << round;
        }
    }
}

// A code whose last byte would lie past the end is not whole and must not be reported.
TEST(StartCodeSearch, IgnoresACodeCutByTheEnd) {
    for (std::size_t pad = 0; pad < 40; ++pad) {
        std::vector<std::uint8_t> data(pad, 0xFF);
        data.insert(data.end(), {0x00, 0x00, 0x01});
        EXPECT_TRUE(Found(data).empty()) << "pad " << pad;
        data.push_back(0xB8);
        EXPECT_EQ(Found(data), std::vector<std::uint8_t>{0xB8}) << "pad " << pad;
    }
}

}  // namespace
}  // namespace vornak
