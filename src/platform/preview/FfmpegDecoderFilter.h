// The base of the preview's FFmpeg decoders: one FfmpegDecoder opened when streaming starts and
// closed when it stops, fed each input sample, drained at the end of the stream and emptied by
// a flush, with the damage it meets passed on to the filter's count. A subclass says what the
// output connection's type means to it and turns each decoded frame into output samples.
//
// A tape may change between HDV and DV at any sample, and a DV stretch reaches every decoder as
// samples of one whole DV frame each. Such a sample goes to DecodeDvFrame instead of the
// decoder; at each change of kind the side that is left hands out what it still holds and the
// stream restarts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "CDecoderFilter.h"
#include "FfmpegDecoder.h"

namespace vornak {

class FfmpegDecoderFilter : public CDecoderFilter {
  public:
    FfmpegDecoderFilter(const char* objectName, const CLSID& clsid, AVCodecID codec);
    ~FfmpegDecoderFilter() override;

  protected:
    // Before the decoder opens: what to make of the output connection's type, an invalid type
    // while the output is not connected. Stream lock held.
    virtual void TakeOutputType(const CMediaType& output) = 0;
    // One decoded frame, valid during the call. Stream lock held.
    virtual void DeliverFrame(const AVFrame& frame) = 0;
    // The stream starts afresh (streaming starts, or it was drained or flushed, or it changed
    // between DV and the decoder's own kind): forget what one frame carries over to the next.
    // Stream lock held.
    virtual void RestartStream() {}
    // One whole DV frame, its bytes as the camcorder sent them; `start` as for Decode. Stream
    // lock held.
    virtual void DecodeDvFrame(std::span<const std::uint8_t> frame,
                               std::optional<REFERENCE_TIME> start) = 0;
    // A DV stretch ended (the decoder's own kind follows, or the stream ends): hand out what is
    // held back from it. Stream lock held.
    virtual void DrainDv() {}
    // Streaming stops. Stream lock held.
    virtual void StopDv() {}

    // Delivers one output sample filled by `convert`; a conversion that writes nothing counts as
    // damage. Stream lock held.
    void DeliverConverted(const SampleFiller& convert, std::optional<REFERENCE_TIME> start,
                          std::optional<REFERENCE_TIME> stop);

    HRESULT StartStreaming(const CMediaType& output) final;
    void StopStreaming() final;
    void Decode(std::span<const std::uint8_t> data, std::optional<REFERENCE_TIME> start) final;
    void Drain() final;
    void Discard() final;

  private:
    void TakeDecoderErrors();

    FfmpegDecoder m_decoder;
    bool m_bInDv = false;  // the last sample was a DV frame; stream lock
};

}  // namespace vornak
