// The capture pin's data path: repacking source packets, the file run with its picture check
// and write errors, the live queue with its bound, and TakeChunks.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <utility>
#include <vector>

#include "CaptureFilter.h"
#include "CapturePin.h"
#include "ComPtr.h"
#include "DvTestFrames.h"
#include "FilterTestSupport.h"
#include "Guids.h"
#include "ILiveQueueRoom.h"
#include "TapeWriter.h"
#include "TestSupport.h"
#include "TsPacket.h"

namespace vornak {
namespace {

using test::Bytes;
using namespace std::chrono_literals;

constexpr std::size_t kSource = CapturePin::kSourcePacketSize;
// The fourth header byte of a source packet's transport packet: payload flags and counter.
constexpr std::size_t kVideoCounterAt = CapturePin::kSourceHeaderSize + 3;
constexpr std::uint8_t kPayloadOnlyWithCounter1 = 0x11;
constexpr std::uint8_t kPayloadOnlyWithCounter5 = 0x15;
constexpr auto kShortWait = 20ms;
// Long enough that a TakeChunks nobody wakes makes the test time out rather than pass.
constexpr auto kNeverInATest = std::chrono::hours(1);

class CapturePinDataTest : public ::testing::Test {
  protected:
    CapturePinDataTest() {
        m_types[0].majortype = MEDIATYPE_Stream;
        m_filter = ComPtr<CaptureFilter>(new CaptureFilter(m_types, 0));
    }
    CapturePin* Pin() const { return m_filter->GetCapturePin(); }

    // Hands `data` to Receive as one sample and checks that every reference came back.
    void Feed(const Bytes& data) {
        test::FakeSample sample(data);
        EXPECT_EQ(Pin()->Receive(&sample), S_OK);
        EXPECT_EQ(sample.Count(), 1);
    }
    CaptureFile OpenForWriting(const std::string& path) {
        return CaptureFileWriter::CreateNew(path);
    }
    // Every chunk of one batch, oldest first, back to back.
    static Bytes Flatten(const ChunkQueue& batch) {
        Bytes out;
        for (auto it = batch.rbegin(); it != batch.rend(); ++it) {
            out.insert(out.end(), (*it)->pData.get(), (*it)->pData.get() + (*it)->cbData);
        }
        return out;
    }

    AM_MEDIA_TYPE m_types[1];
    ComPtr<CaptureFilter> m_filter;
    test::TempDir m_dir;
};

TEST_F(CapturePinDataTest, RepacksWholeSourcePacketsAndDropsTheirHeaders) {
    Pin()->StartCapture(nullptr);
    Bytes three = test::SourcePackets(3);
    Bytes partial = three;
    partial.insert(partial.end(), 100, 0x55);  // a trailing partial source packet
    Feed(partial);
    Feed(Bytes(kSource - 1, 0x47));  // shorter than one source packet

    auto batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    ASSERT_EQ(batch->size(), 2u);
    EXPECT_EQ(batch->front()->cbData, 0);  // newest: still queued, empty
    const SampleChunk& first = *batch->back();
    ASSERT_EQ(first.cbData, 3 * 188);
    EXPECT_EQ(Bytes(first.pData.get(), first.pData.get() + first.cbData),
              test::TransportPackets(three));
}

TEST_F(CapturePinDataTest, NeverReadsPastTheSampleBuffer) {
    Pin()->StartCapture(nullptr);
    test::FakeSample sample(test::SourcePackets(2));
    sample.SetActualDataLength(static_cast<LONG>(10 * kSource));  // claims more than it holds
    EXPECT_EQ(Pin()->Receive(&sample), S_OK);
    auto batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(batch->back()->cbData, 2 * 188);
}

TEST_F(CapturePinDataTest, IgnoresSamplesOutsideARunAndSamplesWithoutABuffer) {
    Feed(test::SourcePackets(4));
    EXPECT_EQ(Pin()->TakeChunks(), nullptr);  // idle: at once, nothing was kept

    Pin()->StartCapture(nullptr);
    test::FakeSample broken(test::SourcePackets(4), true);
    EXPECT_EQ(Pin()->Receive(&broken), S_OK);
    EXPECT_EQ(broken.Count(), 1);
    Pin()->SetTakeChunksTimeout(kShortWait);
    EXPECT_EQ(Pin()->TakeChunks(), nullptr);
}

TEST_F(CapturePinDataTest, FileRunWritesTheTransportPacketsAndQueuesNothing) {
    const std::string path = m_dir.File("capture.m2t");
    Pin()->StartCapture(OpenForWriting(path));
    const Bytes a = test::SourcePackets(5, 0x100, 0xEE, 0);
    const Bytes b = test::SourcePackets(7, 0x100, 0xEE, 5);
    Feed(a);
    Feed(b);
    EXPECT_TRUE(Pin()->IsCapturing());
    Pin()->StopCapture();
    EXPECT_FALSE(Pin()->IsCapturing());
    Feed(test::SourcePackets(3));  // after the run: not written

    Bytes expected = test::TransportPackets(a);
    const Bytes tail = test::TransportPackets(b);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(test::ReadAll(path), expected);
    EXPECT_EQ(Pin()->TakeChunks(), nullptr);
    EXPECT_FALSE(Pin()->WriteFailed());
    EXPECT_EQ(Pin()->Dropped(), 0u);
}

TEST_F(CapturePinDataTest, ReportsAWriteThatFails) {
    const std::string path = m_dir.File("readonly.m2t");
    test::WriteAll(path, Bytes(10, 0));
    // Writes must fail; they reach the file once a buffer's worth is there.
    Pin()->StartCapture(std::make_unique<CaptureFileWriter>(::open(path.c_str(), O_RDONLY), path));
    Feed(test::SourcePackets(CaptureFileWriter::kBufferPackets));
    Feed(test::SourcePackets(4));
    EXPECT_TRUE(Pin()->WriteFailed());
    EXPECT_EQ(Pin()->WriteErrors(), 2u);
    Pin()->StopCapture();

    // A new run starts clean.
    Pin()->StartCapture(OpenForWriting(m_dir.File("good.m2t")));
    EXPECT_FALSE(Pin()->WriteFailed());
    EXPECT_EQ(Pin()->WriteErrors(), 0u);
    Pin()->StopCapture();
}

TEST_F(CapturePinDataTest, ReportsDataLostWhenTheFileIsClosed) {
    // /dev/full refuses the packets held back until the close.
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0) {
        GTEST_SKIP() << "no /dev/full here";
    }
    Pin()->StartCapture(std::make_unique<CaptureFileWriter>(full, "/dev/full"));
    Feed(test::SourcePackets(2));
    Pin()->StopCapture();
    EXPECT_TRUE(Pin()->WriteFailed());
}

// What the queue discards is counted in transport packets, however many a chunk holds.
TEST_F(CapturePinDataTest, LiveQueueKeepsTheNewest256ChunksAndCountsTheDiscardedPackets) {
    constexpr std::size_t kFirstPackets = 5;
    Pin()->StartCapture(nullptr);
    Feed(test::SourcePackets(kFirstPackets, 0x100, 0xEE, 1000));
    for (std::size_t i = 1; i < CapturePin::kLiveQueueLimit; ++i) {
        Feed(test::SourcePackets(1, 0x100, 0xEE, i));
    }
    EXPECT_EQ(Pin()->Dropped(), 0u);
    Feed(test::SourcePackets(1, 0x100, 0xEE, CapturePin::kLiveQueueLimit));
    EXPECT_EQ(Pin()->Dropped(), kFirstPackets);
    Feed(test::SourcePackets(1, 0x100, 0xEE, CapturePin::kLiveQueueLimit + 1));
    EXPECT_EQ(Pin()->Dropped(), kFirstPackets + 1);

    auto batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    ASSERT_EQ(batch->size(), CapturePin::kLiveQueueLimit);
    // The first two chunks were discarded; 2 is now the oldest, 257 the newest.
    const Bytes oldest(batch->back()->pData.get(), batch->back()->pData.get() + 188);
    EXPECT_EQ(oldest, test::TransportPackets(test::SourcePackets(1, 0x100, 0xEE, 2)));
    const Bytes newest(batch->front()->pData.get(), batch->front()->pData.get() + 188);
    EXPECT_EQ(newest, test::TransportPackets(test::SourcePackets(1, 0x100, 0xEE, 257)));
}

TEST_F(CapturePinDataTest, StartCaptureDiscardsLeftoversAndResetsTheCounter) {
    Pin()->StartCapture(nullptr);
    for (std::size_t i = 0; i <= CapturePin::kLiveQueueLimit; ++i) {
        Feed(test::SourcePackets(1));
    }
    ASSERT_EQ(Pin()->Dropped(), 1u);
    Pin()->StartCapture(nullptr);
    EXPECT_EQ(Pin()->Dropped(), 0u);
    Feed(test::SourcePackets(2));
    auto batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(batch->size(), 1u);
}

TEST_F(CapturePinDataTest, EndFlushDiscardsTheLiveQueueAndCountsItsPackets) {
    Pin()->StartCapture(nullptr);
    Feed(test::SourcePackets(2));
    Feed(test::SourcePackets(3));
    EXPECT_EQ(Pin()->EndFlush(), S_OK);
    EXPECT_EQ(Pin()->Dropped(), 5u) << "flushed packets never reach a scene file";
    Pin()->SetTakeChunksTimeout(kShortWait);
    EXPECT_EQ(Pin()->TakeChunks(), nullptr);
}

// A source that can wait is told when one more chunk would find room, and is never kept waiting
// by a queue that takes nothing more.
TEST_F(CapturePinDataTest, RoomForOneMoreChunkInTheLiveQueue) {
    ComPtr<ILiveQueueRoom> room;
    ASSERT_EQ(static_cast<IPin*>(Pin())->QueryInterface(IID_ILiveQueueRoom, room.ReceiveVoid()),
              S_OK);
    const std::vector<std::pair<std::function<void()>, HRESULT>> afterAFullQueue{
        {[] {}, S_FALSE},
        {[this] { (void)Pin()->TakeChunks(); }, S_OK},
        {[this] { Pin()->StopCapture(); }, S_OK},
        {[this] { Pin()->EndLiveRun(); }, S_OK},
    };
    for (const auto& [then, expected] : afterAFullQueue) {
        Pin()->StartCapture(nullptr);
        for (std::size_t i = 0; i < CapturePin::kLiveQueueLimit; ++i) {
            EXPECT_EQ(room->WaitForRoom(0ms), S_OK);
            Feed(test::SourcePackets(1, 0x100, 0xEE, i));
        }
        then();
        EXPECT_EQ(room->WaitForRoom(0ms), expected);
        EXPECT_EQ(Pin()->Dropped(), 0u);
    }
}

TEST_F(CapturePinDataTest, TakeChunksHandsOverEverythingInArrivalOrder) {
    Pin()->StartCapture(nullptr);
    Pin()->SetTakeChunksTimeout(kNeverInATest);  // data is there: no waiting
    const Bytes a = test::SourcePackets(2, 0x100, 0xEE, 0);
    const Bytes b = test::SourcePackets(3, 0x100, 0xEE, 2);
    Feed(a);
    Feed(b);
    auto batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    Bytes expected = test::TransportPackets(a);
    const Bytes tail = test::TransportPackets(b);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(Flatten(*batch), expected);
    EXPECT_TRUE(Pin()->IsCapturing());
}

// A reader waiting for chunks wakes when they arrive, and when a stop, a disconnect or its
// time-out ends the live run (nothing to take then).
TEST_F(CapturePinDataTest, AWaitingReaderWakesForChunksAStopADisconnectOrItsTimeOut) {
    const Bytes three = test::SourcePackets(3);
    const struct {
        const char* what;
        std::chrono::milliseconds wait;
        std::function<void()> wake;
        Bytes taken;  // transport packets; empty: no batch
        bool capturing;
    } cases[] = {
        {"chunks arrive", kNeverInATest, [&] { Feed(three); }, test::TransportPackets(three), true},
        {"a stop", kNeverInATest, [this] { Pin()->StopCapture(); }, {}, false},
        {"a disconnect",
         kNeverInATest,
         [this] { EXPECT_EQ(Pin()->Disconnect(), S_FALSE); },
         {},
         false},
        {"the wait finds nothing", kShortWait, [] {}, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pin()->StartCapture(nullptr);
        Pin()->SetTakeChunksTimeout(c.wait);
        auto reader = std::async(std::launch::async, [this] { return Pin()->TakeChunks(); });
        c.wake();
        const auto batch = reader.get();
        if (c.taken.empty()) {
            EXPECT_EQ(batch, nullptr);
        } else {
            ASSERT_NE(batch, nullptr);
            EXPECT_EQ(Flatten(*batch), c.taken);
        }
        EXPECT_EQ(Pin()->IsCapturing(), c.capturing);
    }
}

// A break (the camcorder went over to DV) ends the stream for the reader after the chunks
// before it, and leaves the chunks after it to the next reader, at once; a full queue drops
// chunks, never the break.
// A tape that changes between HDV and DV: a file run writes the frames, exactly, into a DV file
// made when the first one comes; a live run hands each stretch to a reader of its own.
TEST_F(CapturePinDataTest, DvFramesGoIntoADvFileOrALiveStretchOfTheirOwn) {
    dv::test::FrameSetup ntsc;
    ntsc.system = dv::DvSystem::k525_60;
    const Bytes first = dv::test::MakeFrame();
    const Bytes second = dv::test::MakeFrame(ntsc);
    const Bytes hdv1 = test::SourcePackets(2, 0x100, 0xEE, 0);
    const Bytes hdv2 = test::SourcePackets(3, 0x100, 0xEE, 2);
    Bytes frames = first;
    frames.insert(frames.end(), second.begin(), second.end());
    Bytes transport = test::TransportPackets(hdv1);
    const Bytes tail = test::TransportPackets(hdv2);
    transport.insert(transport.end(), tail.begin(), tail.end());

    for (const bool canMake : {true, false}) {
        SCOPED_TRACE(canMake ? "the DV file is made" : "the DV file cannot be made");
        const std::string path = m_dir.File(canMake ? "made.m2t" : "unmade.m2t");
        const std::string dvPath = m_dir.File(canMake ? "made.dv" : "unmade.dv");
        int made = 0;
        Pin()->StartCapture(OpenForWriting(path), [&]() -> CaptureFile {
            ++made;
            return canMake ? OpenForWriting(dvPath) : nullptr;
        });
        for (const Bytes* sample : {&hdv1, &first, &hdv2, &second}) {
            Feed(*sample);
        }
        Pin()->StopCapture();
        EXPECT_EQ(made, 1) << "made once, when the first frame came";
        EXPECT_EQ(test::ReadAll(path), transport) << "the HDV file goes on after the DV";
        EXPECT_EQ(Pin()->WriteFailed(), !canMake);
        EXPECT_EQ(Pin()->DvWriteFailed(), !canMake);
        if (canMake) {
            EXPECT_TRUE(test::ReadAll(dvPath) == frames);
        }
    }

    Pin()->StartCapture(nullptr);
    Pin()->SetTakeChunksTimeout(kNeverInATest);
    for (const Bytes* sample : {&hdv1, &first, &second, &hdv2}) {
        Feed(*sample);
        Pin()->NoteDvSignal();  // no pause: no break but the kind's
    }
    Pin()->StopCapture();
    const struct {
        ChunkKind kind;
        Bytes bytes;
    } stretches[] = {{ChunkKind::TransportStream, test::TransportPackets(hdv1)},
                     {ChunkKind::Dv, frames},
                     {ChunkKind::TransportStream, test::TransportPackets(hdv2)}};
    for (const auto& stretch : stretches) {
        auto batch = Pin()->TakeChunks();
        ASSERT_NE(batch, nullptr);
        for (const auto& chunk : *batch) {
            EXPECT_EQ(chunk->kind, stretch.kind);
        }
        EXPECT_TRUE(Flatten(*batch) == stretch.bytes);
        EXPECT_EQ(Pin()->TakeChunks(), nullptr);
        EXPECT_EQ(Pin()->TakeLiveBreak(), &stretch != &stretches[2]) << "the run's end";
    }
}

// The camcorder may say it plays DV while packets of the HDV before are still on their way
// (seconds of them wait in a FireWire camcorder's queue): they stay in the scene they belong to.
TEST_F(CapturePinDataTest, PacketsStillComingWhenDvIsSaidStayWithTheStretchBefore) {
    Pin()->StartCapture(nullptr);
    Pin()->SetTakeChunksTimeout(kNeverInATest);
    const Bytes before = test::SourcePackets(2, 0x100, 0xEE, 0);
    const Bytes late = test::SourcePackets(3, 0x100, 0xEE, 2);
    Feed(before);
    Pin()->NoteDvSignal();
    Feed(late);
    Pin()->StopCapture();
    const auto batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    Bytes all = test::TransportPackets(before);
    const Bytes tail = test::TransportPackets(late);
    all.insert(all.end(), tail.begin(), tail.end());
    EXPECT_EQ(Flatten(*batch), all);
    EXPECT_EQ(Pin()->TakeChunks(), nullptr);
    EXPECT_FALSE(Pin()->TakeLiveBreak());
}

TEST_F(CapturePinDataTest, ABreakEndsOneReadersStreamAndLeavesTheRestToTheNext) {
    Pin()->StartCapture(nullptr);
    Pin()->SetTakeChunksTimeout(kNeverInATest);
    const Bytes before = test::SourcePackets(2, 0x100, 0xEE, 0);
    const Bytes after = test::SourcePackets(3, 0x100, 0xEE, 2);
    Feed(before);
    Pin()->BreakLiveRun();
    Pin()->BreakLiveRun();  // nothing came between: the same break
    Feed(after);
    auto batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(Flatten(*batch), test::TransportPackets(before));
    EXPECT_FALSE(Pin()->TakeLiveBreak());
    EXPECT_EQ(Pin()->TakeChunks(), nullptr);
    EXPECT_TRUE(Pin()->TakeLiveBreak());
    EXPECT_FALSE(Pin()->TakeLiveBreak()) << "taken once";
    EXPECT_TRUE(Pin()->IsCapturing());
    batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(Flatten(*batch), test::TransportPackets(after));

    Pin()->BreakLiveRun();
    for (std::size_t i = 0; i < CapturePin::kLiveQueueLimit; ++i) {
        Feed(test::SourcePackets(1, 0x100, 0xEE, i));
    }
    EXPECT_EQ(Pin()->Dropped(), 1u);
    EXPECT_EQ(Pin()->TakeChunks(), nullptr);
    EXPECT_TRUE(Pin()->TakeLiveBreak());
    batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(batch->size(), CapturePin::kLiveQueueLimit - 1);
}

// While the camcorder plays DV the silence is held from ending the stream; once released, the
// stream ends a whole time-out later, not at once.
TEST_F(CapturePinDataTest, AHeldRunOutlastsItsTimeOutUntilReleased) {
    constexpr auto kTimeOut = 100ms;
    Pin()->StartCapture(nullptr);
    Pin()->SetTakeChunksTimeout(kTimeOut);
    Pin()->HoldLiveRun(true);
    auto reader = std::async(std::launch::async, [this] { return Pin()->TakeChunks(); });
    EXPECT_EQ(reader.wait_for(3 * kTimeOut), std::future_status::timeout);
    const auto released = std::chrono::steady_clock::now();
    Pin()->HoldLiveRun(false);
    ASSERT_EQ(reader.wait_for(kTimeOut * 100), std::future_status::ready);
    EXPECT_GE(std::chrono::steady_clock::now() - released, kTimeOut);
    EXPECT_EQ(reader.get(), nullptr);
    EXPECT_FALSE(Pin()->IsCapturing());
}

// A stop wakes the reader once; if a batch was still queued it must not then wait for data
// that will never come, nor take data a camcorder goes on sending after the stop.
TEST_F(CapturePinDataTest, AfterAStopTheReaderDrainsTheQueueWithoutWaitingForMore) {
    Pin()->StartCapture(nullptr);
    Pin()->SetTakeChunksTimeout(kNeverInATest);
    // Before the stop the counters run in order: nothing is lost there.
    Bytes before = test::SourcePackets(2);
    before[kVideoCounterAt + kSource] = kPayloadOnlyWithCounter1;
    Feed(before);
    Pin()->StopCapture();
    EXPECT_TRUE(Pin()->IsCapturing()) << "the run goes on until the reader has drained it";
    Feed(test::SourcePackets(3));
    // Video packets whose continuity counters jump from 0 to 5: not the run's any more.
    Bytes jump = test::SourcePackets(2, PID_VIDEO);
    jump[kVideoCounterAt + kSource] = kPayloadOnlyWithCounter5;
    Feed(jump);
    auto batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(batch->size(), 1u);
    EXPECT_EQ(Flatten(*batch), test::TransportPackets(before));
    EXPECT_EQ(Pin()->TakeChunks(), nullptr);
    EXPECT_FALSE(Pin()->IsCapturing());
    EXPECT_EQ(Pin()->Dropped(), 0u) << "what came after the stop is not counted as lost";
    EXPECT_EQ(Pin()->LostPackets(), 0u) << "nor is a gap in it";

    // The next run starts afresh.
    Pin()->StartCapture(nullptr);
    Feed(test::SourcePackets(1));
    batch = Pin()->TakeChunks();
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(batch->size(), 1u);
}

// A picture lost just before the stream pauses (a DV stretch, the tape stopped) leaves a jump
// onto the next picture's start that no later clock reference can settle: its counters still
// say it.
TEST_F(CapturePinDataTest, APictureLostJustBeforeAPauseIsCounted) {
    constexpr std::size_t kPacket = 188;
    constexpr std::size_t kAdaptationFlags = 5;
    constexpr std::uint8_t kPcrFlag = 0x10;
    tape::TapeWriter writer(tape::TapeOptions{});
    writer.AddScene({tape::DateTime{}, 2});
    const Bytes tape = writer.Build();
    const auto isVideo = [&](std::size_t at) {
        return (((tape[at + 1] & 0x1F) << 8) | tape[at + 2]) == PID_VIDEO;
    };
    std::vector<std::size_t> starts;  // the offsets of the packets that start pictures
    for (std::size_t at = 0; at + kPacket <= tape.size(); at += kPacket) {
        if ((tape[at + 1] & 0x40) != 0 && isVideo(at)) {
            starts.push_back(at);
        }
    }
    // A picture whose video packets do not fill whole turns of the counter, so that the
    // counters alone can tell something went.
    std::size_t lostPicture = 0;
    std::uint32_t videoLost = 0;
    for (std::size_t k = 5; k + 2 < starts.size() && lostPicture == 0; ++k) {
        std::uint32_t video = 0;
        for (std::size_t at = starts[k]; at < starts[k + 1]; at += kPacket) {
            video += isVideo(at) ? 1 : 0;
        }
        if (video % 16 != 0 && video % 16 != 15) {
            lostPicture = k;
            videoLost = video % 16;
        }
    }
    ASSERT_NE(lostPicture, 0u);
    // Everything up to that picture, its other streams, and the first packet of the next
    // picture, whose clock reference the stream happens not to carry there; then a pause, and
    // the stream goes on two pictures later.
    Bytes before(tape.begin(), tape.begin() + static_cast<long>(starts[lostPicture]));
    for (std::size_t at = starts[lostPicture]; at < starts[lostPicture + 1]; at += kPacket) {
        if (!isVideo(at)) {
            before.insert(before.end(), tape.begin() + static_cast<long>(at),
                          tape.begin() + static_cast<long>(at + kPacket));
        }
    }
    const std::size_t landing = before.size();
    before.insert(before.end(), tape.begin() + static_cast<long>(starts[lostPicture + 1]),
                  tape.begin() + static_cast<long>(starts[lostPicture + 1] + kPacket));
    if ((before[landing + 3] & 0x20) != 0 && before[landing + 4] > 0) {
        before[landing + kAdaptationFlags] &= static_cast<std::uint8_t>(~kPcrFlag);
    }
    const Bytes after(tape.begin() + static_cast<long>(starts[lostPicture + 2]), tape.end());

    Pin()->StartCapture(nullptr);
    Feed(test::ToSourcePackets(before));
    EXPECT_EQ(Pin()->LostPackets(), 0u) << "the jump waits for the clock";
    test::FakeSample resumed(test::ToSourcePackets(after));
    ASSERT_EQ(resumed.SetDiscontinuity(true), S_OK);
    EXPECT_EQ(Pin()->Receive(&resumed), S_OK);
    EXPECT_EQ(Pin()->LostPackets(), videoLost);
}

}  // namespace
}  // namespace vornak
