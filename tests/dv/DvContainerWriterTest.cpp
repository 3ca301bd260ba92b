#include "DvContainerWriter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "DvContainerFiles.h"
#include "DvContainerReader.h"
#include "DvTestFrames.h"
#include "FfmpegInput.h"
#include "OutputFile.h"
#include "StreamFormatProbe.h"
#include "TestSupport.h"

namespace vornak::dv {
namespace {

using test::Frames;

class CountingSync : public DiskSync {
  public:
    explicit CountingSync(int error) : m_error(error) {}
    int SyncFile(int fd) override {
        ++files;
        // The file is still open when it is flushed.
        open = ::fcntl(fd, F_GETFD) != -1;
        return m_error;
    }
    int SyncFolder(const std::string&) override { return 0; }
    int files = 0;
    bool open = false;

  private:
    int m_error;
};

// Every packet of the file's first stream of `type`, back to back.
std::vector<std::uint8_t> StreamBytes(const std::string& path, AVMediaType type,
                                      AVCodecParameters* codec) {
    FfmpegInput input;
    EXPECT_EQ(input.Open(path, nullptr), "");
    AVFormatContext* context = input.Context();
    if (context == nullptr) {
        return {};
    }
    const int stream = av_find_best_stream(context, type, -1, -1, nullptr, 0);
    if (stream < 0) {
        return {};
    }
    avcodec_parameters_copy(codec, context->streams[stream]->codecpar);
    std::vector<std::uint8_t> bytes;
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

std::string Tag(std::uint32_t tag) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        text += static_cast<char>((tag >> (8 * i)) & 0xFF);
    }
    return text;
}

Frames WriteAndReadBack(const std::string& path, DvContainer container, const Frames& frames) {
    DvContainerWriter writer;
    EXPECT_EQ(writer.CreateNew(path, container), DvContainerWriter::Create::kCreated);
    for (const auto& frame : frames) {
        EXPECT_TRUE(writer.Write(frame)) << writer.Error();
    }
    EXPECT_TRUE(writer.Close()) << writer.Error();
    EXPECT_EQ(writer.FramesWritten(), static_cast<std::int64_t>(frames.size()));
    DvContainerReader reader;
    EXPECT_TRUE(reader.Open(path)) << reader.Error();
    Frames got;
    DvContainerFrame frame;
    while (reader.Next(frame) == DvContainerReader::Status::kFrame) {
        got.emplace_back(frame.bytes.begin(), frame.bytes.end());
    }
    return got;
}

TEST(DvContainerWriter, KeepsEveryFrameAndCopiesTheSound) {
    if (!test::FfmpegAvailable()) {
        GTEST_SKIP() << "the ffmpeg program is not installed";
    }
    struct Case {
        const char* target;
        const char* size;
        const char* rate;
        DvContainer container;
        const char* name;
        StreamFormat format;
        const char* videoTag;  // what a player knows the picture by
        int height;
        int sampleRate;
    };
    const Case cases[] = {
        {"pal-dv", "720x576", "25", DvContainer::kAvi, "pal.avi", StreamFormat::kDvAviType2, "dvsd",
         576, 48000},
        {"pal-dv", "720x576", "25", DvContainer::kQuickTime, "pal.mov", StreamFormat::kDvQuickTime,
         "dvcp", 576, 48000},
        {"ntsc-dv", "720x480", "30000/1001", DvContainer::kAvi, "ntsc.avi",
         StreamFormat::kDvAviType2, "dvsd", 480, 48000},
        {"ntsc-dv", "720x480", "30000/1001", DvContainer::kQuickTime, "ntsc.mov",
         StreamFormat::kDvQuickTime, "dvc ", 480, 48000},
    };
    vornak::test::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string raw = dir.File(std::string(c.name) + ".dv");
        const std::string pcm = dir.File(std::string(c.name) + ".pcm");
        const std::string make =
            std::string("ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i testsrc=size=") +
            c.size + ":rate=" + c.rate +
            " -f lavfi -i sine=frequency=440:sample_rate=48000 -t 1 -target " + c.target + " '" +
            raw + "' && ffmpeg -nostdin -hide_banner -loglevel error -i '" + raw +
            "' -map 0:a -c:a pcm_s16le -f s16le '" + pcm + "'";
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        const Frames frames = test::RawFrames(vornak::test::ReadAll(raw));
        ASSERT_GT(frames.size(), 20U);

        const std::string path = dir.File(c.name);
        const Frames got = WriteAndReadBack(path, c.container, frames);
        EXPECT_EQ(got.size(), frames.size());
        EXPECT_TRUE(got == frames) << "a frame changed on the way";

        EXPECT_EQ(StreamFormatProbe::ProbeFile(path).format, c.format);
        AVCodecParameters* codec = avcodec_parameters_alloc();
        StreamBytes(path, AVMEDIA_TYPE_VIDEO, codec);
        EXPECT_EQ(codec->codec_id, AV_CODEC_ID_DVVIDEO);
        EXPECT_EQ(Tag(codec->codec_tag), c.videoTag);
        EXPECT_EQ(codec->height, c.height);
        // The sound is what libavformat itself takes out of the raw frames.
        const std::vector<std::uint8_t> sound = StreamBytes(path, AVMEDIA_TYPE_AUDIO, codec);
        EXPECT_EQ(codec->codec_id, AV_CODEC_ID_PCM_S16LE);
        EXPECT_EQ(codec->sample_rate, c.sampleRate);
        EXPECT_EQ(codec->ch_layout.nb_channels, 2);
        EXPECT_FALSE(sound.empty());
        EXPECT_TRUE(sound == vornak::test::ReadAll(pcm)) << sound.size() << " bytes of sound";
        avcodec_parameters_free(&codec);
    }
}

TEST(DvContainerWriter, NeverWritesOverAnything) {
    vornak::test::TempDir dir;
    const std::string file = dir.File("taken.avi");
    vornak::test::WriteAll(file, {1, 2, 3});
    const std::string link = dir.File("dangling.mov");
    ASSERT_EQ(::symlink(dir.File("nowhere").c_str(), link.c_str()), 0);
    const std::string folder = dir.File("folder.avi");
    ASSERT_EQ(std::system(("mkdir '" + folder + "'").c_str()), 0);

    for (const std::string& path : {file, link, folder}) {
        SCOPED_TRACE(path);
        DvContainerWriter writer;
        EXPECT_EQ(writer.CreateNew(path, DvContainer::kAvi),
                  DvContainerWriter::Create::kAlreadyExists);
        EXPECT_EQ(writer.LastError(), EEXIST);
        EXPECT_EQ(writer.Error(), "Cannot write \"" + path + "\": File exists");
        EXPECT_FALSE(writer.Write(test::MakeFrame()));
    }
    EXPECT_EQ(vornak::test::ReadAll(file), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(OutputFile::Exists(dir.File("nowhere")));
}

TEST(DvContainerWriter, ReportsSuccessOnlyOnceTheFileIsOnDisk) {
    struct Case {
        int syncError;
        bool closed;
        const char* error;
    };
    const Case cases[] = {
        {0, true, ""},
        {EIO, false, "Input/output error"},
        {ENOSPC, false, "No space left on device"},
    };
    vornak::test::TempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.syncError);
        const std::string path = dir.File("scene" + std::to_string(n++) + ".mov");
        CountingSync sync(c.syncError);
        DvContainerWriter writer;
        writer.SetDiskSync(&sync);
        ASSERT_EQ(writer.CreateNew(path, DvContainer::kQuickTime),
                  DvContainerWriter::Create::kCreated);
        ASSERT_TRUE(writer.Write(test::MakeFrame())) << writer.Error();
        EXPECT_EQ(sync.files, 0);
        EXPECT_EQ(writer.Close(), c.closed);
        EXPECT_EQ(sync.files, 1);
        EXPECT_TRUE(sync.open);
        EXPECT_EQ(writer.LastError(), c.syncError);
        EXPECT_EQ(writer.Error(),
                  c.closed ? std::string() : "Cannot write \"" + path + "\": " + c.error);
    }
}

}  // namespace
}  // namespace vornak::dv
