// The AV/C side of one camcorder: its tape transport commands, its transport state, its device
// type and its timecode, sent on a raw1394 handle of the link's own.
//
// The camcorder is known by its GUID. Before each command the link checks that the node it
// talks to still has that GUID and, if not (a bus reset renumbered the nodes or the camcorder
// went), finds it again on the buses; a camcorder no bus has any more is lost. So is one that
// leaves several transactions in a row unanswered. A lost link refuses everything with
// E_DEVICE_NOT_CONNECTED and reports the loss once through its handler.
//
// Mode mapping. libavc1394's avc1394_vcr_* helpers decide what to send from the state they find
// (a second avc1394_vcr_play slows to the slowest forward speed, avc1394_vcr_pause toggles and,
// on a camcorder in record pause, starts recording) and return nothing, so the link sends the
// commands those helpers send in the plain case itself and reads the response:
//   ED_MODE_PLAY              PLAY forward                  (avc1394_vcr_play)
//   ED_MODE_STOP              WIND stop                     (avc1394_vcr_stop)
//   ED_MODE_FREEZE            PLAY forward pause            (avc1394_vcr_pause while playing)
//   ED_MODE_FF                WIND fast forward             (avc1394_vcr_forward while stopped)
//   ED_MODE_REW               WIND rewind                   (avc1394_vcr_rewind while stopped)
//   ED_MODE_PLAY_FASTEST_FWD  PLAY fastest forward          (avc1394_vcr_forward while playing)
//   ED_MODE_PLAY_FASTEST_REV  PLAY fastest reverse          (avc1394_vcr_rewind while playing)
// (avc1394_vcr_next and _previous step one frame; they are not fast play.)
//
// Safety: in camera mode a PLAY command can make a camcorder record over the tape. Every PLAY
// command is preceded by a transport state inquiry and sent only when the camcorder answers
// with a tape playback state (PLAY or WIND); otherwise it is refused with VFW_E_WRONG_STATE and
// not sent. RECORD is never sent.
//
// Bus resets. On the kernel's firewire-core stack a handle learns of a bus reset only from the
// events of the machine's own node file, which is often not readable; until it learns, every
// request it sends fails with a generation error. The link takes such an error as a bus reset:
// it drops its handle (a new one starts from the bus's generation now) and finds the camcorder
// again by GUID. Finding it is tried again after 100 ms, 250 ms, 500 ms and 1 s, across a
// burst of resets, before the camcorder counts as gone.
//
// Answers IN TRANSITION (the tape mechanism changing state) stand for the last stable
// transport state for up to 2 s in a row, so that play and pause are not refused meanwhile.
//
// Every AV/C exchange holds the camcorder's AvcConversation lock, which the device listing
// takes too.
//
// Thread-safe: every method may be called from any thread; commands are serialised.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "DeviceControl.h"
#include "FireWireBus.h"
#include "FireWireHandle.h"
#include "FireWireLibrary.h"
#include "HResult.h"

namespace vornak {

class FireWireCamcorderLink {
  public:
    // Unanswered transactions in a row after which the camcorder counts as gone.
    static constexpr int kFailuresBeforeLost = 3;
    // ED_MODE_RECORD: what get_Mode reports for a camcorder that records (Vornak never asks
    // for it, but the user can press the button).
    static constexpr LONG kModeRecord = 4302;

    // How long answers IN TRANSITION may stand for the last stable state.
    static constexpr std::chrono::seconds kTransitionHold{2};
    // The pauses between attempts to find the camcorder again.
    static const std::vector<std::chrono::milliseconds> kRelocatePauses;

    // Called without the link's lock held, once, when the link finds the camcorder lost.
    using LostHandler = std::function<void()>;

    FireWireCamcorderLink(std::shared_ptr<FireWireLibrary> library, std::uint64_t guid,
                          FireWireBus::Location location, LostHandler onLost);
    FireWireCamcorderLink(const FireWireCamcorderLink&) = delete;
    FireWireCamcorderLink& operator=(const FireWireCamcorderLink&) = delete;

    // E_INVALIDARG for a mode without a command, VFW_E_WRONG_STATE for a PLAY command to a
    // camcorder not in tape playback, E_FAIL when the camcorder refuses or does not answer.
    HRESULT SetMode(LONG mode);
    HRESULT GetMode(LONG* mode);
    // ED_DEVTYPE_VCR while the camcorder reports tape playback, else ED_DEVTYPE_CAMERA.
    HRESULT GetDeviceType(LONG* type);
    // The tape's timecode as eight BCD digits (HH MM SS FF).
    HRESULT GetTimecode(DWORD* bcd);
    // VORNAK_SIGNAL_HDV or VORNAK_SIGNAL_DV from the OUTPUT SIGNAL MODE status; E_NOTIMPL when
    // the camcorder does not answer that question, E_FAIL when it does not answer at all.
    HRESULT GetOutputSignal(LONG* signal);

    // Finds the camcorder again (after a bus reset): where it is now, or none when it is lost;
    // `generation`, when given, gets the bus generation under which it was found.
    std::optional<FireWireBus::Location> Relocate(unsigned int* generation = nullptr);
    FireWireBus::Location CurrentLocation() const;
    std::uint64_t Guid() const { return m_guid; }
    bool IsLost() const { return m_lost.load(std::memory_order_acquire); }
    // Marks the camcorder lost (from the stream's side); the handler is not called.
    void MarkLost() { m_lost.store(true, std::memory_order_release); }

    // A transport state response read as a transport mode: the nearest of the ED_MODE_ values.
    static LONG ModeFromStatus(std::uint32_t response);
    // True when a transport state response shows tape playback (VCR mode).
    static bool ReportsTapePlayback(std::uint32_t response);
    // avc1394_vcr_get_timecode2's text as eight BCD digits; none when it holds no valid time.
    static std::optional<DWORD> ParseTimecode(const std::string& text);
    // The command quadlet for a transport mode, and whether it needs tape playback; none for
    // modes without one.
    static std::optional<std::uint32_t> CommandFor(LONG mode, bool* needsPlayback);
    // An OUTPUT SIGNAL MODE answer read as a signal; none when it carries no mode.
    static std::optional<LONG> SignalFromResponse(std::uint32_t response);

    // Tests shorten the pauses between attempts to find the camcorder again.
    void SetRelocatePauses(std::vector<std::chrono::milliseconds> pauses);

  private:
    // Each runs under m_mutex and sets `lostNow` when it has found the camcorder lost.
    std::optional<std::uint16_t> VerifiedNode(bool& lostNow);
    std::optional<std::uint16_t> RelocateLocked(bool& lostNow);
    // One AV/C exchange; a generation error is taken as a bus reset: the camcorder is found
    // again and asked once more.
    std::uint32_t Ask(std::uint32_t command, bool& lostNow);
    std::uint32_t AskOnce(std::uint32_t command, bool* staleGeneration);
    // A transport state inquiry, an answer IN TRANSITION standing for the last stable state.
    std::uint32_t AskState(bool& lostNow);
    HRESULT SetModeLocked(LONG mode, bool& lostNow);
    HRESULT GetStatusLocked(std::uint32_t* response, bool& lostNow);
    HRESULT GetTimecodeLocked(DWORD* bcd, bool& lostNow);
    void DeclareLostLocked(bool& lostNow);
    void OpenHandleLocked();
    // The result of a call: E_DEVICE_NOT_CONNECTED once lost; reports a loss found in it.
    HRESULT Finish(HRESULT hr, bool lostNow);

    std::shared_ptr<FireWireLibrary> m_library;
    const std::uint64_t m_guid;
    LostHandler m_onLost;
    FireWireBus m_bus;
    std::atomic<bool> m_lost{false};

    mutable std::mutex m_mutex;
    FireWireBus::Location m_location;  // guarded by m_mutex
    FireWireHandle m_handle;           // guarded by m_mutex; opened on first use
    unsigned int m_generation = 0;     // guarded by m_mutex; m_handle's as it was opened
    int m_failures = 0;                // guarded by m_mutex
    // The last stable transport state, and since when answers have been IN TRANSITION.
    std::optional<std::uint32_t> m_lastStable;                          // guarded by m_mutex
    std::optional<std::chrono::steady_clock::time_point> m_transition;  // guarded by m_mutex
    std::vector<std::chrono::milliseconds> m_relocatePauses;            // guarded by m_mutex
    std::shared_ptr<std::mutex> m_conversation;
};

}  // namespace vornak
