#include "DvContainerWriter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "DvContainerFiles.h"
#include "DvContainerReader.h"
#include "DvTestFrames.h"
#include "FfmpegInput.h"
#include "OutputFile.h"
#include "StreamFormatProbe.h"
#include "TestSupport.h"

namespace vornak::dv {
namespace {

using test::Bytes;
using test::Frames;

class CountingSync : public DiskSync {
  public:
    explicit CountingSync(int error) : m_error(error) {}
    int SyncFile(int fd) override {
        ++files;
        open = ::fcntl(fd, F_GETFD) != -1;  // flushed before it is closed
        return m_error;
    }
    int SyncFolder(const std::string&) override { return 0; }
    int files = 0;
    bool open = false;

  private:
    int m_error;
};

// The file's first stream of `type`: its packets back to back and, in `text`, what it is.
Bytes StreamOf(const std::string& path, AVMediaType type, std::string& text) {
    FfmpegInput input;
    EXPECT_EQ(input.Open(path, nullptr), "");
    AVFormatContext* context = input.Context();
    const int stream = av_find_best_stream(context, type, -1, -1, nullptr, 0);
    if (stream < 0) {
        return {};
    }
    const AVCodecParameters* codec = context->streams[stream]->codecpar;
    char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
    text = std::string(avcodec_get_name(codec->codec_id)) + " " +
           av_fourcc_make_string(tag, codec->codec_tag) + " " +
           std::to_string(type == AVMEDIA_TYPE_VIDEO ? codec->height : codec->sample_rate);
    if (type == AVMEDIA_TYPE_VIDEO) {
        const AVRational shape = context->streams[stream]->sample_aspect_ratio;
        text += " " + std::to_string(shape.num) + ":" + std::to_string(shape.den);
    }
    Bytes bytes;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(context, packet) >= 0) {
        if (packet->stream_index == stream) {
            bytes.insert(bytes.end(), packet->data, packet->data + packet->size);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return bytes;
}

TEST(DvContainerWriter, KeepsEveryFrameAndCopiesTheSound) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed";
    }
    struct Case {
        const char* name;
        const char* target;
        const char* aspect;
        DvContainer container;
        StreamFormat format;
        const char* video;  // codec, the tag a player knows it by, lines, pixel shape
    };
    const Case cases[] = {
        {"pal.avi", "pal-dv", "4:3", DvContainer::kAvi, StreamFormat::kDvAviType2,
         "dvvideo dvsd 576 16:15"},
        {"pal.mov", "pal-dv", "16:9", DvContainer::kQuickTime, StreamFormat::kDvQuickTime,
         "dvvideo dvcp 576 64:45"},
        {"ntsc.avi", "ntsc-dv", "16:9", DvContainer::kAvi, StreamFormat::kDvAviType2,
         "dvvideo dvsd 480 32:27"},
        {"ntsc.mov", "ntsc-dv", "4:3", DvContainer::kQuickTime, StreamFormat::kDvQuickTime,
         "dvvideo dvc  480 8:9"},
    };
    vornak::test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string raw = dir.File(std::string(c.name) + ".dv");
        const std::string pcm = dir.File(std::string(c.name) + ".pcm");
        ASSERT_EQ(
            test::WriteFfmpegDvAndSound(raw, pcm, c.target, "sine=sample_rate=48000", c.aspect),
            "");
        const Frames frames = test::RawFrames(vornak::test::ReadAll(raw));
        ASSERT_GT(frames.size(), 20U);

        const std::string path = dir.File(c.name);
        DvContainerWriter writer;
        ASSERT_EQ(writer.CreateNew(path, c.container), DvContainerWriter::Create::kCreated);
        for (const Bytes& frame : frames) {
            ASSERT_TRUE(writer.Write(frame)) << writer.Error();
        }
        ASSERT_TRUE(writer.Close()) << writer.Error();
        EXPECT_EQ(writer.FramesWritten(), static_cast<std::int64_t>(frames.size()));

        DvContainerReader reader;
        ASSERT_TRUE(reader.Open(path)) << reader.Error();
        Frames got;
        DvContainerFrame frame;
        while (reader.Next(frame) == DvContainerReader::Status::kFrame) {
            got.emplace_back(frame.bytes.begin(), frame.bytes.end());
        }
        EXPECT_TRUE(got == frames) << "a frame changed on the way";
        EXPECT_EQ(StreamFormatProbe::ProbeFile(path).format, c.format);
        std::string video;
        std::string sound;
        StreamOf(path, AVMEDIA_TYPE_VIDEO, video);
        // The sound is what libavformat itself takes out of the raw frames.
        const Bytes samples = StreamOf(path, AVMEDIA_TYPE_AUDIO, sound);
        EXPECT_EQ(video, c.video);
        EXPECT_EQ(sound, c.container == DvContainer::kAvi ? "pcm_s16le [1][0][0][0] 48000"
                                                          : "pcm_s16le sowt 48000");
        EXPECT_FALSE(samples.empty());
        EXPECT_TRUE(samples == vornak::test::ReadAll(pcm)) << samples.size() << " bytes of sound";
    }
}

TEST(DvContainerWriter, NeverWritesOverAnything) {
    vornak::test::TempDir dir;
    const std::string file = dir.File("taken.avi");
    vornak::test::WriteAll(file, {1, 2, 3});
    const std::string link = dir.File("dangling.mov");
    ASSERT_EQ(::symlink(dir.File("nowhere").c_str(), link.c_str()), 0);
    const std::string folder = dir.File("folder.avi");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    for (const std::string& path : {file, link, folder}) {
        DvContainerWriter writer;
        EXPECT_EQ(writer.CreateNew(path, DvContainer::kAvi),
                  DvContainerWriter::Create::kAlreadyExists);
        EXPECT_EQ(writer.LastError(), EEXIST);
        EXPECT_EQ(writer.Error(), "Cannot write \"" + path + "\": File exists");
        EXPECT_FALSE(writer.Write(test::MakeFrame()));
    }
    EXPECT_EQ(vornak::test::ReadAll(file), (Bytes{1, 2, 3}));
    EXPECT_FALSE(OutputFile::Exists(dir.File("nowhere")));
}

TEST(DvContainerWriter, RefusesAFirstFrameThatIsNoDv) {
    vornak::test::TempDir dir;
    const std::string path = dir.File("scene.avi");
    DvContainerWriter writer;
    ASSERT_EQ(writer.CreateNew(path, DvContainer::kAvi), DvContainerWriter::Create::kCreated);
    EXPECT_FALSE(writer.Write(Bytes(500, 0x1F)));
    EXPECT_EQ(writer.Error(), "Cannot write \"" + path + "\": the first frame is not DV");
    EXPECT_TRUE(writer.Close());
    EXPECT_EQ(writer.FramesWritten(), 0);
}

TEST(DvContainerWriter, ReportsSuccessOnlyOnceTheFileIsOnDisk) {
    const std::pair<int, const char*> cases[] = {
        {0, ""}, {EIO, "Input/output error"}, {ENOSPC, "No space left on device"}};
    vornak::test::TempDir dir;
    for (const auto& [error, text] : cases) {
        const std::string path = dir.File("scene" + std::to_string(error) + ".mov");
        CountingSync sync(error);
        DvContainerWriter writer;
        writer.SetDiskSync(&sync);
        ASSERT_EQ(writer.CreateNew(path, DvContainer::kQuickTime),
                  DvContainerWriter::Create::kCreated);
        ASSERT_TRUE(writer.Write(test::MakeFrame())) << writer.Error();
        EXPECT_EQ(sync.files, 0);
        EXPECT_EQ(writer.Close(), error == 0);
        EXPECT_EQ(sync.files, 1);
        EXPECT_TRUE(sync.open);
        EXPECT_EQ(writer.LastError(), error);
        EXPECT_EQ(writer.Error(),
                  error == 0 ? std::string() : "Cannot write \"" + path + "\": " + text);
    }
}

}  // namespace
}  // namespace vornak::dv
