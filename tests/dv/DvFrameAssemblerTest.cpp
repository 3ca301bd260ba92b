#include "DvFrameAssembler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <vector>

#include "DvFrameInfo.h"
#include "DvFrameParser.h"
#include "DvTestFrames.h"

namespace vornak::dv {
namespace {

using test::Bytes;

constexpr std::size_t kPayload = DvFrameAssembler::kPayloadSize;
constexpr int kSamplesPerBlock16 = static_cast<int>(kAudioDataSize / 2);
constexpr int kSamplesPerBlock12 = static_cast<int>(kAudioDataSize / 3 * 2);

struct Got {
    DvSystem system;
    Bytes bytes;
    int missing;
    int duplicates;
};

struct Rig {
    std::vector<Got> frames;
    DvFrameAssembler assembler{[this](const DvAssembledFrame& f) {
        frames.push_back(
            {f.system, Bytes(f.bytes.begin(), f.bytes.end()), f.missingBlocks, f.duplicateBlocks});
    }};
    std::mt19937 random{7};
    // `repeated` is sent twice in a row.
    void Feed(const Bytes& frame, const std::set<std::size_t>& lost = {},
              std::optional<std::size_t> repeated = {}, bool shuffled = false) {
        std::vector<std::size_t> order(frame.size() / kPayload);
        std::iota(order.begin(), order.end(), 0);
        if (shuffled) {
            std::shuffle(order.begin(), order.end(), random);
        }
        for (const std::size_t p : order) {
            const auto payload = std::span(frame).subspan(p * kPayload, kPayload);
            if (!lost.contains(p)) {
                assembler.Push(payload);
            }
            if (p == repeated) {
                assembler.Push(payload);
            }
        }
    }
};

// A frame whose video and audio bodies differ from those of any other seed, so a block of one
// frame found in another is seen. STA stays 0 and no sample is the error code.
Bytes Frame(DvSystem system, int seed, int audioBits = 16) {
    test::FrameSetup setup;
    setup.system = system;
    setup.audioBits = audioBits;
    setup.tc = {0, 0, 1, seed % 25};
    Bytes f = test::MakeFrame(setup);
    constexpr std::size_t kHeaderApBytes[] = {5, 6, 7};
    constexpr std::uint8_t kConsumerAp = 0x78;
    for (int s = 0; s < SequencesOf(system); ++s) {
        for (const std::size_t ap : kHeaderApBytes) {
            f[SequenceOffset(s) + ap] = kConsumerAp;
        }
    }
    const std::vector<std::size_t> audio = test::AudioDataOffsets(system);
    for (std::size_t a = 0; a < audio.size(); ++a) {
        for (std::size_t i = 0; i < kAudioDataSize; ++i) {
            f[audio[a] + i] = static_cast<std::uint8_t>(0x10 + (seed * 7 + i + a) % 0x60);
        }
    }
    for (const std::size_t at : test::VideoBlockOffsets(system)) {
        const std::size_t block = at / kBlockSize;
        f[at + kVideoStaByte] = static_cast<std::uint8_t>((seed + block) & 0x0F);
        for (std::size_t i = kVideoStaByte + 1; i < kBlockSize; ++i) {
            f[at + i] = static_cast<std::uint8_t>(seed * 31 + block * 3 + i);
        }
    }
    return f;
}

std::set<std::size_t> Payloads(std::size_t first, std::size_t count) {
    std::set<std::size_t> payloads;
    for (std::size_t p = first; p < first + count; ++p) {
        payloads.insert(p);
    }
    return payloads;
}

std::span<const std::uint8_t> BlockOf(const Bytes& frame, std::size_t block) {
    return std::span(frame).subspan(block * kBlockSize, kBlockSize);
}

TEST(DvFrameAssembler, WholeFramesComeOutByteForByteInAnyPayloadOrder) {
    struct Case {
        DvSystem system;
        int audioBits;
        std::size_t size;
        bool shuffled;
    };
    for (const Case c :
         {Case{DvSystem::k625_50, 16, 144000, false}, Case{DvSystem::k525_60, 16, 120000, false},
          Case{DvSystem::k525_60, 12, 120000, false}, Case{DvSystem::k625_50, 16, 144000, true},
          Case{DvSystem::k525_60, 16, 120000, true}}) {
        SCOPED_TRACE(testing::Message() << c.size << (c.shuffled ? " shuffled" : ""));
        Rig rig;
        const std::vector<Bytes> source = {Frame(c.system, 1, c.audioBits),
                                           Frame(c.system, 2, c.audioBits),
                                           Frame(c.system, 3, c.audioBits)};
        for (const Bytes& f : source) {
            rig.Feed(f, {}, {}, c.shuffled);
        }
        if (!c.shuffled) {
            EXPECT_EQ(rig.frames.size(), 2u);  // the last one waits for the next or for Flush
        }
        rig.assembler.Flush();
        ASSERT_EQ(rig.frames.size(), 3u);
        for (std::size_t i = 0; i < source.size(); ++i) {
            EXPECT_EQ(rig.frames[i].system, c.system);
            EXPECT_EQ(rig.frames[i].bytes.size(), c.size);
            EXPECT_TRUE(rig.frames[i].bytes == source[i]) << "frame " << i;
            EXPECT_EQ(rig.frames[i].missing, 0);
            EXPECT_EQ(rig.frames[i].duplicates, 0);
        }
        rig.assembler.Flush();  // nothing begun: nothing more
        EXPECT_EQ(rig.frames.size(), 3u);
        EXPECT_EQ(rig.assembler.StrayBlocks(), 0u);
    }
}

TEST(DvFrameAssembler, LostBlocksAreMarkedCountedAndNeverStaleAndRepeatsCounted) {
    struct Case {
        const char* name;
        DvSystem system;
        int audioBits;
        std::set<std::size_t> lost;           // payloads of the second frame
        std::optional<std::size_t> repeated;  // payload of the first frame sent twice
    };
    const std::vector<Case> cases = {
        {"audio and video of sequence 0", DvSystem::k625_50, 16, {1, 3}, {}},
        {"the first header", DvSystem::k625_50, 16, {0}, {}},
        {"first header, 525/60", DvSystem::k525_60, 16, {0, 1}, {}},
        {"the last payload", DvSystem::k525_60, 16, {249}, {}},
        {"12-bit audio", DvSystem::k525_60, 12, {1, 27, 100}, {}},
        {"sequence 1", DvSystem::k625_50, 16, Payloads(25, 25), {}},
        // What arrives first of the second frame is the same as in the first: header, subcode
        // and VAUX of sequence 1.
        {"all of sequence 0", DvSystem::k625_50, 16, Payloads(0, 25), {}},
        {"repeat at the end", DvSystem::k625_50, 16, {}, 299},
        {"repeat mid-frame", DvSystem::k625_50, 16, {}, 10},
        // The second frame, its first header lost, is known by its blocks differing from the
        // first's; the repeat is the first frame's.
        {"repeat, then a lost first header", DvSystem::k625_50, 16, {0}, 10},
        {"repeat of the header payload", DvSystem::k625_50, 16, {0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        const Bytes first = Frame(c.system, 1, c.audioBits);
        const Bytes second = Frame(c.system, 2, c.audioBits);
        rig.Feed(first, {}, c.repeated);
        rig.Feed(second, c.lost);
        rig.assembler.Flush();
        ASSERT_EQ(rig.frames.size(), 2u);
        EXPECT_TRUE(rig.frames[0].bytes == first);
        EXPECT_EQ(rig.frames[0].duplicates, c.repeated ? 6 : 0);
        const Got& got = rig.frames[1];
        EXPECT_EQ(got.system, c.system);
        ASSERT_EQ(got.bytes.size(), second.size());
        EXPECT_EQ(got.missing,
                  static_cast<int>(c.lost.size() * DvFrameAssembler::kBlocksPerPayload));
        int lostVideo = 0;
        int lostAudio = 0;
        for (std::size_t b = 0; b < got.bytes.size() / kBlockSize; ++b) {
            const auto out = BlockOf(got.bytes, b);
            const auto want = BlockOf(second, b);
            if (!c.lost.contains(b / DvFrameAssembler::kBlocksPerPayload)) {
                ASSERT_TRUE(std::ranges::equal(out, want)) << "block " << b;
                continue;
            }
            // The ID still names the place, so the block reads as what it stands for.
            EXPECT_EQ(out[kIdTypeByte] >> kIdTypeShift, want[kIdTypeByte] >> kIdTypeShift);
            EXPECT_EQ(out[kIdSequenceByte] >> kIdSequenceShift,
                      want[kIdSequenceByte] >> kIdSequenceShift);
            EXPECT_EQ(out[kIdBlockNumberByte], want[kIdBlockNumberByte]);
            const int type = out[kIdTypeByte] >> kIdTypeShift;
            lostVideo += type == kTypeVideo;
            lostAudio += type == kTypeAudio;
            if (type == kTypeVideo || type == kTypeAudio) {
                // The bodies the two frames' blocks differ in.
                ASSERT_FALSE(
                    std::ranges::equal(out.subspan(kIdSize), BlockOf(first, b).subspan(kIdSize)))
                    << "stale block " << b;
            }
            if (type == kTypeVideo) {
                EXPECT_EQ(out[kVideoStaByte], 0xF0) << "block " << b;
                EXPECT_TRUE(std::ranges::all_of(out.subspan(kVideoStaByte + 1),
                                                [](std::uint8_t x) { return x == 0; }));
            } else if (type == kTypeHeader) {
                // Still a header of the frame's system, or nothing would find the frame.
                EXPECT_TRUE(std::ranges::equal(out.subspan(kIdSize), want.subspan(kIdSize)));
            } else if (type != kTypeAudio) {
                EXPECT_TRUE(std::ranges::all_of(out.subspan(kIdSize),
                                                [](std::uint8_t x) { return x == 0xFF; }));
            }
        }
        DvFrameInfo info;
        ASSERT_TRUE(DvFrameParser::Parse(got.bytes, info));
        EXPECT_EQ(info.system, c.system);
        // The audio source pack test frames carry sits in sequence 0, audio block 3.
        const std::size_t audioSourcePayload = test::AudioPackAt(0, 3) / kPayload;
        EXPECT_EQ(info.audioBits, c.lost.contains(audioSourcePayload) ? 0 : c.audioBits);
        EXPECT_EQ(info.videoBlocksInError, lostVideo);
        EXPECT_EQ(info.audioErrorSamples,
                  lostAudio * (c.audioBits == 12 ? kSamplesPerBlock12 : kSamplesPerBlock16));
    }
}

TEST(DvFrameAssembler, SystemOfAFrameWithoutHeadersComesFromBeforeOrFromItsSequences) {
    struct Case {
        const char* name;
        std::optional<DvSystem> before;
        DvSystem system;
        int sequencesArriving;
    };
    for (const Case& c :
         {Case{"625/50, first frame", std::nullopt, DvSystem::k625_50, kSequences625},
          Case{"525/60, first frame", std::nullopt, DvSystem::k525_60, kSequences525},
          // Ten sequences would say 525/60; the frame before knows better.
          Case{"625/50 after 625/50, its last two sequences lost", DvSystem::k625_50,
               DvSystem::k625_50, kSequences525}}) {
        SCOPED_TRACE(c.name);
        Rig rig;
        if (c.before) {
            rig.Feed(Frame(*c.before, 1));
        }
        Bytes f = Frame(c.system, 2);
        // Every header lost, and the sequences that do not arrive.
        std::set<std::size_t> lost;
        for (int s = 0; s < SequencesOf(c.system); ++s) {
            lost.insert(SequenceOffset(s) / kPayload);
        }
        for (std::size_t p = SequenceOffset(c.sequencesArriving) / kPayload;
             p * kPayload < f.size(); ++p) {
            lost.insert(p);
        }
        rig.Feed(f, lost);
        rig.assembler.Flush();
        ASSERT_EQ(rig.frames.size(), c.before ? 2u : 1u);
        const Got& got = rig.frames.back();
        EXPECT_EQ(got.system, c.system);
        EXPECT_EQ(got.missing, static_cast<int>(lost.size() * DvFrameAssembler::kBlocksPerPayload));
        DvFrameInfo info;
        ASSERT_TRUE(DvFrameParser::Parse(got.bytes, info));
        EXPECT_EQ(info.system, c.system);
        EXPECT_EQ(info.sequences, SequencesOf(c.system));
    }
}

TEST(DvFrameAssembler, WrongSizedPayloadsAndStrayBlocksAreCountedAndDropped) {
    Rig rig;
    const Bytes f = Frame(DvSystem::k625_50, 1);
    rig.assembler.Push(std::span(f).first(kPayload - 1));
    rig.assembler.Push(std::span(f).first(kPayload + kBlockSize));
    rig.assembler.Push({});
    EXPECT_EQ(rig.assembler.DamagedPayloads(), 3u);
    // Six blocks whose IDs name no place: type 7; a number past the last VAUX, video, audio
    // and header block; a sequence past the last.
    Bytes stray(kPayload, 0x00);
    const std::array<std::array<std::uint8_t, kIdSize>, DvFrameAssembler::kBlocksPerPayload> ids = {
        {{0x40, 0x00, 3},
         {0xE0, 0x00, 0},
         {0x80, 0x00, 135},
         {0x60, 0x00, 9},
         {0x00, 0x00, 1},
         {0x00, 0xC0, 0}}};
    for (std::size_t b = 0; b < ids.size(); ++b) {
        std::copy(ids[b].begin(), ids[b].end(), stray.begin() + b * kBlockSize);
    }
    rig.assembler.Push(stray);
    EXPECT_EQ(rig.assembler.StrayBlocks(), 6u);
    rig.Feed(f);
    rig.assembler.Flush();
    ASSERT_EQ(rig.frames.size(), 1u);
    EXPECT_TRUE(rig.frames[0].bytes == f);
}

}  // namespace
}  // namespace vornak::dv
