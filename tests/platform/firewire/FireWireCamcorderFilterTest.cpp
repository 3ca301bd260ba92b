// The FireWire camcorder as a filter: its interfaces and capture pin, the stream from the MPEG-2
// receiver to the sink as whole source packets in samples, and the ways the camcorder is lost
// (poll hang-up, failing loop, a bus reset without it, unanswered commands), each posting one
// EC_DEVICE_LOST and stopping the stream.
#include "FireWireCamcorderFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "ComPtr.h"
#include "DvFrameReader.h"
#include "DvTestFrames.h"
#include "FakeEventGraph.h"
#include "FakeFireWireLibrary.h"
#include "FilterTestSupport.h"
#include "FireWireCapturePin.h"
#include "FireWireTestNodes.h"
#include "GraphInterfaces.h"
#include "Guids.h"

namespace vornak {
namespace {

using test::Bytes;
using test::FakeFireWireLibrary;
using Port = FakeFireWireLibrary::Port;

constexpr std::uint64_t kGuid = 0x0000'8500'0123'4567;
constexpr std::size_t kPerSample = 4;
constexpr std::size_t kPacket = 188;
constexpr std::size_t kSource = 192;
constexpr std::uint32_t kCycleTimer = 0x5E00'1234;  // 0x00001234 once the seconds are off
constexpr auto kSafetyLimit = std::chrono::seconds(10);
const std::vector<std::chrono::milliseconds> kShortPauses(4, std::chrono::milliseconds(1));

Bytes TransportPacket(std::size_t number) {
    Bytes packet(kPacket);
    packet[0] = 0x47;
    for (std::size_t i = 1; i < kPacket; ++i) {
        packet[i] = static_cast<std::uint8_t>(number * 13 + i);
    }
    return packet;
}

std::vector<Bytes> TransportPackets(std::size_t first, std::size_t count) {
    std::vector<Bytes> packets;
    for (std::size_t i = first; i < first + count; ++i) {
        packets.push_back(TransportPacket(i));
    }
    return packets;
}

Bytes Joined(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// A DV frame whose video bytes are its own, so that a block of one frame found in another is
// seen; no block is marked damaged.
Bytes DvFrame(dv::DvSystem system, int seed) {
    dv::test::FrameSetup setup;
    setup.system = system;
    setup.tc = {0, 0, 1, seed % 25};
    Bytes frame = dv::test::MakeFrame(setup);
    for (int s = 0; s < dv::SequencesOf(system); ++s) {
        for (int a = 0; a < static_cast<int>(dv::kAudioBlocks); ++a) {
            for (int v = 0; v < static_cast<int>(dv::kVideoBlocksPerAudio); ++v) {
                const std::size_t at = dv::test::VideoBlockAt(s, a, v);
                frame[at + dv::kVideoStaByte] = 0;
                for (std::size_t i = dv::kVideoStaByte + 1; i < dv::kBlockSize; ++i) {
                    frame[at + i] = static_cast<std::uint8_t>(seed * 31 + s * 5 + v * 3 + i);
                }
            }
        }
    }
    return frame;
}

constexpr std::size_t kDvPayload = 480;

constexpr std::size_t PayloadsOf(dv::DvSystem system) {
    return dv::FrameSizeOf(system) / kDvPayload;
}

// `count` frames made from the seeds `first`, `first + 1`, ...
std::vector<Bytes> DvFrames(dv::DvSystem system, int count, int first = 1) {
    std::vector<Bytes> frames;
    for (int f = first; f < first + count; ++f) {
        frames.push_back(DvFrame(system, f));
    }
    return frames;
}

void Append(std::vector<Bytes>& to, const std::vector<Bytes>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

Port BusWithCamcorderAt(std::size_t node) {
    Port port{{test::ThisMachine()}, 0};
    while (port.nodes.size() < node) {
        port.nodes.push_back(test::Disk(0x10 + port.nodes.size()));
    }
    port.nodes.push_back(test::Camcorder(kGuid));
    return port;
}

template <typename Condition>
bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + kSafetyLimit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class FireWireCamcorderFilterTest : public ::testing::Test {
  protected:
    FireWireCamcorderFilterTest() : m_library(std::make_shared<FakeFireWireLibrary>()) {
        m_library->SetBus({BusWithCamcorderAt(1)});
        m_library->SetCycleTimer(kCycleTimer);
        Make(0);
        m_sink = ComPtr<test::SinkFilter>(new test::SinkFilter());
    }
    // A camcorder filter with room for `queuePackets` and `queueFrames` between callback and
    // delivery (0: the default), in the graph, its messages logged.
    void Make(std::size_t queuePackets, std::size_t queueFrames = 0) {
        if (m_camcorder) {
            m_camcorder->JoinFilterGraph(nullptr, {});
        }
        m_camcorder = ComPtr<FireWireCamcorderFilter>(new FireWireCamcorderFilter(
            m_library, kGuid, FireWireBus::Location{0, 1}, kPerSample, queuePackets, queueFrames));
        m_camcorder->Link().SetRelocatePauses(kShortPauses);
        m_camcorder->SetLogHandler([this](const std::string& line) {
            std::lock_guard lock(m_logLock);
            m_log.push_back(line);
        });
        m_camcorder->JoinFilterGraph(&m_graph, "camcorder");
    }
    std::vector<std::string> Log() {
        std::lock_guard lock(m_logLock);
        return m_log;
    }
    ~FireWireCamcorderFilterTest() override {
        m_camcorder->Stop();
        m_sink->Stop();
        m_camcorder->JoinFilterGraph(nullptr, {});
        m_camcorder->GetOutputPin()->Disconnect();
        m_sink->Pin()->Disconnect();
    }

    void Start() {
        ASSERT_EQ(m_camcorder->GetOutputPin()->Connect(m_sink->Pin(), nullptr), S_OK);
        ASSERT_EQ(m_sink->Run(0), S_OK);
        ASSERT_EQ(m_camcorder->Run(0), S_OK);
    }
    // The transport packets of every sample so far; checks each source packet's header.
    Bytes Received() const {
        Bytes out;
        for (const auto& sample : m_sink->Pin()->Samples()) {
            EXPECT_EQ(sample.data.size() % kSource, 0u);
            const Bytes packets = TransportOf(sample.data, true);
            out.insert(out.end(), packets.begin(), packets.end());
        }
        return out;
    }
    // The transport packets of the source packets in `sample`, their headers checked if asked.
    static Bytes TransportOf(const Bytes& sample, bool checkHeaders) {
        Bytes out;
        for (std::size_t at = 0; at + kSource <= sample.size(); at += kSource) {
            if (checkHeaders) {
                EXPECT_EQ(Bytes(sample.begin() + static_cast<long>(at),
                                sample.begin() + static_cast<long>(at + 4)),
                          (Bytes{0x00, 0x00, 0x12, 0x34}));
            }
            out.insert(out.end(), sample.begin() + static_cast<long>(at + 4),
                       sample.begin() + static_cast<long>(at + kSource));
        }
        return out;
    }
    // The samples so far, each as one DV frame or the transport packets it holds.
    struct Piece {
        bool dv;
        Bytes bytes;
        bool discontinuity;
    };
    std::vector<Piece> Pieces() const {
        std::vector<Piece> pieces;
        for (const auto& sample : m_sink->Pin()->Samples()) {
            const bool dv = dv::IsWholeDvFrame(sample.data);
            pieces.push_back(
                {dv, dv ? sample.data : TransportOf(sample.data, false), sample.discontinuity});
        }
        return pieces;
    }
    std::uint64_t Dropped() {
        std::uint64_t dropped = 0;
        EXPECT_EQ(m_camcorder->GetDroppedPackets(&dropped), S_OK);
        return dropped;
    }
    void PlaysDv() {
        m_library->EditNode(kGuid, [](auto& node) { node.outputSignalMode = 0x00; });
    }
    // DvFrames(system, count, first), each in a loop iteration of its own; returns them.
    std::vector<Bytes> QueueDvFrames(dv::DvSystem system, int count, int first = 1) {
        const std::vector<Bytes> frames = DvFrames(system, count, first);
        for (const Bytes& frame : frames) {
            m_library->QueueWire(FakeFireWireLibrary::DvWire(frame, system, m_dbc));
        }
        return frames;
    }
    // `wire`, `perIteration` isochronous packets to a loop iteration.
    void QueueWireIn(const std::vector<Bytes>& wire, std::size_t perIteration) {
        for (std::size_t at = 0; at < wire.size(); at += perIteration) {
            m_library->QueueWire(std::vector<Bytes>(
                wire.begin() + static_cast<long>(at),
                wire.begin() + static_cast<long>(std::min(at + perIteration, wire.size()))));
        }
    }
    // Ends a case of a table: a fresh camcorder (with `queueFrames`) and sink for the next.
    void NextRun(std::size_t queueFrames = 0) {
        m_camcorder->Stop();
        m_camcorder->GetOutputPin()->Disconnect();
        m_sink->Stop();
        m_sink->Pin()->Disconnect();
        m_sink = ComPtr<test::SinkFilter>(new test::SinkFilter());
        Make(0, queueFrames);
        m_dbc = 0;
    }
    void ExpectLostOnce() {
        ASSERT_TRUE(m_graph.WaitForEvents(1));
        ASSERT_TRUE(WaitFor([&] { return !m_camcorder->GetOutputPin()->IsReceiving(); }));
        EXPECT_EQ(m_library->ReceiversClosed(), 1);
        LONG value = 0;
        EXPECT_EQ(m_camcorder->put_Mode(ED_MODE_STOP), E_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(m_camcorder->get_Mode(&value), E_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(m_camcorder->GetCapability(ED_DEVCAP_DEVICE_TYPE, &value, nullptr),
                  E_DEVICE_NOT_CONNECTED);
        TIMECODE_SAMPLE timecode;
        timecode.dwFlags = ED_DEVCAP_TIMECODE_READ;
        EXPECT_EQ(m_camcorder->GetTimecode(&timecode), E_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(m_camcorder->Stop(), S_OK);
        EXPECT_EQ(m_camcorder->Pause(), E_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(m_graph.Events(),
                  (std::vector<test::FakeEventGraph::Event>{{EC_DEVICE_LOST, 0, 0}}));
    }

    test::FakeEventGraph m_graph;  // outlives the camcorder, which leaves it first
    std::uint8_t m_dbc = 0;        // the data block count of the wire made so far
    std::shared_ptr<FakeFireWireLibrary> m_library;
    ComPtr<FireWireCamcorderFilter> m_camcorder;
    ComPtr<test::SinkFilter> m_sink;
    std::mutex m_logLock;
    std::vector<std::string> m_log;
};

TEST_F(FireWireCamcorderFilterTest, OffersDeviceControlAndOneCapturePin) {
    ComPtr<IAMExtDevice> device;
    ComPtr<IAMExtTransport> transport;
    ComPtr<IAMTimecodeReader> timecode;
    ASSERT_EQ(m_camcorder->QueryInterface(IID_IAMExtDevice, device.ReceiveVoid()), S_OK);
    ASSERT_EQ(device->QueryInterface(IID_IAMExtTransport, transport.ReceiveVoid()), S_OK);
    ASSERT_EQ(transport->QueryInterface(IID_IAMTimecodeReader, timecode.ReceiveVoid()), S_OK);
    ComPtr<IUnknown> fromDevice;
    ComPtr<IUnknown> fromFilter;
    ASSERT_EQ(timecode->QueryInterface(IID_IUnknown, fromDevice.ReceiveVoid()), S_OK);
    ASSERT_EQ(m_camcorder->QueryInterface(IID_IUnknown, fromFilter.ReceiveVoid()), S_OK);
    EXPECT_EQ(fromDevice.Get(), fromFilter.Get());

    LONG type = 0;
    EXPECT_EQ(device->GetCapability(ED_DEVCAP_DEVICE_TYPE, &type, nullptr), S_OK);
    EXPECT_EQ(type, ED_DEVTYPE_VCR);
    TIMECODE_SAMPLE sample;
    EXPECT_EQ(timecode->GetTimecode(&sample), E_INVALIDARG);
    sample.dwFlags = ED_DEVCAP_TIMECODE_READ;
    EXPECT_EQ(timecode->GetTimecode(&sample), S_OK);
    EXPECT_EQ(sample.timecode.dwFrames, 0x01020304u);

    ASSERT_EQ(m_camcorder->GetPinCount(), 1);
    FireWireCapturePin* pin = m_camcorder->GetOutputPin();
    ASSERT_NE(pin->Category(), nullptr);
    EXPECT_EQ(*pin->Category(), PIN_CATEGORY_CAPTURE);
    CMediaType type0;
    ASSERT_EQ(pin->GetMediaType(0, &type0), S_OK);
    EXPECT_EQ(type0.majortype, MEDIATYPE_Stream);
    EXPECT_EQ(type0.subtype, MEDIASUBTYPE_MPEG2_TRANSPORT);
    EXPECT_EQ(pin->GetMediaType(1, &type0), VFW_S_NO_MORE_ITEMS);
}

TEST_F(FireWireCamcorderFilterTest, DeliversWholeSourcePacketsAndFlushesWhenTheStreamPauses) {
    Start();
    m_library->QueuePackets(TransportPackets(0, 10));
    m_library->QueueTimeout();
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(3));

    const auto samples = m_sink->Pin()->Samples();
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[0].data.size(), kPerSample * kSource);
    EXPECT_EQ(samples[1].data.size(), kPerSample * kSource);
    EXPECT_EQ(samples[2].data.size(), 2 * kSource);
    EXPECT_EQ(samples[0].bufferSize, static_cast<LONG>(dv::kMaxFrameSize)) << "room for DV";
    EXPECT_EQ(Received(), Joined(TransportPackets(0, 10)));
    EXPECT_EQ(m_library->LastChannel(), FakeFireWireLibrary::kConnectedChannel);

    EXPECT_EQ(m_camcorder->Stop(), S_OK);
    EXPECT_FALSE(m_camcorder->GetOutputPin()->IsReceiving());
    EXPECT_EQ(m_library->ReceiversClosed(), 1);
    EXPECT_EQ(m_library->CmpDisconnects(), 1);
    EXPECT_TRUE(m_graph.Events().empty());
}

TEST_F(FireWireCamcorderFilterTest, OddCallbackLengthsKeepOnlyWholePackets) {
    Start();
    Bytes longer = TransportPacket(1);
    longer.resize(kPacket + 30, 0xEE);
    m_library->QueueCall(longer, static_cast<int>(longer.size()));
    m_library->QueueCall(Bytes(50, 0x47), 50);
    m_library->QueueCall(Bytes(8, 0x47), -1);
    m_library->QueueCall(Joined(TransportPackets(2, 2)), static_cast<int>(2 * kPacket));
    ASSERT_TRUE(m_library->WaitUntilScriptDone());
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));

    EXPECT_EQ(Received(), Joined(TransportPackets(1, 3)));
}

TEST_F(FireWireCamcorderFilterTest, ListensOnTheBroadcastChannelWithoutPlugRegisters) {
    m_library->FailCmpConnect(true);
    Start();
    ASSERT_TRUE(WaitFor([&] { return m_library->ReceiversStarted() == 1; }));
    EXPECT_EQ(m_library->LastChannel(), FireWireCapturePin::kBroadcastChannel);
    EXPECT_EQ(m_camcorder->Stop(), S_OK);
    EXPECT_EQ(m_library->CmpDisconnects(), 0);
}

TEST_F(FireWireCamcorderFilterTest, APollHangUpLosesTheCamcorderOnceAndKeepsWhatCameBefore) {
    Start();
    m_library->QueuePackets(TransportPackets(0, 2));
    m_library->QueueHangUp();
    ExpectLostOnce();
    EXPECT_EQ(Received(), Joined(TransportPackets(0, 2)));
}

TEST_F(FireWireCamcorderFilterTest, AFailingLoopLosesTheCamcorderOnce) {
    Start();
    m_library->QueueIterateFailure();
    ExpectLostOnce();
}

TEST_F(FireWireCamcorderFilterTest, ABusResetWithoutTheCamcorderLosesItOnce) {
    Start();
    m_library->QueueBusReset({{{test::ThisMachine(), test::Disk(0x10)}, 0}});
    ExpectLostOnce();
}

TEST_F(FireWireCamcorderFilterTest, UnansweredCommandsLoseTheCamcorderAndStopTheStream) {
    Start();
    ASSERT_TRUE(WaitFor([&] { return m_library->ReceiversStarted() == 1; }));
    m_library->EditNode(kGuid, [](auto& node) { node.answersAvc = false; });
    LONG mode = 0;
    for (int i = 1; i < FireWireCamcorderLink::kFailuresBeforeLost; ++i) {
        EXPECT_EQ(m_camcorder->get_Mode(&mode), E_FAIL);
    }
    EXPECT_TRUE(m_graph.Events().empty());
    EXPECT_EQ(m_camcorder->get_Mode(&mode), E_DEVICE_NOT_CONNECTED);
    ExpectLostOnce();
}

// A bus reset that renumbers the nodes keeps the stream whole and the commands going, whether
// the machine hears of it or not: when its own node file is root's, no handle hears of the
// reset and every request carrying the old generation fails until the camcorder is found again.
class FireWireRenumberTest : public FireWireCamcorderFilterTest,
                             public ::testing::WithParamInterface<bool> {};

TEST_P(FireWireRenumberTest, ABusResetThatRenumbersTheCamcorderMidCaptureLosesNothing) {
    const bool heard = GetParam();
    m_library->SetLocalNodeReadable(heard);
    Start();
    LONG mode = 0;
    EXPECT_EQ(m_camcorder->get_Mode(&mode), S_OK);
    m_library->QueuePackets(TransportPackets(0, 4));
    m_library->QueueBusReset({BusWithCamcorderAt(3)});
    m_library->QueuePackets(TransportPackets(4, 4));
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(2));
    EXPECT_TRUE(!heard || m_library->CmpReconnects() == 1) << "heard of, it is reconnected at once";
    ASSERT_TRUE(WaitFor([&] { return m_library->CmpReconnects() == 1; }));

    EXPECT_EQ(Received(), Joined(TransportPackets(0, 8)));
    EXPECT_TRUE(heard || m_library->GenerationErrors() > 0) << "the old generation's requests fail";
    EXPECT_EQ(m_library->CmpNormalizes(), 1);
    EXPECT_EQ(m_camcorder->Link().CurrentLocation(), (FireWireBus::Location{0, 3}));
    EXPECT_TRUE(m_camcorder->GetOutputPin()->IsReceiving());
    EXPECT_EQ(m_camcorder->get_Mode(&mode), S_OK);
    EXPECT_EQ(m_library->Transactions().back().nodeId, 0xFFC3);
    std::uint64_t dropped = 1;
    EXPECT_EQ(m_camcorder->GetDroppedPackets(&dropped), S_OK);
    EXPECT_EQ(dropped, 0u);
    EXPECT_TRUE(m_graph.Events().empty());
    EXPECT_TRUE(Log().empty());
}

INSTANTIATE_TEST_SUITE_P(FireWireRenumber, FireWireRenumberTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Heard" : "Unheard";
                         });

TEST_F(FireWireCamcorderFilterTest, AConnectionThatCannotBeRestoredLosesTheCamcorder) {
    m_library->SetReconnectResult(FakeFireWireLibrary::kReconnectFails);
    Start();
    m_library->QueueBusReset({BusWithCamcorderAt(2)});
    ExpectLostOnce();
    EXPECT_EQ(Log(), std::vector<std::string>{"ERROR: The camcorder's connection could not be "
                                              "restored after a FireWire bus reset."});
}

TEST_F(FireWireCamcorderFilterTest, AStreamMovedToAnotherChannelIsLoggedAndFollowed) {
    m_library->SetReconnectResult(9);
    Start();
    m_library->QueueBusReset({BusWithCamcorderAt(2)});
    m_library->QueuePackets(TransportPackets(0, kPerSample));
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));
    EXPECT_EQ(Log(), std::vector<std::string>{"ERROR: After a FireWire bus reset the camcorder "
                                              "sends on channel 9 instead of 5."});
    EXPECT_EQ(m_library->LastChannel(), 9);
    EXPECT_EQ(Received(), Joined(TransportPackets(0, kPerSample)));
    EXPECT_TRUE(m_graph.Events().empty());
}

// A short pause after a bus reset is no break: the stream that resumes is the same one, and the
// consumer's continuity check is to see across it. A long one is counted by its length, and the
// packets the kernel dropped by the bus cycles they took.
TEST_F(FireWireCamcorderFilterTest, PausesAndDropsAreCountedAndTheGapMarkedWhenTheyLoseData) {
    constexpr auto kLongPause =
        static_cast<std::uint64_t>(0.6 * ReceptionPace::kNominalPacketsPerSecond);
    const struct {
        const char* what;
        bool busReset;
        int timeouts;         // polls of 200 ms that found nothing
        unsigned lostCycles;  // isochronous packets the kernel dropped before the second sample
        std::uint64_t minDropped, maxDropped;
    } cases[] = {
        {"a short pause while the connection is restored", true, 1, 0, 0, kLongPause - 1},
        {"a long pause while the connection is restored", true, 3, 0, kLongPause,
         std::numeric_limits<std::uint64_t>::max()},
        // Ten bus cycles of HDV, about 2.08 source packets each.
        {"ten isochronous packets the kernel dropped", false, 0, 10, 21, 21},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Make(0);
        // All in the script before reception starts, so that no idle poll comes between.
        m_library->QueuePackets(TransportPackets(0, kPerSample));
        if (c.busReset) {
            m_library->QueueBusReset({BusWithCamcorderAt(2)});
        }
        for (int i = 0; i < c.timeouts; ++i) {
            m_library->QueueTimeout();
        }
        m_library->QueuePackets(TransportPackets(kPerSample, kPerSample), c.lostCycles);
        Start();
        ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(2));
        std::uint64_t dropped = 0;
        EXPECT_EQ(m_camcorder->GetDroppedPackets(&dropped), S_OK);
        EXPECT_GE(dropped, c.minDropped);
        EXPECT_LE(dropped, c.maxDropped);
        EXPECT_EQ(m_sink->Pin()->Samples()[1].discontinuity, c.minDropped > 0);
        EXPECT_EQ(Received(), Joined(TransportPackets(0, 2 * kPerSample)));
        m_camcorder->Stop();
        m_camcorder->GetOutputPin()->Disconnect();
        m_sink->Stop();
        m_sink->Pin()->Disconnect();
        m_sink = ComPtr<test::SinkFilter>(new test::SinkFilter());
    }
}

TEST_F(FireWireCamcorderFilterTest, AStopDeliversWhatIsStillQueued) {
    constexpr std::size_t kSent = 5 * kPerSample + 2;
    m_sink->Pin()->CloseGate();
    Start();
    m_library->QueuePackets(TransportPackets(0, kSent));
    ASSERT_TRUE(m_library->WaitUntilScriptDone());
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));  // the first sample waits at the gate
    std::thread stopper([&] { EXPECT_EQ(m_camcorder->Stop(), S_OK); });
    ASSERT_TRUE(WaitFor([&] { return m_library->ReceiversClosed() == 1; }));
    m_sink->Pin()->OpenGate();
    stopper.join();

    EXPECT_EQ(Received(), Joined(TransportPackets(0, kSent)));
    std::uint64_t dropped = 1;
    EXPECT_EQ(m_camcorder->GetDroppedPackets(&dropped), S_OK);
    EXPECT_EQ(dropped, 0u);
}

// A capture's stop waits for the packets received before it, the last of them a partly filled
// sample, to reach the sink; what has not reached it in time is counted as dropped, once,
// whether it reaches the sink later or is thrown away at the stop.
constexpr std::size_t kQueuedAtStop = 5 * kPerSample + 2;

struct DeliveryWait {
    const char* name;
    bool streaming;
    bool sinkTakesDuringWait;
    bool sinkStopsLater;
    DWORD timeoutMs;
    HRESULT result;
    std::uint64_t dropped;
    std::size_t receivedAtEnd;  // transport packets
};

// Printed as its name, so that the test's listing is the same from one build to the next.
void PrintTo(const DeliveryWait& c, std::ostream* os) {
    *os << c.name;
}

class FireWireDeliveryWaitTest : public FireWireCamcorderFilterTest,
                                 public ::testing::WithParamInterface<DeliveryWait> {};

TEST_P(FireWireDeliveryWaitTest, WaitsUntilWhatWasQueuedHasReachedTheSink) {
    const DeliveryWait& c = GetParam();
    if (c.streaming) {
        m_sink->Pin()->CloseGate();
        Start();
        m_library->QueuePackets(TransportPackets(0, kQueuedAtStop));
        ASSERT_TRUE(m_library->WaitUntilScriptDone());
        ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));  // the first sample waits at the gate
    }
    std::thread sink;
    if (c.sinkTakesDuringWait) {
        sink = std::thread([&] { m_sink->Pin()->OpenGate(); });
    }
    EXPECT_EQ(m_camcorder->WaitUntilDelivered(c.timeoutMs), c.result);
    if (sink.joinable()) {
        sink.join();
    }
    if (c.result == S_OK) {
        EXPECT_EQ(Received(), Joined(TransportPackets(0, c.receivedAtEnd)));
    }
    std::uint64_t dropped = 0;
    EXPECT_EQ(m_camcorder->GetDroppedPackets(&dropped), S_OK);
    EXPECT_EQ(dropped, c.dropped);

    if (c.sinkStopsLater) {
        EXPECT_EQ(m_sink->Stop(), S_OK);
    }
    m_sink->Pin()->OpenGate();
    EXPECT_EQ(m_camcorder->Stop(), S_OK);
    EXPECT_EQ(Received(), Joined(TransportPackets(0, c.receivedAtEnd)));
    EXPECT_EQ(m_camcorder->GetDroppedPackets(&dropped), S_OK);
    EXPECT_EQ(dropped, c.dropped);
}

INSTANTIATE_TEST_SUITE_P(
    FireWireDeliveryWait, FireWireDeliveryWaitTest,
    ::testing::Values(DeliveryWait{"TheSinkTakesIt", true, true, false, 10000, S_OK, 0,
                                   kQueuedAtStop},
                      DeliveryWait{"TheSinkStalls", true, false, false, 20, S_FALSE, kQueuedAtStop,
                                   kQueuedAtStop},
                      DeliveryWait{"TheSinkStallsThenStops", true, false, true, 20, S_FALSE,
                                   kQueuedAtStop, kPerSample},
                      DeliveryWait{"NothingStreams", false, false, false, 10000, S_OK, 0, 0}),
    [](const ::testing::TestParamInfo<DeliveryWait>& info) { return info.param.name; });

TEST_F(FireWireCamcorderFilterTest, AStalledSinkNeverHoldsUpTheCallbackAndDropsAreCounted) {
    Make(8);  // two samples' worth of room
    m_sink->Pin()->CloseGate();
    Start();
    constexpr std::size_t kBurst = 40;
    constexpr std::size_t kSent = kBurst + kPerSample;
    m_library->QueuePackets(TransportPackets(0, kBurst));  // one loop iteration, 40 callbacks
    m_library->QueueTimeout();
    // The script runs on although the sink takes nothing.
    ASSERT_TRUE(m_library->WaitUntilScriptDone());
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));  // the first sample waits at the gate
    m_library->QueuePackets(TransportPackets(kBurst, kPerSample));  // after the gap
    ASSERT_TRUE(m_library->WaitUntilScriptDone());
    m_sink->Pin()->OpenGate();
    std::uint64_t dropped = 0;
    ASSERT_TRUE(WaitFor([&] {
        (void)m_camcorder->GetDroppedPackets(&dropped);
        return m_sink->Pin()->Completed() * kPerSample + dropped >= kSent;
    }));

    EXPECT_GT(dropped, 0u);
    const auto samples = m_sink->Pin()->Samples();
    // Whole packets, in order, and exactly the ones not counted as dropped; the sample after
    // the gap says so.
    const Bytes received = Received();
    ASSERT_EQ(received.size() % kPacket, 0u);
    EXPECT_EQ(received.size() / kPacket + dropped, kSent);
    EXPECT_EQ(Bytes(received.begin(), received.begin() + static_cast<long>(kPerSample * kPacket)),
              Joined(TransportPackets(0, kPerSample)));
    bool marked = false;
    for (const auto& sample : samples) {
        marked = marked || sample.discontinuity;
    }
    EXPECT_TRUE(marked);
    EXPECT_TRUE(m_graph.Events().empty());
}

TEST_F(FireWireCamcorderFilterTest, ReceptionThatCannotStartIsAnErrorNotALoss) {
    m_library->FailRecvStart(EBUSY);
    Start();
    ASSERT_TRUE(m_graph.WaitForEvents(1));
    EXPECT_EQ(m_graph.Events(),
              (std::vector<test::FakeEventGraph::Event>{{EC_ERRORABORT, E_FAIL, 0}}));
    EXPECT_EQ(Log(), std::vector<std::string>{"ERROR: The camcorder's stream can't be received "
                                              "on FireWire channel 5 (Device or resource busy)."});
    EXPECT_FALSE(m_camcorder->IsLost());
    ASSERT_TRUE(WaitFor([&] { return m_library->CmpDisconnects() == 1; }));
}

TEST_F(FireWireCamcorderFilterTest, TheOutputSignalModeTellsHdvFromDv) {
    const struct {
        std::optional<std::uint32_t> mode;
        HRESULT hr;
        LONG signal;
    } cases[] = {
        {0x10, S_OK, VORNAK_SIGNAL_HDV}, {0x90, S_OK, VORNAK_SIGNAL_HDV},
        {0x1A, S_OK, VORNAK_SIGNAL_HDV}, {0x9A, S_OK, VORNAK_SIGNAL_HDV},
        {0x00, S_OK, VORNAK_SIGNAL_DV},  {0x80, S_OK, VORNAK_SIGNAL_DV},
        {0x04, S_OK, VORNAK_SIGNAL_DV},  {0x84, S_OK, VORNAK_SIGNAL_DV},
        {std::nullopt, E_NOTIMPL, 0},
    };
    for (const auto& c : cases) {
        m_library->EditNode(kGuid, [&](auto& node) { node.outputSignalMode = c.mode; });
        LONG signal = 0;
        EXPECT_EQ(m_camcorder->GetCapability(VORNAK_DEVCAP_OUTPUT_SIGNAL, &signal, nullptr), c.hr);
        EXPECT_EQ(signal, c.signal) << (c.mode ? *c.mode : 0xFFFF);
    }
    EXPECT_EQ(m_library->Transactions().back().command, 0x012078FFu);
}

// DV from the wire, one whole frame to a sample. Payloads out of order within a frame land
// where they belong; lost payloads leave their blocks marked as damage, never another frame's
// bytes, and count one frame, as does a frame lost whole; the frame after a loss is marked.
TEST_F(FireWireCamcorderFilterTest, DvFramesArriveWholeWithLossesMarkedAndCounted) {
    constexpr auto k625 = dv::DvSystem::k625_50;
    constexpr auto k525 = dv::DvSystem::k525_60;
    const struct {
        const char* what;
        dv::DvSystem system;
        std::size_t lostFrom, lostCount;  // payloads of the second of three frames
        bool reversed;                    // the second frame's payloads come last to first
        std::uint64_t dropped;
    } cases[] = {
        {"625/50 in order", k625, 0, 0, false, 0},
        {"525/60 in order", k525, 0, 0, false, 0},
        {"reordered within a frame", k625, 0, 0, true, 0},
        {"ten payloads lost", k625, 10, 10, false, 1},
        {"the first payload lost", k625, 0, 1, false, 1},
        {"a whole frame lost", k525, 0, PayloadsOf(k525), false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PlaysDv();
        const int receiversBefore = m_library->DvReceiversStarted();
        const std::vector<Bytes> frames = DvFrames(c.system, 3);
        const bool wholeLost = c.lostCount == PayloadsOf(c.system);
        m_library->QueueWire(FakeFireWireLibrary::DvWire(frames[0], c.system, m_dbc));
        auto kept = FakeFireWireLibrary::DvWire(frames[1], c.system, m_dbc);
        const auto lostAt = kept.begin() + static_cast<long>(c.lostFrom);
        kept.erase(lostAt, lostAt + static_cast<long>(c.lostCount));
        if (c.reversed) {
            std::reverse(kept.begin() + 1, kept.end());
        }
        // The kernel's count comes with the first packet after the gap.
        const auto gap = static_cast<unsigned>(c.lostCount);
        if (!wholeLost) {
            m_library->QueueWire(kept, gap);
        }
        m_library->QueueWire(FakeFireWireLibrary::DvWire(frames[2], c.system, m_dbc),
                             wholeLost ? gap : 0);
        Start();
        const std::size_t expected = wholeLost ? 2 : 3;
        ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(expected));
        EXPECT_EQ(m_library->DvReceiversStarted(), receiversBefore + 1);
        const auto pieces = Pieces();
        ASSERT_EQ(pieces.size(), expected);
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            const std::size_t f = wholeLost && i == 1 ? 2 : i;
            SCOPED_TRACE(f);
            ASSERT_TRUE(pieces[i].dv);
            EXPECT_EQ(pieces[i].discontinuity, c.dropped > 0 && i == 1);
            const Bytes& got = pieces[i].bytes;
            ASSERT_EQ(got.size(), frames[f].size());
            for (std::size_t at = 0; at < got.size(); at += dv::kBlockSize) {
                const auto block = [at](const Bytes& from) {
                    return Bytes(from.begin() + static_cast<long>(at),
                                 from.begin() + static_cast<long>(at + dv::kBlockSize));
                };
                const std::size_t payload = at / kDvPayload;
                if (f == 1 && payload >= c.lostFrom && payload < c.lostFrom + c.lostCount) {
                    // Damage, or a header rebuilt from the frame's own; never a block of the
                    // frames around it.
                    EXPECT_TRUE(block(got) == block(frames[1]) ||
                                (block(got) != block(frames[0]) && block(got) != block(frames[2])))
                        << at;
                    EXPECT_NE(got, frames[1]);
                } else {
                    ASSERT_EQ(block(got), block(frames[f])) << at;
                }
            }
        }
        EXPECT_EQ(Dropped(), c.dropped);
        NextRun();
    }
}

// A tape of HDV, then DV, then HDV again, the camcorder's output signal mode saying HDV all
// along: the wire tells, and the pin switches receivers twice. Everything arrives exactly and
// in order (a transport packet with a damaged sync byte too) but the DV frames the switch to
// DV cut into: those whose start went to the MPEG-2 receiver with the loop iteration that
// decided the switch, at least one; they are counted, and the first sample of each stretch
// after the first is marked. The switch back loses nothing: the transport packets that came
// through the DV receiver are kept.
TEST_F(FireWireCamcorderFilterTest, AMixedTapeSwitchesReceiversAndLosesOnlyTheFramesOfTheSwitch) {
    constexpr auto kSystem = dv::DvSystem::k625_50;
    const struct {
        std::size_t perIteration;  // isochronous packets a loop iteration takes
        std::size_t framesLost;
    } cases[] = {{1, 1}, {25, 1}, {600, 2}};
    std::vector<Bytes> before = TransportPackets(0, 3 * kPerSample);
    before[5][0] = 0x00;  // damaged on tape: passed on as it is
    const std::vector<Bytes> after = TransportPackets(100, 40 * kPerSample);
    const std::vector<Bytes> frames = DvFrames(kSystem, 5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.perIteration);
        const int receiversBefore = m_library->DvReceiversStarted();
        std::vector<Bytes> wire = FakeFireWireLibrary::TsWire(before, 2, m_dbc);
        for (const Bytes& frame : frames) {
            Append(wire, FakeFireWireLibrary::DvWire(frame, kSystem, m_dbc));
        }
        Append(wire, FakeFireWireLibrary::TsWire(after, 2, m_dbc));
        QueueWireIn(wire, c.perIteration);
        Start();
        ASSERT_TRUE(m_library->WaitUntilScriptDone());
        ASSERT_TRUE(WaitFor([&] { return m_camcorder->WaitUntilDelivered(1000) == S_OK; }));

        EXPECT_EQ(m_camcorder->GetOutputPin()->ReceiverSwitches(), 2u);
        EXPECT_EQ(m_library->DvReceiversStarted(), receiversBefore + 1);
        const auto pieces = Pieces();
        // The transport packets of the HDV pieces from `i` on, up to the next DV piece.
        std::size_t i = 0;
        const auto transportRun = [&](bool firstRun) {
            Bytes ts;
            for (; i < pieces.size() && !pieces[i].dv; ++i) {
                EXPECT_FALSE(firstRun && pieces[i].discontinuity) << i;
                ts.insert(ts.end(), pieces[i].bytes.begin(), pieces[i].bytes.end());
            }
            return ts;
        };
        EXPECT_EQ(transportRun(true), Joined(before));
        ASSERT_LE(i + frames.size() - c.framesLost, pieces.size());
        for (std::size_t f = c.framesLost; f < frames.size(); ++f, ++i) {
            SCOPED_TRACE(f);
            ASSERT_TRUE(pieces[i].dv);
            EXPECT_EQ(pieces[i].discontinuity, f == c.framesLost);
            EXPECT_TRUE(pieces[i].bytes == frames[f]);
        }
        ASSERT_LT(i, pieces.size());
        EXPECT_TRUE(pieces[i].discontinuity) << "a new stream after the DV";
        EXPECT_EQ(transportRun(false), Joined(after));
        EXPECT_EQ(i, pieces.size()) << "no DV after the tape's last HDV";
        EXPECT_EQ(Dropped(), c.framesLost);
        NextRun();
    }
}

// A long stretch of HDV without sync bytes looks like DV: the pin switches, the DV receiver
// finds transport packets and the pin switches back. The packets of the stretch are lost, and
// counted; those the DV receiver got are kept.
TEST_F(FireWireCamcorderFilterTest, DamagedHdvTakenForDvIsCountedWhenItTurnsOutHdv) {
    std::vector<Bytes> sent = TransportPackets(0, 52);
    for (std::size_t i = 4; i < 4 + FireWireCapturePin::kSwitchRun; ++i) {
        sent[i][0] = 0x00;
    }
    QueueWireIn(FakeFireWireLibrary::TsWire(sent, 2, m_dbc), 2);
    Start();
    ASSERT_TRUE(m_library->WaitUntilScriptDone());
    ASSERT_TRUE(WaitFor([&] { return m_camcorder->WaitUntilDelivered(1000) == S_OK; }));

    EXPECT_EQ(m_camcorder->GetOutputPin()->ReceiverSwitches(), 2u);
    std::vector<Bytes> kept(sent.begin(), sent.begin() + 4);
    kept.insert(kept.end(), sent.begin() + 4 + FireWireCapturePin::kSwitchRun, sent.end());
    EXPECT_EQ(Received(), Joined(kept));
    EXPECT_EQ(Dropped(), FireWireCapturePin::kSwitchRun);
}

// A camcorder whose other stream reaches neither receiver: the output signal mode, asked while
// the stream is silent, tells the pin to switch.
TEST_F(FireWireCamcorderFilterTest, TheOutputSignalModeSwitchesReceiversWhileTheStreamIsSilent) {
    PlaysDv();
    const std::vector<Bytes> frames = QueueDvFrames(dv::DvSystem::k625_50, 1);
    Start();
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(1));
    EXPECT_EQ(m_camcorder->GetOutputPin()->ReceiverSwitches(), 0u) << "the camcorder says DV";
    m_library->EditNode(kGuid, [](auto& node) { node.outputSignalMode = 0x10; });
    ASSERT_TRUE(WaitFor([&] { return m_camcorder->GetOutputPin()->ReceiverSwitches() == 1; }));
    m_library->QueuePackets(TransportPackets(0, kPerSample));
    ASSERT_TRUE(m_sink->Pin()->WaitForArrivals(2));

    const auto pieces = Pieces();
    EXPECT_EQ(pieces[0].bytes, frames[0]);
    EXPECT_EQ(pieces[1].bytes, Joined(TransportPackets(0, kPerSample)));
    EXPECT_TRUE(pieces[1].discontinuity);
    EXPECT_EQ(Dropped(), 0u);
}

TEST_F(FireWireCamcorderFilterTest, TheLastDvFrameOfARunIsDelivered) {
    PlaysDv();
    const std::vector<Bytes> frames = QueueDvFrames(dv::DvSystem::k525_60, 2);
    m_library->QueueHangUp();  // no pause before the end
    Start();
    ExpectLostOnce();
    const auto pieces = Pieces();
    ASSERT_EQ(pieces.size(), frames.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        EXPECT_EQ(pieces[i].bytes, frames[i]) << i;
    }
}

TEST_F(FireWireCamcorderFilterTest, AFullDvQueueDropsWholeFramesAndCountsThem) {
    constexpr auto kSystem = dv::DvSystem::k625_50;
    Make(0, 2);
    PlaysDv();
    m_sink->Pin()->CloseGate();
    constexpr int kFrames = 8;
    std::vector<Bytes> frames = QueueDvFrames(kSystem, kFrames);
    Start();
    ASSERT_TRUE(m_library->WaitUntilScriptDone());
    m_sink->Pin()->OpenGate();
    ASSERT_TRUE(WaitFor([&] { return m_sink->Pin()->Completed() + Dropped() >= kFrames; }));
    Append(frames, QueueDvFrames(kSystem, 1, kFrames + 1));  // one more after the gap
    ASSERT_TRUE(WaitFor([&] { return m_sink->Pin()->Completed() + Dropped() > kFrames; }));

    const auto pieces = Pieces();
    EXPECT_GT(Dropped(), 0u);
    EXPECT_EQ(pieces.size() + Dropped(), frames.size());
    std::size_t next = 0;
    for (const auto& piece : pieces) {
        // Whole frames, in order, each one of those sent.
        ASSERT_TRUE(piece.dv);
        const auto found =
            std::find(frames.begin() + static_cast<long>(next), frames.end(), piece.bytes);
        ASSERT_NE(found, frames.end());
        next = static_cast<std::size_t>(found - frames.begin()) + 1;
    }
    EXPECT_EQ(pieces.back().bytes, frames.back());
    EXPECT_TRUE(pieces.back().discontinuity) << "the frame after those thrown away says so";
}

}  // namespace
}  // namespace vornak
