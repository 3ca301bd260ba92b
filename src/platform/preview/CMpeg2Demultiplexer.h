// The MPEG-2 demultiplexer of the preview path: one input pin taking a transport stream, and
// output pins made on demand (IMpeg2Demultiplexer), each carrying the elementary streams of the
// PIDs mapped to it (IMPEG2PIDMap) as one PES payload per sample, time-stamped with its PTS.
//
// A camcorder playing DV sends a sample of exactly one whole DV frame instead of transport
// packets; the tape may change between the two at any sample. A DV frame goes whole, as one
// sample timed at the frame rate, to every mapped video and audio pin: the decoders behind them
// take the picture and the sound out of it.
//
// Threads: the stream arrives on the upstream filter's thread (Receive, EndOfStream), which
// must never wait long: a PES that finds no free downstream sample at once is dropped and
// counted. Pins are made, mapped and connected on the graph's thread. The stream lock guards
// the PID routes and every output pin's connection; it is taken after the filter lock, never
// before it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "CBaseFilter.h"
#include "DemuxStatistics.h"
#include "PesAssembler.h"
#include "PreviewInterfaces.h"
#include "TransportStreamFramer.h"

namespace vornak {

class CMpeg2DemuxInputPin;
class CMpeg2DemuxOutputPin;

class CMpeg2Demultiplexer : public CBaseFilter, public IMpeg2Demultiplexer {
  public:
    static constexpr const char* kInputPinName = "MPEG-2 Stream";

    CMpeg2Demultiplexer();
    ~CMpeg2Demultiplexer() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    // The filter's interfaces and IMpeg2Demultiplexer.
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // Only while stopped. E_INVALIDARG for an empty name or one already in use.
    HRESULT CreateOutputPin(const AM_MEDIA_TYPE* pMediaType, const std::string& pszPinName,
                            IPin** ppIPin) override;
    // Only while stopped: disconnects the pin and unmaps its PIDs. The pin object stays until
    // the filter goes, so that references still held elsewhere never dangle.
    HRESULT DeleteOutputPin(const std::string& pszPinName) override;

    // Leaving the stopped state starts every stream afresh.
    HRESULT Pause() override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;
    LONG GetPinVersion() override;

    // For the output pins: routes each PID to `pin` (remapping one routed elsewhere) or away
    // from it. PIDs must be valid.
    void MapPids(std::span<const ULONG> pids, CMpeg2DemuxOutputPin* pin);
    void UnmapPids(std::span<const ULONG> pids, const CMpeg2DemuxOutputPin* pin);

    // For the input pin, on the upstream thread.
    void ProcessStream(std::span<const std::uint8_t> data);
    void EndOfStream();
    void ResetStreams();

    // Taken around anything that touches an output pin's connection or delivers through it.
    std::mutex& StreamLock() { return m_streamLock; }
    DemuxStatistics& Statistics() { return m_statistics; }
    const DemuxStatistics& Statistics() const { return m_statistics; }

  private:
    struct Route {
        CMpeg2DemuxOutputPin* pin;
        std::unique_ptr<PesAssembler> assembler;
    };

    void HandlePacket(std::span<const std::uint8_t> bytes);
    void HandleDvFrame(std::span<const std::uint8_t> frame);
    // The PES packets still gathering are complete: the stream ends or changes kind.
    void FinishPayloads();
    CMpeg2DemuxOutputPin* FindOutputPin(const std::string& name) const;

    DemuxStatistics m_statistics;
    std::unique_ptr<CMpeg2DemuxInputPin> m_pInput;
    // Changed under both the filter lock and the stream lock, so either suffices to read it.
    std::vector<std::unique_ptr<CMpeg2DemuxOutputPin>> m_outputs;
    // Deleted pins, kept alive until the filter goes.
    std::vector<std::unique_ptr<CMpeg2DemuxOutputPin>> m_retired;
    LONG m_pinVersion = 1;

    std::mutex m_streamLock;
    TransportStreamFramer m_framer;
    std::unordered_map<std::uint16_t, Route> m_routes;
    // DV frames since the tape turned to DV, which time them; none while transport packets flow.
    std::optional<std::int64_t> m_dvFrames;
};

}  // namespace vornak
