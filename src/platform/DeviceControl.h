// Control of tape devices: the external device (its capabilities, among them the device type),
// its tape transport, and its timecode reader. Camcorder filters offer these beside
// IBaseFilter.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "HResult.h"
#include "Unknown.h"

namespace vornak {

// Capabilities asked with IAMExtDevice::GetCapability.
inline constexpr LONG ED_DEVCAP_DEVICE_TYPE = 4103;
inline constexpr LONG ED_DEVCAP_TIMECODE_READ = 4121;
// Device types: tape playback, and the camera mode of a camcorder.
inline constexpr LONG ED_DEVTYPE_VCR = 4104;
inline constexpr LONG ED_DEVTYPE_CAMERA = 4114;
// Vornak's own capability, beside the system's: the signal the camcorder plays out now (the
// AV/C OUTPUT SIGNAL MODE). A device that cannot tell answers E_NOTIMPL, which callers read as
// HDV. A camcorder playing DV sends nothing an MPEG-2 receiver takes.
inline constexpr LONG VORNAK_DEVCAP_OUTPUT_SIGNAL = 0x7800;
inline constexpr LONG VORNAK_SIGNAL_HDV = 1;
inline constexpr LONG VORNAK_SIGNAL_DV = 2;

// Transport modes.
inline constexpr LONG ED_MODE_PLAY = 4296;
inline constexpr LONG ED_MODE_STOP = 4297;
inline constexpr LONG ED_MODE_FREEZE = 4298;
inline constexpr LONG ED_MODE_FF = 4300;
inline constexpr LONG ED_MODE_REW = 4301;
// Fast play forward and backward, sent while the tape plays.
inline constexpr LONG ED_MODE_PLAY_FASTEST_FWD = 5029;
inline constexpr LONG ED_MODE_PLAY_FASTEST_REV = 5031;

class IAMExtDevice : public IUnknown {
  public:
    // The capability's value in *pValue; pdblValue may be null.
    virtual HRESULT GetCapability(LONG Capability, LONG* pValue, double* pdblValue) = 0;
};

class IAMExtTransport : public IUnknown {
  public:
    virtual HRESULT put_Mode(LONG Mode) = 0;
    virtual HRESULT get_Mode(LONG* pMode) = 0;
};

// Vornak's own face of a camcorder filter whose stream can lose data before it is delivered
// (packets thrown away because the consumer fell behind) or has something to say that the
// graph's events cannot carry (a failed reconnection after a bus reset, a stream that could
// not start, and why).
class IDeviceReport : public IUnknown {
  public:
    // Transport packets thrown away before delivery since the filter was made.
    virtual HRESULT GetDroppedPackets(std::uint64_t* pCount) = 0;
    // `handler` gets each message as one "ERROR: " log line, on any thread; an empty one stops
    // them and returns only once no call to the old one is running.
    virtual HRESULT SetLogHandler(std::function<void(const std::string&)> handler) = 0;
    // Waits until what the device had received by the call has been handed on downstream:
    // S_OK, or S_FALSE when `timeoutMs` ran out first (what is still held back then is counted
    // among the dropped packets). E_NOTIMPL from a device that holds nothing back.
    virtual HRESULT WaitUntilDelivered(DWORD timeoutMs) = 0;
};

struct TIMECODE {
    WORD wFrameRate = 0;
    WORD wFrameFract = 0;
    // Eight binary-coded decimal digits, most significant first: HH MM SS FF.
    DWORD dwFrames = 0;
};

struct TIMECODE_SAMPLE {
    LONGLONG qwTick = 0;
    TIMECODE timecode;
    DWORD dwUser = 0;
    // What is asked for: ED_DEVCAP_TIMECODE_READ.
    DWORD dwFlags = 0;
};

class IAMTimecodeReader : public IUnknown {
  public:
    virtual HRESULT GetTimecode(TIMECODE_SAMPLE* pTimecodeSample) = 0;
};

// Packs hours, minutes, seconds and frames into the eight BCD digits of TIMECODE::dwFrames.
constexpr DWORD PackTimecode(unsigned hours, unsigned minutes, unsigned seconds, unsigned frames) {
    auto bcd = [](unsigned value) { return ((value / 10) % 10) << 4 | (value % 10); };
    return static_cast<DWORD>(bcd(hours) << 24 | bcd(minutes) << 16 | bcd(seconds) << 8 |
                              bcd(frames));
}

}  // namespace vornak
