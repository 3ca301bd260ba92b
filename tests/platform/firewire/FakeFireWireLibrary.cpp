#include "FakeFireWireLibrary.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace vornak::test {
namespace {

constexpr auto kSafetyLimit = std::chrono::seconds(10);
// An idle poll returns soon, so that stopping the stream never waits long in tests.
constexpr int kIdlePollMs = 20;
constexpr int kFakeFd = 42;
constexpr int kGuidShift = 32;
constexpr std::uint32_t kSbp2SpecId = 0x00609E;
constexpr std::uint32_t kSbp2Version = 0x010483;
constexpr std::uint32_t kAvcVersion = 0x010001;
constexpr int kBandwidthUnits = 100;
// How long a transaction waits for another to cross with.
constexpr auto kCrossingWindow = std::chrono::milliseconds(20);
// The answer of a SUBUNIT_INFO inquiry as the fake's camcorders give it.
constexpr std::uint32_t kSubunitInfoInquiry = 0x01FF3107;
constexpr std::uint32_t kSubunitInfoAnswer = 0x0CFF3107;

// The CIP header: two quadlets. The first: SID, DBS, FN, QPC, SPH, DBC; the second: EOH, FMT,
// FDF, SYT.
constexpr std::size_t kCipHeaderSize = 8;
constexpr std::uint8_t kLocalSourceId = 0x01;
constexpr std::uint8_t kDvDbs = 120;  // quadlets per data block: a payload of six DIF blocks
constexpr std::uint8_t kTsDbs = 6;
constexpr std::uint8_t kTsFractions = 3 << 6;  // FN: a source packet in eight data blocks
constexpr std::uint8_t kSphBit = 0x04;
constexpr std::uint8_t kEohFmtDv = 0x80;   // EOH set, FMT 0x00
constexpr std::uint8_t kEohFmtTs = 0xA0;   // EOH set, FMT 0x20
constexpr std::uint8_t kDv50Field = 0x80;  // FDF: 625/50
constexpr std::uint8_t kNoSyt = 0xFF;
constexpr std::size_t kDvPayload = 480;
constexpr std::size_t kTsDataBlocksPerPacket = 8;
constexpr std::size_t kSourcePacket = 192;
constexpr std::size_t kSourceHeader = 4;
constexpr std::size_t kTransportPacket = 188;

std::vector<std::uint8_t> CipHeader(std::uint8_t dbs, std::uint8_t fnQpcSph, std::uint8_t dbc,
                                    std::uint8_t fmt, std::uint8_t fdf) {
    return {kLocalSourceId, dbs, fnQpcSph, dbc, fmt, fdf, kNoSyt, kNoSyt};
}

}  // namespace

void FakeFireWireLibrary::SetBus(std::vector<Port> ports) {
    std::lock_guard lock(m_mutex);
    m_ports = std::move(ports);
}

void FakeFireWireLibrary::EditNode(std::uint64_t guid, const std::function<void(Node&)>& edit) {
    std::lock_guard lock(m_mutex);
    for (Port& port : m_ports) {
        for (Node& node : port.nodes) {
            if (node.guid == guid) {
                edit(node);
            }
        }
    }
}

void FakeFireWireLibrary::FailNewHandle(bool fail) {
    std::lock_guard lock(m_mutex);
    m_failNewHandle = fail;
}

void FakeFireWireLibrary::FailCmpConnect(bool fail) {
    std::lock_guard lock(m_mutex);
    m_failCmpConnect = fail;
}

void FakeFireWireLibrary::SetCycleTimer(std::uint32_t value) {
    std::lock_guard lock(m_mutex);
    m_cycleTimer = value;
}

void FakeFireWireLibrary::SetLocalNodeReadable(bool readable) {
    std::lock_guard lock(m_mutex);
    m_localNodeReadable = readable;
}

void FakeFireWireLibrary::CrossResponses(bool cross) {
    std::lock_guard lock(m_mutex);
    m_crossResponses = cross;
}

void FakeFireWireLibrary::FailRecvStart(int error) {
    std::lock_guard lock(m_mutex);
    m_recvStartError = error;
}

void FakeFireWireLibrary::SetReconnectResult(int channel) {
    std::lock_guard lock(m_mutex);
    m_reconnectResult = channel;
}

void FakeFireWireLibrary::SetDeviceFiles(DeviceFiles files) {
    std::lock_guard lock(m_mutex);
    m_deviceFiles = std::move(files);
}

int FakeFireWireLibrary::CrossedAnswers() const {
    std::lock_guard lock(m_mutex);
    return m_crossed;
}

int FakeFireWireLibrary::CmpNormalizes() const {
    std::lock_guard lock(m_mutex);
    return m_cmpNormalizes;
}

int FakeFireWireLibrary::GenerationErrors() const {
    std::lock_guard lock(m_mutex);
    return m_generationErrors;
}

std::vector<FakeFireWireLibrary::Sent> FakeFireWireLibrary::Transactions() const {
    std::lock_guard lock(m_mutex);
    return m_sent;
}

std::vector<std::uint32_t> FakeFireWireLibrary::ControlCommands() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::uint32_t> commands;
    for (const Sent& sent : m_sent) {
        if ((sent.command & avc::kResponseMask) == avc::kCtypeControl) {
            commands.push_back(sent.command);
        }
    }
    return commands;
}

void FakeFireWireLibrary::ClearTransactions() {
    std::lock_guard lock(m_mutex);
    m_sent.clear();
}

int FakeFireWireLibrary::OpenHandles() const {
    std::lock_guard lock(m_mutex);
    int open = 0;
    for (const HandleState& state : m_handles) {
        open += state.open ? 1 : 0;
    }
    return open;
}

void FakeFireWireLibrary::Queue(Step step) {
    {
        std::lock_guard lock(m_mutex);
        m_script.push_back(std::move(step));
    }
    m_changed.notify_all();
}

void FakeFireWireLibrary::QueuePackets(std::vector<std::vector<std::uint8_t>> chunks,
                                       unsigned int dropped) {
    Step step{StepKind::Calls, {}, {}};
    for (auto& chunk : chunks) {
        const int length = static_cast<int>(chunk.size());
        step.calls.push_back({std::move(chunk), length, step.calls.empty() ? dropped : 0});
    }
    Queue(std::move(step));
}

void FakeFireWireLibrary::QueueWire(std::vector<std::vector<std::uint8_t>> packets,
                                    unsigned int dropped) {
    Step step{StepKind::Wire, {}, {}};
    for (auto& packet : packets) {
        const int length = static_cast<int>(packet.size());
        step.calls.push_back({std::move(packet), length, step.calls.empty() ? dropped : 0});
    }
    Queue(std::move(step));
}

std::vector<std::vector<std::uint8_t>> FakeFireWireLibrary::DvWire(
    std::span<const std::uint8_t> frame, dv::DvSystem system, std::uint8_t& dbc) {
    std::vector<std::vector<std::uint8_t>> packets;
    for (std::size_t at = 0; at + kDvPayload <= frame.size(); at += kDvPayload) {
        auto packet = CipHeader(kDvDbs, 0, dbc++, kEohFmtDv,
                                system == dv::DvSystem::k625_50 ? kDv50Field : 0);
        packet.insert(packet.end(), frame.begin() + static_cast<std::ptrdiff_t>(at),
                      frame.begin() + static_cast<std::ptrdiff_t>(at + kDvPayload));
        packets.push_back(std::move(packet));
    }
    return packets;
}

std::vector<std::vector<std::uint8_t>> FakeFireWireLibrary::TsWire(
    const std::vector<std::vector<std::uint8_t>>& transportPackets, std::size_t perPacket,
    std::uint8_t& dbc) {
    std::vector<std::vector<std::uint8_t>> packets;
    for (std::size_t first = 0; first < transportPackets.size(); first += perPacket) {
        auto packet = CipHeader(kTsDbs, kTsFractions | kSphBit, dbc, kEohFmtTs, 0);
        for (std::size_t i = first; i < std::min(first + perPacket, transportPackets.size()); ++i) {
            const std::uint8_t header[kSourceHeader] = {0x00, 0x00, 0x12, 0x34};
            packet.insert(packet.end(), std::begin(header), std::end(header));
            packet.insert(packet.end(), transportPackets[i].begin(), transportPackets[i].end());
            dbc = static_cast<std::uint8_t>(dbc + kTsDataBlocksPerPacket);
        }
        packets.push_back(std::move(packet));
    }
    return packets;
}

void FakeFireWireLibrary::QueueCall(std::vector<std::uint8_t> data, int length) {
    Queue({StepKind::Calls, {{std::move(data), length, 0}}, {}});
}

void FakeFireWireLibrary::QueueTimeout() {
    Queue({StepKind::Timeout, {}, {}});
}

void FakeFireWireLibrary::QueueHangUp() {
    Queue({StepKind::HangUp, {}, {}});
}

void FakeFireWireLibrary::QueueIterateFailure() {
    Queue({StepKind::IterateFailure, {}, {}});
}

void FakeFireWireLibrary::QueueBusReset(std::vector<Port> ports) {
    Queue({StepKind::BusReset, {}, std::move(ports)});
}

void FakeFireWireLibrary::ResetBus(std::vector<Port> ports) {
    std::lock_guard lock(m_mutex);
    m_ports = std::move(ports);
    ++m_generation;
}

bool FakeFireWireLibrary::WaitUntilScriptDone() {
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, kSafetyLimit, [&] { return m_script.empty(); })) {
        return false;
    }
    const std::uint64_t seen = m_pollsAfterScript;
    return m_changed.wait_for(lock, kSafetyLimit, [&] { return m_pollsAfterScript > seen; });
}

int FakeFireWireLibrary::ReceiversStarted() const {
    std::lock_guard lock(m_mutex);
    return m_receiversStarted;
}

int FakeFireWireLibrary::DvReceiversStarted() const {
    std::lock_guard lock(m_mutex);
    return m_dvReceiversStarted;
}

int FakeFireWireLibrary::ReceiversClosed() const {
    std::lock_guard lock(m_mutex);
    return m_receiversClosed;
}

int FakeFireWireLibrary::LastChannel() const {
    std::lock_guard lock(m_mutex);
    return m_lastChannel;
}

int FakeFireWireLibrary::CmpConnects() const {
    std::lock_guard lock(m_mutex);
    return m_cmpConnects;
}

int FakeFireWireLibrary::CmpReconnects() const {
    std::lock_guard lock(m_mutex);
    return m_cmpReconnects;
}

int FakeFireWireLibrary::CmpDisconnects() const {
    std::lock_guard lock(m_mutex);
    return m_cmpDisconnects;
}

FakeFireWireLibrary::HandleState& FakeFireWireLibrary::StateOf(Handle handle) {
    return *reinterpret_cast<HandleState*>(handle);
}

FakeFireWireLibrary::Node* FakeFireWireLibrary::NodeAt(Handle handle, std::uint16_t nodeId) {
    const HandleState& state = StateOf(handle);
    if (!state.open || state.port < 0 || static_cast<std::size_t>(state.port) >= m_ports.size()) {
        return nullptr;
    }
    Port& port = m_ports[static_cast<std::size_t>(state.port)];
    const auto index = static_cast<std::size_t>(nodeId & avc::kPhysicalIdMask);
    if ((nodeId & avc::kLocalBusId) != avc::kLocalBusId || index >= port.nodes.size() ||
        static_cast<int>(index) == port.localNode) {
        return nullptr;
    }
    return &port.nodes[index];
}

bool FakeFireWireLibrary::Current(Handle handle) {
    HandleState& state = StateOf(handle);
    state.failedOnGeneration = state.generation != m_generation;
    if (state.failedOnGeneration) {
        ++m_generationErrors;
    }
    return !state.failedOnGeneration;
}

std::uint32_t FakeFireWireLibrary::Answer(Node& node, std::uint32_t command) {
    if (command == avc::kTransportStateInquiry) {
        if (node.inTransitionAnswers > 0) {
            --node.inTransitionAnswers;
            return avc::kResponseInTransition | (command & ~avc::kResponseMask);
        }
        return node.transportState;
    }
    if (command == avc::kOutputSignalModeInquiry) {
        if (!node.outputSignalMode) {
            return avc::kResponseNotImplemented | (command & ~avc::kResponseMask);
        }
        return avc::kResponseStable | avc::kSubunitVcr | avc::kOpcodeOutputSignalMode |
               *node.outputSignalMode;
    }
    return node.controlResponse | (command & ~avc::kResponseMask);
}

std::uint32_t FakeFireWireLibrary::Exchange(std::unique_lock<std::mutex>& lock,
                                            std::uint32_t answer) {
    if (!m_crossResponses) {
        return answer;
    }
    if (m_waiting != nullptr) {
        // Another handle waits for its answer: each gets the other's.
        PendingAnswer* other = std::exchange(m_waiting, nullptr);
        std::swap(answer, other->answer);
        other->taken = true;
        m_crossed += 2;
        m_changed.notify_all();
        return answer;
    }
    PendingAnswer mine{answer, false, false};
    m_waiting = &mine;
    m_changed.wait_for(lock, kCrossingWindow, [&] { return mine.taken; });
    if (m_waiting == &mine) {
        m_waiting = nullptr;
    }
    return mine.answer;
}

FireWireLibrary::Handle FakeFireWireLibrary::NewHandle() {
    std::lock_guard lock(m_mutex);
    if (m_failNewHandle) {
        return nullptr;
    }
    m_handles.emplace_back();
    m_handles.back().generation = m_generation;
    return reinterpret_cast<Handle>(&m_handles.back());
}

void FakeFireWireLibrary::UpdateGeneration(Handle handle, unsigned int generation) {
    std::lock_guard lock(m_mutex);
    StateOf(handle).generation = generation;
}

bool FakeFireWireLibrary::FailedOnGeneration(Handle handle) {
    std::lock_guard lock(m_mutex);
    return StateOf(handle).failedOnGeneration;
}

FireWireLibrary::DeviceFiles FakeFireWireLibrary::ProbeDeviceFiles() {
    std::lock_guard lock(m_mutex);
    return m_deviceFiles;
}

int FakeFireWireLibrary::CmpNormalizeOutput(Handle handle, std::uint16_t) {
    std::lock_guard lock(m_mutex);
    ++m_cmpNormalizes;
    return Current(handle) ? 0 : -1;
}

void FakeFireWireLibrary::DestroyHandle(Handle handle) {
    std::lock_guard lock(m_mutex);
    StateOf(handle).open = false;
}

int FakeFireWireLibrary::GetPortCount(Handle) {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_ports.size());
}

int FakeFireWireLibrary::SetPort(Handle handle, int port) {
    std::lock_guard lock(m_mutex);
    if (port < 0 || static_cast<std::size_t>(port) >= m_ports.size()) {
        return -1;
    }
    StateOf(handle).port = port;
    StateOf(handle).generation = m_generation;
    return 0;
}

int FakeFireWireLibrary::GetNodeCount(Handle handle) {
    std::lock_guard lock(m_mutex);
    const int port = StateOf(handle).port;
    if (port < 0 || static_cast<std::size_t>(port) >= m_ports.size()) {
        return -1;
    }
    return static_cast<int>(m_ports[static_cast<std::size_t>(port)].nodes.size());
}

std::uint16_t FakeFireWireLibrary::GetLocalId(Handle handle) {
    std::lock_guard lock(m_mutex);
    const int port = StateOf(handle).port;
    const int local = port >= 0 && static_cast<std::size_t>(port) < m_ports.size()
                          ? m_ports[static_cast<std::size_t>(port)].localNode
                          : 0;
    return avc::NodeId(local);
}

unsigned int FakeFireWireLibrary::GetGeneration(Handle handle) {
    std::lock_guard lock(m_mutex);
    return StateOf(handle).generation;
}

int FakeFireWireLibrary::GetFd(Handle) {
    return kFakeFd;
}

FireWireLibrary::PollResult FakeFireWireLibrary::Poll(int, int timeoutMs) {
    std::unique_lock lock(m_mutex);
    if (m_script.empty()) {
        m_changed.wait_for(lock, std::chrono::milliseconds(std::min(timeoutMs, kIdlePollMs)),
                           [&] { return !m_script.empty(); });
    }
    if (m_script.empty()) {
        ++m_pollsAfterScript;
        lock.unlock();
        m_changed.notify_all();
        return PollResult::TimedOut;
    }
    switch (m_script.front().kind) {
        case StepKind::Timeout:
            m_script.pop_front();
            lock.unlock();
            m_changed.notify_all();
            return PollResult::TimedOut;
        case StepKind::HangUp:
            return PollResult::Failed;
        default:
            return PollResult::Ready;
    }
}

int FakeFireWireLibrary::LoopIterate(Handle handle) {
    std::unique_lock lock(m_mutex);
    if (m_script.empty()) {
        return 0;
    }
    if (m_script.front().kind == StepKind::HangUp) {
        return -1;
    }
    Step step = std::move(m_script.front());
    m_script.pop_front();
    int result = 0;
    if (step.kind == StepKind::IterateFailure) {
        result = -1;
    } else if (step.kind == StepKind::BusReset) {
        m_ports = std::move(step.ports);
        ++m_generation;
        // Only the events of the machine's own node file tell a handle of the reset.
        if (m_localNodeReadable) {
            StateOf(handle).generation = m_generation;
        }
    }
    PacketSink* sink = m_receiving ? m_sink : nullptr;
    DvSink* dvSink = m_receivingDv ? m_dvSink : nullptr;
    lock.unlock();
    if (step.kind == StepKind::Calls && sink != nullptr) {
        for (Call& call : step.calls) {
            sink->OnTransportPackets(call.data.data(), call.length, call.dropped);
        }
    }
    if (step.kind == StepKind::Wire) {
        for (Call& call : step.calls) {
            // Neither receiver looks at the format in the CIP header.
            if (call.data.size() <= kCipHeaderSize) {
                continue;  // an empty packet
            }
            const std::uint8_t* payload = call.data.data() + kCipHeaderSize;
            const std::size_t size = call.data.size() - kCipHeaderSize;
            if (dvSink != nullptr) {
                dvSink->OnDvPayload(payload, static_cast<int>(size), call.dropped);
            }
            for (std::size_t at = 0; sink != nullptr && at + kSourcePacket <= size;
                 at += kSourcePacket) {
                sink->OnTransportPackets(payload + at + kSourceHeader,
                                         static_cast<int>(kTransportPacket),
                                         at == 0 ? call.dropped : 0);
            }
        }
    }
    m_changed.notify_all();
    return result;
}

std::optional<std::uint32_t> FakeFireWireLibrary::ReadQuadlet(Handle handle, std::uint16_t nodeId,
                                                              std::uint64_t address) {
    std::lock_guard lock(m_mutex);
    if (!Current(handle)) {
        return std::nullopt;
    }
    const Node* node = NodeAt(handle, nodeId);
    if (node == nullptr || !node->romReadable) {
        return std::nullopt;
    }
    if (address == avc::kConfigRomGuidHigh) {
        return static_cast<std::uint32_t>(node->guid >> kGuidShift);
    }
    if (address == avc::kConfigRomGuidLow) {
        return static_cast<std::uint32_t>(node->guid);
    }
    return std::nullopt;
}

std::optional<std::uint32_t> FakeFireWireLibrary::ReadCycleTimer(Handle) {
    std::lock_guard lock(m_mutex);
    return m_cycleTimer;
}

std::optional<FireWireLibrary::RomDirectory> FakeFireWireLibrary::GetDirectory(Handle handle,
                                                                               int node) {
    std::lock_guard lock(m_mutex);
    if (!Current(handle)) {
        return std::nullopt;
    }
    const auto key = std::make_pair(StateOf(handle).port, node);
    if (const auto cached = m_romCache.find(key); cached != m_romCache.end()) {
        return cached->second;
    }
    const Node* found = NodeAt(handle, avc::NodeId(node));
    if (found == nullptr || !found->romReadable) {
        return std::nullopt;
    }
    RomDirectory directory;
    directory.unitSpecId = found->avcUnit ? avc::kUnitSpecId1394Ta : kSbp2SpecId;
    directory.unitSwVersion = found->avcUnit ? kAvcVersion : kSbp2Version;
    directory.textLeaves = found->textLeaves;
    m_romCache[key] = directory;
    return directory;
}

bool FakeFireWireLibrary::CheckSubunitType(Handle handle, std::uint16_t nodeId, int subunitType) {
    std::unique_lock lock(m_mutex);
    if (!Current(handle)) {
        return false;
    }
    const Node* node = NodeAt(handle, nodeId);
    if (node == nullptr || !node->answersAvc) {
        return false;
    }
    m_sent.push_back({nodeId, kSubunitInfoInquiry});
    const bool has = node->vcrSubunit && subunitType == avc::kSubunitTypeVcr;
    return Exchange(lock, has ? kSubunitInfoAnswer : avc::kResponseStable) == kSubunitInfoAnswer;
}

std::uint32_t FakeFireWireLibrary::Transaction(Handle handle, std::uint16_t nodeId,
                                               std::uint32_t command, int) {
    std::unique_lock lock(m_mutex);
    if (!Current(handle)) {
        return avc::kNoResponse;
    }
    m_sent.push_back({nodeId, command});
    Node* node = NodeAt(handle, nodeId);
    if (node == nullptr || !node->answersAvc) {
        return avc::kNoResponse;
    }
    return Exchange(lock, Answer(*node, command));
}

int FakeFireWireLibrary::GetTimecode(Handle handle, std::uint16_t nodeId, std::string& text) {
    std::lock_guard lock(m_mutex);
    if (!Current(handle)) {
        return -1;
    }
    const Node* node = NodeAt(handle, nodeId);
    if (node == nullptr || !node->answersAvc) {
        return -1;
    }
    text = node->timecodeText;
    return node->timecodeResult;
}

int FakeFireWireLibrary::CmpConnect(Handle handle, std::uint16_t, int* oplug, std::uint16_t,
                                    int* iplug, int* bandwidth) {
    std::lock_guard lock(m_mutex);
    ++m_cmpConnects;
    if (m_failCmpConnect || !Current(handle)) {
        return -1;
    }
    *oplug = 0;
    *iplug = 0;
    *bandwidth = kBandwidthUnits;
    return kConnectedChannel;
}

int FakeFireWireLibrary::CmpReconnect(Handle handle, std::uint16_t, int*, std::uint16_t, int*, int*,
                                      int channel) {
    std::lock_guard lock(m_mutex);
    ++m_cmpReconnects;
    if (!Current(handle) || m_reconnectResult == kReconnectFails) {
        return -1;
    }
    return m_reconnectResult >= 0 ? m_reconnectResult : channel;
}

int FakeFireWireLibrary::CmpDisconnect(Handle, std::uint16_t, int, std::uint16_t, int, unsigned int,
                                       unsigned int) {
    std::lock_guard lock(m_mutex);
    ++m_cmpDisconnects;
    return 0;
}

int FakeFireWireLibrary::StartReceiver(bool& receiving, int channel) {
    std::lock_guard lock(m_mutex);
    if (m_recvStartError != 0) {
        return m_recvStartError;
    }
    receiving = true;
    m_lastChannel = channel;
    ++m_receiversStarted;
    if (&receiving == &m_receivingDv) {
        ++m_dvReceiversStarted;
    }
    return 0;
}

void FakeFireWireLibrary::StopReceiver(bool& receiving) {
    std::lock_guard lock(m_mutex);
    receiving = false;
}

template <typename Sink>
void FakeFireWireLibrary::CloseReceiver(bool& receiving, Sink*& sink) {
    {
        std::lock_guard lock(m_mutex);
        receiving = false;
        sink = nullptr;
        ++m_receiversClosed;
    }
    m_changed.notify_all();
}

FireWireLibrary::Mpeg2Receiver FakeFireWireLibrary::Mpeg2RecvInit(Handle, PacketSink* sink) {
    std::lock_guard lock(m_mutex);
    m_sink = sink;
    return reinterpret_cast<Mpeg2Receiver>(&m_receiverToken);
}

int FakeFireWireLibrary::Mpeg2RecvStart(Mpeg2Receiver, int channel) {
    return StartReceiver(m_receiving, channel);
}

void FakeFireWireLibrary::Mpeg2RecvStop(Mpeg2Receiver) {
    StopReceiver(m_receiving);
}

void FakeFireWireLibrary::Mpeg2Close(Mpeg2Receiver) {
    CloseReceiver(m_receiving, m_sink);
}

FireWireLibrary::DvReceiver FakeFireWireLibrary::DvRecvInit(Handle, DvSink* sink) {
    std::lock_guard lock(m_mutex);
    m_dvSink = sink;
    return reinterpret_cast<DvReceiver>(&m_receiverToken);
}

int FakeFireWireLibrary::DvRecvStart(DvReceiver, int channel) {
    return StartReceiver(m_receivingDv, channel);
}

void FakeFireWireLibrary::DvRecvStop(DvReceiver) {
    StopReceiver(m_receivingDv);
}

void FakeFireWireLibrary::DvClose(DvReceiver) {
    CloseReceiver(m_receivingDv, m_dvSink);
}

}  // namespace vornak::test
