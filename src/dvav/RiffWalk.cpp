#include "RiffWalk.h"

#include <cstddef>
#include <cstring>

namespace vornak::dv {

namespace {

// RIFF: a four-character tag and a little-endian length, then the body, padded to even length.
// A LIST's body begins with the list's own four-character type.
constexpr std::size_t kTagSize = 4;
constexpr std::size_t kChunkHeaderSize = 8;
constexpr std::size_t kRiffHeaderSize = 12;  // "RIFF", length, "AVI "
// A stream header's first field: the stream's type.
constexpr std::size_t kStreamTypeOffset = 0;

bool TagIs(const std::uint8_t* at, const char* tag) {
    return std::memcmp(at, tag, kTagSize) == 0;
}

std::uint32_t Le32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// Walks the chunks in bytes [from, to) and the lists named in them, down to the stream headers;
// `stream` counts the stream lists passed. True when an interleaved stream's header was found.
bool FindInterleaved(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t to,
                     int depth, int& stream) {
    constexpr int kMaxDepth = 3;  // RIFF > hdrl > strl > strh
    std::size_t at = from;
    while (depth <= kMaxDepth && at + kChunkHeaderSize <= to) {
        const std::uint8_t* chunk = bytes.data() + at;
        const std::size_t length = Le32(chunk + kTagSize);
        const std::size_t body = at + kChunkHeaderSize;
        const std::size_t end = length > to - body ? to : body + length;
        if (TagIs(chunk, "LIST") && body + kTagSize <= end) {
            const std::uint8_t* type = bytes.data() + body;
            if (TagIs(type, "hdrl") &&
                FindInterleaved(bytes, body + kTagSize, end, depth + 1, stream)) {
                return true;
            }
            if (TagIs(type, "strl")) {
                if (FindInterleaved(bytes, body + kTagSize, end, depth + 1, stream)) {
                    return true;
                }
                ++stream;
            }
            if (TagIs(type, "movi")) {
                return false;  // the headers are behind
            }
        } else if (TagIs(chunk, "strh") && body + kStreamTypeOffset + kTagSize <= end &&
                   TagIs(bytes.data() + body + kStreamTypeOffset, "iavs")) {
            return true;
        }
        if (end == to) {
            break;
        }
        at = end + (length & 1U);
    }
    return false;
}

}  // namespace

int RiffWalk::InterleavedDvStream(std::span<const std::uint8_t> start) {
    if (start.size() < kRiffHeaderSize || !TagIs(start.data(), "RIFF")) {
        return -1;
    }
    int stream = 0;
    return FindInterleaved(start, kRiffHeaderSize, start.size(), 1, stream) ? stream : -1;
}

}  // namespace vornak::dv
