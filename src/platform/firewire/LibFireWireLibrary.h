// The FireWire seam over the real libraries: every method passes straight through. This is the
// only place that includes their headers.
#pragma once

#include "FireWireLibrary.h"

namespace vornak {

class LibFireWireLibrary final : public FireWireLibrary {
  public:
    Handle NewHandle() override;
    void DestroyHandle(Handle handle) override;
    int GetPortCount(Handle handle) override;
    int SetPort(Handle handle, int port) override;
    int GetNodeCount(Handle handle) override;
    std::uint16_t GetLocalId(Handle handle) override;
    unsigned int GetGeneration(Handle handle) override;
    void UpdateGeneration(Handle handle, unsigned int generation) override;
    int GetFd(Handle handle) override;
    int LoopIterate(Handle handle) override;
    std::optional<std::uint32_t> ReadQuadlet(Handle handle, std::uint16_t nodeId,
                                             std::uint64_t address) override;
    std::optional<std::uint32_t> ReadCycleTimer(Handle handle) override;
    bool FailedOnGeneration(Handle handle) override;
    PollResult Poll(int fd, int timeoutMs) override;
    DeviceFiles ProbeDeviceFiles() override;

    std::optional<RomDirectory> GetDirectory(Handle handle, int node) override;

    bool CheckSubunitType(Handle handle, std::uint16_t nodeId, int subunitType) override;
    std::uint32_t Transaction(Handle handle, std::uint16_t nodeId, std::uint32_t command,
                              int retries) override;
    int GetTimecode(Handle handle, std::uint16_t nodeId, std::string& text) override;

    int CmpNormalizeOutput(Handle handle, std::uint16_t output) override;
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
};

}  // namespace vornak
