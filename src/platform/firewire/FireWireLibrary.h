// The seam between the FireWire backend and the system's IEEE 1394 libraries (libraw1394,
// librom1394, libavc1394, libiec61883). Each method stands for about one library call, with the
// library's own meaning; everything the backend decides (which nodes are camcorders, which AV/C
// command a transport mode needs, how packets are assembled, when a device counts as lost) is
// ours and lives outside, so that tests can put a fake bus here.
//
// Node ids are full 16-bit ids (bus 0x3ff, i.e. 0xffc0 | node) except where a method says it
// takes the bare node number, as librom1394 does.
//
// Thread-safety: a handle is used by one thread at a time; different handles may be used on
// different threads at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The libraries' own opaque types; only the pass-through sees their insides.
struct raw1394_handle;
struct iec61883_mpeg2;
struct iec61883_dv;

namespace vornak {

class FireWireLibrary {
  public:
    using Handle = raw1394_handle*;
    using Mpeg2Receiver = iec61883_mpeg2*;
    using DvReceiver = iec61883_dv*;

    // What the unit directory of a node's configuration ROM says (rom1394_directory).
    struct RomDirectory {
        std::uint32_t vendorId = 0;
        std::uint32_t modelId = 0;
        std::uint32_t unitSpecId = 0;
        std::uint32_t unitSwVersion = 0;
        // The textual descriptor leaves in ROM order: usually the vendor's name, then the model's.
        std::vector<std::string> textLeaves;
    };

    // Receives the MPEG-2 receiver's calls: one transport packet per call (its source packet
    // header already taken off), `length` as the library passes it. A negative return stops
    // reception.
    class PacketSink {
      public:
        virtual int OnTransportPackets(const std::uint8_t* data, int length,
                                       unsigned int dropped) = 0;

      protected:
        ~PacketSink() = default;
    };

    // Receives the DV receiver's calls: one isochronous packet's payload per call, its CIP
    // header already taken off (480 bytes of six DIF blocks while DV flows), `length` as the
    // library passes it, `dropped` the packets the kernel lost before it. A negative return
    // stops reception.
    class DvSink {
      public:
        virtual int OnDvPayload(const std::uint8_t* data, int length, unsigned int dropped) = 0;

      protected:
        ~DvSink() = default;
    };

    enum class PollResult { Ready, TimedOut, Failed };

    // The FireWire device files (/dev/fw*) as the system shows them to this process.
    struct DeviceFiles {
        int count = 0;     // how many there are
        int openable = 0;  // how many this process may open for reading and writing
        // The first one that cannot be opened, and the system's reason (strerror).
        std::string firstRefusedPath;
        std::string firstRefusedReason;
    };

    virtual ~FireWireLibrary() = default;

    // libraw1394. NewHandle gives null when the FireWire stack cannot be opened.
    virtual Handle NewHandle() = 0;
    virtual void DestroyHandle(Handle handle) = 0;
    // raw1394_get_port_info: the number of ports, negative on failure.
    virtual int GetPortCount(Handle handle) = 0;
    // 0 on success.
    virtual int SetPort(Handle handle, int port) = 0;
    virtual int GetNodeCount(Handle handle) = 0;
    virtual std::uint16_t GetLocalId(Handle handle) = 0;
    virtual unsigned int GetGeneration(Handle handle) = 0;
    // raw1394_update_generation: the generation the handle's requests carry from now on.
    virtual void UpdateGeneration(Handle handle, unsigned int generation) = 0;
    virtual int GetFd(Handle handle) = 0;
    // Processes one event of the handle (isochronous packets, bus reset, responses); negative
    // on failure.
    virtual int LoopIterate(Handle handle) = 0;
    // raw1394_read of one quadlet, in host order; none when the read fails.
    virtual std::optional<std::uint32_t> ReadQuadlet(Handle handle, std::uint16_t nodeId,
                                                     std::uint64_t address) = 0;
    // raw1394_read_cycle_timer: the bus's cycle timer register now.
    virtual std::optional<std::uint32_t> ReadCycleTimer(Handle handle) = 0;
    // True when the last request on the handle failed because the generation it carried is
    // no longer the bus's (raw1394_get_errcode: EAGAIN): a bus reset it has not yet seen.
    virtual bool FailedOnGeneration(Handle handle) = 0;
    // poll(2) for input on the handle's descriptor; Failed on an error or a hang-up.
    virtual PollResult Poll(int fd, int timeoutMs) = 0;
    // Looks at the device files without keeping any open.
    virtual DeviceFiles ProbeDeviceFiles() = 0;

    // librom1394, with the bare node number. None when the ROM cannot be read.
    virtual std::optional<RomDirectory> GetDirectory(Handle handle, int node) = 0;

    // libavc1394. True when the unit has a subunit of `subunitType` (AVC1394_SUBUNIT_TYPE_*).
    virtual bool CheckSubunitType(Handle handle, std::uint16_t nodeId, int subunitType) = 0;
    // One AV/C command quadlet and its response quadlet (avc1394_transaction, which waits out
    // interim responses); 0xFFFFFFFF when no response came after `retries` further attempts.
    virtual std::uint32_t Transaction(Handle handle, std::uint16_t nodeId, std::uint32_t command,
                                      int retries) = 0;
    // avc1394_vcr_get_timecode2: "HH:MM:SS:FF" as the four response bytes in hexadecimal; 0 on
    // success.
    virtual int GetTimecode(Handle handle, std::uint16_t nodeId, std::string& text) = 0;

    // libiec61883 connection management: the channel, or negative on failure.
    // iec61883_cmp_normalize_output: sets the output plug's broadcast and point-to-point
    // connection counts to what the bus holds; 0 on success.
    virtual int CmpNormalizeOutput(Handle handle, std::uint16_t output) = 0;
    virtual int CmpConnect(Handle handle, std::uint16_t output, int* oplug, std::uint16_t input,
                           int* iplug, int* bandwidth) = 0;
    virtual int CmpReconnect(Handle handle, std::uint16_t output, int* oplug, std::uint16_t input,
                             int* iplug, int* bandwidth, int channel) = 0;
    virtual int CmpDisconnect(Handle handle, std::uint16_t output, int oplug, std::uint16_t input,
                              int iplug, unsigned int channel, unsigned int bandwidth) = 0;

    // libiec61883 MPEG-2 transport stream reception. `sink` must outlive the receiver; it is
    // called from LoopIterate. Init gives null on failure; Start gives 0 on success, else the
    // system's error number.
    virtual Mpeg2Receiver Mpeg2RecvInit(Handle handle, PacketSink* sink) = 0;
    virtual int Mpeg2RecvStart(Mpeg2Receiver receiver, int channel) = 0;
    virtual void Mpeg2RecvStop(Mpeg2Receiver receiver) = 0;
    virtual void Mpeg2Close(Mpeg2Receiver receiver) = 0;

    // libiec61883 DV reception, with the same rules as the MPEG-2 receiver's. One receiver of
    // either kind runs on a channel at a time.
    virtual DvReceiver DvRecvInit(Handle handle, DvSink* sink) = 0;
    virtual int DvRecvStart(DvReceiver receiver, int channel) = 0;
    virtual void DvRecvStop(DvReceiver receiver) = 0;
    virtual void DvClose(DvReceiver receiver) = 0;
};

}  // namespace vornak
