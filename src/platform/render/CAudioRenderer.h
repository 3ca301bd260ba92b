// The preview's audio renderer, in the role of the default DirectSound renderer: it plays the
// decoded sound through an AudioPlayback (the machine's sound output) as it arrives.
//
// It never holds the stream up: sound that does not fit the playback's small buffer is dropped,
// and sound that arrives while the graph is only paused is not played. Without a sound output
// its pin refuses every connection, so that rendering an audio stream fails and the preview
// goes without sound.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "AudioPlayback.h"
#include "CBaseFilter.h"
#include "PreviewInterfaces.h"

namespace vornak {

class CAudioRendererInputPin;

class CAudioRenderer : public CBaseFilter, public IPreviewSound {
  public:
    // The name the graph gives the renderer it adds on its own.
    static constexpr char kFilterName[] = "Default DirectSound Device";

    struct Counts {
        std::uint64_t receivedBytes = 0;
        std::uint64_t playedBytes = 0;   // taken by the playback
        std::uint64_t droppedBytes = 0;  // did not fit, or came while paused
    };

    explicit CAudioRenderer(std::unique_ptr<AudioPlayback> playback);
    ~CAudioRenderer() override;

    // One count for the filter's two faces.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // The filter interfaces and IPreviewSound.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPreviewSound: the playback's.
    HRESULT SetVolume(float volume) override;
    std::uint32_t OutputLosses() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

    // For the pin.
    AudioPlayback& Playback() { return *m_pPlayback; }
    void CountReceived(std::uint64_t received, std::uint64_t played);

    Counts GetCounts() const;

  private:
    std::unique_ptr<AudioPlayback> m_pPlayback;
    std::unique_ptr<CAudioRendererInputPin> m_pPin;
    std::atomic<std::uint64_t> m_nReceived{0};
    std::atomic<std::uint64_t> m_nPlayed{0};
};

}  // namespace vornak
