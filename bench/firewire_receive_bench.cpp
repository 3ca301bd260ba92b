// What the FireWire backend's receive path costs: a bus in memory hands 1 GB of transport
// packets to the capture pin's receive callback, one packet per call as libiec61883 does, a
// batch per loop iteration, at a multiple of the tape's rate (like a camcorder, the bus does
// not wait for anyone); a sink at the other end of the connection takes every sample and
// throws it away. Packets the pin had to throw away are counted and reported. CPU time is given per
// hour of HDV (25 Mbit/s): the whole capture must stay at or below 40 CPU seconds per hour of HDV,
// and this is the part of it that runs in the receive thread.
//
// With --dv the camcorder plays DV (625/50, 25 frames/s): the bus hands DV payloads of 480 bytes
// to the DV receiver's callback, one per call as libiec61883 does, and the pin assembles them
// into frames and delivers one frame a sample; CPU time is given per hour of DV (goal: at most
// 40 CPU seconds).
//
//   vornak-bench-firewire-receive [--dv] [--size BYTES] [--batch PACKETS] [--speed FACTOR]
#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "AvcCodes.h"
#include "CBaseFilter.h"
#include "CBaseInputPin.h"
#include "ComPtr.h"
#include "DifConstants.h"
#include "FireWireCamcorderFilter.h"
#include "FireWireCapturePin.h"
#include "FireWireLibrary.h"
#include "Guids.h"
#include "MediaType.h"
#include "SourcePacketQueue.h"

namespace {

using vornak::ComPtr;
using vornak::FireWireLibrary;

constexpr double kDefaultBytes = 1e9;
constexpr int kDefaultBatch = 256;  // packets per loop iteration (the kernel hands many at once)
constexpr std::size_t kPacketSize = 188;
constexpr std::size_t kPacketsInPattern = 4096;
constexpr double kHdvBytesPerHour = 25e6 / 8 * 3600;
constexpr double kHdvBytesPerSecond = 25e6 / 8;
constexpr double kDefaultSpeed = 20.0;
constexpr std::uint64_t kGuid = 0x0000'8500'0000'0001;
constexpr int kCamcorderNode = 1;
constexpr int kChannel = 5;
constexpr int kFd = 3;
constexpr auto kSafetyLimit = std::chrono::minutes(10);
constexpr std::size_t kDvPayloadSize = 480;
constexpr std::size_t kDvFramesInPattern = 4;
constexpr double kDvFramesPerSecond = 25;
constexpr double kDvBytesPerSecond = vornak::dv::kFrameSize625 * kDvFramesPerSecond;
constexpr double kDvBytesPerHour = kDvBytesPerSecond * 3600;
// The output signal mode a DV camcorder answers: SD-DVCR 625/50.
constexpr std::uint32_t kSignalModeDv625 = 0x80;

// 625/50 DV frames laid out block by block as a camcorder sends them, with bodies of their own.
std::vector<std::uint8_t> DvPattern() {
    namespace dv = vornak::dv;
    std::vector<std::uint8_t> bytes(kDvFramesInPattern * dv::kFrameSize625);
    std::size_t at = 0;
    for (std::size_t f = 0; f < kDvFramesInPattern; ++f) {
        for (int s = 0; s < dv::kSequences625; ++s) {
            for (std::size_t b = 0; b < dv::kBlocksPerSequence; ++b, at += dv::kBlockSize) {
                std::uint8_t type = dv::kTypeHeader;
                std::size_t number = 0;
                if (b >= dv::kFirstAudioBlock) {
                    const std::size_t group = (b - dv::kFirstAudioBlock) / dv::kAudioVideoGroup;
                    const std::size_t within = (b - dv::kFirstAudioBlock) % dv::kAudioVideoGroup;
                    type = within == 0 ? dv::kTypeAudio : dv::kTypeVideo;
                    number = within == 0 ? group : group * dv::kVideoBlocksPerAudio + within - 1;
                } else if (b >= dv::kFirstVauxBlock) {
                    type = dv::kTypeVaux;
                    number = b - dv::kFirstVauxBlock;
                } else if (b >= dv::kFirstSubcodeBlock) {
                    type = dv::kTypeSubcode;
                    number = b - dv::kFirstSubcodeBlock;
                }
                for (std::size_t i = dv::kIdSize; i < dv::kBlockSize; ++i) {
                    bytes[at + i] = static_cast<std::uint8_t>(f * 29 + b * 7 + i);
                }
                bytes[at + dv::kIdTypeByte] =
                    static_cast<std::uint8_t>(type << dv::kIdTypeShift | dv::kIdTypeRest);
                bytes[at + dv::kIdSequenceByte] =
                    static_cast<std::uint8_t>(s << dv::kIdSequenceShift | dv::kIdSequenceRest);
                bytes[at + dv::kIdBlockNumberByte] = static_cast<std::uint8_t>(number);
                if (type == dv::kTypeHeader) {
                    bytes[at + dv::kHeaderDsfByte] = dv::kDsfBit | dv::kHeaderRestBits;
                    bytes[at + dv::kHeaderAptByte] = dv::kAptConsumer;
                }
            }
        }
    }
    return bytes;
}

double ThreadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One port, the machine at node 0 and a camcorder at node 1 that streams without end until
// the wanted number of packets has gone out.
class StreamingBus final : public FireWireLibrary {
  public:
    // `packets`: transport packets, or DV payloads with `dv`.
    StreamingBus(std::uint64_t packets, int batch, double speed, bool dv)
        : m_left(packets),
          m_batch(batch),
          m_bytesPerSecond((dv ? kDvBytesPerSecond : kHdvBytesPerSecond) * speed),
          m_dv(dv) {
        if (dv) {
            m_pattern = DvPattern();
            return;
        }
        m_pattern.resize(kPacketsInPattern * kPacketSize);
        for (std::size_t i = 0; i < m_pattern.size(); ++i) {
            m_pattern[i] = static_cast<std::uint8_t>(i * 7);
        }
        for (std::size_t i = 0; i < kPacketsInPattern; ++i) {
            m_pattern[i * kPacketSize] = 0x47;
        }
    }
    bool Done() const { return m_done.load(std::memory_order_acquire); }

    Handle NewHandle() override {
        std::lock_guard lock(m_mutex);
        m_handles.emplace_back(0);
        return reinterpret_cast<Handle>(&m_handles.back());
    }
    void DestroyHandle(Handle) override {}
    int GetPortCount(Handle) override { return 1; }
    int SetPort(Handle, int port) override { return port == 0 ? 0 : -1; }
    int GetNodeCount(Handle) override { return 2; }
    std::uint16_t GetLocalId(Handle) override { return 0xFFC0; }
    unsigned int GetGeneration(Handle) override { return 1; }
    void UpdateGeneration(Handle, unsigned int) override {}
    int GetFd(Handle) override { return kFd; }
    bool FailedOnGeneration(Handle) override { return false; }
    DeviceFiles ProbeDeviceFiles() override { return {1, 1, {}, {}}; }
    int CmpNormalizeOutput(Handle, std::uint16_t) override { return 0; }
    // CPU time spent inside the receive callback so far. Read once the stream has ended.
    double CallbackSeconds() const { return m_callbackSeconds; }

    int LoopIterate(Handle) override {
        PacketSink* sink = m_sink;
        const double before = ThreadCpuSeconds();
        for (int i = 0; i < m_batch && m_left > 0 && m_dvSink != nullptr; ++i, --m_left) {
            m_dvSink->OnDvPayload(m_pattern.data() + m_next * kDvPayloadSize,
                                  static_cast<int>(kDvPayloadSize), 0);
            m_next = (m_next + 1) % (m_pattern.size() / kDvPayloadSize);
            m_sent += kDvPayloadSize;
        }
        for (int i = 0; i < m_batch && m_left > 0 && sink != nullptr; ++i, --m_left) {
            sink->OnTransportPackets(m_pattern.data() + m_next * kPacketSize,
                                     static_cast<int>(kPacketSize), 0);
            m_next = (m_next + 1) % kPacketsInPattern;
            m_sent += kPacketSize;
        }
        m_callbackSeconds += ThreadCpuSeconds() - before;
        if (m_left == 0) {
            m_done.store(true, std::memory_order_release);
        }
        return 0;
    }
    std::optional<std::uint32_t> ReadQuadlet(Handle, std::uint16_t nodeId,
                                             std::uint64_t address) override {
        if ((nodeId & 0x3F) != kCamcorderNode) {
            return std::nullopt;
        }
        return address & 4 ? static_cast<std::uint32_t>(kGuid >> 32)
                           : static_cast<std::uint32_t>(kGuid);
    }
    std::optional<std::uint32_t> ReadCycleTimer(Handle) override { return 0x1234; }
    PollResult Poll(int, int timeoutMs) override {
        if (Done()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 5)));
            return PollResult::TimedOut;
        }
        // The next batch is due when the bytes sent so far have had their time on the bus.
        const auto now = std::chrono::steady_clock::now();
        if (!m_started) {
            m_started = true;
            m_start = now;
        }
        const auto due = m_start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                       std::chrono::duration<double>(m_sent / m_bytesPerSecond));
        if (due > now) {
            std::this_thread::sleep_until(due);
        }
        return PollResult::Ready;
    }
    std::optional<RomDirectory> GetDirectory(Handle, int) override { return std::nullopt; }
    bool CheckSubunitType(Handle, std::uint16_t, int) override { return true; }
    std::uint32_t Transaction(Handle, std::uint16_t, std::uint32_t command, int) override {
        if (m_dv && command == vornak::avc::kOutputSignalModeInquiry) {
            return vornak::avc::kResponseStable | vornak::avc::kSubunitVcr |
                   vornak::avc::kOpcodeOutputSignalMode | kSignalModeDv625;
        }
        return command;
    }
    int GetTimecode(Handle, std::uint16_t, std::string&) override { return -1; }
    int CmpConnect(Handle, std::uint16_t, int* oplug, std::uint16_t, int* iplug,
                   int* bandwidth) override {
        *oplug = 0;
        *iplug = 0;
        *bandwidth = 0;
        return kChannel;
    }
    int CmpReconnect(Handle, std::uint16_t, int*, std::uint16_t, int*, int*, int channel) override {
        return channel;
    }
    int CmpDisconnect(Handle, std::uint16_t, int, std::uint16_t, int, unsigned int,
                      unsigned int) override {
        return 0;
    }
    Mpeg2Receiver Mpeg2RecvInit(Handle, PacketSink* sink) override {
        m_sink = sink;
        return reinterpret_cast<Mpeg2Receiver>(&m_token);
    }
    int Mpeg2RecvStart(Mpeg2Receiver, int) override { return 0; }
    void Mpeg2RecvStop(Mpeg2Receiver) override { m_sink = nullptr; }
    void Mpeg2Close(Mpeg2Receiver) override { m_sink = nullptr; }
    DvReceiver DvRecvInit(Handle, DvSink* sink) override {
        m_dvSink = sink;
        return reinterpret_cast<DvReceiver>(&m_token);
    }
    int DvRecvStart(DvReceiver, int) override { return 0; }
    void DvRecvStop(DvReceiver) override { m_dvSink = nullptr; }
    void DvClose(DvReceiver) override { m_dvSink = nullptr; }

  private:
    std::mutex m_mutex;
    std::deque<int> m_handles;
    std::vector<std::uint8_t> m_pattern;
    std::uint64_t m_left;
    int m_batch;
    double m_bytesPerSecond;
    bool m_dv;
    double m_sent = 0;
    double m_callbackSeconds = 0;
    bool m_started = false;
    std::chrono::steady_clock::time_point m_start;
    std::size_t m_next = 0;
    std::atomic<bool> m_done{false};
    PacketSink* m_sink = nullptr;  // the reception thread's alone
    DvSink* m_dvSink = nullptr;    // the same
    int m_token = 0;
};

class NullSink;

// Takes every sample and counts its bytes.
class NullPin : public vornak::CBaseInputPin {
  public:
    explicit NullPin(vornak::CBaseFilter* filter)
        : CBaseInputPin("NullPin", filter, nullptr, "In") {}
    vornak::HRESULT CheckMediaType(const vornak::CMediaType* pmt) override {
        return pmt->majortype == vornak::MEDIATYPE_Stream ? vornak::S_OK : vornak::S_FALSE;
    }
    vornak::HRESULT Receive(vornak::IMediaSample* sample) override {
        m_bytes.fetch_add(static_cast<std::uint64_t>(sample->GetActualDataLength()),
                          std::memory_order_relaxed);
        return vornak::S_OK;
    }
    std::uint64_t Bytes() const { return m_bytes.load(std::memory_order_relaxed); }

  private:
    std::atomic<std::uint64_t> m_bytes{0};
};

class NullSink : public vornak::CBaseFilter {
  public:
    NullSink()
        : CBaseFilter("NullSink", nullptr, vornak::GUID_NULL),
          m_pPin(std::make_unique<NullPin>(this)) {}
    ~NullSink() override { m_pPin.reset(); }
    int GetPinCount() override { return 1; }
    vornak::CBasePin* GetPin(int n) override { return n == 0 ? m_pPin.get() : nullptr; }
    NullPin* Pin() const { return m_pPin.get(); }

  private:
    std::unique_ptr<NullPin> m_pPin;
};

int Usage(const char* program) {
    std::printf("Usage: %s [--dv] [--size BYTES] [--batch PACKETS] [--speed FACTOR]\n", program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    double bytes = kDefaultBytes;
    int batch = kDefaultBatch;
    double speed = kDefaultSpeed;
    bool dv = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            Usage(argv[0]);
            return 0;
        }
        if (arg == "--dv") {
            dv = true;
        } else if (arg == "--size" && i + 1 < argc) {
            bytes = std::atof(argv[++i]);
        } else if (arg == "--batch" && i + 1 < argc) {
            batch = std::atoi(argv[++i]);
        } else if (arg == "--speed" && i + 1 < argc) {
            speed = std::atof(argv[++i]);
        } else {
            return Usage(argv[0]);
        }
    }
    if (bytes < kPacketSize || batch < 1 || speed <= 0) {
        return Usage(argv[0]);
    }
    // DV: whole frames' worth of payloads, delivered a frame a sample.
    const std::size_t unitSize = dv ? kDvPayloadSize : kPacketSize;
    const std::uint64_t frames =
        dv ? static_cast<std::uint64_t>(bytes / vornak::dv::kFrameSize625) : 0;
    const auto packets = dv ? frames * (vornak::dv::kFrameSize625 / kDvPayloadSize)
                            : static_cast<std::uint64_t>(bytes / kPacketSize);
    const std::size_t droppedSize =
        dv ? vornak::dv::kFrameSize625 : vornak::SourcePacketQueue::kSourcePacketSize;
    const std::uint64_t expected = dv ? frames * vornak::dv::kFrameSize625
                                      : packets * vornak::SourcePacketQueue::kSourcePacketSize;
    auto bus = std::make_shared<StreamingBus>(packets, batch, speed, dv);
    ComPtr<vornak::FireWireCamcorderFilter> camcorder(new vornak::FireWireCamcorderFilter(
        bus, kGuid, vornak::FireWireBus::Location{0, kCamcorderNode}));
    ComPtr<NullSink> sink(new NullSink());
    if (camcorder->GetOutputPin()->Connect(sink->Pin(), nullptr) != vornak::S_OK ||
        sink->Run(0) != vornak::S_OK) {
        std::fprintf(stderr, "The bench's graph could not be built.\n");
        return 1;
    }
    const double cpu = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    camcorder->Run(0);
    const auto deadline = start + kSafetyLimit;
    std::uint64_t dropped = 0;
    const auto accounted = [&] {
        (void)camcorder->GetDroppedPackets(&dropped);
        return sink->Pin()->Bytes() + dropped * droppedSize;
    };
    while (accounted() < expected && std::chrono::steady_clock::now() < deadline) {
        // Seldom enough that the bench's own looking costs next to nothing at 1x.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double used = CpuSeconds() - cpu;
    camcorder->Stop();
    sink->Stop();
    camcorder->GetOutputPin()->Disconnect();
    sink->Pin()->Disconnect();
    const double sent = static_cast<double>(packets * unitSize);
    const double hours = sent / (dv ? kDvBytesPerHour : kHdvBytesPerHour);
    const char* kind = dv ? "DV" : "HDV";
    const std::uint64_t got = sink->Pin()->Bytes();
    std::printf(
        "receive path (%s): %.0f MB at %gx the tape's rate in %.2f s, %llu %s dropped%s\n"
        "  in the receive callback: %.3f CPU s, %.3f CPU s per hour of %s\n"
        "  whole process (with the bus's pacing): %.2f CPU s, %.2f CPU s per hour of %s\n",
        kind, sent / 1e6, speed, seconds, static_cast<unsigned long long>(dropped),
        dv ? "frames" : "packets", got == expected ? "" : " (INCOMPLETE)", bus->CallbackSeconds(),
        bus->CallbackSeconds() / hours, kind, used, used / hours, kind);
    return got == expected ? 0 : 1;
}
