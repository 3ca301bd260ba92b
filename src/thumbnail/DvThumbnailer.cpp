#include "DvThumbnailer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "DvFrameInfo.h"
#include "DvFrameParser.h"
#include "DvFrameReader.h"
#include "FfmpegLog.h"
#include "FfmpegPointers.h"
#include "ThumbnailScaler.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vornak {

namespace {

// Reads of four 625/50 frames; the frame reader needs one whole frame's room besides.
constexpr std::size_t kBufferBytes = 4 * dv::kMaxFrameSize;
static_assert(kBufferBytes >= 2 * dv::DvFrameReader::kMinBuffer);
// The decoding runs on the caller's thread, beside a listing; FFmpeg's own threads would only
// compete with it.
constexpr int kDecoderThreads = 1;

// Opened without blocking: a FIFO in a scene's place must not hold the thread up.
class ReadOnlyFd {
  public:
    explicit ReadOnlyFd(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~ReadOnlyFd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ReadOnlyFd(const ReadOnlyFd&) = delete;
    ReadOnlyFd& operator=(const ReadOnlyFd&) = delete;
    int Get() const { return m_fd; }

  private:
    int m_fd;
};

}  // namespace

// Takes a scene's whole frames in order until one is clean and decodes; keeps the first marked
// frame that decodes in case none does.
class DvThumbnailer::Decoder {
  public:
    bool Open() {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVVIDEO);
        if (codec == nullptr) {
            return false;
        }
        m_context.reset(avcodec_alloc_context3(codec));
        m_packet.reset(av_packet_alloc());
        m_frame.reset(av_frame_alloc());
        if (!m_context || !m_packet || !m_frame) {
            return false;
        }
        m_context->thread_count = kDecoderThreads;
        return avcodec_open2(m_context.get(), codec, nullptr) == 0;
    }

    // A new scene: nothing of the last one is held.
    void Begin() {
        m_clean = RgbImage{};
        m_marked = RgbImage{};
        m_frames = 0;
    }

    // One whole frame of the scene. True when no more are needed.
    bool Offer(std::span<const std::uint8_t> frame) {
        dv::DvFrameInfo info;
        if (dv::DvFrameParser::Parse(frame, info)) {
            const bool clean = info.videoBlocksInError == 0;
            if (clean || m_marked.Empty()) {
                Decode(frame, info.aspect, clean ? m_clean : m_marked);
            }
        }
        ++m_frames;
        return !m_clean.Empty() || m_frames >= kMaxFrames;
    }

    // The scene's picture: its first clean frame, or else its first marked one.
    Status Take(RgbImage& image) {
        RgbImage& best = m_clean.Empty() ? m_marked : m_clean;
        if (best.Empty()) {
            return Status::NoPicture;
        }
        image = std::move(best);
        return Status::Made;
    }

  private:
    // A DV frame needs no other: one packet in, one picture out.
    void Decode(std::span<const std::uint8_t> frame, dv::DvAspect aspect, RgbImage& image) {
        AVPacket* packet = m_packet.get();
        av_packet_unref(packet);
        packet->data = const_cast<std::uint8_t*>(frame.data());  // copied by the decoder
        packet->size = static_cast<int>(frame.size());
        const int sent = avcodec_send_packet(m_context.get(), packet);
        packet->data = nullptr;
        packet->size = 0;
        if (sent != 0) {
            return;
        }
        const auto [width, height] = ThumbnailSize(aspect);
        AVFrame* picture = m_frame.get();
        bool scaled = false;
        while (avcodec_receive_frame(m_context.get(), picture) == 0) {
            if (!scaled) {
                scaled = m_scaler.Scale(*picture, width, height, image);
            }
            av_frame_unref(picture);
        }
    }

    CodecContextPtr m_context;
    PacketPtr m_packet;
    FramePtr m_frame;
    ThumbnailScaler m_scaler;
    RgbImage m_clean;   // the first clean frame's picture
    RgbImage m_marked;  // the first marked frame's, until a clean one comes
    int m_frames = 0;
};

DvThumbnailer::DvThumbnailer() = default;
DvThumbnailer::~DvThumbnailer() = default;

bool DvThumbnailer::OpenDecoder() {
    SilenceFfmpegLog();
    if (!m_decoder) {
        auto decoder = std::make_unique<Decoder>();
        if (!decoder->Open()) {
            return false;
        }
        m_decoder = std::move(decoder);
    }
    m_decoder->Begin();
    return true;
}

DvThumbnailer::Status DvThumbnailer::Make(const std::string& path, std::uint64_t offset,
                                          std::uint64_t length, RgbImage& image) {
    image = RgbImage{};
    const ReadOnlyFd file(path);
    const int fd = file.Get();
    if (fd < 0) {
        return Status::CannotOpen;
    }
    if (!OpenDecoder()) {
        return Status::NoDvDecoder;
    }
    Decoder& decoder = *m_decoder;
    dv::DvFrameReader reader;
    std::vector<std::uint8_t> buffer(kBufferBytes);
    std::size_t filled = 0;  // bytes in the buffer not handed out by the reader yet
    std::uint64_t pos = offset;
    const std::uint64_t end = offset + std::min(length, kMaxScanBytes);
    bool atEnd = false;
    bool done = false;
    while (!done) {
        while (!atEnd && filled < buffer.size()) {
            const std::size_t want = static_cast<std::size_t>(
                std::min<std::uint64_t>(buffer.size() - filled, end - pos));
            const ssize_t got =
                want == 0 ? 0 : ::pread(fd, buffer.data() + filled, want, static_cast<off_t>(pos));
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return Status::CannotRead;
            }
            atEnd = got == 0;
            filled += static_cast<std::size_t>(got);
            pos += static_cast<std::uint64_t>(got);
        }
        const std::span<const std::uint8_t> held(buffer.data(), filled);
        std::size_t used = 0;
        dv::DvPiece piece;
        while (!done && reader.Next(held.subspan(used), atEnd, piece)) {
            used += piece.bytes.size();
            if (piece.kind == dv::DvPieceKind::kFrame) {
                done = decoder.Offer(piece.bytes);
            }
        }
        // At the end every byte has been handed out; a reader that takes nothing from a full
        // buffer would take nothing from it ever.
        done = done || atEnd || used == 0;
        std::memmove(buffer.data(), buffer.data() + used, filled - used);
        filled -= used;
    }
    return decoder.Take(image);
}

DvThumbnailer::Status DvThumbnailer::Make(std::span<const std::uint8_t> scene, RgbImage& image) {
    image = RgbImage{};
    if (!OpenDecoder()) {
        return Status::NoDvDecoder;
    }
    Decoder& decoder = *m_decoder;
    dv::DvFrameReader reader;
    std::size_t used = 0;
    dv::DvPiece piece;
    while (reader.Next(scene.subspan(used), true, piece)) {
        used += piece.bytes.size();
        if (piece.kind == dv::DvPieceKind::kFrame && decoder.Offer(piece.bytes)) {
            break;
        }
    }
    return decoder.Take(image);
}

SceneThumbnailer::Size DvThumbnailer::ThumbnailSize(dv::DvAspect aspect) {
    constexpr int kWide = SceneThumbnailer::kWidth * 9 / 16;
    constexpr int kStandard = SceneThumbnailer::kWidth * 3 / 4;
    return {SceneThumbnailer::kWidth, aspect == dv::DvAspect::k16x9 ? kWide : kStandard};
}

}  // namespace vornak
