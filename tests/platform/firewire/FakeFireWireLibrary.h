// A FireWire bus in memory behind the FireWireLibrary seam: ports with nodes (GUIDs, ROM
// directories, names, AV/C answers), a record of every AV/C command sent, and a script of what
// the stream's handle sees (packets, poll time-outs, hang-ups, bus resets, failures).
//
// It behaves as the kernel's firewire-core stack does where the virtual camcorder never would:
// a handle's generation is the bus's as the handle was bound to its port, and changes only as
// the handle processes a bus reset event, and only when the machine's own node file is
// readable; a request carrying an old generation fails with a generation error. A bus reset
// can renumber the nodes. ROM directories come from a cache by node number. AV/C answers can
// come IN TRANSITION, or be handed to whichever handle is waiting when two ask at once. The
// output signal mode can switch, and reception can fail to start.
//
// The wire: isochronous packets as the camcorder sends them, each with its CIP header (DV:
// FMT 0x00, DBS 120, 480-byte payloads of six DIF blocks; MPEG-2: FMT 0x20, DBS 6, SPH, whole
// 192-byte source packets). The fake receivers take them as libiec61883's do, whatever their
// format: the DV receiver hands each packet's payload on after the CIP header, the MPEG-2
// receiver each whole source packet in it without its header; the kernel's count of dropped
// packets comes with the first call of a loop iteration.
//
// Thread-safe: the test thread edits and reads while the reception thread polls and iterates.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "AvcCodes.h"
#include "DifConstants.h"
#include "FireWireLibrary.h"

namespace vornak::test {

class FakeFireWireLibrary final : public FireWireLibrary {
  public:
    static constexpr int kConnectedChannel = 5;
    // A transport state response: stable, the given state and operand.
    static constexpr std::uint32_t State(std::uint32_t opcode, std::uint32_t operand) {
        return avc::kResponseStable | avc::kSubunitVcr | opcode | operand;
    }

    struct Node {
        std::uint64_t guid = 0;
        bool avcUnit = true;
        bool vcrSubunit = true;
        std::vector<std::string> textLeaves;
        bool romReadable = true;
        bool answersAvc = true;
        std::uint32_t transportState = State(avc::kOpcodeWind, avc::kWindStop);
        std::uint32_t controlResponse = avc::kResponseAccepted;
        int timecodeResult = 0;
        std::string timecodeText = "01:02:03:04";
        // Operand 0 of the OUTPUT SIGNAL MODE answer; none: answered NOT IMPLEMENTED.
        std::optional<std::uint32_t> outputSignalMode = 0x10;
        // The next this many status inquiries are answered IN TRANSITION.
        int inTransitionAnswers = 0;
    };
    struct Port {
        std::vector<Node> nodes;
        int localNode = 0;  // the machine's own node; its entry is never asked
    };
    struct Sent {
        std::uint16_t nodeId;
        std::uint32_t command;
    };

    // The buses; each Node is found by its port and index.
    void SetBus(std::vector<Port> ports);
    // Changes the node with `guid`, wherever it is.
    void EditNode(std::uint64_t guid, const std::function<void(Node&)>& edit);
    void FailNewHandle(bool fail);
    void FailCmpConnect(bool fail);
    void SetCycleTimer(std::uint32_t value);
    // Whether handles learn of bus resets (the machine's own node file can be read).
    void SetLocalNodeReadable(bool readable);
    // When on, an AV/C transaction waits a little for another one and, if one comes, the two
    // are handed each other's answers, as FCP responses reach every handle that listens.
    void CrossResponses(bool cross);
    // Mpeg2RecvStart fails with this error number (0: it starts).
    void FailRecvStart(int error);
    // What CmpReconnect gives: the channel asked for (kReconnectSame), a failure
    // (kReconnectFails), or this channel.
    static constexpr int kReconnectSame = -1;
    static constexpr int kReconnectFails = -2;
    void SetReconnectResult(int channel);
    void SetDeviceFiles(DeviceFiles files);
    // Answers crossed between handles so far.
    int CrossedAnswers() const;
    int CmpNormalizes() const;
    // Requests that failed on an old generation so far.
    int GenerationErrors() const;

    // Every AV/C transaction so far, and the control commands alone.
    std::vector<Sent> Transactions() const;
    std::vector<std::uint32_t> ControlCommands() const;
    void ClearTransactions();
    int OpenHandles() const;

    // Stream script, taken in order by the handle the receiver runs on.
    // One loop iteration calling the receiver once per chunk, with the chunk's size as length;
    // the first call reports `dropped` isochronous packets lost before it, as libiec61883
    // passes the kernel's count with the first source packet of an isochronous packet.
    void QueuePackets(std::vector<std::vector<std::uint8_t>> chunks, unsigned int dropped = 0);
    // One loop iteration receiving these isochronous packets (CIP header and payload each), the
    // first after `dropped` the kernel lost.
    void QueueWire(std::vector<std::vector<std::uint8_t>> packets, unsigned int dropped = 0);
    // Isochronous packets as a camcorder sends them: a DV frame in 480-byte payloads, and
    // transport packets `perPacket` to an isochronous packet. `dbc` numbers the data blocks.
    static std::vector<std::vector<std::uint8_t>> DvWire(std::span<const std::uint8_t> frame,
                                                         dv::DvSystem system, std::uint8_t& dbc);
    static std::vector<std::vector<std::uint8_t>> TsWire(
        const std::vector<std::vector<std::uint8_t>>& transportPackets, std::size_t perPacket,
        std::uint8_t& dbc);
    // One loop iteration calling the receiver once with `data` and a `length` of its own.
    void QueueCall(std::vector<std::uint8_t> data, int length);
    void QueueTimeout();
    // From then on every poll fails, as when the device node goes away.
    void QueueHangUp();
    void QueueIterateFailure();
    // A bus reset after which the buses look like `ports`.
    void QueueBusReset(std::vector<Port> ports);
    // The same at once, outside the script: no handle hears of it by itself.
    void ResetBus(std::vector<Port> ports);
    // Waits until the script is used up and the receiver has polled once more after it, so
    // that what the last step caused has happened. False after a generous safety limit.
    bool WaitUntilScriptDone();

    // Receivers of both kinds started, and of the DV kind alone.
    int ReceiversStarted() const;
    int DvReceiversStarted() const;
    int ReceiversClosed() const;
    int LastChannel() const;
    int CmpConnects() const;
    int CmpReconnects() const;
    int CmpDisconnects() const;

    Handle NewHandle() override;
    void UpdateGeneration(Handle handle, unsigned int generation) override;
    bool FailedOnGeneration(Handle handle) override;
    DeviceFiles ProbeDeviceFiles() override;
    int CmpNormalizeOutput(Handle handle, std::uint16_t output) override;
    void DestroyHandle(Handle handle) override;
    int GetPortCount(Handle handle) override;
    int SetPort(Handle handle, int port) override;
    int GetNodeCount(Handle handle) override;
    std::uint16_t GetLocalId(Handle handle) override;
    unsigned int GetGeneration(Handle handle) override;
    int GetFd(Handle handle) override;
    int LoopIterate(Handle handle) override;
    std::optional<std::uint32_t> ReadQuadlet(Handle handle, std::uint16_t nodeId,
                                             std::uint64_t address) override;
    std::optional<std::uint32_t> ReadCycleTimer(Handle handle) override;
    PollResult Poll(int fd, int timeoutMs) override;
    std::optional<RomDirectory> GetDirectory(Handle handle, int node) override;
    bool CheckSubunitType(Handle handle, std::uint16_t nodeId, int subunitType) override;
    std::uint32_t Transaction(Handle handle, std::uint16_t nodeId, std::uint32_t command,
                              int retries) override;
    int GetTimecode(Handle handle, std::uint16_t nodeId, std::string& text) override;
    int CmpConnect(Handle handle, std::uint16_t output, int* oplug, std::uint16_t input, int* iplug,
                   int* bandwidth) override;
    int CmpReconnect(Handle handle, std::uint16_t output, int* oplug, std::uint16_t input,
                     int* iplug, int* bandwidth, int channel) override;
    int CmpDisconnect(Handle handle, std::uint16_t output, int oplug, std::uint16_t input,
                      int iplug, unsigned int channel, unsigned int bandwidth) override;
    Mpeg2Receiver Mpeg2RecvInit(Handle handle, PacketSink* sink) override;
    int Mpeg2RecvStart(Mpeg2Receiver receiver, int channel) override;
    void Mpeg2RecvStop(Mpeg2Receiver receiver) override;
    void Mpeg2Close(Mpeg2Receiver receiver) override;
    DvReceiver DvRecvInit(Handle handle, DvSink* sink) override;
    int DvRecvStart(DvReceiver receiver, int channel) override;
    void DvRecvStop(DvReceiver receiver) override;
    void DvClose(DvReceiver receiver) override;

  private:
    enum class StepKind { Calls, Wire, Timeout, HangUp, IterateFailure, BusReset };
    struct Call {
        std::vector<std::uint8_t> data;
        int length;
        unsigned int dropped = 0;
    };
    struct Step {
        StepKind kind;
        std::vector<Call> calls;
        std::vector<Port> ports;
    };
    struct HandleState {
        int port = -1;
        bool open = true;
        unsigned int generation = 0;
        bool failedOnGeneration = false;
    };
    struct PendingAnswer {
        std::uint32_t answer = 0;
        bool taken = false;
        bool swapped = false;
    };

    void Queue(Step step);
    // The receivers of both kinds, each with its own flag (and sink).
    int StartReceiver(bool& receiving, int channel);
    void StopReceiver(bool& receiving);
    template <typename Sink>
    void CloseReceiver(bool& receiving, Sink*& sink);
    HandleState& StateOf(Handle handle);
    // The node a handle's node id names, or null.
    Node* NodeAt(Handle handle, std::uint16_t nodeId);
    // False, noting a generation error, when the handle's generation is not the bus's.
    bool Current(Handle handle);
    std::uint32_t Answer(Node& node, std::uint32_t command);
    // Hands `answer` back, or, when answers cross, another waiting transaction's.
    std::uint32_t Exchange(std::unique_lock<std::mutex>& lock, std::uint32_t answer);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Port> m_ports;
    std::deque<HandleState> m_handles;  // stable addresses: a handle is a pointer to its state
    bool m_failNewHandle = false;
    bool m_failCmpConnect = false;
    std::uint32_t m_cycleTimer = 0;
    unsigned int m_generation = 1;
    std::vector<Sent> m_sent;
    std::deque<Step> m_script;
    std::uint64_t m_pollsAfterScript = 0;
    PacketSink* m_sink = nullptr;
    DvSink* m_dvSink = nullptr;
    bool m_receiving = false;  // the MPEG-2 receiver
    bool m_receivingDv = false;
    int m_dvReceiversStarted = 0;
    int m_receiversStarted = 0;
    int m_receiversClosed = 0;
    int m_lastChannel = -1;
    int m_cmpConnects = 0;
    int m_cmpReconnects = 0;
    int m_cmpDisconnects = 0;
    int m_receiverToken = 0;  // its address is the receiver
    bool m_localNodeReadable = true;
    bool m_crossResponses = false;
    PendingAnswer* m_waiting = nullptr;  // a transaction waiting for another to cross with
    int m_crossed = 0;
    int m_recvStartError = 0;
    int m_reconnectResult = kReconnectSame;
    DeviceFiles m_deviceFiles{1, 1, {}, {}};
    int m_cmpNormalizes = 0;
    int m_generationErrors = 0;
    // ROM directories by port and node number, as first read.
    std::map<std::pair<int, int>, RomDirectory> m_romCache;
};

}  // namespace vornak::test
