// The slice-count check of a file run: pictures of 67, 68 and 69 slices, headers between
// pictures, start codes cut by packet, sample and chunk boundaries, audio in between, and one
// count per packet however many bad pictures close in it.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "ComPtr.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using test::Bytes;
namespace packets = tape::packets;

constexpr std::size_t kPictureBytes = 1500;  // several packets per picture
constexpr int kI = 1;
constexpr int kP = 2;
constexpr int kB = 3;

void Append(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}

class CapturePinPictureCheckTest : public ::testing::Test {
  protected:
    CapturePinPictureCheckTest() {
        m_types[0].majortype = MEDIATYPE_Stream;
        m_filter = ComPtr<CaptureFilter>(new CaptureFilter(m_types, 0));
    }
    CapturePin* Pin() const { return m_filter->GetCapturePin(); }

    Bytes Picture(int type, int slices, std::size_t bytes = kPictureBytes) {
        return packets::Picture(type, bytes, slices, m_rng);
    }
    Bytes Video(const Bytes& es) { return packets::VideoPes(es, m_videoCc); }
    // One audio packet whose payload is full of slice start codes.
    Bytes DecoyAudio() {
        Bytes es;
        for (int i = 0; i < 40; ++i) {
            Append(es, {0x00, 0x00, 0x01, 0x01});
        }
        return packets::AudioPes(es, m_audioCc, 90000);
    }
    // Runs a file run over `stream` (transport packets) in samples of `packetsPerSample`.
    std::uint32_t DroppedAfter(const Bytes& stream, std::size_t packetsPerSample) {
        const std::string path = m_dir.File("run" + std::to_string(++m_runs) + ".m2t");
        Pin()->StartCapture(CaptureFileWriter::CreateNew(path));
        const Bytes source = test::ToSourcePackets(stream);
        const std::size_t step = packetsPerSample * CapturePin::kSourcePacketSize;
        for (std::size_t at = 0; at < source.size(); at += step) {
            const auto end = std::min(source.size(), at + step);
            test::FakeSample sample(Bytes(source.begin() + static_cast<long>(at),
                                          source.begin() + static_cast<long>(end)));
            EXPECT_EQ(Pin()->Receive(&sample), S_OK);
        }
        const std::uint32_t dropped = Pin()->Dropped();
        Pin()->StopCapture();
        EXPECT_EQ(test::ReadAll(path), stream);  // the check never alters what is written
        return dropped;
    }

    AM_MEDIA_TYPE m_types[1];
    ComPtr<CaptureFilter> m_filter;
    test::TempDir m_dir;
    std::uint32_t m_rng = 7;
    std::uint8_t m_videoCc = 0;
    std::uint8_t m_audioCc = 0;
    int m_runs = 0;
};

// | picture | slices | judged when the next picture starts |
// | I       | 68     | good                                |
// | B       | 69     | bad                                 |
// | B       | 68     | good (a group header follows)       |
// | P       | 67     | bad                                 |
// | B       | 68     | good                                |
// | B       | 67     | never judged: the run ends          |
// Every video packet is followed by an audio packet full of slice start codes.
TEST_F(CapturePinPictureCheckTest, CountsPicturesWithOtherThan68SlicesAcrossAnyBoundaries) {
    Bytes es = packets::SequenceHeader(1440, 1080);
    Append(es, packets::GopHeader(false));
    Append(es, Picture(kI, 68));
    Append(es, Picture(kB, 69));
    Append(es, Picture(kB, 68));
    Append(es, packets::GopHeader(false));
    Append(es, Picture(kP, 67));
    Append(es, Picture(kB, 68));
    Append(es, Picture(kB, 67));
    const Bytes video = Video(es);
    Bytes stream;
    for (std::size_t at = 0; at < video.size(); at += PKT_SIZE) {
        stream.insert(stream.end(), video.begin() + static_cast<long>(at),
                      video.begin() + static_cast<long>(at + PKT_SIZE));
        Append(stream, DecoyAudio());
    }
    for (std::size_t perSample : {1u, 3u, 7u, 1000u}) {
        EXPECT_EQ(DroppedAfter(stream, perSample), 2u) << perSample << " packets per sample";
    }
}

// | picture | slices | between the pictures                   | judged |
// | I       | 68     | sequence header, group header          | good   |
// | B       | 68     | group header                           | good   |
// | B       | 68     | sequence header, group header (closed) | good   |
// | P       | 68     |                                        | -      |
TEST_F(CapturePinPictureCheckTest, HeadersBetweenPicturesAreNoSlices) {
    Bytes es = Picture(kI, 68);
    Append(es, packets::SequenceHeader(1440, 1080));
    Append(es, packets::GopHeader(false));
    Append(es, Picture(kB, 68));
    Append(es, packets::GopHeader(false));
    Append(es, Picture(kB, 68));
    Append(es, packets::SequenceHeader(1440, 1080));
    Append(es, packets::GopHeader(true));
    Append(es, Picture(kP, 68));
    EXPECT_EQ(DroppedAfter(Video(es), 2), 0u);
}

// | stream                                  | judged                               |
// | 30 slices of a picture begun before the run | none: no picture start seen yet |
// | I, 67 slices                            | bad, when the next one starts        |
// | B, 68 slices                            | good                                 |
// | B, 69 slices                            | never judged                         |
TEST_F(CapturePinPictureCheckTest, JudgesOnlyPicturesThatTheRunSawStartAndEnd) {
    const Bytes partial = Picture(kB, 30);
    Bytes es(partial.begin() + 4, partial.end());  // without its picture start code
    Append(es, Picture(kI, 67));
    Append(es, Picture(kB, 68));
    Append(es, Picture(kB, 69));
    EXPECT_EQ(DroppedAfter(Video(es), 4), 1u);
}

// | picture | slices | starts in         | judged       |
// | I       | 68     | packet 1          | good         |
// | B       | 0      | packet j <= k     | bad          |
// | B       | 0      | packet k          | bad          |
// | P       | 68     | packet k          | -            |
// Two bad pictures close in packet k: one count.
TEST_F(CapturePinPictureCheckTest, CountsAPacketOnceHoweverManyPicturesItCloses) {
    Bytes es = Picture(kI, 68);
    Append(es, Picture(kB, 0, 8));
    const std::size_t secondSmall = es.size();
    Append(es, Picture(kB, 0, 8));
    const std::size_t last = es.size();
    Append(es, Picture(kP, 68));
    // The first packet carries the 9-byte PES header, every later one 184 stream bytes.
    auto packetOf = [](std::size_t offset) {
        constexpr std::size_t kFirst = PKT_SIZE - TS_HEADER_SIZE - PES_FIXED_HEADER_SIZE;
        return offset < kFirst ? 0 : 1 + (offset - kFirst) / (PKT_SIZE - TS_HEADER_SIZE);
    };
    ASSERT_EQ(packetOf(secondSmall), packetOf(last)) << "pick sizes that put both in one packet";
    EXPECT_EQ(DroppedAfter(Video(es), 1), 1u);
}

TEST_F(CapturePinPictureCheckTest, StartCaptureRestartsTheCheck) {
    // A run that ends inside a 67-slice picture must not have it judged by the next run.
    Bytes first = Picture(kI, 68);
    Append(first, Picture(kB, 67));
    EXPECT_EQ(DroppedAfter(Video(first), 1), 0u);
    Bytes second = Picture(kI, 68);
    Append(second, Picture(kB, 68));
    EXPECT_EQ(DroppedAfter(Video(second), 1), 0u);
}

TEST_F(CapturePinPictureCheckTest, LiveRunsDoNotCheckPictures) {
    Bytes es = Picture(kI, 67);
    Append(es, Picture(kB, 67));
    Append(es, Picture(kB, 67));
    Pin()->StartCapture(nullptr);
    test::FakeSample sample(test::ToSourcePackets(Video(es)));
    EXPECT_EQ(Pin()->Receive(&sample), S_OK);
    EXPECT_EQ(Pin()->Dropped(), 0u);
}

}  // namespace
}  // namespace vornak
