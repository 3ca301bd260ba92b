#include "FakeFireWireLibrary.h"

#include <algorithm>
#include <chrono>

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

void FakeFireWireLibrary::QueuePackets(std::vector<std::vector<std::uint8_t>> chunks) {
    Step step{StepKind::Calls, {}, {}};
    for (auto& chunk : chunks) {
        const int length = static_cast<int>(chunk.size());
        step.calls.push_back({std::move(chunk), length});
    }
    Queue(std::move(step));
}

void FakeFireWireLibrary::QueueCall(std::vector<std::uint8_t> data, int length) {
    Queue({StepKind::Calls, {{std::move(data), length}}, {}});
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

FireWireLibrary::Handle FakeFireWireLibrary::NewHandle() {
    std::lock_guard lock(m_mutex);
    if (m_failNewHandle) {
        return nullptr;
    }
    m_handles.emplace_back();
    return reinterpret_cast<Handle>(&m_handles.back());
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

unsigned int FakeFireWireLibrary::GetGeneration(Handle) {
    std::lock_guard lock(m_mutex);
    return m_generation;
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

int FakeFireWireLibrary::LoopIterate(Handle) {
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
    }
    PacketSink* sink = m_receiving ? m_sink : nullptr;
    lock.unlock();
    if (step.kind == StepKind::Calls && sink != nullptr) {
        for (Call& call : step.calls) {
            sink->OnTransportPackets(call.data.data(), call.length, 0);
        }
    }
    m_changed.notify_all();
    return result;
}

std::optional<std::uint32_t> FakeFireWireLibrary::ReadQuadlet(Handle handle, std::uint16_t nodeId,
                                                              std::uint64_t address) {
    std::lock_guard lock(m_mutex);
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
    const Node* found = NodeAt(handle, avc::NodeId(node));
    if (found == nullptr || !found->romReadable) {
        return std::nullopt;
    }
    RomDirectory directory;
    directory.unitSpecId = found->avcUnit ? avc::kUnitSpecId1394Ta : kSbp2SpecId;
    directory.unitSwVersion = found->avcUnit ? kAvcVersion : kSbp2Version;
    directory.textLeaves = found->textLeaves;
    return directory;
}

bool FakeFireWireLibrary::CheckSubunitType(Handle handle, std::uint16_t nodeId, int subunitType) {
    std::lock_guard lock(m_mutex);
    const Node* node = NodeAt(handle, nodeId);
    return node != nullptr && node->answersAvc && node->vcrSubunit &&
           subunitType == avc::kSubunitTypeVcr;
}

std::uint32_t FakeFireWireLibrary::Transaction(Handle handle, std::uint16_t nodeId,
                                               std::uint32_t command, int) {
    std::lock_guard lock(m_mutex);
    m_sent.push_back({nodeId, command});
    const Node* node = NodeAt(handle, nodeId);
    if (node == nullptr || !node->answersAvc) {
        return avc::kNoResponse;
    }
    if (command == avc::kTransportStateInquiry) {
        return node->transportState;
    }
    return node->controlResponse | (command & ~avc::kResponseMask);
}

int FakeFireWireLibrary::GetTimecode(Handle handle, std::uint16_t nodeId, std::string& text) {
    std::lock_guard lock(m_mutex);
    const Node* node = NodeAt(handle, nodeId);
    if (node == nullptr || !node->answersAvc) {
        return -1;
    }
    text = node->timecodeText;
    return node->timecodeResult;
}

int FakeFireWireLibrary::CmpConnect(Handle, std::uint16_t, int* oplug, std::uint16_t, int* iplug,
                                    int* bandwidth) {
    std::lock_guard lock(m_mutex);
    ++m_cmpConnects;
    if (m_failCmpConnect) {
        return -1;
    }
    *oplug = 0;
    *iplug = 0;
    *bandwidth = kBandwidthUnits;
    return kConnectedChannel;
}

int FakeFireWireLibrary::CmpReconnect(Handle, std::uint16_t, int*, std::uint16_t, int*, int*,
                                      int channel) {
    std::lock_guard lock(m_mutex);
    ++m_cmpReconnects;
    return channel;
}

int FakeFireWireLibrary::CmpDisconnect(Handle, std::uint16_t, int, std::uint16_t, int, unsigned int,
                                       unsigned int) {
    std::lock_guard lock(m_mutex);
    ++m_cmpDisconnects;
    return 0;
}

FireWireLibrary::Mpeg2Receiver FakeFireWireLibrary::Mpeg2RecvInit(Handle, PacketSink* sink) {
    std::lock_guard lock(m_mutex);
    m_sink = sink;
    return reinterpret_cast<Mpeg2Receiver>(&m_receiverToken);
}

int FakeFireWireLibrary::Mpeg2RecvStart(Mpeg2Receiver, int channel) {
    std::lock_guard lock(m_mutex);
    m_receiving = true;
    m_lastChannel = channel;
    ++m_receiversStarted;
    return 0;
}

void FakeFireWireLibrary::Mpeg2RecvStop(Mpeg2Receiver) {
    std::lock_guard lock(m_mutex);
    m_receiving = false;
}

void FakeFireWireLibrary::Mpeg2Close(Mpeg2Receiver) {
    {
        std::lock_guard lock(m_mutex);
        m_receiving = false;
        m_sink = nullptr;
        ++m_receiversClosed;
    }
    m_changed.notify_all();
}

}  // namespace vornak::test
