#include "FireWireCamcorderLink.h"

#include <array>
#include <cctype>
#include <thread>
#include <utility>

#include "AvcCodes.h"
#include "AvcConversation.h"

namespace vornak {
namespace {

// "HH:MM:SS:FF": four two-digit hexadecimal fields and three colons.
constexpr std::size_t kTimecodeFields = 4;
constexpr std::size_t kTimecodeFieldStride = 3;
constexpr std::size_t kTimecodeTextLength = kTimecodeFields * kTimecodeFieldStride - 1;
constexpr char kTimecodeSeparator = ':';
constexpr int kFirstLetterDigit = 10;  // 'a'
constexpr unsigned kNibbleBits = 4;
constexpr unsigned kNibbleMask = 0x0F;
constexpr unsigned kLargestDecimalDigit = 9;
constexpr unsigned kBitsPerByte = 8;
// The bits of each byte that hold digits; the rest are flags (colour frame, drop frame,
// binary group flags) that a timecode does not include.
constexpr std::array<unsigned, kTimecodeFields> kTimecodeDigitMasks{0x3F, 0x7F, 0x7F, 0x3F};

bool IsReversePlay(std::uint32_t operand) {
    return (operand > avc::kPlayPreviousFrame && operand <= avc::kPlayFastestReverse) ||
           operand == avc::kPlayReverse;
}

bool IsFastForwardPlay(std::uint32_t operand) {
    return operand > avc::kPlayX1Forward && operand <= avc::kPlayFastestForward;
}

// The value of one hexadecimal digit, or -1.
int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const int lower = std::tolower(static_cast<unsigned char>(c));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + kFirstLetterDigit : -1;
}

}  // namespace

const std::vector<std::chrono::milliseconds> FireWireCamcorderLink::kRelocatePauses{
    std::chrono::milliseconds(100), std::chrono::milliseconds(250), std::chrono::milliseconds(500),
    std::chrono::milliseconds(1000)};

FireWireCamcorderLink::FireWireCamcorderLink(std::shared_ptr<FireWireLibrary> library,
                                             std::uint64_t guid, FireWireBus::Location location,
                                             LostHandler onLost)
    : m_library(library),
      m_guid(guid),
      m_onLost(std::move(onLost)),
      m_bus(std::move(library)),
      m_location(location),
      m_relocatePauses(kRelocatePauses),
      m_conversation(AvcConversation::For(guid)) {}

void FireWireCamcorderLink::SetRelocatePauses(std::vector<std::chrono::milliseconds> pauses) {
    std::lock_guard lock(m_mutex);
    m_relocatePauses = std::move(pauses);
}

HRESULT FireWireCamcorderLink::GetOutputSignal(LONG* signal) {
    if (signal == nullptr) {
        return E_POINTER;
    }
    bool lostNow = false;
    HRESULT hr = S_OK;
    {
        std::lock_guard lock(m_mutex);
        if (IsLost()) {
            hr = E_DEVICE_NOT_CONNECTED;
        } else if (!VerifiedNode(lostNow)) {
            hr = E_DEVICE_NOT_CONNECTED;
        } else {
            const std::uint32_t response = Ask(avc::kOutputSignalModeInquiry, lostNow);
            const std::uint32_t code = response & avc::kResponseMask;
            if (response == avc::kNoResponse || code == avc::kResponseInTransition) {
                hr = E_FAIL;
            } else if (const auto mode = SignalFromResponse(response)) {
                *signal = *mode;
            } else {
                hr = E_NOTIMPL;  // not implemented or rejected: it cannot tell
            }
        }
    }
    return Finish(hr, lostNow);
}

HRESULT FireWireCamcorderLink::SetMode(LONG mode) {
    bool lostNow = false;
    HRESULT hr;
    {
        std::lock_guard lock(m_mutex);
        hr = SetModeLocked(mode, lostNow);
    }
    return Finish(hr, lostNow);
}

HRESULT FireWireCamcorderLink::GetMode(LONG* mode) {
    if (mode == nullptr) {
        return E_POINTER;
    }
    bool lostNow = false;
    std::uint32_t response = 0;
    HRESULT hr;
    {
        std::lock_guard lock(m_mutex);
        hr = GetStatusLocked(&response, lostNow);
    }
    if (Succeeded(hr)) {
        *mode = ModeFromStatus(response);
    }
    return Finish(hr, lostNow);
}

HRESULT FireWireCamcorderLink::GetDeviceType(LONG* type) {
    if (type == nullptr) {
        return E_POINTER;
    }
    bool lostNow = false;
    std::uint32_t response = 0;
    HRESULT hr;
    {
        std::lock_guard lock(m_mutex);
        hr = GetStatusLocked(&response, lostNow);
    }
    if (Succeeded(hr)) {
        *type = ReportsTapePlayback(response) ? ED_DEVTYPE_VCR : ED_DEVTYPE_CAMERA;
    }
    return Finish(hr, lostNow);
}

HRESULT FireWireCamcorderLink::GetTimecode(DWORD* bcd) {
    if (bcd == nullptr) {
        return E_POINTER;
    }
    bool lostNow = false;
    HRESULT hr;
    {
        std::lock_guard lock(m_mutex);
        hr = GetTimecodeLocked(bcd, lostNow);
    }
    return Finish(hr, lostNow);
}

std::optional<FireWireBus::Location> FireWireCamcorderLink::Relocate(unsigned int* generation) {
    bool lostNow = false;
    std::optional<FireWireBus::Location> where;
    {
        std::lock_guard lock(m_mutex);
        if (!IsLost() && VerifiedNode(lostNow)) {
            where = m_location;
            if (generation != nullptr) {
                *generation = m_generation;
            }
        }
    }
    Finish(S_OK, lostNow);
    return where;
}

FireWireBus::Location FireWireCamcorderLink::CurrentLocation() const {
    std::lock_guard lock(m_mutex);
    return m_location;
}

HRESULT FireWireCamcorderLink::SetModeLocked(LONG mode, bool& lostNow) {
    bool needsPlayback = false;
    const auto command = CommandFor(mode, &needsPlayback);
    if (!command) {
        return E_INVALIDARG;
    }
    if (IsLost()) {
        return E_DEVICE_NOT_CONNECTED;
    }
    if (!VerifiedNode(lostNow)) {
        return E_DEVICE_NOT_CONNECTED;
    }
    if (needsPlayback) {
        // Asked right before sending: the user may have turned the dial since the last time.
        const std::uint32_t state = AskState(lostNow);
        if (state == avc::kNoResponse) {
            return E_FAIL;
        }
        if (!ReportsTapePlayback(state)) {
            return VFW_E_WRONG_STATE;
        }
    }
    const std::uint32_t response = Ask(*command, lostNow);
    return (response & avc::kResponseMask) == avc::kResponseAccepted && response != avc::kNoResponse
               ? S_OK
               : E_FAIL;
}

HRESULT FireWireCamcorderLink::GetStatusLocked(std::uint32_t* response, bool& lostNow) {
    if (IsLost()) {
        return E_DEVICE_NOT_CONNECTED;
    }
    if (!VerifiedNode(lostNow)) {
        return E_DEVICE_NOT_CONNECTED;
    }
    *response = AskState(lostNow);
    return *response == avc::kNoResponse ? E_FAIL : S_OK;
}

HRESULT FireWireCamcorderLink::GetTimecodeLocked(DWORD* bcd, bool& lostNow) {
    if (IsLost()) {
        return E_DEVICE_NOT_CONNECTED;
    }
    if (!VerifiedNode(lostNow)) {
        return E_DEVICE_NOT_CONNECTED;
    }
    std::string text;
    int result = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool stale = false;
        {
            std::lock_guard conversation(*m_conversation);
            result = m_library->GetTimecode(m_handle.Get(), avc::NodeId(m_location.node), text);
            stale = result != 0 && m_library->FailedOnGeneration(m_handle.Get());
        }
        if (!stale || !RelocateLocked(lostNow)) {
            break;
        }
    }
    if (IsLost()) {
        return E_DEVICE_NOT_CONNECTED;
    }
    if (result != 0) {
        // The library says the same for a camcorder that refuses (no tape, camera mode) and
        // for one that does not answer; a state inquiry tells them apart.
        (void)Ask(avc::kTransportStateInquiry, lostNow);
        return E_FAIL;
    }
    m_failures = 0;
    const auto parsed = ParseTimecode(text);
    if (!parsed) {
        return E_FAIL;
    }
    *bcd = *parsed;
    return S_OK;
}

std::optional<std::uint16_t> FireWireCamcorderLink::VerifiedNode(bool& lostNow) {
    if (!m_handle) {
        OpenHandleLocked();
    }
    if (m_handle && FireWireBus::ReadGuid(*m_library, m_handle.Get(), m_location.node) == m_guid) {
        return avc::NodeId(m_location.node);
    }
    return RelocateLocked(lostNow);
}

std::optional<std::uint16_t> FireWireCamcorderLink::RelocateLocked(bool& lostNow) {
    // A fresh handle: the old one may still count the generation before the bus reset, and a
    // new one starts from the bus's generation now.
    m_handle.Reset();
    for (std::size_t attempt = 0;; ++attempt) {
        if (const auto where = m_bus.Locate(m_guid)) {
            m_location = *where;
            OpenHandleLocked();
            if (m_handle) {
                return avc::NodeId(m_location.node);
            }
        }
        // A burst of resets can hide the camcorder for a moment; only a camcorder missing
        // after the last pause is gone.
        if (attempt >= m_relocatePauses.size()) {
            break;
        }
        std::this_thread::sleep_for(m_relocatePauses[attempt]);
    }
    DeclareLostLocked(lostNow);
    return std::nullopt;
}

std::uint32_t FireWireCamcorderLink::AskOnce(std::uint32_t command, bool* staleGeneration) {
    std::lock_guard conversation(*m_conversation);
    const std::uint32_t response = m_library->Transaction(
        m_handle.Get(), avc::NodeId(m_location.node), command, avc::kRetries);
    *staleGeneration =
        response == avc::kNoResponse && m_library->FailedOnGeneration(m_handle.Get());
    return response;
}

std::uint32_t FireWireCamcorderLink::Ask(std::uint32_t command, bool& lostNow) {
    bool stale = false;
    std::uint32_t response = AskOnce(command, &stale);
    if (stale) {
        // A bus reset this handle has not heard of: the node number may have changed too.
        if (!RelocateLocked(lostNow)) {
            return avc::kNoResponse;
        }
        response = AskOnce(command, &stale);
    }
    if (response != avc::kNoResponse) {
        m_failures = 0;
    } else if (++m_failures >= kFailuresBeforeLost) {
        DeclareLostLocked(lostNow);
    }
    return response;
}

std::uint32_t FireWireCamcorderLink::AskState(bool& lostNow) {
    const std::uint32_t response = Ask(avc::kTransportStateInquiry, lostNow);
    if (response == avc::kNoResponse) {
        return response;
    }
    if ((response & avc::kResponseMask) != avc::kResponseInTransition) {
        m_transition.reset();
        m_lastStable = response;
        return response;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!m_transition) {
        m_transition = now;
    }
    if (m_lastStable && now - *m_transition < kTransitionHold) {
        return *m_lastStable;
    }
    return response;
}

void FireWireCamcorderLink::OpenHandleLocked() {
    m_handle = FireWireHandle::OpenPort(m_library, m_location.port);
    if (m_handle) {
        m_generation = m_library->GetGeneration(m_handle.Get());
    }
}

void FireWireCamcorderLink::DeclareLostLocked(bool& lostNow) {
    if (!m_lost.exchange(true, std::memory_order_acq_rel)) {
        lostNow = true;
    }
    m_handle.Reset();
}

HRESULT FireWireCamcorderLink::Finish(HRESULT hr, bool lostNow) {
    if (lostNow && m_onLost) {
        m_onLost();
    }
    return IsLost() && hr != E_INVALIDARG ? E_DEVICE_NOT_CONNECTED : hr;
}

LONG FireWireCamcorderLink::ModeFromStatus(std::uint32_t response) {
    if ((response & avc::kResponseMask) != avc::kResponseStable) {
        return ED_MODE_STOP;  // answered without a transport state: camera mode, no tape
    }
    const std::uint32_t operand = response & avc::kOperandMask;
    switch (response & avc::kOpcodeMask) {
        case avc::kOpcodePlay:
            if (operand == avc::kPlayForwardPause || operand == avc::kPlayReversePause ||
                operand == avc::kPlayNextFrame || operand == avc::kPlayPreviousFrame) {
                return ED_MODE_FREEZE;
            }
            if (IsReversePlay(operand)) {
                return ED_MODE_PLAY_FASTEST_REV;
            }
            return IsFastForwardPlay(operand) ? ED_MODE_PLAY_FASTEST_FWD : ED_MODE_PLAY;
        case avc::kOpcodeWind:
            if (operand == avc::kWindFastForward) {
                return ED_MODE_FF;
            }
            if (operand == avc::kWindRewind || operand == avc::kWindHighSpeedRewind) {
                return ED_MODE_REW;
            }
            return ED_MODE_STOP;
        case avc::kOpcodeRecord:
            return kModeRecord;
        default:
            return ED_MODE_STOP;
    }
}

bool FireWireCamcorderLink::ReportsTapePlayback(std::uint32_t response) {
    if (response == avc::kNoResponse || (response & avc::kResponseMask) != avc::kResponseStable) {
        return false;
    }
    const std::uint32_t state = response & avc::kOpcodeMask;
    return state == avc::kOpcodePlay || state == avc::kOpcodeWind;
}

std::optional<DWORD> FireWireCamcorderLink::ParseTimecode(const std::string& text) {
    if (text.size() != kTimecodeTextLength) {
        return std::nullopt;
    }
    DWORD packed = 0;
    for (std::size_t field = 0; field < kTimecodeFields; ++field) {
        const std::size_t at = field * kTimecodeFieldStride;
        if (field > 0 && text[at - 1] != kTimecodeSeparator) {
            return std::nullopt;
        }
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        const unsigned value =
            (static_cast<unsigned>(high) << kNibbleBits | static_cast<unsigned>(low)) &
            kTimecodeDigitMasks[field];
        if ((value >> kNibbleBits) > kLargestDecimalDigit ||
            (value & kNibbleMask) > kLargestDecimalDigit) {
            return std::nullopt;  // no timecode on this part of the tape
        }
        packed = packed << kBitsPerByte | value;
    }
    return packed;
}

std::optional<LONG> FireWireCamcorderLink::SignalFromResponse(std::uint32_t response) {
    if (response == avc::kNoResponse || (response & avc::kResponseMask) != avc::kResponseStable) {
        return std::nullopt;
    }
    const std::uint32_t mode = response & avc::kOperandMask & ~avc::kSignalModeFieldsBit;
    return mode == avc::kSignalModeMpegTs || mode == avc::kSignalModeMpegTsHd ? VORNAK_SIGNAL_HDV
                                                                              : VORNAK_SIGNAL_DV;
}

std::optional<std::uint32_t> FireWireCamcorderLink::CommandFor(LONG mode, bool* needsPlayback) {
    struct Entry {
        LONG mode;
        std::uint32_t opcode;
        std::uint32_t operand;
    };
    static constexpr std::array kCommands{
        Entry{ED_MODE_PLAY, avc::kOpcodePlay, avc::kPlayForward},
        Entry{ED_MODE_STOP, avc::kOpcodeWind, avc::kWindStop},
        Entry{ED_MODE_FREEZE, avc::kOpcodePlay, avc::kPlayForwardPause},
        Entry{ED_MODE_FF, avc::kOpcodeWind, avc::kWindFastForward},
        Entry{ED_MODE_REW, avc::kOpcodeWind, avc::kWindRewind},
        Entry{ED_MODE_PLAY_FASTEST_FWD, avc::kOpcodePlay, avc::kPlayFastestForward},
        Entry{ED_MODE_PLAY_FASTEST_REV, avc::kOpcodePlay, avc::kPlayFastestReverse},
    };
    for (const Entry& entry : kCommands) {
        if (entry.mode == mode) {
            *needsPlayback = entry.opcode == avc::kOpcodePlay;
            return avc::VcrControl(entry.opcode, entry.operand);
        }
    }
    return std::nullopt;
}

}  // namespace vornak
