#include "LibFireWireLibrary.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <libavc1394/avc1394.h>
#include <libavc1394/avc1394_vcr.h>
#include <libavc1394/rom1394.h>
#include <libiec61883/iec61883.h>
#include <libraw1394/csr.h>
#include <libraw1394/raw1394.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "AvcCodes.h"

namespace vornak {

// Our AV/C numbers must be the library's.
static_assert(avc::kResponseAccepted == AVC1394_RESPONSE_ACCEPTED);
static_assert(avc::kResponseRejected == AVC1394_RESPONSE_REJECTED);
static_assert(avc::kResponseNotImplemented == AVC1394_RESPONSE_NOT_IMPLEMENTED);
static_assert(avc::kResponseStable == AVC1394_RESPONSE_STABLE);
static_assert(avc::kResponseInTransition == AVC1394_RESPONSE_IN_TRANSITION);
static_assert(avc::kOpcodeOutputSignalMode == AVC1394_VCR_COMMAND_OUTPUT_SIGNAL_MODE);
static_assert(avc::kCtypeStatus == AVC1394_CTYPE_STATUS);
static_assert(avc::kSubunitTypeVcr == AVC1394_SUBUNIT_TYPE_VCR);
static_assert(avc::kOpcodePlay == AVC1394_VCR_RESPONSE_TRANSPORT_STATE_PLAY);
static_assert(avc::kOpcodeWind == AVC1394_VCR_RESPONSE_TRANSPORT_STATE_WIND);
static_assert(avc::kOpcodeRecord == AVC1394_VCR_RESPONSE_TRANSPORT_STATE_RECORD);
static_assert(avc::kOpcodeLoadMedium == AVC1394_VCR_RESPONSE_TRANSPORT_STATE_LOAD_MEDIUM);
static_assert(avc::kOpcodeTransportState == AVC1394_VCR_COMMAND_TRANSPORT_STATE);
static_assert(avc::kPlayForward == AVC1394_VCR_OPERAND_PLAY_FORWARD);
static_assert(avc::kPlayForwardPause == AVC1394_VCR_OPERAND_PLAY_FORWARD_PAUSE);
static_assert(avc::kPlayFastestForward == AVC1394_VCR_OPERAND_PLAY_FASTEST_FORWARD);
static_assert(avc::kPlayFastestReverse == AVC1394_VCR_OPERAND_PLAY_FASTEST_REVERSE);
static_assert(avc::kWindStop == AVC1394_VCR_OPERAND_WIND_STOP);
static_assert(avc::kWindRewind == AVC1394_VCR_OPERAND_WIND_REWIND);
static_assert(avc::kWindFastForward == AVC1394_VCR_OPERAND_WIND_FAST_FORWARD);
static_assert(avc::kConfigRomGuidHigh == CSR_REGISTER_BASE + CSR_CONFIG_ROM + ROM1394_GUID_HI);
static_assert(avc::kConfigRomGuidLow == CSR_REGISTER_BASE + CSR_CONFIG_ROM + ROM1394_GUID_LO);

namespace {

// More ports than any machine has; raw1394_get_port_info still reports the true count.
constexpr int kMaxPorts = 16;
constexpr char kDeviceFolder[] = "/dev";
constexpr char kDeviceFilePrefix[] = "fw";
// avc1394_vcr_get_timecode2 wants at least 12 characters.
constexpr std::size_t kTimecodeTextSize = 16;

int ReceivePackets(unsigned char* data, int length, unsigned int dropped, void* context) {
    return static_cast<FireWireLibrary::PacketSink*>(context)->OnTransportPackets(data, length,
                                                                                  dropped);
}

int ReceiveDv(unsigned char* data, int length, unsigned int dropped, void* context) {
    return static_cast<FireWireLibrary::DvSink*>(context)->OnDvPayload(data, length, dropped);
}

// libiec61883's receivers say why they would not start only through errno.
template <typename Receiver>
int StartReceiver(int (*start)(Receiver, int), Receiver receiver, int channel) {
    errno = 0;
    if (start(receiver, channel) == 0) {
        return 0;
    }
    return errno != 0 ? errno : EIO;
}

}  // namespace

FireWireLibrary::Handle LibFireWireLibrary::NewHandle() {
    return raw1394_new_handle();
}

void LibFireWireLibrary::DestroyHandle(Handle handle) {
    raw1394_destroy_handle(handle);
}

int LibFireWireLibrary::GetPortCount(Handle handle) {
    std::array<raw1394_portinfo, kMaxPorts> ports{};
    return raw1394_get_port_info(handle, ports.data(), kMaxPorts);
}

int LibFireWireLibrary::SetPort(Handle handle, int port) {
    return raw1394_set_port(handle, port);
}

int LibFireWireLibrary::GetNodeCount(Handle handle) {
    return raw1394_get_nodecount(handle);
}

std::uint16_t LibFireWireLibrary::GetLocalId(Handle handle) {
    return raw1394_get_local_id(handle);
}

unsigned int LibFireWireLibrary::GetGeneration(Handle handle) {
    return raw1394_get_generation(handle);
}

void LibFireWireLibrary::UpdateGeneration(Handle handle, unsigned int generation) {
    raw1394_update_generation(handle, generation);
}

int LibFireWireLibrary::GetFd(Handle handle) {
    return raw1394_get_fd(handle);
}

int LibFireWireLibrary::LoopIterate(Handle handle) {
    return raw1394_loop_iterate(handle);
}

std::optional<std::uint32_t> LibFireWireLibrary::ReadQuadlet(Handle handle, std::uint16_t nodeId,
                                                             std::uint64_t address) {
    quadlet_t value = 0;
    if (raw1394_read(handle, nodeId, address, sizeof value, &value) < 0) {
        return std::nullopt;
    }
    return ntohl(value);
}

std::optional<std::uint32_t> LibFireWireLibrary::ReadCycleTimer(Handle handle) {
    std::uint32_t cycleTimer = 0;
    std::uint64_t localTime = 0;
    if (raw1394_read_cycle_timer(handle, &cycleTimer, &localTime) != 0) {
        return std::nullopt;
    }
    return cycleTimer;
}

bool LibFireWireLibrary::FailedOnGeneration(Handle handle) {
    return raw1394_errcode_to_errno(raw1394_get_errcode(handle)) == EAGAIN;
}

FireWireLibrary::DeviceFiles LibFireWireLibrary::ProbeDeviceFiles() {
    namespace fs = std::filesystem;
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(kDeviceFolder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kDeviceFilePrefix, 0) == 0 && name.size() > std::strlen(kDeviceFilePrefix)) {
            paths.push_back(entry.path().string());
        }
    }
    // fw0, fw1, ..., fw10: by number, so that "the first" is the one a user expects.
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    DeviceFiles files;
    files.count = static_cast<int>(paths.size());
    for (const std::string& path : paths) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            ++files.openable;
        } else if (files.firstRefusedPath.empty()) {
            files.firstRefusedPath = path;
            files.firstRefusedReason = std::strerror(errno);
        }
    }
    return files;
}

FireWireLibrary::PollResult LibFireWireLibrary::Poll(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN | POLLPRI, 0};
    const int result = poll(&entry, 1, timeoutMs);
    if (result < 0) {
        return errno == EINTR ? PollResult::TimedOut : PollResult::Failed;
    }
    if (result == 0) {
        return PollResult::TimedOut;
    }
    if ((entry.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        return PollResult::Failed;
    }
    return PollResult::Ready;
}

std::optional<FireWireLibrary::RomDirectory> LibFireWireLibrary::GetDirectory(Handle handle,
                                                                              int node) {
    rom1394_directory directory{};
    const int result = rom1394_get_directory(handle, static_cast<nodeid_t>(node), &directory);
    std::optional<RomDirectory> out;
    if (result >= 0) {
        out.emplace();
        out->vendorId = directory.vendor_id;
        out->modelId = directory.model_id;
        out->unitSpecId = directory.unit_spec_id;
        out->unitSwVersion = directory.unit_sw_version;
        for (int i = 0; i < directory.nr_textual_leafs; ++i) {
            const char* text = directory.textual_leafs[i];
            out->textLeaves.emplace_back(text != nullptr ? text : "");
        }
    }
    rom1394_free_directory(&directory);
    return out;
}

bool LibFireWireLibrary::CheckSubunitType(Handle handle, std::uint16_t nodeId, int subunitType) {
    return avc1394_check_subunit_type(handle, nodeId, subunitType) != 0;
}

std::uint32_t LibFireWireLibrary::Transaction(Handle handle, std::uint16_t nodeId,
                                              std::uint32_t command, int retries) {
    return avc1394_transaction(handle, nodeId, command, retries);
}

int LibFireWireLibrary::GetTimecode(Handle handle, std::uint16_t nodeId, std::string& text) {
    std::array<char, kTimecodeTextSize> buffer{};
    const int result = avc1394_vcr_get_timecode2(handle, nodeId, buffer.data());
    buffer.back() = '\0';
    text = buffer.data();
    return result;
}

int LibFireWireLibrary::CmpNormalizeOutput(Handle handle, std::uint16_t output) {
    return iec61883_cmp_normalize_output(handle, output);
}

int LibFireWireLibrary::CmpConnect(Handle handle, std::uint16_t output, int* oplug,
                                   std::uint16_t input, int* iplug, int* bandwidth) {
    return iec61883_cmp_connect(handle, output, oplug, input, iplug, bandwidth);
}

int LibFireWireLibrary::CmpReconnect(Handle handle, std::uint16_t output, int* oplug,
                                     std::uint16_t input, int* iplug, int* bandwidth, int channel) {
    return iec61883_cmp_reconnect(handle, output, oplug, input, iplug, bandwidth, channel);
}

int LibFireWireLibrary::CmpDisconnect(Handle handle, std::uint16_t output, int oplug,
                                      std::uint16_t input, int iplug, unsigned int channel,
                                      unsigned int bandwidth) {
    return iec61883_cmp_disconnect(handle, output, oplug, input, iplug, channel, bandwidth);
}

FireWireLibrary::Mpeg2Receiver LibFireWireLibrary::Mpeg2RecvInit(Handle handle, PacketSink* sink) {
    return iec61883_mpeg2_recv_init(handle, &ReceivePackets, sink);
}

int LibFireWireLibrary::Mpeg2RecvStart(Mpeg2Receiver receiver, int channel) {
    return StartReceiver(&iec61883_mpeg2_recv_start, receiver, channel);
}

void LibFireWireLibrary::Mpeg2RecvStop(Mpeg2Receiver receiver) {
    iec61883_mpeg2_recv_stop(receiver);
}

void LibFireWireLibrary::Mpeg2Close(Mpeg2Receiver receiver) {
    iec61883_mpeg2_close(receiver);
}

FireWireLibrary::DvReceiver LibFireWireLibrary::DvRecvInit(Handle handle, DvSink* sink) {
    return iec61883_dv_recv_init(handle, &ReceiveDv, sink);
}

int LibFireWireLibrary::DvRecvStart(DvReceiver receiver, int channel) {
    return StartReceiver(&iec61883_dv_recv_start, receiver, channel);
}

void LibFireWireLibrary::DvRecvStop(DvReceiver receiver) {
    iec61883_dv_recv_stop(receiver);
}

void LibFireWireLibrary::DvClose(DvReceiver receiver) {
    iec61883_dv_close(receiver);
}

}  // namespace vornak
