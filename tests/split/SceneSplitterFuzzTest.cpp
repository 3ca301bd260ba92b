// Hostile input: generated tapes damaged at random (flipped bytes, adaptation fields and PES
// headers whose lengths point anywhere, date packs whose date lies outside the packet, stray
// start codes, inserted garbage, truncation) and split with random buffer sizes, in the file form
// and the live form. Whatever the damage, the job must end normally, and since plain mode never
// changes a byte, the scene files back to back must be one unbroken piece of the input that runs
// to its end. A listing of each input finds the very scenes its split wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "SceneFileName.h"
#include "SceneSplitter.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Rng = std::mt19937;

constexpr const char* kUtc = "UTC0";
constexpr std::uint32_t kSeed = 20061405;
constexpr int kIterations = 600;
constexpr int kBaseTapes = 8;
constexpr std::ptrdiff_t kFailuresShown = 5;
constexpr std::size_t kPictureBytes = 1200;
constexpr std::size_t kMinBufferPackets = 7;
constexpr std::size_t kMaxBufferPackets = 900;
constexpr int kMaxDamagePerKind = 12;
constexpr std::uint8_t kAdaptationOnly = 0x20;
constexpr std::uint8_t kAdaptationAndPayload = 0x30;
constexpr std::uint8_t kAdaptationControlMask = 0x30;
constexpr std::uint8_t kUnitStartBit = 0x40;
constexpr int kFirstDateOutsideAdaptation = PKT_SIZE - 53;  // from here on L + 53 lies outside

// The whole file in one read; the byte-wise stream iterators are far too slow for the number of
// files these tests compare.
Bytes Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes data(static_cast<std::size_t>(std::filesystem::file_size(path)));
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return data;
}

int Uniform(Rng& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// Where the packet grid begins, past any stray bytes at the start.
std::size_t GridStart(const Bytes& b) {
    for (std::size_t i = 0; i + PKT_SIZE < b.size(); ++i) {
        if (b[i] == SYNC_BYTE && b[i + PKT_SIZE] == SYNC_BYTE) {
            return i;
        }
    }
    return 0;
}

std::uint8_t* RandomPacket(Bytes& b, Rng& rng) {
    const std::size_t start = GridStart(b);
    const int packets = static_cast<int>((b.size() - start) / PKT_SIZE);
    return &b[start + static_cast<std::size_t>(Uniform(rng, 0, packets - 1)) * PKT_SIZE];
}

// A packet of the given PID, or null when none turned up after a few tries.
std::uint8_t* RandomPacketOf(Bytes& b, Rng& rng, int wanted) {
    for (int tries = 0; tries < 200; ++tries) {
        std::uint8_t* p = RandomPacket(b, rng);
        if (p[0] == SYNC_BYTE && pid(p) == wanted) {
            return p;
        }
    }
    return nullptr;
}

tape::TapeWriter BaseTape(Rng& rng) {
    tape::TapeOptions options;
    options.pictureBytes = kPictureBytes + static_cast<std::size_t>(Uniform(rng, 0, 2000));
    options.gopLength = Uniform(rng, 0, 1) == 0 ? 12 : 15;
    options.closedGops = Uniform(rng, 0, 3) == 0;
    options.audio = Uniform(rng, 0, 3) != 0;
    options.seed = static_cast<std::uint32_t>(rng());
    if (Uniform(rng, 0, 2) == 0) {
        options.strayBytesAtStart = static_cast<std::size_t>(Uniform(rng, 1, 500));
    }
    if (Uniform(rng, 0, 2) == 0) {
        options.partialLastPacket = static_cast<std::size_t>(Uniform(rng, 1, PKT_SIZE - 1));
    }
    tape::TapeWriter writer(options);
    tape::DateTime date;
    const int scenes = Uniform(rng, 1, 5);
    for (int s = 0; s < scenes; ++s) {
        tape::SceneSpec scene;
        date = tape::AddSeconds(date, Uniform(rng, -5, 90));
        scene.start = date;
        scene.gops = Uniform(rng, 1, 3);
        scene.closedFirstGop = Uniform(rng, 0, 1) == 1;
        scene.secondDatePack = Uniform(rng, 0, 2) == 0;
        scene.noDates = Uniform(rng, 0, 6) == 0;
        writer.AddScene(scene);
    }
    return writer;
}

void FlipBytes(Bytes& b, Rng& rng) {
    for (int n = Uniform(rng, 1, kMaxDamagePerKind); n > 0; --n) {
        b[static_cast<std::size_t>(Uniform(rng, 0, int(b.size()) - 1))] ^=
            static_cast<std::uint8_t>(Uniform(rng, 1, 255));
    }
}

// Adaptation fields of any length, on packets of any PID, with or without payload.
void DamageAdaptation(Bytes& b, Rng& rng) {
    for (int n = Uniform(rng, 1, kMaxDamagePerKind); n > 0; --n) {
        std::uint8_t* p = RandomPacket(b, rng);
        p[3] = static_cast<std::uint8_t>(
            (p[3] & ~kAdaptationControlMask) |
            (Uniform(rng, 0, 1) ? kAdaptationAndPayload : kAdaptationOnly));
        p[ADAPTATION_LENGTH_OFFSET] = static_cast<std::uint8_t>(Uniform(rng, 0, 255));
    }
}

// PES headers whose data length reaches past the packet.
void DamagePesHeader(Bytes& b, Rng& rng) {
    for (int n = Uniform(rng, 1, kMaxDamagePerKind); n > 0; --n) {
        std::uint8_t* p = RandomPacketOf(b, rng, Uniform(rng, 0, 1) ? PID_VIDEO : PID_AUDIO);
        if (p == nullptr) {
            return;
        }
        p[1] |= kUnitStartBit;
        std::size_t pes = TS_HEADER_SIZE;
        if (has_adaptation_field(p)) {
            pes += 1 + p[ADAPTATION_LENGTH_OFFSET];
        }
        if (pes + PES_HEADER_LENGTH_OFFSET < PKT_SIZE) {
            p[pes + PES_HEADER_LENGTH_OFFSET] = static_cast<std::uint8_t>(Uniform(rng, 150, 255));
        }
    }
}

// Date packs whose date bytes lie at or past the packet's end.
void DamageDatePacks(Bytes& b, Rng& rng) {
    for (int n = Uniform(rng, 1, kMaxDamagePerKind); n > 0; --n) {
        std::uint8_t* p = RandomPacketOf(b, rng, PID_RECORDING_DATE);
        if (p == nullptr) {
            return;
        }
        p[ADAPTATION_LENGTH_OFFSET] =
            static_cast<std::uint8_t>(Uniform(rng, kFirstDateOutsideAdaptation - 2, 255));
    }
}

// Start codes where they do not belong: group headers, sequence ends, pictures, slices.
void InjectStartCodes(Bytes& b, Rng& rng) {
    static const std::uint8_t kCodes[] = {0xB8, 0xB7, 0x00, 0x01, 0xAF, 0xB3};
    for (int n = Uniform(rng, 1, kMaxDamagePerKind); n > 0; --n) {
        const std::size_t at = static_cast<std::size_t>(Uniform(rng, 0, int(b.size()) - 8));
        const std::uint8_t code = kCodes[Uniform(rng, 0, int(sizeof kCodes) - 1)];
        const std::uint8_t seq[] = {0x00, 0x00, 0x01, code, static_cast<std::uint8_t>(rng())};
        std::copy(std::begin(seq), std::end(seq), b.begin() + static_cast<std::ptrdiff_t>(at));
    }
}

// Packets turned into video or date packets, with or without a unit start.
void RetagPids(Bytes& b, Rng& rng) {
    for (int n = Uniform(rng, 1, kMaxDamagePerKind); n > 0; --n) {
        std::uint8_t* p = RandomPacket(b, rng);
        const int newPid = Uniform(rng, 0, 1) ? PID_VIDEO : PID_RECORDING_DATE;
        p[1] = static_cast<std::uint8_t>((Uniform(rng, 0, 1) ? kUnitStartBit : 0) |
                                         ((newPid >> 8) & 0x1F));
        p[2] = static_cast<std::uint8_t>(newPid & 0xFF);
    }
}

// Garbage that throws the packet grid off; it may hold sync bytes.
void InsertGarbage(Bytes& b, Rng& rng) {
    Bytes junk(static_cast<std::size_t>(Uniform(rng, 1, 400)));
    for (auto& x : junk) {
        x = Uniform(rng, 0, 7) == 0 ? SYNC_BYTE : static_cast<std::uint8_t>(rng());
    }
    const auto at = static_cast<std::ptrdiff_t>(Uniform(rng, 0, int(b.size())));
    b.insert(b.begin() + at, junk.begin(), junk.end());
}

void Truncate(Bytes& b, Rng& rng) {
    b.resize(static_cast<std::size_t>(Uniform(rng, 0, int(b.size()))));
}

Bytes Damage(Bytes b, Rng& rng) {
    using Step = void (*)(Bytes&, Rng&);
    static const Step kAligned[] = {FlipBytes,       DamageAdaptation, DamagePesHeader,
                                    DamageDatePacks, InjectStartCodes, RetagPids};
    for (const Step step : kAligned) {
        if (Uniform(rng, 0, 2) == 0) {
            step(b, rng);
        }
    }
    // These shift or cut the packet grid, so they come last.
    if (Uniform(rng, 0, 3) == 0) {
        InsertGarbage(b, rng);
    }
    if (Uniform(rng, 0, 3) == 0) {
        Truncate(b, rng);
    }
    return b;
}

// Hands out the input in chunks of random size and batches of random length.
class RandomChunkSource : public LiveSource {
  public:
    RandomChunkSource(const Bytes& data, Rng& rng) : m_data(data), m_rng(rng) {}
    std::unique_ptr<ChunkQueue> TakeChunks() override {
        if (m_at >= m_data.size()) {
            return nullptr;
        }
        auto queue = std::make_unique<ChunkQueue>();
        for (int n = Uniform(m_rng, 1, 6); n > 0 && m_at < m_data.size(); --n) {
            const std::size_t size =
                std::min(m_data.size() - m_at, PKT_SIZE * std::size_t(Uniform(m_rng, 1, 40)));
            auto chunk = std::make_unique<SampleChunk>();
            chunk->pData = std::make_unique<std::uint8_t[]>(size);
            std::copy_n(m_data.begin() + static_cast<std::ptrdiff_t>(m_at), size,
                        chunk->pData.get());
            chunk->cbData = static_cast<std::int32_t>(size);
            queue->push_front(std::move(chunk));
            m_at += size;
        }
        return queue;
    }

  private:
    const Bytes& m_data;
    Rng& m_rng;
    std::size_t m_at = 0;
};

// The files, in the order they were numbered, back to back, form input[k, end) for some k.
// Returns an empty text when they do, else what is wrong.
std::string CheckUnbrokenTail(const Bytes& input, const std::string& outDir,
                              const test::CapturingLog& log) {
    const std::vector<std::string> names = test::ListFiles(outDir);
    Bytes all;
    std::string sizes;
    for (const auto& name : names) {
        const Bytes part = Slurp(outDir + "/" + name);
        sizes += " " + std::to_string(part.size());
        all.insert(all.end(), part.begin(), part.end());
    }
    const std::string files = std::to_string(names.size()) + " files (" + sizes + " ) of a " +
                              std::to_string(input.size()) + "-byte input";
    if (all.size() > input.size() ||
        !std::equal(all.begin(), all.end(),
                    input.end() - static_cast<std::ptrdiff_t>(all.size()))) {
        return files + " are not its unbroken tail";
    }
    if (log.Written() != all.size()) {
        return files + ": " + std::to_string(log.Written()) + " bytes reported written";
    }
    return {};
}

// A listing of the same input with the same buffer must find the split's scenes: the same
// bytes, pictures and dates, one after the other up to the input's end. Returns an empty text
// when it does, else what is wrong.
std::string CheckListing(const std::string& in, std::size_t buffer, std::size_t inputSize,
                         const test::CapturingLog& splitLog) {
    test::CapturingLog log;
    // Checked for damage too: the check looks only, and finds its damage inside the input.
    SceneSplitter lister(in, {.baseName = "unused",
                              .extension = "m2t",
                              .dateTimeNaming = false,
                              .listOnly = true,
                              .healthCheck = true});
    lister.SetLog(&log);
    lister.SetReadBufferSize(buffer);
    lister.Run();
    const std::vector<SceneSummary> listed = log.Scenes();
    const std::vector<SceneSummary> split = splitLog.Scenes();
    if (listed.size() != split.size()) {
        return "listing has " + std::to_string(listed.size()) + " scenes, the split " +
               std::to_string(split.size());
    }
    const auto sameDate = [](const std::optional<RecordingDate>& x,
                             const std::optional<RecordingDate>& y) {
        return x.has_value() == y.has_value() && (!x || x->ToLocalTime() == y->ToLocalTime());
    };
    std::int64_t next = listed.empty() ? 0 : listed[0].offset;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const SceneSummary& a = listed[i];
        const SceneSummary& b = split[i];
        for (const HealthFinding& finding : a.findings) {
            if (finding.first.offset < 0 ||
                finding.last.offset >= static_cast<std::int64_t>(inputSize) ||
                finding.last.picture >= std::max<std::uint64_t>(a.pictures, 1)) {
                return "scene " + std::to_string(i) + " has a finding outside it";
            }
        }
        if (a.offset != b.offset || a.length != b.length || a.pictures != b.pictures ||
            a.brokenPictures != b.brokenPictures || !sameDate(a.firstDate, b.firstDate) ||
            !sameDate(a.lastDate, b.lastDate)) {
            return "scene " + std::to_string(i) + " is listed other than split";
        }
        if (a.length > 0 && a.offset != next) {
            return "scene " + std::to_string(i) + " does not follow the one before";
        }
        next += static_cast<std::int64_t>(a.length);
    }
    if (!listed.empty() && next != static_cast<std::int64_t>(inputSize)) {
        return "the listed scenes end at " + std::to_string(next) + ", not at the input's end";
    }
    return {};
}

TEST(SceneSplitterFuzz, DamagedTapesSplitIntoAnUnbrokenTail) {
    test::ScopedTimeZone tz(kUtc);
    Rng rng(kSeed);
    std::vector<Bytes> bases;
    for (int i = 0; i < kBaseTapes; ++i) {
        bases.push_back(BaseTape(rng).Build());
    }
    test::TempDir dir;
    std::vector<std::string> failures;
    for (int iteration = 0; iteration < kIterations; ++iteration) {
        const Bytes input =
            Damage(bases[static_cast<std::size_t>(Uniform(rng, 0, kBaseTapes - 1))], rng);
        const std::size_t buffer =
            static_cast<std::size_t>(Uniform(rng, kMinBufferPackets, kMaxBufferPackets)) *
                PKT_SIZE +
            static_cast<std::size_t>(Uniform(rng, 0, 3) == 0 ? Uniform(rng, 1, 187) : 0);
        const bool live = iteration % 4 == 3;
        const std::string what = "iteration " + std::to_string(iteration) + (live ? " live" : "") +
                                 ", buffer " + std::to_string(buffer);

        const std::string run = dir.File(std::to_string(iteration));
        std::filesystem::create_directory(run);
        const std::string outDir = run + "/out";
        std::filesystem::create_directory(outDir);
        test::CapturingLog log;
        if (live) {
            RandomChunkSource source(input, rng);
            SceneSplitter splitter(&source, {.baseName = outDir + "/s",
                                             .extension = "m2t",
                                             .dateTimeNaming = false,
                                             .midScenesOk = iteration % 8 == 7});
            splitter.SetLog(&log);
            splitter.SetReadBufferSize(buffer);
            splitter.Run();
            EXPECT_FALSE(splitter.Failed()) << what;
        } else {
            const std::string in = run + "/in.m2t";
            test::WriteAll(in, input);
            SceneSplitter splitter(
                in, {.baseName = outDir + "/s", .extension = "m2t", .dateTimeNaming = false});
            splitter.SetLog(&log);
            splitter.SetReadBufferSize(buffer);
            splitter.Run();
            EXPECT_FALSE(splitter.Failed()) << what;
            const std::string listing = CheckListing(in, buffer, input.size(), log);
            if (!listing.empty()) {
                failures.push_back(what + ": " + listing);
            }
        }
        const std::string wrong = CheckUnbrokenTail(input, outDir, log);
        if (!wrong.empty()) {
            failures.push_back(what + ": " + wrong);
        }
        std::filesystem::remove_all(run);
    }
    EXPECT_TRUE(failures.empty())
        << failures.size() << " damaged tapes went wrong, the first:\n"
        << ::testing::PrintToString(std::vector<std::string>(
               failures.begin(),
               failures.begin() + std::min<std::ptrdiff_t>(kFailuresShown, std::ssize(failures))));
}

// The engine's own buffer on damaged tapes: fewer runs, each one a single refill.
TEST(SceneSplitterFuzz, DamagedTapesWithTheDefaultBuffer) {
    test::ScopedTimeZone tz(kUtc);
    Rng rng(kSeed + 1);
    const Bytes base = BaseTape(rng).Build();
    test::TempDir dir;
    for (int iteration = 0; iteration < 10; ++iteration) {
        const Bytes input = Damage(base, rng);
        const std::string run = dir.File(std::to_string(iteration));
        std::filesystem::create_directory(run);
        test::WriteAll(run + "/in.m2t", input);
        std::filesystem::create_directory(run + "/out");
        test::CapturingLog log;
        SceneSplitter splitter(
            run + "/in.m2t",
            {.baseName = run + "/out/s", .extension = "m2t", .dateTimeNaming = false});
        splitter.SetLog(&log);
        splitter.Run();
        EXPECT_EQ(CheckUnbrokenTail(input, run + "/out", log), "") << "iteration " << iteration;
        std::filesystem::remove_all(run);
    }
}

}  // namespace
}  // namespace vornak
