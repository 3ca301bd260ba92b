// One libavcodec decoder fed through its parser: elementary-stream bytes in any cut go in,
// decoded frames come out through a callback. A codec whose input comes already cut into whole
// frames (DV: one frame a sample) goes without a parser, each Feed being one packet. Damage is
// FFmpeg's to pass over; each error it reports is counted, never thrown or logged.
//
// Not thread-safe: its owner serialises every call.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "FfmpegPtr.h"

namespace vornak {

class FfmpegDecoder {
  public:
    // Valid while the call that hands it out runs.
    using FrameSink = std::function<void(const AVFrame& frame)>;

    enum class Framing { kParsed, kWholePackets };

    explicit FfmpegDecoder(AVCodecID codec, Framing framing = Framing::kParsed);
    ~FfmpegDecoder();
    FfmpegDecoder(const FfmpegDecoder&) = delete;
    FfmpegDecoder& operator=(const FfmpegDecoder&) = delete;

    // False when this FFmpeg has no such decoder, or no parser for a parsed one.
    bool Open();
    void Close();
    bool IsOpen() const { return m_context != nullptr; }

    // `pts` travels with the bytes to the frames made of them, in whatever unit it comes.
    void Feed(std::span<const std::uint8_t> data, std::optional<std::int64_t> pts,
              const FrameSink& sink);
    // End of stream: the frame the parser still holds, then every frame the decoder holds
    // back; afterwards the decoder takes a new stream.
    void Drain(const FrameSink& sink);
    // Forgets every byte and frame held back.
    void Discard();

    // The errors counted since the last call, so that each is passed on once however often the
    // decoder is opened again.
    std::uint64_t TakeErrors() { return m_nErrors.exchange(0, std::memory_order_relaxed); }

  private:
    void DecodePacket(const std::uint8_t* data, int size, std::int64_t pts, const FrameSink& sink);
    void ReceiveFrames(const FrameSink& sink);
    bool ResetParser();
    void CountError() { m_nErrors.fetch_add(1, std::memory_order_relaxed); }

    AVCodecID m_codecId;
    Framing m_framing;
    FfmpegPtr<AVCodecContext> m_context;
    FfmpegPtr<AVCodecParserContext> m_parser;
    FfmpegPtr<AVPacket> m_packet;
    FfmpegPtr<AVFrame> m_frame;
    // The parser may read past the end of what it is given: it gets a zero-padded copy.
    std::vector<std::uint8_t> m_padded;
    std::atomic<std::uint64_t> m_nErrors{0};
};

}  // namespace vornak
