#include "FfmpegDecoder.h"

#include <algorithm>
#include <climits>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace vornak {
namespace {

// Decoding runs on the stream's thread; FFmpeg's own threads would only add delay to a preview.
constexpr int kDecoderThreads = 1;

// Damaged input is expected (a camcorder's tape drops out); its reports belong in counts, not
// on the terminal.
void SilenceFfmpegOnce() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace

FfmpegDecoder::FfmpegDecoder(AVCodecID codec, Framing framing)
    : m_codecId(codec), m_framing(framing) {}

FfmpegDecoder::~FfmpegDecoder() = default;

bool FfmpegDecoder::Open() {
    Close();
    SilenceFfmpegOnce();
    const AVCodec* codec = avcodec_find_decoder(m_codecId);
    if (codec == nullptr) {
        return false;
    }
    FfmpegPtr<AVCodecContext> context(avcodec_alloc_context3(codec));
    m_packet.reset(av_packet_alloc());
    m_frame.reset(av_frame_alloc());
    if (!context || !m_packet || !m_frame) {
        Close();
        return false;
    }
    context->thread_count = kDecoderThreads;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        Close();
        return false;
    }
    m_context = std::move(context);
    if (!ResetParser()) {
        Close();
        return false;
    }
    return true;
}

void FfmpegDecoder::Close() {
    m_parser.reset();
    m_context.reset();
    m_packet.reset();
    m_frame.reset();
    m_padded.clear();
}

bool FfmpegDecoder::ResetParser() {
    if (m_framing == Framing::kWholePackets) {
        return true;
    }
    m_parser.reset(av_parser_init(m_codecId));
    return static_cast<bool>(m_parser);
}

void FfmpegDecoder::Feed(std::span<const std::uint8_t> data, std::optional<std::int64_t> pts,
                         const FrameSink& sink) {
    if (!IsOpen() || data.empty()) {
        return;
    }
    m_padded.assign(data.begin(), data.end());
    m_padded.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    const std::int64_t timestamp = pts.value_or(AV_NOPTS_VALUE);
    if (m_framing == Framing::kWholePackets) {
        if (data.size() > static_cast<std::size_t>(INT_MAX)) {
            CountError();
            return;
        }
        DecodePacket(m_padded.data(), static_cast<int>(data.size()), timestamp, sink);
        return;
    }

    const std::uint8_t* next = m_padded.data();
    std::size_t left = data.size();
    while (left > 0) {
        const int chunk = static_cast<int>(std::min<std::size_t>(left, INT_MAX));
        std::uint8_t* frameData = nullptr;
        int frameSize = 0;
        const int used = av_parser_parse2(m_parser.get(), m_context.get(), &frameData, &frameSize,
                                          next, chunk, timestamp, AV_NOPTS_VALUE, 0);
        if (used < 0) {
            CountError();
            return;
        }
        next += used;
        left -= static_cast<std::size_t>(used);
        if (frameSize > 0) {
            DecodePacket(frameData, frameSize, m_parser->pts, sink);
        } else if (used == 0) {
            return;  // no progress: nothing more to be had from these bytes
        }
    }
}

void FfmpegDecoder::Drain(const FrameSink& sink) {
    if (!IsOpen()) {
        return;
    }
    if (m_parser) {
        std::uint8_t* frameData = nullptr;
        int frameSize = 0;
        av_parser_parse2(m_parser.get(), m_context.get(), &frameData, &frameSize, nullptr, 0,
                         AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (frameSize > 0) {
            DecodePacket(frameData, frameSize, m_parser->pts, sink);
        }
    }
    if (avcodec_send_packet(m_context.get(), nullptr) == 0) {
        ReceiveFrames(sink);
    }
    Discard();
}

void FfmpegDecoder::Discard() {
    if (!IsOpen()) {
        return;
    }
    avcodec_flush_buffers(m_context.get());
    if (!ResetParser()) {
        Close();
    }
}

void FfmpegDecoder::DecodePacket(const std::uint8_t* data, int size, std::int64_t pts,
                                 const FrameSink& sink) {
    AVPacket* packet = m_packet.get();
    av_packet_unref(packet);
    // Not reference-counted: the decoder copies the bytes (with padding) before it keeps them.
    packet->data = const_cast<std::uint8_t*>(data);
    packet->size = size;
    packet->pts = pts;
    int result = avcodec_send_packet(m_context.get(), packet);
    if (result == AVERROR(EAGAIN)) {
        ReceiveFrames(sink);
        result = avcodec_send_packet(m_context.get(), packet);
    }
    packet->data = nullptr;
    packet->size = 0;
    if (result < 0 && result != AVERROR_EOF) {
        CountError();
    }
    ReceiveFrames(sink);
}

void FfmpegDecoder::ReceiveFrames(const FrameSink& sink) {
    AVFrame* frame = m_frame.get();
    for (;;) {
        const int result = avcodec_receive_frame(m_context.get(), frame);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
            return;
        }
        if (result < 0) {
            CountError();
            return;
        }
        if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
            CountError();  // shown all the same: a damaged picture beats none in a preview
        }
        sink(*frame);
        av_frame_unref(frame);
    }
}

}  // namespace vornak
