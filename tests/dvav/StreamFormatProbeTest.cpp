#include "StreamFormatProbe.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "DvContainerFiles.h"
#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak::dv {
namespace {

using test::Bytes;

// `count` transport packets of `size` bytes, the sync byte last but 187 in each.
Bytes Packets(std::size_t count, std::size_t size = 188) {
    Bytes bytes(count * size, 0xFF);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i * size + size - 188] = 0x47;
    }
    return bytes;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes Cut(const Bytes& bytes, std::size_t size) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

TEST(StreamFormatProbe, FromBytesTakesWhicheverShowsFirst) {
    const Bytes frame = test::MakeFrame();
    test::FrameSetup ntsc;
    ntsc.system = DvSystem::k525_60;
    const Bytes text(5000, 'a');
    constexpr auto kTs = StreamFormat::kTransportStream;
    constexpr auto kDv = StreamFormat::kRawDv;
    constexpr auto kNo = StreamFormat::kNeither;
    const std::tuple<const char*, Bytes, bool, StreamFormat> cases[] = {
        {"transport packets", Packets(10), true, kTs},
        {"after garbage", Join({text, Packets(5)}), true, kTs},
        {"four packets, more to come", Packets(4), false, kNo},
        {"four packets and a byte, all of it", Join({Packets(4), {0x00}}), true, kNo},
        {"four packets and a sync byte", Join({Packets(4), {0x47}}), true, kTs},
        {"the whole input is two packets", Packets(2), true, kTs},
        {"192-byte source packets", Packets(10, 192), true, kNo},
        {"a 625/50 frame", frame, true, kDv},
        {"a 525/60 frame", test::MakeFrame(ntsc), true, kDv},
        {"a frame after garbage", Join({text, frame, frame}), true, kDv},
        {"a frame cut short at the end", Cut(frame, 20'000), true, kDv},
        {"a frame's first six blocks", Cut(frame, 480), true, kDv},
        {"a byte short of them", Cut(frame, 479), true, kNo},
        {"what might begin a header block", Bytes(4, 0), true, kNo},
        {"a frame before packets", Join({frame, Packets(10)}), true, kDv},
        {"packets before a frame", Join({Packets(10), frame}), true, kTs},
        {"text", text, true, kNo},
        {"nothing", {}, true, kNo},
    };
    for (const auto& [name, bytes, whole, format] : cases) {
        EXPECT_EQ(StreamFormatProbe::FromBytes(bytes, whole), format) << name;
    }
}

TEST(StreamFormatProbe, TellsFormatsByContentNotName) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed";
    }
    vornak::test::TempDir dir;
    const std::string raw = dir.File("clip.dv");
    ASSERT_EQ(test::WriteFfmpegDv(raw, 1, "16:9", "2007-06-15T10:00:00"), "");
    const std::string make = "ffmpeg -nostdin -loglevel error -f lavfi -i testsrc -t 1 ";
    for (const char* made : {"-c:v mpeg2video -f mpegts clip.ts", "-c:v mjpeg -f mov mjpeg.mov",
                             "-c:v mjpeg -f avi mjpeg.avi"}) {
        ASSERT_EQ(std::system(("cd '" + dir.Path() + "' && " + make + made).c_str()), 0) << made;
    }
    ASSERT_EQ(test::CopyWithFfmpeg(raw, "avi", dir.File("type2.avi")), "");
    ASSERT_EQ(test::CopyWithFfmpeg(raw, "mov", dir.File("clip.mov")), "");
    const auto read = [&](const char* name) { return vornak::test::ReadAll(dir.File(name)); };
    const Bytes dv = read("clip.dv");
    const Bytes mov = read("clip.mov");
    const Bytes type1 = test::AviType1(test::RawFrames(dv));

    const std::tuple<const char*, Bytes, StreamFormat, const char*> cases[] = {
        {"tape.ts", read("clip.ts"), StreamFormat::kTransportStream, ""},
        {"ts-named.avi", read("clip.ts"), StreamFormat::kTransportStream, ""},
        {"tape.dv", dv, StreamFormat::kRawDv, ""},
        {"dv-named.mpg", dv, StreamFormat::kRawDv, ""},
        {"cut-in-a-frame.dif", Cut(dv, 144'000 * 3 + 70'000), StreamFormat::kRawDv, ""},
        {"type1.avi", type1, StreamFormat::kDvAviType1, ""},
        {"type1-named.dv", type1, StreamFormat::kDvAviType1, ""},
        {"type2-named.mov", read("type2.avi"), StreamFormat::kDvAviType2, ""},
        {"mov-named.dv", mov, StreamFormat::kDvQuickTime, ""},
        {"notes.txt", Bytes(100'000, 'x'), StreamFormat::kNeither,
         "it holds neither transport packets nor DV frames"},
        {"empty.dv", {}, StreamFormat::kNeither, "it is empty"},
        {"mjpeg-named.dv", read("mjpeg.mov"), StreamFormat::kNeither,
         "a QuickTime file without DV video"},
        {"mjpeg-named.ts", read("mjpeg.avi"), StreamFormat::kNeither,
         "an AVI file without DV video"},
        // The index comes last and is cut off; the frames are not taken for raw DV.
        {"cut.mov", Cut(mov, mov.size() / 2), StreamFormat::kNeither,
         "a QuickTime file that cannot be read: Invalid data found when processing input"},
        {"late.ts", Join({Bytes(StreamFormatProbe::kProbeBytes), Packets(10)}),
         StreamFormat::kNeither, "its first 4 MiB hold neither transport packets nor DV frames"},
    };
    for (const auto& [name, bytes, format, reason] : cases) {
        const std::string path = dir.File(name);
        vornak::test::WriteAll(path, bytes);
        const StreamFormatVerdict verdict = StreamFormatProbe::ProbeFile(path);
        EXPECT_EQ(StreamFormatProbe::Name(verdict.format), StreamFormatProbe::Name(format)) << name;
        EXPECT_EQ(verdict.reason, reason) << name;
    }
    EXPECT_EQ(StreamFormatProbe::ProbeFile(dir.File("missing")).reason,
              "it cannot be read: No such file or directory");
    const std::string fifo = dir.File("fifo.ts");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {dir.Path(), fifo}) {
        EXPECT_EQ(StreamFormatProbe::ProbeFile(path).reason, "it is no regular file");
    }
}

}  // namespace
}  // namespace vornak::dv
