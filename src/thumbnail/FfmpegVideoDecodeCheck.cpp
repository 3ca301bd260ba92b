#include "FfmpegVideoDecodeCheck.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>

#include "FfmpegLog.h"
#include "FfmpegPointers.h"
#include "TsPacket.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vornak {

namespace {

constexpr std::size_t kStartCodeSize = 4;  // 00 00 01 xx
// picture_coding_type: three bits after the ten of temporal_reference.
constexpr std::size_t kCodingTypeByte = 1;  // counted from the byte after the start code
constexpr int kCodingTypeShift = 3;
constexpr std::uint8_t kCodingTypeMask = 0x7;
constexpr std::uint8_t kCodingI = 1;
constexpr std::uint8_t kCodingP = 2;
constexpr std::uint8_t kCodingB = 3;
// closed_gop: after the 25 bits of time_code.
constexpr std::size_t kClosedGopByte = 3;
constexpr std::uint8_t kClosedGopBit = 0x40;
// A sequence header with its extensions and matrices is a few hundred bytes at most; beyond
// that the comparison is of no use.
constexpr std::size_t kMaxSequenceBytes = 512;
// A PES packet that has not ended after this many bytes lost its successor's start: the rest
// is dropped, and the picture decodes cut short.
constexpr std::size_t kMaxPesBytes = std::size_t{16} << 20;
// A picture that has not come out of the decoder by the time one sent this many PES packets
// after it has, never will: the decoder holds back one reference picture and reorders at most
// a run of B-pictures, far shorter than this.
constexpr std::uint64_t kOutputWindow = 64;

// What the headers before a PES packet's first slice say.
struct PesHeaders {
    bool picture = false;  // a picture header
    bool slices = false;   // slice data: a picture, even with its header destroyed
    std::uint8_t codingType = 0;
    bool closedGroup = false;
    std::size_t sequenceAt = 0;  // the sequence header and its extensions, when there is one
    std::size_t sequenceSize = 0;
};

// Reads the start codes up to the first slice; a picture's headers come before its slices, so
// only the first few hundred bytes of a picture are looked at.
PesHeaders ReadPesHeaders(const std::uint8_t* data, std::size_t size) {
    PesHeaders headers;
    bool inSequence = false;
    for (std::size_t i = 0; i + kStartCodeSize <= size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) {
            continue;
        }
        const std::uint8_t code = data[i + 3];
        const std::size_t after = i + kStartCodeSize;
        if (inSequence && (code == GROUP_START_BYTE || code == PICTURE_START_BYTE ||
                           (code >= SLICE_START_MIN && code <= SLICE_START_MAX))) {
            inSequence = false;
            headers.sequenceSize = std::min(i - headers.sequenceAt, kMaxSequenceBytes);
        }
        if (code >= SLICE_START_MIN && code <= SLICE_START_MAX) {
            headers.slices = true;
            break;
        }
        if (code == PICTURE_START_BYTE) {
            headers.picture = true;
            if (after + kCodingTypeByte < size) {
                headers.codingType = static_cast<std::uint8_t>(
                    (data[after + kCodingTypeByte] >> kCodingTypeShift) & kCodingTypeMask);
            }
        } else if (code == GROUP_START_BYTE && after + kClosedGopByte < size) {
            headers.closedGroup = (data[after + kClosedGopByte] & kClosedGopBit) != 0;
        } else if (code == SEQUENCE_HEADER_BYTE) {
            inSequence = true;
            headers.sequenceAt = i;
        }
        i += kStartCodeSize - 1;
    }
    if (inSequence) {
        headers.sequenceSize = std::min(size - headers.sequenceAt, kMaxSequenceBytes);
    }
    return headers;
}

int DecoderThreads(int asked) {
#if defined(__SANITIZE_THREAD__)
    // libavcodec's slice threads hand their work back through atomics in a library that
    // ThreadSanitizer has not instrumented, which it takes for races.
    static_cast<void>(asked);
    return 1;
#else
    return asked;
#endif
}

}  // namespace

class FfmpegVideoDecodeCheck::Decoder {
  public:
    explicit Decoder(const Options& options) {
        SilenceFfmpegLog();
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG2VIDEO);
        m_packet.reset(av_packet_alloc());
        m_frame.reset(av_frame_alloc());
        if (codec == nullptr || !m_packet || !m_frame) {
            return;
        }
        m_context.reset(avcodec_alloc_context3(codec));
        if (!m_context) {
            return;
        }
        m_context->thread_count = DecoderThreads(options.threads);
        // Slice threads decode each picture's rows side by side within the call that sends it,
        // so that whatever the decoder says of a packet belongs to that packet.
        m_context->thread_type = FF_THREAD_SLICE;
        // Damage the decoder would otherwise pass over in silence is marked on the picture. Not
        // the strict bitstream check: it takes the zero bytes a constant-rate encoder stuffs
        // after a picture's last slice for an error, and every such picture would fail.
        m_context->err_recognition = AV_EF_CAREFUL | AV_EF_BUFFER;
        if (!options.reconstruct) {
            m_context->skip_idct = AVDISCARD_ALL;
        }
        if (avcodec_open2(m_context.get(), codec, nullptr) != 0) {
            m_context.reset();
            return;
        }
    }

    bool Available() const { return m_context != nullptr; }
    std::uint64_t PacketsDecoded() const { return m_sent; }
    std::uint64_t PicturesOut() const { return m_out; }

    void Feed(const std::uint8_t* payload, std::size_t size, bool unitStart, std::uint64_t tag) {
        if (unitStart) {
            SendPes();
            m_inPes = true;
            m_pesTag = tag;
        }
        if (!m_inPes || payload == nullptr) {
            return;  // the rest of a PES packet begun before the start: not ours to judge
        }
        const std::size_t room = kMaxPesBytes - std::min(kMaxPesBytes, m_pes.size());
        m_pes.insert(m_pes.end(), payload, payload + std::min(size, room));
    }

    void Flush() {
        SendPes();
        Drain();
        m_sequence.clear();
    }

    void TakeFailures(std::vector<std::uint64_t>& tags) {
        std::sort(m_failures.begin(), m_failures.end());
        tags.insert(tags.end(), m_failures.begin(), m_failures.end());
        m_failures.clear();
    }

  private:
    struct Pending {
        std::uint64_t tag = 0;
        std::uint64_t index = 0;  // in the order sent
        bool judged = false;
    };

    void SendPes() {
        if (!m_inPes) {
            return;
        }
        m_inPes = false;
        const std::size_t size = m_pes.size();
        if (size == 0 || !m_context) {
            m_pes.clear();
            return;
        }
        const PesHeaders headers = ReadPesHeaders(m_pes.data(), size);
        if (headers.sequenceSize > 0) {
            const auto sequence = m_pes.begin() + static_cast<std::ptrdiff_t>(headers.sequenceAt);
            const auto sequenceEnd = sequence + static_cast<std::ptrdiff_t>(headers.sequenceSize);
            // libavcodec starts afresh at a sequence unlike the last, and drops the reference
            // picture it held back: the pictures before are drained first, so that each that
            // went in comes out.
            if (!m_sequence.empty() &&
                !std::equal(sequence, sequenceEnd, m_sequence.begin(), m_sequence.end())) {
                Drain();
            }
            m_sequence.assign(sequence, sequenceEnd);
        }
        const bool picture = headers.picture || headers.slices;
        const bool judged = picture && Judged(headers);
        if (picture) {
            m_pending.push_back({m_pesTag, m_sent, judged});
        }
        m_pes.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        AVPacket* packet = m_packet.get();
        av_packet_unref(packet);
        packet->data = m_pes.data();  // copied by the decoder
        packet->size = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
        packet->pos = static_cast<std::int64_t>(m_pesTag);
        m_lastTag = m_pesTag;
        m_anySent = true;
        ++m_sent;
        const int sent = avcodec_send_packet(m_context.get(), packet);
        packet->data = nullptr;
        packet->size = 0;
        m_pes.clear();
        if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF) {
            FailResult();
        }
        Receive();
    }

    // Whether the picture can be told damaged at all: see the header.
    bool Judged(const PesHeaders& headers) {
        if (!m_synced) {
            if (headers.codingType != kCodingI) {
                return false;
            }
            m_synced = true;
            m_leadingB = !headers.closedGroup;
            return true;
        }
        if (headers.codingType == kCodingB) {
            return !m_leadingB;
        }
        if (headers.codingType == kCodingI || headers.codingType == kCodingP) {
            m_leadingB = false;
        }
        return true;
    }

    void Receive() {
        AVFrame* frame = m_frame.get();
        int got = 0;
        while ((got = avcodec_receive_frame(m_context.get(), frame)) == 0) {
            ++m_out;
            const bool damaged =
                frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0;
            Out(static_cast<std::uint64_t>(frame->pkt_pos), damaged);
            av_frame_unref(frame);
        }
        if (got != AVERROR(EAGAIN) && got != AVERROR_EOF) {
            FailResult();
        }
    }

    // A picture came out: it is judged, and so is every picture sent long before it that has
    // not.
    void Out(std::uint64_t tag, bool damaged) {
        const auto it = std::find_if(m_pending.begin(), m_pending.end(),
                                     [tag](const Pending& p) { return p.tag == tag; });
        if (it == m_pending.end()) {
            return;  // judged already (an error reported for it), or none of ours
        }
        const std::uint64_t index = it->index;
        if (damaged && it->judged) {
            m_failures.push_back(tag);
        }
        m_pending.erase(it);
        while (!m_pending.empty() && m_pending.front().index + kOutputWindow < index) {
            FailPending(m_pending.begin());
        }
    }

    // The decoder refused the packet sent last.
    void FailResult() {
        if (!m_anySent) {
            return;
        }
        const std::uint64_t tag = m_lastTag;
        const auto it = std::find_if(m_pending.begin(), m_pending.end(),
                                     [tag](const Pending& p) { return p.tag == tag; });
        if (it != m_pending.end()) {
            FailPending(it);
        }
    }

    void FailPending(std::deque<Pending>::iterator it) {
        if (it->judged) {
            m_failures.push_back(it->tag);
        }
        m_pending.erase(it);
    }

    // Everything sent comes out; what does not, failed. The decoder then starts afresh.
    void Drain() {
        if (!m_context) {
            return;
        }
        avcodec_send_packet(m_context.get(), nullptr);
        Receive();
        while (!m_pending.empty()) {
            FailPending(m_pending.begin());
        }
        avcodec_flush_buffers(m_context.get());
        m_anySent = false;
        m_synced = false;
        m_leadingB = false;
    }

    CodecContextPtr m_context;
    PacketPtr m_packet;
    FramePtr m_frame;
    std::vector<std::uint8_t> m_pes;  // the PES packet being gathered, with room for padding
    std::uint64_t m_pesTag = 0;
    bool m_inPes = false;
    std::vector<std::uint8_t> m_sequence;  // the last sequence header, to see it change
    std::deque<Pending> m_pending;         // pictures sent that have not come out
    std::uint64_t m_lastTag = 0;           // of the packet sent last, since the start
    bool m_anySent = false;
    std::vector<std::uint64_t> m_failures;
    bool m_synced = false;    // an I-picture was sent since the start
    bool m_leadingB = false;  // B-pictures now may refer to a picture before the start
    std::uint64_t m_sent = 0;
    std::uint64_t m_out = 0;
};

FfmpegVideoDecodeCheck::FfmpegVideoDecodeCheck() : FfmpegVideoDecodeCheck(Options{}) {}
FfmpegVideoDecodeCheck::FfmpegVideoDecodeCheck(const Options& options)
    : m_decoder(std::make_unique<Decoder>(options)) {}
FfmpegVideoDecodeCheck::~FfmpegVideoDecodeCheck() = default;

bool FfmpegVideoDecodeCheck::Available() const {
    return m_decoder->Available();
}

void FfmpegVideoDecodeCheck::Feed(const std::uint8_t* payload, std::size_t size, bool unitStart,
                                  std::uint64_t tag) {
    m_decoder->Feed(payload, size, unitStart, tag);
}

void FfmpegVideoDecodeCheck::Flush() {
    m_decoder->Flush();
}

void FfmpegVideoDecodeCheck::TakeFailures(std::vector<std::uint64_t>& tags) {
    m_decoder->TakeFailures(tags);
}

std::uint64_t FfmpegVideoDecodeCheck::PacketsDecoded() const {
    return m_decoder->PacketsDecoded();
}

std::uint64_t FfmpegVideoDecodeCheck::PicturesOut() const {
    return m_decoder->PicturesOut();
}

std::unique_ptr<VideoDecodeCheck> MakeFfmpegVideoDecodeCheck() {
    return std::make_unique<FfmpegVideoDecodeCheck>();
}

}  // namespace vornak
