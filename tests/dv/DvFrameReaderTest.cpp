// Frames found in a byte stream: every byte handed out once, in order, whatever the reads, with
// garbage, broken and truncated frames kept as pieces of their own.
#include "DvFrameReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DvTestFrames.h"

namespace vornak::dv {
namespace {

using test::Bytes;

struct Seen {
    DvPieceKind kind;
    std::size_t size;
};

bool operator==(const Seen& a, const Seen& b) {
    return a.kind == b.kind && a.size == b.size;
}

std::ostream& operator<<(std::ostream& out, const Seen& s) {
    const char* kinds[] = {"frame", "garbage", "partial"};
    return out << kinds[static_cast<int>(s.kind)] << " " << s.size;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Garbage(std::size_t n, std::uint8_t seed = 1) {
    Bytes g(n);
    std::uint32_t x = seed;
    for (auto& byte : g) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(x >> 16);
    }
    return g;
}

// Drives the reader as a job would: reads of `chunk` bytes into a buffer that keeps what was
// not handed out. Checks that the pieces put back together are the stream, in order.
std::vector<Seen> ReadAllPieces(const Bytes& stream, std::size_t chunk) {
    DvFrameReader reader;
    std::vector<Seen> seen;
    Bytes buffer;
    Bytes rebuilt;
    std::size_t fed = 0;
    while (true) {
        const std::size_t take = std::min(chunk, stream.size() - fed);
        buffer.insert(buffer.end(), stream.begin() + static_cast<std::ptrdiff_t>(fed),
                      stream.begin() + static_cast<std::ptrdiff_t>(fed + take));
        fed += take;
        const bool atEnd = fed == stream.size();
        std::size_t used = 0;
        DvPiece piece;
        while (reader.Next(std::span(buffer).subspan(used), atEnd, piece)) {
            EXPECT_EQ(piece.offset, rebuilt.size());
            EXPECT_EQ(piece.bytes.data(), buffer.data() + used);
            EXPECT_FALSE(piece.bytes.empty());
            rebuilt.insert(rebuilt.end(), piece.bytes.begin(), piece.bytes.end());
            used += piece.bytes.size();
            seen.push_back({piece.kind, piece.bytes.size()});
        }
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(used));
        if (atEnd) {
            EXPECT_TRUE(buffer.empty()) << buffer.size() << " bytes never handed out";
            break;
        }
    }
    EXPECT_TRUE(rebuilt == stream) << "the pieces are not the stream";
    EXPECT_EQ(reader.Position(), stream.size());
    return seen;
}

// Consecutive pieces of garbage, or of one frame begun and not finished, are one stretch,
// however the reads fell.
std::vector<Seen> Merged(const std::vector<Seen>& pieces) {
    std::vector<Seen> merged;
    for (const Seen& s : pieces) {
        if (!merged.empty() && s.kind != DvPieceKind::kFrame && merged.back().kind == s.kind) {
            merged.back().size += s.size;
        } else {
            merged.push_back(s);
        }
    }
    return merged;
}

TEST(DvFrameReader, HandsOutEveryByteInOrderWhateverTheReads) {
    const Bytes pal = test::MakeFrame();
    test::FrameSetup ntscSetup;
    ntscSetup.system = DvSystem::k525_60;
    const Bytes ntsc = test::MakeFrame(ntscSetup);
    // A frame that lost a stretch from its middle, as a dropped packet leaves it.
    Bytes broken(pal.begin(), pal.begin() + 50000);
    broken.insert(broken.end(), pal.begin() + 60000, pal.end());
    // Bytes that pass for a header block but are followed by no subcode block.
    Bytes lookalike = Garbage(400);
    std::copy(pal.begin(), pal.begin() + kBlockSize, lookalike.begin() + 10);

    constexpr auto F = DvPieceKind::kFrame;
    constexpr auto G = DvPieceKind::kGarbage;
    constexpr auto P = DvPieceKind::kPartial;
    struct Case {
        const char* name;
        Bytes stream;
        std::vector<Seen> expected;
    };
    const std::vector<Case> cases = {
        {"frames back to back",
         pal + ntsc + pal,
         {{F, kFrameSize625}, {F, kFrameSize525}, {F, kFrameSize625}}},
        {"garbage before, between and after",
         Garbage(7) + pal + Garbage(1000, 2) + pal + Garbage(3, 3),
         {{G, 7}, {F, kFrameSize625}, {G, 1000}, {F, kFrameSize625}, {G, 3}}},
        {"a header look-alike is garbage",
         pal + lookalike + pal,
         {{F, kFrameSize625}, {G, 400}, {F, kFrameSize625}}},
        {"truncated last frame",
         pal + Bytes(pal.begin(), pal.begin() + 70001),
         {{F, kFrameSize625}, {P, 70001}}},
        {"only the first bytes of a header at the end",
         pal + Bytes(pal.begin(), pal.begin() + 5),
         {{F, kFrameSize625}, {P, 5}}},
        {"a frame that lost its middle",
         pal + broken + pal,
         {{F, kFrameSize625}, {P, broken.size()}, {F, kFrameSize625}}},
        {"a frame cut off by the next",
         Bytes(pal.begin(), pal.begin() + 30000) + ntsc,
         {{P, 30000}, {F, kFrameSize525}}},
        {"nothing but garbage", Garbage(5000), {{G, 5000}}},
    };
    // Reads of a few bytes, of a block and a bit, of about a frame, and of twelve frames.
    for (const std::size_t chunk :
         {std::size_t{7}, std::size_t{97}, std::size_t{143999}, std::size_t{12} * kFrameSize625}) {
        for (const auto& c : cases) {
            // Read at once, the pieces are exactly those: no stretch handed out in bits.
            const std::vector<Seen> pieces = ReadAllPieces(c.stream, chunk);
            EXPECT_EQ(chunk >= c.stream.size() ? pieces : Merged(pieces), c.expected)
                << c.name << ", reads of " << chunk;
        }
    }
}

TEST(DvFrameReader, WaitsForTheRestOfAFrameBeforeHandingItOut) {
    const Bytes pal = test::MakeFrame();
    DvFrameReader reader;
    DvPiece piece;
    EXPECT_FALSE(reader.Next(std::span(pal).first(kFrameSize625 - 1), false, piece));
    EXPECT_FALSE(reader.Next(std::span(pal).first(DvFrameReader::kStartProbe - 1), false, piece));
    EXPECT_FALSE(reader.Next({}, true, piece));
    EXPECT_EQ(reader.Position(), 0u);
    ASSERT_TRUE(reader.Next(pal, false, piece));
    EXPECT_EQ(piece.kind, DvPieceKind::kFrame);
    EXPECT_EQ(piece.system, DvSystem::k625_50);
    EXPECT_EQ(reader.Position(), kFrameSize625);
}

}  // namespace
}  // namespace vornak::dv

namespace vornak::dv {
namespace {

using test::Bytes;

TEST(DvFrameReader, TellsASampleOfOneWholeFrameFromAnythingElse) {
    const Bytes pal = test::MakeFrame();
    test::FrameSetup ntscSetup;
    ntscSetup.system = DvSystem::k525_60;
    const Bytes ntsc = test::MakeFrame(ntscSetup);
    Bytes palCut(pal.begin(), pal.begin() + kFrameSize525);  // a 525 frame's length, 625 header
    // 625 source packets are 120,000 bytes too, and never begin with a DIF header.
    Bytes transport(kFrameSize525, 0);
    for (std::size_t at = 0; at < transport.size(); at += 192) {
        transport[at + 4] = 0x47;
    }
    Bytes twoFrames = pal;
    twoFrames.insert(twoFrames.end(), pal.begin(), pal.end());
    const struct {
        const char* what;
        const Bytes& bytes;
        bool whole;
    } cases[] = {
        {"625/50 frame", pal, true},
        {"525/60 frame", ntsc, true},
        {"625 header, 525 length", palCut, false},
        {"transport packets", transport, false},
        {"two frames", twoFrames, false},
        {"empty", Bytes(), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsWholeDvFrame(c.bytes), c.whole) << c.what;
    }
}

}  // namespace
}  // namespace vornak::dv
