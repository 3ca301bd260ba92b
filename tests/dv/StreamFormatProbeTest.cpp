#include "StreamFormatProbe.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "DvContainerFiles.h"
#include "DvTestFrames.h"
#include "TestSupport.h"

namespace vornak::dv {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPacket = 188;

// `count` transport packets: the sync byte and then filler.
Bytes Packets(std::size_t count, std::size_t size = kPacket) {
    Bytes bytes(count * size, 0xFF);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i * size + (size - kPacket)] = 0x47;  // a source packet's sync follows its stamp
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

Bytes Cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

TEST(StreamFormatProbe, FromBytesTakesWhicheverShowsFirst) {
    const Bytes frame = test::MakeFrame();
    test::FrameSetup setup;
    setup.system = DvSystem::k525_60;
    const Bytes ntsc = test::MakeFrame(setup);
    const Bytes text(5000, 'a');
    struct Case {
        const char* name;
        Bytes bytes;
        bool whole;
        StreamFormat format;
    };
    const Case cases[] = {
        {"transport packets", Packets(10), true, StreamFormat::kTransportStream},
        {"after garbage", Join({text, Packets(5)}), true, StreamFormat::kTransportStream},
        {"four packets, more to come", Packets(4), false, StreamFormat::kNeither},
        {"four packets and a byte, all of it", Join({Packets(4), {0x00}}), true,
         StreamFormat::kNeither},
        {"four packets and a sync byte", Join({Packets(4), {0x47}}), true,
         StreamFormat::kTransportStream},
        {"the whole input is two packets", Packets(2), true, StreamFormat::kTransportStream},
        {"192-byte source packets", Packets(10, 192), true, StreamFormat::kNeither},
        {"a 625/50 frame", frame, true, StreamFormat::kRawDv},
        {"a 525/60 frame", ntsc, true, StreamFormat::kRawDv},
        {"a frame after garbage", Join({text, frame, frame}), true, StreamFormat::kRawDv},
        {"a frame cut short at the end", Cut(frame, 20'000), true, StreamFormat::kRawDv},
        {"a frame's first six blocks", Cut(frame, 480), true, StreamFormat::kRawDv},
        {"a byte short of them", Cut(frame, 479), true, StreamFormat::kNeither},
        {"what might begin a header block", Bytes(4, 0), true, StreamFormat::kNeither},
        {"a frame before packets", Join({frame, Packets(10)}), true, StreamFormat::kRawDv},
        {"packets before a frame", Join({Packets(10), frame}), true,
         StreamFormat::kTransportStream},
        {"text", text, true, StreamFormat::kNeither},
        {"nothing", {}, true, StreamFormat::kNeither},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StreamFormatProbe::FromBytes(c.bytes, c.whole), c.format) << c.name;
    }
}

class StreamFormatProbeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::FfmpegAvailable()) {
            GTEST_SKIP() << "the ffmpeg program is not installed";
        }
    }
    std::string Ffmpeg(const std::string& arguments) {
        const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error " + arguments;
        return std::system(command.c_str()) == 0 ? std::string() : command;
    }
    vornak::test::TempDir m_dir;
};

TEST_F(StreamFormatProbeTest, TellsFormatsByContentNotName) {
    const std::string raw = m_dir.File("clip.dv");
    ASSERT_EQ(test::WriteFfmpegDv(raw, 1, "16:9", "2007-06-15T10:00:00"), "");
    const Bytes rawBytes = vornak::test::ReadAll(raw);
    const std::string mov = m_dir.File("clip.mov");
    ASSERT_EQ(test::CopyWithFfmpeg(raw, "mov", mov), "");
    const Bytes movBytes = vornak::test::ReadAll(mov);
    ASSERT_EQ(Ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25 -t 1 -c:v mpeg2video -f mpegts '" +
                     m_dir.File("clip.ts") + "'"),
              "");
    ASSERT_EQ(Ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25 -t 1 -c:v mjpeg -f mov '" +
                     m_dir.File("mjpeg.mov") + "'"),
              "");
    ASSERT_EQ(Ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25 -t 1 -c:v mjpeg -f avi '" +
                     m_dir.File("mjpeg.avi") + "'"),
              "");

    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        StreamFormat format;
        const char* reason;
    };
    const auto copyAs = [&](const std::string& format) {
        return [&, format](const std::string& path) {
            ASSERT_EQ(test::CopyWithFfmpeg(raw, format, path), "");
        };
    };
    const auto bytes = [](Bytes content) {
        return [content](const std::string& path) { vornak::test::WriteAll(path, content); };
    };
    const auto same = [&](const std::string& from) {
        return [&, from](const std::string& path) {
            vornak::test::WriteAll(path, vornak::test::ReadAll(m_dir.File(from)));
        };
    };
    const Case cases[] = {
        {"tape.ts", same("clip.ts"), StreamFormat::kTransportStream, ""},
        {"ts-named.avi", same("clip.ts"), StreamFormat::kTransportStream, ""},
        {"tape.dv", bytes(rawBytes), StreamFormat::kRawDv, ""},
        {"dv-named.mpg", bytes(rawBytes), StreamFormat::kRawDv, ""},
        {"cut-in-a-frame.dif", bytes(Cut(rawBytes, 144'000 * 3 + 70'000)), StreamFormat::kRawDv,
         ""},
        {"type1.avi", bytes(test::AviType1(test::RawFrames(rawBytes))), StreamFormat::kDvAviType1,
         ""},
        {"type1-named.dv", bytes(test::AviType1(test::RawFrames(rawBytes))),
         StreamFormat::kDvAviType1, ""},
        {"type2.avi", copyAs("avi"), StreamFormat::kDvAviType2, ""},
        {"type2-named.mov", copyAs("avi"), StreamFormat::kDvAviType2, ""},
        {"clip.mov", bytes(movBytes), StreamFormat::kDvQuickTime, ""},
        {"mov-named.dv", bytes(movBytes), StreamFormat::kDvQuickTime, ""},
        {"notes.txt", bytes(Bytes(100'000, 'x')), StreamFormat::kNeither,
         "it holds neither transport packets nor DV frames"},
        {"empty.dv", bytes({}), StreamFormat::kNeither, "it is empty"},
        {"mjpeg.mov", same("mjpeg.mov"), StreamFormat::kNeither,
         "a QuickTime file without DV video"},
        {"mjpeg.avi", same("mjpeg.avi"), StreamFormat::kNeither, "an AVI file without DV video"},
        // The container's index comes last and is cut off; its frames are not taken for raw DV.
        {"cut.mov", bytes(Cut(movBytes, movBytes.size() / 2)), StreamFormat::kNeither,
         "a QuickTime file that cannot be read: Invalid data found when processing input"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = m_dir.File(c.name);
        c.make(path);
        const StreamFormatVerdict verdict = StreamFormatProbe::ProbeFile(path);
        EXPECT_EQ(verdict.format, c.format) << StreamFormatProbe::Name(verdict.format);
        EXPECT_EQ(verdict.reason, c.reason);
    }
    EXPECT_EQ(StreamFormatProbe::ProbeFile(m_dir.File("missing")).reason,
              "it cannot be read: No such file or directory");
    EXPECT_EQ(StreamFormatProbe::ProbeFile(m_dir.Path()).reason,
              "it cannot be read: Is a directory");
}

TEST(StreamFormatProbe, LongGarbageHidesAStream) {
    vornak::test::TempDir dir;
    const std::string path = dir.File("late.ts");
    vornak::test::WriteAll(path, Join({Bytes(StreamFormatProbe::kProbeBytes, 0), Packets(10)}));
    const StreamFormatVerdict verdict = StreamFormatProbe::ProbeFile(path);
    EXPECT_EQ(verdict.format, StreamFormat::kNeither);
    EXPECT_EQ(verdict.reason, "its first 4 MiB hold neither transport packets nor DV frames");
}

}  // namespace
}  // namespace vornak::dv
